#include <gtest/gtest.h>

#include <cmath>
#include <optional>

#include "sim/models/meter.h"
#include "sim/models/meter_state.h"
#include "tests/sim/sim_fixture.h"

namespace tellumic::sim::test {
namespace {

using namespace std::chrono_literals;

double number(const std::shared_ptr<lns::Nv> &v)
{
    return std::stod(v->Value());
}

Bytes request(std::uint8_t mode, std::uint32_t count, std::uint8_t format, std::uint32_t stopRecord = 0)
{
    Bytes b(42, 0);
    b[0] = mode;
    for (int i = 0; i < 4; ++i) {
        b[1 + i] = static_cast<std::uint8_t>(count >> (24 - 8 * i));
        b[20 + i] = static_cast<std::uint8_t>(stopRecord >> (24 - 8 * i));
    }
    b[40] = format;
    return b;
}

class MeterTest : public SimTest
{
public:
    std::unique_ptr<lns::FileTransfer> transfer(std::int32_t file)
    {
        auto t = system->NewFileTransfer();
        t->SetFileNumber(file);
        t->SetParameters(0, 0, 0);
        t->SetTargetDevice(meter);
        return t;
    }
    std::uint32_t at(const Bytes &b, std::size_t i) { return (b[i] << 24) | (b[i + 1] << 16) | (b[i + 2] << 8) | b[i + 3]; }
};

TEST(LogCrc, CheckValues)
{
    const std::string digits = "123456789";
    const auto *p = reinterpret_cast<const std::uint8_t *>(digits.data());
    EXPECT_EQ(logCrc8(p, 9), 0xA1);
    EXPECT_EQ(logCrc16(p, 9), 0x4B37);
}

TEST_F(MeterTest, FullLongLogComesNewestFirstWithGoodChecksAndIdleEvents)
{
    auto info = transfer(3);
    info->SetLength(35);
    const auto infoBytes = info->Read();
    ASSERT_EQ(infoBytes.size(), 35u);
    transfer(4)->Write(request(0, 24392, 2));
    sink.idles = 0;
    auto read = transfer(5);
    read->SetLength(86 * 24392);
    const auto start = home.clock.now();
    const auto bytes = read->Read();
    ASSERT_EQ(bytes.size(), 24192u * 86u);
    for (std::size_t r = 0; r < 24192; ++r) {
        const auto *rec = bytes.data() + r * 86;
        ASSERT_EQ(rec[0], 1);
        ASSERT_EQ(logCrc16(rec, 84), (rec[84] << 8) | rec[85]) << r;
        if (r > 0) {
            ASSERT_EQ(at(bytes, r * 86 + 1) + 1, at(bytes, (r - 1) * 86 + 1)) << "numbered upward, newest first";
        }
    }
    const auto seconds = std::chrono::duration<double>(home.clock.now() - start).count();
    EXPECT_NEAR(seconds, 24192 / 4.6, 2.0);
    EXPECT_NEAR(sink.idles, seconds * 10, 2);
    // File 3 named the same ends.
    EXPECT_EQ(at(infoBytes, 0), at(bytes, 1));
    EXPECT_EQ(at(infoBytes, 15), at(bytes, 24191 * 86 + 1));
}

struct Selection
{
    std::uint8_t mode;
    std::uint32_t count;
    std::int64_t stopFromNewest;  // stop record = newest - this (mode 5)
    std::size_t expected;
};

class LogSelection : public MeterTest, public ::testing::WithParamInterface<Selection>
{
};

TEST_P(LogSelection, ShortRecordsAsSelected)
{
    const auto &s = GetParam();
    auto info = transfer(3);
    info->SetLength(35);
    const auto newest = static_cast<std::int64_t>(at(info->Read(), 0));
    transfer(4)->Write(request(s.mode, s.count, 3, static_cast<std::uint32_t>(std::max<std::int64_t>(0, newest - s.stopFromNewest))));
    auto read = transfer(5);
    read->SetLength(static_cast<std::int32_t>(24 * s.count));
    const auto bytes = read->Read();
    ASSERT_EQ(bytes.size(), 24 * s.expected);
    for (std::size_t r = 0; r < s.expected; ++r)
        EXPECT_EQ(logCrc8(bytes.data() + r * 24, 23), bytes[r * 24 + 23]);
    if (s.expected) {
        EXPECT_EQ(at(bytes, 1), newest);
    }
}

INSTANTIATE_TEST_SUITE_P(Modes, LogSelection,
                         ::testing::Values(Selection{1, 100, 0, 100}, Selection{0, 24392, 0, 24192},
                                           Selection{5, 24192, 9, 10}, Selection{5, 24192, -1, 0},
                                           Selection{5, 24192, 1000000, 24192}));

// The request back to 2011-03-05 12:00:00 with long records, byte for byte; the clock reads
// 14:07:09, so records 12:00, 12:15, ..., 14:00 come back, the one at 12:00 last.
TEST_F(MeterTest, BackToDateTimeStopsAtTheFirstRecordAtOrAfterIt)
{
    auto req = request(2, 24192, 2);
    ASSERT_EQ(Bytes(req.begin() + 1, req.begin() + 5), (Bytes{0x00, 0x00, 0x5E, 0x80}));
    const Bytes stop{0x07, 0xDB, 0x03, 0x05, 0x0C, 0x00, 0x00};
    std::copy(stop.begin(), stop.end(), req.begin() + 28);
    transfer(4)->Write(req);
    auto read = transfer(5);
    read->SetLength(86 * 24192);
    const auto bytes = read->Read();
    ASSERT_EQ(bytes.size(), 86u * 9u);
    EXPECT_EQ(Bytes(bytes.end() - 86 + 6, bytes.end() - 86 + 13), stop);
    EXPECT_EQ(Bytes(bytes.begin() + 6, bytes.begin() + 13), (Bytes{0x07, 0xDB, 0x03, 0x05, 0x0E, 0x00, 0x00}));
    EXPECT_THROW(transfer(4)->Write(request(3, 10, 3)), RuntimeError) << "mode 3 is refused";
    EXPECT_THROW(transfer(4)->Write(request(1, 10, 4)), RuntimeError) << "format 4 is refused";
    EXPECT_THROW(transfer(4)->Write(Bytes(41, 0)), RuntimeError) << "a short request is refused";
}

// A record's flags carry what happened in its interval.
TEST_F(MeterTest, RecordsFlagClockChangesResetsAndLoggingRestarts)
{
    auto newestFlags = [&] {
        transfer(4)->Write(request(1, 1, 3));
        auto read = transfer(5);
        read->SetLength(24);
        const auto b = read->Read();
        return b.size() == 24 ? b[5] : -1;
    };
    home.clock.advance(15min);
    EXPECT_EQ(newestFlags(), 0);
    nv("nviTimeSet")->SetValue("2012/01/02 03:04:05");
    home.clock.advance(15min);
    EXPECT_EQ(newestFlags(), 1 << 6);
    auto command = meter->GetInterface()->FunctionalBlocks().Item("TellumicCal")->Cps().Item("UCPTfactoryCommand");
    nv("nciDemPerMins")->SetValue("30");
    command->SetValue("52836");
    EXPECT_EQ(nv("nciDemPerMins")->Value(), "15") << "factory settings";
    home.clock.advance(15min);
    EXPECT_EQ(newestFlags(), (1 << 1) | (1 << 4));
    SimControl control(lonWorks);
    control.failPower(control.device("TMC-FT-Log-364").id);
    home.clock.advance(15min);
    reopen();
    command = meter->GetInterface()->FunctionalBlocks().Item("TellumicCal")->Cps().Item("UCPTfactoryCommand");
    EXPECT_EQ(newestFlags(), (1 << 7) | (1 << 1));
    command->SetValue("6358");
    EXPECT_EQ(command->Value(), "6358");
    EXPECT_EQ(newestFlags(), -1) << "an initialised log is empty";
    home.clock.advance(15min);
    EXPECT_EQ(newestFlags(), 0);
}

TEST_F(MeterTest, PtRatioScalesVoltsAndPowersWithinItsLimits)
{
    auto d = device("TMC-FT-Log-PT-370");
    auto ratio = d->GetInterface()->FunctionalBlocks().Item("NodeObject")->Cps().Item("UCPTptRatio");
    const double volts = number(nv("nvoVoltsA", d)), watts = number(nv("nvoPowerSum", d));
    ratio->SetValue("4");
    EXPECT_NEAR(number(nv("nvoVoltsA", d)), 4 * volts, 1e-3 * volts);
    EXPECT_NEAR(number(nv("nvoPowerSum", d)), 4 * watts, 1e-3 * watts);
    EXPECT_THROW(ratio->SetValue("0.5"), RuntimeError);
    EXPECT_EQ(d->QueryStatus().lastErrorCode, 34);
    EXPECT_EQ(ratio->Value(), "4");
}

TEST_F(MeterTest, SendTimeOverTwelveHoursIsReported)
{
    nv("nvoEnergySum")->Cps().Item("SCPTmaxSndT")->SetValue("0 12:0:0:0");
    EXPECT_EQ(meter->QueryStatus().lastErrorCode, 0);
    nv("nvoEnergySum")->Cps().Item("SCPTmaxSndT")->SetValue("0 12:0:1:0");
    EXPECT_EQ(meter->QueryStatus().lastErrorCode, 20);
}

TEST_F(MeterTest, Family302ResetsThePeakThroughTheLogRequest)
{
    auto d = device("TMC-FT-B-303");
    home.clock.advance(2h);
    EXPECT_GT(number(nv("nvoPkDemand", d)), 0);
    nv("nviLogRequest", d)->SetValue("3");
    EXPECT_EQ(number(nv("nvoPkDemand", d)), 0);
    EXPECT_EQ(nv("nvoPeakDemT", d)->Value(), "0000/00/00 00:00:00");
}

TEST_F(MeterTest, CancelEndsTheTransferWithAnError)
{
    transfer(4)->Write(request(0, 24392, 3));
    sink.onIdle = [&] {
        if (sink.idles == 5)
            system->CancelRunningOperation();
    };
    auto read = transfer(5);
    read->SetLength(24 * 24392);
    try {
        read->Read();
        FAIL() << "a cancelled read returns nothing";
    } catch (const RuntimeError &e) {
        EXPECT_EQ(e.number(), lns::LcaError::kOperationCancelled);
    }
}

struct PartWayCase
{
    const char *name;
    const char *failAfter;               // the log-fail-after fault in bytes; "" none
    std::optional<DeviceCondition> at10;  // the meter's condition from the tenth idle event on
    std::int32_t error;                   // 0: the whole file comes
    int idles;                            // idle events the read raised
};

void PrintTo(const PartWayCase &c, std::ostream *os)
{
    *os << c.name;
}

class PartWayTransfer : public MeterTest, public ::testing::WithParamInterface<PartWayCase>
{
};

// The file moves in windows at the channel's speed: a meter that stops answering part-way
// ends the read with a communication failure when its bytes have taken their time, and the
// read returns nothing.
TEST_P(PartWayTransfer, EndsWhenTheMeterStopsAnswering)
{
    const PartWayCase &c = GetParam();
    SimControl control(lonWorks);
    const auto id = control.device("TMC-FT-Log-364").id;
    control.setDeviceValue(id, kFaultFailAfterKey, c.failAfter);
    transfer(4)->Write(request(1, 100, 3));
    sink.idles = 0;
    sink.onIdle = [&] {
        if (sink.idles == 10 && c.at10)
            control.setCondition(id, *c.at10);
    };
    auto read = transfer(5);
    read->SetLength(24 * 100);
    const auto start = home.clock.now();
    std::int32_t error = 0;
    std::size_t got = 0;
    try {
        got = read->Read().size();
    } catch (const RuntimeError &e) {
        error = e.number();
        if (*c.failAfter) {
            EXPECT_NE(e.description().find("stopped answering after " + std::string(c.failAfter) + " of 2400 bytes"),
                      std::string::npos)
                << e.description();
        }
    }
    EXPECT_EQ(error, c.error);
    EXPECT_EQ(got, error ? 0u : 2400u);
    EXPECT_EQ(sink.idles, c.idles);
    if (*c.failAfter && !c.at10) {
        const double bytes = std::min(2400.0, std::stod(c.failAfter));
        EXPECT_NEAR(std::chrono::duration<double>(home.clock.now() - start).count(), bytes / (14.5 * 24), 1e-3);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Meter, PartWayTransfer,
    ::testing::Values(PartWayCase{"Untouched", "", std::nullopt, 0, 69},
                      PartWayCase{"FailsAfterItsBytes", "500", std::nullopt, lns::LcaError::kCommunicationFailure, 15},
                      PartWayCase{"FailsBeforeTheFirstByte", "0", std::nullopt, lns::LcaError::kCommunicationFailure, 0},
                      PartWayCase{"FaultBeyondTheFile", "2400", std::nullopt, 0, 69},
                      PartWayCase{"UncommissionedMeanwhile", "", DeviceCondition::Uncommissioned,
                                  lns::LcaError::kCommunicationFailure, 10},
                      PartWayCase{"UnconfiguredMeanwhile", "", DeviceCondition::Unconfigured,
                                  lns::LcaError::kCommunicationFailure, 10}),
    [](const auto &info) { return std::string(info.param.name); });

TEST_F(MeterTest, FaultsCutTheReadAndSpoilChecks)
{
    SimControl control(lonWorks);
    control.setDeviceValue(control.device("TMC-FT-Log-364").id, kFaultShortReadKey, "30");
    control.setDeviceValue(control.device("TMC-FT-Log-364").id, kFaultBadCrcKey, "2");
    auto s = openServer();
    auto d = s->Networks().Item("Demo")->Systems().Item(1)->Subsystems().Item("Meters")->AppDevices().Item("TMC-FT-Log-364");
    auto write = s->Networks().Item("Demo")->Systems().Item(1)->NewFileTransfer();
    write->SetFileNumber(4);
    write->SetTargetDevice(d);
    write->Write(request(1, 4, 3));
    auto read = s->Networks().Item("Demo")->Systems().Item(1)->NewFileTransfer();
    read->SetFileNumber(5);
    read->SetLength(96);
    read->SetTargetDevice(d);
    const auto bytes = read->Read();
    ASSERT_EQ(bytes.size(), 96u - 30u);
    EXPECT_EQ(logCrc8(bytes.data(), 23), bytes[23]);
    EXPECT_NE(logCrc8(bytes.data() + 24, 23), bytes[47]);
}

TEST_F(MeterTest, ReadingsAreConsistentAndDeterministic)
{
    const double sum = number(nv("nvoPowerSum"));
    EXPECT_NEAR(sum, number(nv("nvoPowerA")) + number(nv("nvoPowerB")) + number(nv("nvoPowerC")), 0.01 * sum);
    for (const char *phase : {"A", "B", "C"}) {
        const double p = number(nv(std::string("nvoPower") + phase)), q = number(nv(std::string("nvoReacPwr") + phase));
        const double v = number(nv(std::string("nvoVolts") + phase)), i = number(nv(std::string("nvoCurrent") + phase));
        EXPECT_NEAR(v * i, std::hypot(p, q), 0.001 * v * i) << phase;
        EXPECT_NEAR(number(nv(std::string("nvoPf") + phase)), p / std::hypot(p, q), 1e-4) << phase;
    }
    auto other = openServer();
    auto d = other->Networks().Item("Demo")->Systems().Item(1)->Subsystems().Item("Meters")->AppDevices().Item("TMC-FT-Log-364");
    EXPECT_EQ(d->GetInterface()->Nvs().Item("nvoPowerSum")->Value(), nv("nvoPowerSum")->Value()) << "same time, same reading";
    home.clock.advance(6h);
    EXPECT_NE(nv("nvoPowerSum")->Value(), d->GetInterface()->Nvs().Item("nvoVoltsA")->Value());
}

TEST_F(MeterTest, EnergiesIntegrateSurviveRestartAndResetButNr)
{
    const double before = number(nv("nvoEnergySum"));
    home.clock.advance(1h);
    const double after = number(nv("nvoEnergySum"));
    EXPECT_GT(after, before);
    reopen();
    EXPECT_EQ(number(nv("nvoEnergySum")), after);
    nv("nviResetEnergy")->SetValue("1");
    EXPECT_EQ(number(nv("nvoEnergySum")), 0);
    EXPECT_EQ(number(nv("nvoEnergyA")), 0);
    EXPECT_GE(number(nv("nvoEnergySumNR")), after);
    home.clock.advance(1h);
    EXPECT_GT(number(nv("nvoEnergySum")), 0);
}

TEST_F(MeterTest, PeakDemandResetsAndTheClockFollowsTimeSet)
{
    home.clock.advance(2h);
    EXPECT_GT(number(nv("nvoDemandPk")), 0);
    nv("nviResetPkDemand")->SetValue("1");
    EXPECT_EQ(number(nv("nvoDemandPk")), 0);
    nv("nviTimeSet")->SetValue("2012/01/02 03:04:05");
    home.clock.advance(10s);
    EXPECT_EQ(nv("nviTimeSet")->Value(), "2012/01/02 03:04:15");
}

TEST_F(MeterTest, TypeChangeReadsBackAndUnknownTypesAreRefused)
{
    auto typeCp = nv("nvoPowerSum")->Cps().Item("SCPTnvType");
    const std::string kilo = "PID 0:0:0:0:0:0:0:0, Scope 0, Index 28, NVT_CAT_UNSIGNED_LONG, 2 bytes, A=1, B=-1, C=0";
    const double watts = number(nv("nvoPowerA"));
    typeCp->SetValue(kilo);
    EXPECT_EQ(typeCp->Value(), kilo);
    EXPECT_EQ(nv("nvoPowerC")->FormatSpec(), "SNVT_power_kilo");
    EXPECT_NEAR(number(nv("nvoPowerA")), watts / 1000, 0.1);
    EXPECT_THROW(typeCp->SetValue("PID 0:0:0:0:0:0:0:0, Scope 0, Index 99, NVT_CAT_FLOAT, 4 bytes, A=1, B=0, C=0"), RuntimeError);
    EXPECT_EQ(typeCp->Value(), kilo);
    EXPECT_EQ(meter->QueryStatus().lastErrorCode, 8) << "the meter reports the refused type";
    meter->ClearStatus();
    EXPECT_EQ(meter->QueryStatus().lastErrorCode, 0);
    typeCp->SetValue(std::string(kInitialNvType));
    EXPECT_EQ(nv("nvoPowerC")->FormatSpec(), "SNVT_power_f");
}

// One measure-and-compute pass against the bench load brings every error near zero.
TEST_F(MeterTest, CalibrationPassConverges)
{
    auto cal = meter->GetInterface()->FunctionalBlocks().Item("TellumicCal")->Cps();
    EXPECT_THROW(cal.Item("UCPTcalPowerA")->SetValue("10100"), RuntimeError) << "locked";
    cal.Item("UCPTfactoryCommand")->SetValue("7461");
    const double target = 100.0 * 120.0;
    for (const char *phase : {"A", "B", "C"}) {
        const std::string p(phase);
        const double measured = number(nv("nvoPower" + p));
        EXPECT_GT(std::abs(measured - target) / target, 0.002) << "a new meter reads off";
        const double volts = number(nv("nvoVolts" + p));
        cal.Item("UCPTcalPower" + p)->SetValue(std::to_string(std::lround(10000 * target / measured)));
        cal.Item("UCPTcalReactive" + p)->SetValue(std::to_string(std::lround(10000 * 1.012362 * target / measured)));
        cal.Item("UCPTcalVolt" + p)->SetValue(std::to_string(std::lround(10000 * 120.0 / volts)));
    }
    for (const char *phase : {"A", "B", "C"}) {
        const std::string p(phase);
        EXPECT_NEAR(number(nv("nvoPower" + p)), target, target * 1e-4) << p;
        EXPECT_NEAR(number(nv("nvoVolts" + p)), 120.0, 120.0 * 1e-4) << p;
        EXPECT_NEAR(number(nv("nvoReacPwr" + p)), 0, 1e-3) << p;
    }
    cal.Item("UCPTfactoryCommand")->SetValue("52817");
    cal.Item("UCPTfactoryCommand")->SetValue("0");
    EXPECT_EQ(cal.Item("UCPTfactoryCommand")->Value(), "0");
    EXPECT_NE(cal.Item("UCPTcalPowerA")->Value(), "10000") << "saved constants stay after locking";
    EXPECT_THROW(cal.Item("UCPTfactoryCommand")->SetValue("1234"), RuntimeError);
}

}  // namespace
}  // namespace tellumic::sim::test
