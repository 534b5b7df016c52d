#pragma once

// A site of many logging meters: a network of its own in the simulated installation, so that
// the harvest of a whole site's logs can be tried at the scale of a real one.

#include <cstdint>
#include <filesystem>
#include <string>

namespace tellumic::sim {

// The most meters a site network takes.
inline constexpr int kMaxSiteMeters = 1000;

// The interval in minutes and the records of the n-th meter's log (n from 0): the intervals
// and lengths vary from meter to meter, from a day's records to several days'.
struct SiteLog
{
    int minutes = 15;
    std::int64_t records = 0;
    std::int64_t firstRecord = 1;
};
SiteLog siteLog(int n);

struct SiteResult
{
    bool created = false;  // false: the network was there already with these meters
    int meters = 0;
};

// Adds the network with its system (same name) and the subsystem "Meters" holding count
// logging meters, the supported logging models in turn, named network + "-Meter-" + a
// number, with Neuron IDs that no device of the installation has, each with the log of
// siteLog (records that end now). A network of that name already there is left as it is:
// with count devices it is the result (not created), otherwise RuntimeError.
SiteResult createLoggingNetwork(const std::filesystem::path &lonWorksFolder, const std::string &network, int count);

}  // namespace tellumic::sim
