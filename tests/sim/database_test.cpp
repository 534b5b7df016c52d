#include <gtest/gtest.h>

#include "tests/sim/sim_fixture.h"

namespace tellumic::sim::test {
namespace {

// Two processes write the database at once, each through its own object server.
TEST_F(SimTest, TwoProcessesWritingLoseNothing)
{
    server.reset();
    constexpr int kWrites = 60;
    auto writer = [this](const std::string &prefix, const std::string &deviceName) {
        SimObjectServer s(lonWorks);
        s.Open();
        auto net = s.Networks().Item("Demo");
        net->Open();
        auto sys = net->Systems().Item(1);
        sys->Open();
        auto apps = sys->ComponentApplications();
        auto d = sys->Subsystems().Item("Meters")->AppDevices().Item(deviceName);
        auto location = d->GetInterface()->FunctionalBlocks().Item(1)->Cps().Item("SCPTlocation");
        for (int i = 0; i < kWrites; ++i) {
            apps->Add(prefix + std::to_string(i), "Test.App", 7);
            location->SetValue(prefix + std::to_string(i));
        }
    };
    const pid_t first = ::fork();
    if (first == 0) {
        int code = 0;
        try {
            writer("a", "TMC-FT-Log-364");
        } catch (...) {
            code = 3;
        }
        ::_exit(code);
    }
    const int second = tellumic::test::runInChild([&] { writer("b", "TMC-FT-Plus-333"); });
    int status = 0;
    ::waitpid(first, &status, 0);
    ASSERT_EQ(second, 0);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);

    server = openServer();
    auto sys = server->Networks().Item("Demo")->Systems().Item(1);
    EXPECT_EQ(sys->ComponentApplications()->Items().Count(), 2 * kWrites);
    auto locationOf = [&](const std::string &name) {
        return sys->Subsystems().Item("Meters")->AppDevices().Item(name)->GetInterface()->FunctionalBlocks().Item(1)->Cps().Item(1)->Value();
    };
    EXPECT_EQ(locationOf("TMC-FT-Log-364"), "a" + std::to_string(kWrites - 1));
    EXPECT_EQ(locationOf("TMC-FT-Plus-333"), "b" + std::to_string(kWrites - 1));
}

}  // namespace
}  // namespace tellumic::sim::test
