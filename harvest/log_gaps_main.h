#pragma once

#include <string>
#include <vector>

#include "log/harvest.h"

namespace tellumic::harvest {

// tellumic-log audit FILE... | --network NETWORK [--json]: returns the exit status.
int auditMain(const std::vector<std::string> &args);

// tellumic-log harvest NETWORK... --fill-gaps: the backfill of each logging meter's CSV log
// (the format options.isShort picks); json: one object per meter on standard output.
int fillGapsMain(const std::vector<std::string> &networks, const HarvestOptions &options, bool json);

}  // namespace tellumic::harvest
