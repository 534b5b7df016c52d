#pragma once

#include <string>
#include <vector>

#include "log/harvest.h"

namespace tellumic::harvest {

// What a harvest is asked for: its networks (each once), what to fetch and how to report it.
struct HarvestRequest
{
    std::vector<std::string> networks;
    HarvestOptions options;
    bool json = false;     // one summary object per meter on standard output
    bool events = false;   // one event a line on standard output, for a program that shows it
    std::string storeUrl;  // the record store each meter's new records go to, when given
};

// The harvest of the networks, a process of its own each, reported on standard output and
// error: returns the process's exit status (HarvestStatus, or 128 + the stopping signal).
int runHarvest(HarvestRequest request);

}  // namespace tellumic::harvest
