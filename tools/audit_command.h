#pragma once

#include <string>
#include <vector>

namespace tellumic::harvest {

// tellumic-log audit FILE... | --network NETWORK [--json]: returns the exit status.
int auditMain(const std::vector<std::string> &args);

}  // namespace tellumic::harvest
