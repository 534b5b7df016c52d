#pragma once

#include <optional>

namespace tellumic::browser {

// lns-host with no command: the network browser on the session bus, until it is closed (or
// for exitAfterSeconds, in scripts). Returns the process's exit status.
int runNetworkBrowser(int &argc, char **argv, std::optional<int> exitAfterSeconds);

}  // namespace tellumic::browser
