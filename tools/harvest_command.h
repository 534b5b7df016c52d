#pragma once

#include <string>
#include <vector>

namespace tellumic::harvest {

// tellumic-log harvest ARGS...: returns the process's exit status.
int harvestMain(const std::vector<std::string> &args);

}  // namespace tellumic::harvest
