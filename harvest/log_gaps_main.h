#pragma once

#include <string>
#include <vector>

#include "log/harvest.h"

namespace tellumic::harvest {

// The audit of CSV log files, or of the logs of every logging meter of a network when one is
// named, one report per file (JSON objects when json): returns the exit status (0 every
// file complete, 1 records missing or untrustworthy, 2 a file unreadable).
int auditLogs(const std::string &network, const std::vector<std::string> &files, bool json);

// tellumic-log harvest NETWORK... --fill-gaps: the backfill of each logging meter's CSV log
// (the format options.isShort picks); json: one object per meter on standard output.
int fillGapsMain(const std::vector<std::string> &networks, const HarvestOptions &options, bool json);

}  // namespace tellumic::harvest
