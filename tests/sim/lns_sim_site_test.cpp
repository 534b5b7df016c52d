// lns-sim init --network NAME --logging-meters N: a site of many logging meters.

#include <gtest/gtest.h>

#include <set>

#include "model/product_tables.h"
#include "sim/logging_site.h"
#include "sim/sim_control.h"
#include "tests/support/temp_home.h"

namespace tellumic::sim::test {
namespace {

using SimRun = tellumic::test::CommandRun;  // out: standard output and error together

SimRun lnsSim(const std::string &args)
{
    return tellumic::test::runCommand(std::string(LNS_SIM_PATH) + " " + args + " 2>&1");
}

// The number after a label in lns-sim's output, or -1.
long long numberAfter(const std::string &text, const std::string &label)
{
    const auto at = text.find(label);
    return at == std::string::npos ? -1 : std::stoll(text.substr(at + label.size()));
}

class LnsSimSiteTest : public tellumic::test::HomeTest
{
protected:
    std::vector<DeviceInfo> devices(const std::string &network) const
    {
        std::vector<DeviceInfo> out;
        for (auto &d : SimControl(home.root() / "LonWorks").devices())
            if (d.network == network)
                out.push_back(d);
        return out;
    }
};

TEST_F(LnsSimSiteTest, InitAddsANetworkOfLoggingMetersWithVariedLogs)
{
    const SimRun init = lnsSim("init --network Plant --logging-meters 12");
    ASSERT_EQ(init.status, 0) << init.out;
    EXPECT_NE(init.out.find("Created the network \"Plant\" with 12 logging meters"), std::string::npos) << init.out;

    const auto plant = devices("Plant");
    ASSERT_EQ(plant.size(), 12u);
    std::set<std::string> names, neuronIds;
    for (const auto &d : SimControl(home.root() / "LonWorks").devices())
        neuronIds.insert(d.neuronId);
    EXPECT_EQ(neuronIds.size(), plant.size() + devices("Demo").size()) << "Neuron IDs are unique in the installation";
    std::set<long long> intervals, lengths;
    for (std::size_t n = 0; n < plant.size(); ++n) {
        const DeviceInfo &d = plant[n];
        names.insert(d.name);
        EXPECT_EQ(d.name, "Plant-Meter-" + std::string(n < 9 ? "0" : "") + std::to_string(n + 1));
        const ProgramIdRecord *model = findProgramId(d.programId);
        ASSERT_TRUE(model && model->logging) << d.programId;

        const SiteLog log = siteLog(static_cast<int>(n));
        const SimRun minutes = lnsSim("get " + d.name + " nciLogMinutes");
        EXPECT_EQ(minutes.out, "nciLogMinutes = " + std::to_string(log.minutes) + "\n");
        const SimRun info = lnsSim("log " + d.name);
        const long long oldest = numberAfter(info.out, "oldest record "), newest = numberAfter(info.out, "newest record ");
        EXPECT_EQ(oldest, log.firstRecord) << info.out;
        // A record may have closed since the site was made.
        EXPECT_GE(newest - oldest + 1, log.records) << info.out;
        EXPECT_LE(newest - oldest + 1, log.records + 1) << info.out;
        intervals.insert(log.minutes);
        lengths.insert(log.records);
    }
    EXPECT_EQ(names.size(), plant.size());
    EXPECT_GE(intervals.size(), 5u);
    EXPECT_GE(lengths.size(), 8u);

    const SimRun again = lnsSim("init --network Plant --logging-meters 12");
    EXPECT_EQ(again.status, 0);
    EXPECT_NE(again.out.find("is complete; nothing changed"), std::string::npos) << again.out;
    const SimRun other = lnsSim("init --network Plant --logging-meters 13");
    EXPECT_EQ(other.status, 1);
    EXPECT_NE(other.out.find("exists already with 12 devices"), std::string::npos) << other.out;
    EXPECT_EQ(devices("Plant").size(), 12u);
}

struct BadSite
{
    const char *args;
    const char *message;
};

class LnsSimBadSite : public LnsSimSiteTest, public ::testing::WithParamInterface<BadSite>
{
};

// Only a plain whole number of meters is taken; nothing is made otherwise.
TEST_P(LnsSimBadSite, IsRefusedWithAMessage)
{
    const SimRun r = lnsSim(std::string("init ") + GetParam().args);
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.out.find(GetParam().message), std::string::npos) << r.out;
    EXPECT_FALSE(std::filesystem::exists(home.root() / "LonWorks")) << "nothing is made";
}

const char *const kNotACount = "is not a whole number of meters from 1 to 1000";

INSTANTIATE_TEST_SUITE_P(
    Counts, LnsSimBadSite,
    ::testing::Values(BadSite{"--network P --logging-meters 0", kNotACount},
                      BadSite{"--network P --logging-meters -1", kNotACount},
                      BadSite{"--network P --logging-meters 1.5", kNotACount},
                      BadSite{"--network P --logging-meters 1e2", kNotACount},
                      BadSite{"--network P --logging-meters ' 5'", kNotACount},
                      BadSite{"--network P --logging-meters +5", kNotACount},
                      BadSite{"--network P --logging-meters 60x", kNotACount},
                      BadSite{"--network P --logging-meters 1001", kNotACount},
                      BadSite{"--network P --logging-meters 99999999999999999999", kNotACount},
                      BadSite{"--network P", "takes --network NAME and --logging-meters N together"},
                      BadSite{"--logging-meters 5", "takes --network NAME and --logging-meters N together"},
                      BadSite{"--network '' --logging-meters 5", "takes --network NAME and --logging-meters N together"},
                      BadSite{"--network P --logging-meters", "needs a value"},
                      BadSite{"--network P --meters 5", "Unknown option '--meters'"}));

}  // namespace
}  // namespace tellumic::sim::test
