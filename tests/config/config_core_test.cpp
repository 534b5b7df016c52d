// Capturing, comparing and applying configurations on the simulated meters, with a
// communication failure at every device call of an apply in turn.

#include "tests/config/config_fixture.h"

namespace tellumic::config::test {
namespace {

// Every demo meter's configuration survives the file: each raw value comes back as read.
TEST_F(ConfigTest, RoundTripKeepsEveryRawValueOfEveryModel)
{
    for (const auto &model : {"TMC-FT-362", "TMC-FT-Log-364", "TMC-FT-B-303", "TMC-FT-BI-313", "TMC-FT-Plus-PT-340"}) {
        SCOPED_TRACE(model);
        const MeterConfig saved = capture(*device(model));
        ASSERT_FALSE(saved.values.empty());
        const MeterConfig loaded = parseConfig(toJson(saved));
        ASSERT_EQ(loaded.values.size(), saved.values.size());
        for (std::size_t i = 0; i < saved.values.size(); ++i) {
            EXPECT_EQ(loaded.values[i].name, saved.values[i].name);
            EXPECT_EQ(loaded.values[i].raw, saved.values[i].raw) << saved.values[i].name;
        }
        EXPECT_EQ(loaded.programId, saved.programId);
        EXPECT_EQ(loaded.neuronId, saved.neuronId);
    }
}

TEST_F(ConfigTest, CaptureHoldsSettingsButNotIdentityClockOrCalibration)
{
    const MeterConfig c = capture(*meter);
    for (const auto *name : {"nciCtAmps", "nciLogMinutes", "nciDemPerMins", "nciDemSubints", "SCPTmaxSndT",
                             "SCPTnvType[nvoEnergySum]", "SCPTnvType[nvoPowerSum]"})
        EXPECT_TRUE(c.find(name)) << name;
    for (const auto *name : {"nviTimeSet", "UCPTserialNumber", "SCPTlocation", "UCPTnominalVolt", "nvoEnergySum"})
        EXPECT_FALSE(c.find(name)) << name;
    EXPECT_EQ(c.family, "363");
    EXPECT_EQ(c.model, "TMC-FT-Log-364");
    EXPECT_EQ(c.find("SCPTmaxSndT")->unit, "s");
}

// Save on one meter, apply to a fresh meter of the same model: the two then compare equal.
TEST_F(ConfigTest, ApplyToFreshMeterOfSameModelMakesThemEqual)
{
    sim::createLoggingNetwork(lonWorks, "Plant", 3);
    auto plant = sim::test::openSession(lonWorks, "Plant", &home.clock);
    auto first = plant.meter("Plant-Meter-01");
    auto fresh = plant.meter("Plant-Meter-03");
    MeterConfig changed = captureConfig(*first, "Plant", "now");
    set(changed, "nciCtAmps", "250");
    set(changed, "nciDemPerMins", "20");
    ASSERT_TRUE(applyConfig(changed, *first).applied);
    const MeterConfig saved = parseConfig(toJson(captureConfig(*first, "Plant", "now")));

    ASSERT_GT(compareConfig(saved, *fresh).differing, 0);
    const ApplyResult r = applyConfig(saved, *fresh);
    ASSERT_TRUE(r.applied) << r.failedEntry << ": " << r.reason;
    const Comparison after = compareConfig(saved, *fresh);
    EXPECT_EQ(after.differing, 0);
    EXPECT_EQ(after.equal, static_cast<int>(saved.values.size()));
}

// Values changed behind the file's back (as lns-sim set does) are exactly the differing rows.
TEST_F(ConfigTest, ComparisonListsExactlyTheEntriesChangedOnTheMeter)
{
    const MeterConfig saved = capture(*meter);
    auto other = openServer();
    auto otherMeter = other->Networks().Item("Demo")->Systems().Item(1)->Subsystems().Item("Meters")->AppDevices().Item(
        "TMC-FT-Log-364");
    otherMeter->GetInterface()->Nvs().Item("nciLogMinutes")->SetValue("5");
    otherMeter->GetInterface()->Nvs().Item("nciDemSubints")->SetValue("5");

    const Comparison c = compareConfig(saved, *meter);
    std::vector<std::string> differing;
    for (const auto &row : c.rows)
        if (row.state == RowState::Differs)
            differing.push_back(row.name);
    EXPECT_EQ(differing, (std::vector<std::string>{"nciLogMinutes", "nciDemSubints"}));
    EXPECT_EQ(c.differing, 2);
    EXPECT_EQ(c.read, static_cast<int>(saved.values.size()));
    EXPECT_TRUE(c.warnings.empty());
    EXPECT_EQ(summaryLine(c), "Entries read: " + std::to_string(c.read) + ", differing: 2, equal: " +
                                  std::to_string(c.read - 2) + ", not on this meter: 0, read-only: 0");
}

// A fault at each index of an apply in turn: a communication failure at every device call
// (the comparison's reads, the writes, the read-backs) or the meter refusing every write,
// with the writes in one system transaction and one by one. Every failed apply names the
// entry and leaves the meter reading exactly what it read before; the sweep ends at the
// first index the apply no longer reaches, which counts its calls or writes.
enum class Fault { CommunicationAtCall, RefusalAtWrite };

struct SweepCase
{
    const char *name;
    Fault fault;
    bool transaction;
};

class ApplyFaultSweep : public ConfigTest, public ::testing::WithParamInterface<SweepCase>
{
};

TEST_P(ApplyFaultSweep, EveryFailedApplyLeavesTheMeterAsItWas)
{
    const SweepCase &c = GetParam();
    const MeterConfig file = changedConfig();
    const auto before = raws(*meter);
    ApplyOptions options;
    options.system = c.transaction ? system : nullptr;
    std::vector<std::string> failedAt;
    int indexes = -1;
    for (int at = 1; at < 200 && indexes < 0; ++at) {
        SCOPED_TRACE("fault at index " + std::to_string(at));
        sim::DeviceFaults fault;
        (c.fault == Fault::CommunicationAtCall ? fault.commFailAtCall : fault.refuseWriteAt) = at;
        setFaults(fault);
        const ApplyResult r = applyConfig(file, *meter, options);
        setFaults({});
        if (r.applied) {
            indexes = at - 1;
            break;
        }
        failedAt.push_back(r.failedEntry);
        EXPECT_TRUE(r.restored);
        EXPECT_FALSE(r.reason.empty());
        EXPECT_FALSE(r.failedEntry.empty());
        EXPECT_EQ(raws(*meter), before);
        EXPECT_NO_THROW(system->StartTransaction()) << "a transaction was left open";
        system->CancelTransaction();
    }
    ASSERT_GT(indexes, 0) << "the sweep never got past the apply";
    EXPECT_EQ(compareConfig(file, *meter).differing, 0);
    const int entries = static_cast<int>(file.values.size());
    if (c.fault == Fault::RefusalAtWrite) {
        // The refused write is the entry named, in the order the entries are written.
        const std::vector<std::string> order = {"SCPTnvType[nvoEnergySum]", "SCPTmaxSndT", "nciCtAmps", "nciDemPerMins"};
        EXPECT_EQ(failedAt, order);
    } else {
        // Each entry read once, then each of the four written and read back once.
        EXPECT_EQ(indexes, entries + 2 * 4);
    }
}

INSTANTIATE_TEST_SUITE_P(Faults, ApplyFaultSweep,
                         ::testing::Values(SweepCase{"CommunicationInTransaction", Fault::CommunicationAtCall, true},
                                           SweepCase{"CommunicationOneByOne", Fault::CommunicationAtCall, false},
                                           SweepCase{"RefusalInTransaction", Fault::RefusalAtWrite, true},
                                           SweepCase{"RefusalOneByOne", Fault::RefusalAtWrite, false}),
                         [](const auto &info) { return std::string(info.param.name); });

// The program told to stop (a signal) at each point the apply asks in turn, with the writes
// in one system transaction and one by one: every stopped apply leaves the meter as it was
// and no transaction open; the sweep ends where the apply no longer asks.
class ApplyStopSweep : public ConfigTest, public ::testing::WithParamInterface<bool>
{
};

TEST_P(ApplyStopSweep, EveryStoppedApplyLeavesTheMeterAsItWas)
{
    const MeterConfig file = changedConfig();
    const auto before = raws(*meter);
    int asks = -1;
    for (int at = 1; at < 50 && asks < 0; ++at) {
        SCOPED_TRACE("stop at ask " + std::to_string(at));
        int asked = 0;
        ApplyOptions options;
        options.system = GetParam() ? system : nullptr;
        options.stopRequested = [&] { return ++asked >= at; };
        const ApplyResult r = applyConfig(file, *meter, options);
        if (r.applied) {
            asks = at - 1;
            break;
        }
        EXPECT_TRUE(r.stopped);
        EXPECT_TRUE(r.restored);
        EXPECT_EQ(r.failedEntry, "");
        EXPECT_EQ(raws(*meter), before);
        EXPECT_NO_THROW(system->StartTransaction()) << "a transaction was left open";
        system->CancelTransaction();
    }
    // Before each of the four writes, before the commit, before each read-back.
    EXPECT_EQ(asks, GetParam() ? 9 : 8);
}

INSTANTIATE_TEST_SUITE_P(Stops, ApplyStopSweep, ::testing::Bool(),
                         [](const auto &info) { return std::string(info.param ? "InTransaction" : "OneByOne"); });

// Applying costs one write and one read-back per entry written: the comparison's reads are
// the values a failure would put back, so nothing is read twice and nothing else is read.
TEST_F(ConfigTest, ApplyCostsAWriteAndAReadBackPerEntryWritten)
{
    const MeterConfig original = capture(*meter);
    const MeterConfig file = changedConfig();
    const std::int64_t id = sim::SimControl(lonWorks).device("TMC-FT-Log-364").id;
    const auto calls = [&] { return server->core().deviceCallsSinceFaults(id); };
    const auto writes = [&] { return server->core().deviceWritesSinceFaults(id); };
    struct Case
    {
        const char *what;
        std::set<std::string> only;
        std::uint64_t written;
    };
    for (const Case &c : {Case{"every entry", {}, 4}, Case{"two chosen", {"nciCtAmps", "SCPTmaxSndT"}, 2},
                          Case{"one that is equal", {"nciLogMinutes"}, 0}}) {
        SCOPED_TRACE(c.what);
        setFaults({});
        const Comparison compared = compareConfig(file, *meter, {.only = c.only, .firmware = false});
        EXPECT_EQ(calls(), static_cast<std::uint64_t>(compared.read)) << "the comparison reads each entry once";
        setFaults({});
        ApplyResult r = applyCompared(compared, *meter, {.only = c.only, .note = {}, .system = system, .stopRequested = {}});
        ASSERT_TRUE(r.applied) << r.failedEntry << ": " << r.reason;
        EXPECT_EQ(static_cast<std::uint64_t>(r.written), c.written);
        EXPECT_EQ(writes(), c.written);
        EXPECT_EQ(calls(), 2 * c.written);

        ASSERT_TRUE(applyConfig(original, *meter).applied);
        setFaults({});
        r = applyConfig(file, *meter, {.only = c.only, .note = {}, .system = system, .stopRequested = {}});
        ASSERT_TRUE(r.applied) << r.failedEntry << ": " << r.reason;
        EXPECT_EQ(calls(), static_cast<std::uint64_t>(compared.read) + 2 * c.written)
            << "from the file: the chosen entries read once, then written and read back";
        ASSERT_TRUE(applyConfig(original, *meter).applied);
    }
}

TEST_F(ConfigTest, RefusedWriteChangesNothingAndNamesTheEntry)
{
    const MeterConfig file = changedConfig();
    const auto before = raws(*meter);
    sim::DeviceFaults refusing;
    refusing.refuseWrites = true;
    setFaults(refusing);
    const ApplyResult r = applyConfig(file, *meter);
    setFaults({});
    EXPECT_FALSE(r.applied);
    EXPECT_EQ(r.failedEntry, "SCPTnvType[nvoEnergySum]");
    EXPECT_NE(r.reason.find("refused"), std::string::npos) << r.reason;
    EXPECT_EQ(raws(*meter), before);
}

TEST_F(ConfigTest, OnlyWritesTheChosenEntries)
{
    const MeterConfig file = changedConfig();
    std::vector<std::string> notes;
    const ApplyResult r =
        applyConfig(file, *meter, {.only = {"nciCtAmps"}, .note = [&](const std::string &l) { notes.push_back(l); }, .system = {}, .stopRequested = {}});
    ASSERT_TRUE(r.applied);
    EXPECT_EQ(r.written, 1);
    EXPECT_EQ(notes, (std::vector<std::string>{"nciCtAmps = 400"}));
    EXPECT_EQ(compareConfig(file, *meter).differing, 3);
}

// A file of another family is refused before anything is written, and the comparison
// warns and lists its entries as not on this meter.
TEST_F(ConfigTest, FileOfAnotherFamilyIsRefusedAndWarned)
{
    auto basic = device("TMC-FT-B-303");
    MeterConfig file = capture(*basic);
    set(file, "nciDemPerMins", "30");
    const auto before = raws(*meter);
    const ApplyResult r = applyConfig(file, *meter);
    EXPECT_FALSE(r.applied);
    EXPECT_EQ(r.failedEntry, "");
    EXPECT_EQ(r.reason, "The file is for family 302, this meter is family 363");
    EXPECT_EQ(raws(*meter), before);
    const Comparison c = compareConfig(file, *meter);
    EXPECT_TRUE(c.otherFamily);
    ASSERT_FALSE(c.warnings.empty());
    EXPECT_EQ(c.warnings.front(), "The file comes from a meter of family 302; this meter is family 363.");
    EXPECT_GT(c.notOnMeter, 0);
}

TEST_F(ConfigTest, FileOfOtherFirmwareIsWarned)
{
    MeterConfig file = capture(*meter);
    file.firmware = "9.9";
    const Comparison c = compareConfig(file, *meter);
    ASSERT_EQ(c.warnings.size(), 1u);
    EXPECT_EQ(c.warnings[0], "The file comes from firmware version 9.9; this meter has " + capture(*meter).firmware + ".");
}

}  // namespace
}  // namespace tellumic::config::test
