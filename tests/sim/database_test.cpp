#include <gtest/gtest.h>

#include <SQLiteCpp/SQLiteCpp.h>

#include <functional>

#include "tests/sim/sim_fixture.h"
#include "tests/support/case_name.h"

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
    const pid_t first = tellumic::test::startInChild([&] { writer("a", "TMC-FT-Log-364"); });
    const pid_t second = tellumic::test::startInChild([&] { writer("b", "TMC-FT-Plus-333"); });
    const int firstStatus = tellumic::test::waitForChild(first);
    ASSERT_EQ(tellumic::test::waitForChild(second), 0);
    ASSERT_EQ(firstStatus, 0);

    server = openServer();
    auto sys = server->Networks().Item("Demo")->Systems().Item(1);
    EXPECT_EQ(sys->ComponentApplications()->Items().Count(), 2 * kWrites);
    auto locationOf = [&](const std::string &name) {
        return sys->Subsystems().Item("Meters")->AppDevices().Item(name)->GetInterface()->FunctionalBlocks().Item(1)->Cps().Item(1)->Value();
    };
    EXPECT_EQ(locationOf("TMC-FT-Log-364"), "a" + std::to_string(kWrites - 1));
    EXPECT_EQ(locationOf("TMC-FT-Plus-333"), "b" + std::to_string(kWrites - 1));
}

// Every call that writes the database meets another program's lock as the object server's
// run-time error, never as an exception of the database library.
struct LockedCall
{
    const char *what;
    std::function<void(SimTest &)> call;
};

class LockedDatabaseTest : public SimTest, public ::testing::WithParamInterface<LockedCall>
{
};

void expectLockedError(const std::function<void()> &call, const char *what)
{
    try {
        call();
        ADD_FAILURE() << what << " did not fail";
    } catch (const RuntimeError &e) {
        EXPECT_EQ(e.number(), lns::LcaError::kDatabaseError) << what;
        EXPECT_NE(e.description().find("locked"), std::string::npos) << e.description();
    }
}

TEST_P(LockedDatabaseTest, FailsWithTheObjectServersError)
{
    SimOptions impatient;
    impatient.databaseBusyTimeout = std::chrono::milliseconds(0);
    reopen(impatient);

    SQLite::Database other(networkDbPath(lonWorks).string(), SQLite::OPEN_READWRITE);
    other.exec("BEGIN IMMEDIATE");
    expectLockedError([&] { GetParam().call(*this); }, GetParam().what);
}

INSTANTIATE_TEST_SUITE_P(
    Calls, LockedDatabaseTest,
    ::testing::Values(
        LockedCall{"writing an NV", [](SimTest &t) { t.meter->GetInterface()->Nvs().Item("nciCtAmps")->SetValue("200"); }},
        LockedCall{"writing a CP", [](SimTest &t) { t.meter->GetInterface()->FunctionalBlocks().Item(1)->Cps().Item(1)->SetValue("x"); }},
        LockedCall{"setting a block mode", [](SimTest &t) { t.meter->GetInterface()->FunctionalBlocks().Item(1)->SetMode(3); }},
        LockedCall{"clearing the status", [](SimTest &t) { t.meter->ClearStatus(); }},
        LockedCall{"adding a command", [](SimTest &t) { t.system->ComponentApplications()->Add("x", "Test.App", 7); }},
        LockedCall{"adding a template", [](SimTest &t) { t.system->AddDeviceTemplate("x"); }},
        LockedCall{"setting the system", [](SimTest &t) { t.system->SetNumericSetting(200); }}),
    [](const auto &info) { return tellumic::test::caseName(info.param.what); });

TEST_F(SimTest, ADatabaseAnotherProgramHoldsForItselfCannotBeOpened)
{
    server.reset();
    system.reset();
    meter.reset();
    SQLite::Database other(networkDbPath(lonWorks).string(), SQLite::OPEN_READWRITE);
    other.exec("PRAGMA locking_mode = EXCLUSIVE");
    other.exec("BEGIN EXCLUSIVE");
    SimOptions impatient;
    impatient.databaseBusyTimeout = std::chrono::milliseconds(0);
    expectLockedError([&] { openServer(impatient); }, "opening");
}

TEST_F(SimTest, ADamagedDatabaseIsTheObjectServersError)
{
    server.reset();
    system.reset();
    meter.reset();
    for (const char *suffix : {"", "-wal", "-shm"})
        std::filesystem::remove(networkDbPath(lonWorks).string() + suffix);
    tellumic::test::writeFile(networkDbPath(lonWorks), std::string(4096, 'x'));
    try {
        openServer();
        ADD_FAILURE() << "a damaged database opened";
    } catch (const RuntimeError &e) {
        EXPECT_EQ(e.number(), lns::LcaError::kDatabaseError);
        EXPECT_NE(e.description().find("damaged"), std::string::npos) << e.description();
    }
}

}  // namespace
}  // namespace tellumic::sim::test
