#pragma once

#include <functional>

namespace tellumic {

// Lets pending window events run during a long loop (the Qt layer installs it); without a
// user interface it does nothing.
void keepUiAlive();
void setUiPump(std::function<void()> pump);

}  // namespace tellumic
