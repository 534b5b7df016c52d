#pragma once

// The dry run of an apply over many meters: each meter's differences, written nothing.

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "config/config_apply.h"

namespace tellumic::config {

using ServerFactory = std::function<std::unique_ptr<lns::ObjectServer>()>;

// What one meter's dry run reports: its JSON object and its text lines.
struct MeterReport
{
    nlohmann::ordered_json item;
    std::string text;
    bool partly = false;  // skipped (another family) or failed
};

nlohmann::ordered_json comparisonJson(const Comparison &c);
void printComparison(const Comparison &c, std::ostream &out, const std::string &indent);

MeterReport dryRunMeter(const MeterConfig &file, lns::AppDevice &meter);

// The dry runs of the named meters of a network, in their order. Reading is all a dry run
// does and each read waits on the device, so up to `workers` processes of their own (each
// with an object server from openServer) read meters side by side.
std::vector<MeterReport> dryRunMeters(const MeterConfig &file, const std::string &network,
                                      const std::vector<std::string> &meters, const ServerFactory &openServer,
                                      int workers);

}  // namespace tellumic::config
