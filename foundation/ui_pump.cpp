#include "foundation/ui_pump.h"

namespace tellumic {

namespace {
std::function<void()> g_pump;
}

void keepUiAlive()
{
    if (g_pump)
        g_pump();
}

void setUiPump(std::function<void()> pump)
{
    g_pump = std::move(pump);
}

}  // namespace tellumic
