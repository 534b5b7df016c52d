#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "calibration/calibration_math.h"
#include "calibration/calibration_record.h"
#include "calibration/calibration_tables.h"
#include "foundation/runtime_error.h"

namespace tellumic::test {
namespace {

// Splits one CSV line as any RFC 4180 reader does.
std::vector<std::string> parseCsvLine(const std::string &line)
{
    std::vector<std::string> fields(1);
    bool quoted = false;
    for (std::size_t i = 0; i < line.size(); ++i) {
        const char c = line[i];
        if (quoted) {
            if (c == '"' && i + 1 < line.size() && line[i + 1] == '"')
                fields.back() += line[++i];
            else if (c == '"')
                quoted = false;
            else
                fields.back() += c;
        } else if (c == '"') {
            quoted = true;
        } else if (c == ',') {
            fields.emplace_back();
        } else {
            fields.back() += c;
        }
    }
    return fields;
}

struct RoundCase
{
    double value;
    double rounded;
};

class RoundHalfEven : public ::testing::TestWithParam<RoundCase>
{
};

TEST_P(RoundHalfEven, RoundsToTheNearestAndHalvesToEven)
{
    EXPECT_EQ(roundHalfEven(GetParam().value), GetParam().rounded);
}

INSTANTIATE_TEST_SUITE_P(Values, RoundHalfEven,
                         ::testing::Values(RoundCase{10100.5, 10100}, RoundCase{10101.5, 10102}, RoundCase{10101.01, 10101},
                                           RoundCase{10225.88, 10226}, RoundCase{-2.5, -2}, RoundCase{-3.5, -4},
                                           RoundCase{0.4999, 0}));

TEST(ComputeConstants, ScalesEachGainByReferenceOverMeasurement)
{
    // Phase A: 600 W expected, 594 W read; B reads exactly; C's gain lands on a half.
    const auto c = computeConstants({10000, 10000, 20201}, {10000, 20201, 10000}, {594, 600, 1200}, {120, 240, 121.2}, 600, 120);
    EXPECT_EQ(c.calPower[0], 10101);     // 10101.01
    EXPECT_EQ(c.calReactive[0], 10226);  // 10225.88: the reactive gain follows by 1.012362
    EXPECT_EQ(c.calPower[1], 10000);
    EXPECT_EQ(c.calReactive[1], 10124);  // 10123.62
    EXPECT_EQ(c.calPower[2], 10100);     // 10100.5, to the even neighbour
    EXPECT_EQ(c.calVolt[0], 10000);
    EXPECT_EQ(c.calVolt[1], 10100);      // 10100.5
    EXPECT_EQ(c.calVolt[2], 9901);       // 9900.99
}

struct ComputeFailure
{
    const char *name;
    PhaseConstants calPower;
    PhaseValues measPower, measVolt;
    std::int32_t number;
    const char *names;  // what the description must name
    double target = 600, nominal = 120;
};

class ComputeFailures : public ::testing::TestWithParam<ComputeFailure>
{
};

TEST_P(ComputeFailures, RaiseBeforeAnyConstantIsReturned)
{
    const auto &f = GetParam();
    try {
        computeConstants(f.calPower, {10000, 10000, 10000}, f.measPower, f.measVolt, f.target, f.nominal);
        FAIL() << "no error";
    } catch (const RuntimeError &e) {
        EXPECT_EQ(e.number(), f.number);
        EXPECT_NE(e.description().find(f.names), std::string::npos) << e.description();
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ComputeFailures,
    ::testing::Values(
        ComputeFailure{"NoPowerOnPhaseC", {10000, 10000, 10000}, {600, 600, 0}, {120, 120, 120}, 11,
                       "Division by zero (the real power of phase C"},
        ComputeFailure{"NoVoltageOnPhaseA", {10000, 10000, 10000}, {600, 600, 600}, {0, 120, 120}, 11, "voltage of phase A"},
        ComputeFailure{"GainBeyond32Bits", {2000000000, 10000, 10000}, {1, 600, 600}, {120, 120, 120}, 6, "CalPowerA"},
        ComputeFailure{"NegativeBeyond32Bits", {10000, -2000000000, 10000}, {600, 1, 600}, {120, 120, 120}, 6, "CalPowerB"},
        // A CT rating of 0 would scale all six power constants to 0.
        ComputeFailure{"NoTargetPower", {10000, 10000, 10000}, {600, 600, 600}, {120, 120, 120}, 5,
                       "Nothing to calibrate against (the target power, CtAmps \u00D7 NominalVac, is 0)", 0, 120},
        ComputeFailure{"NoNominalVoltage", {10000, 10000, 10000}, {600, 600, 600}, {120, 120, 120}, 5,
                       "(the NominalVac is 0)", 600, 0}),
    [](const auto &info) { return std::string(info.param.name); });

struct ErrorCase
{
    double fraction;
    const char *shown;
    bool passes;
};

class ErrorBoxes : public ::testing::TestWithParam<ErrorCase>
{
};

TEST_P(ErrorBoxes, ShowPercentWithTwoDecimalsAndJudgeTheShownValue)
{
    EXPECT_EQ(formatError(GetParam().fraction), GetParam().shown);
    EXPECT_EQ(withinTolerance(GetParam().fraction), GetParam().passes);
}

INSTANTIATE_TEST_SUITE_P(Values, ErrorBoxes,
                         ::testing::Values(ErrorCase{(121.2 - 120) / 120, "1.00%", false}, ErrorCase{-3.0 / 600, "-0.50%", false},
                                           ErrorCase{0.01236, "1.24%", false}, ErrorCase{0, "0.00%", true},
                                           ErrorCase{0.002, "0.20%", true}, ErrorCase{-0.00199, "-0.20%", true},
                                           ErrorCase{0.0021, "0.21%", false}, ErrorCase{-1.5, "-150.00%", false}));

struct ModelCase
{
    const char *model;
    std::int16_t nominal, minimum;
};

class VoltageDefaults : public ::testing::TestWithParam<ModelCase>
{
};

TEST_P(VoltageDefaults, FollowTheModelCode)
{
    EXPECT_EQ(NominalVacFromModel(GetParam().model), GetParam().nominal);
    EXPECT_EQ(MinVacFromModel(GetParam().model), GetParam().minimum);
}

INSTANTIATE_TEST_SUITE_P(
    Models, VoltageDefaults,
    ::testing::Values(ModelCase{"TMC-3D-400-FT10-L", 230, 46}, ModelCase{"TMC-3Y-208-FT10", 120, 24},
                      ModelCase{"TMC-3Y-480-FT10", 277, 55}, ModelCase{"TMC-3Y-600-FT10-L", 347, 69},
                      ModelCase{"TMC-3D-240-FT10", 120, 24}, ModelCase{"TMC-3D-480-FT10-L", 277, 55},
                      ModelCase{"TMC-3X-999-FT10", 0, 0}, ModelCase{"TMC-3y-208-FT10", 0, 0}, ModelCase{"TMC", 0, 0},
                      ModelCase{"", 0, 0}));

TEST(ModelLists, OfferTheSevenModelsWithAndWithoutL)
{
    ASSERT_EQ(modelList().size(), 7u);
    ASSERT_EQ(modelListL().size(), 7u);
    EXPECT_EQ(modelList().front(), "TMC-3Y-208-FT10");
    EXPECT_EQ(modelList().back(), "TMC-3D-480-FT10");
    for (std::size_t i = 0; i < 7; ++i) {
        EXPECT_EQ(modelListL()[i], modelList()[i] + "-L");
        EXPECT_EQ(modelListL()[i].size(), 17u);
        EXPECT_NE(NominalVacFromModel(modelListL()[i]), 0) << "every offered model has voltage defaults";
    }
}

TEST(CalibrationSupport, FiveProgramIdsWithTheirBlocks)
{
    struct Row
    {
        const char *programId, *block;
        bool identityInCal, withL, initLogging;
    };
    const Row rows[] = {{"80B7E515008A0409", "TellumicConfig", true, true, false},
                        {"80B7E515000A0407", "TellumicCal", false, false, false},
                        {"80b7e515000a040a", "TellumicCal", false, true, true},
                        {"90B7E515000A040C", "TellumicCal", false, false, false},
                        {"90B7E515000A040D", "TellumicCal", false, true, true}};
    for (const auto &r : rows) {
        const auto *s = findCalibrationSupport(r.programId);
        ASSERT_NE(s, nullptr) << r.programId;
        EXPECT_EQ(s->calibrationBlock, r.block) << r.programId;
        EXPECT_EQ(s->identityInCalibrationBlock, r.identityInCal) << r.programId;
        EXPECT_EQ(s->modelsWithL, r.withL) << r.programId;
        EXPECT_EQ(s->offersInitLogging, r.initLogging) << r.programId;
    }
    for (const char *unsupported : {"80B7E515000A0402", "80B7E515000A0405", "90B7E515000A040B", "80B7E515000A0403", ""})
        EXPECT_EQ(findCalibrationSupport(unsupported), nullptr) << unsupported;
}

struct FieldCase
{
    const char *text, *written;
};

class RecordFields : public ::testing::TestWithParam<FieldCase>
{
};

TEST_P(RecordFields, QuoteOnlyWhatWouldSplitTheLine)
{
    EXPECT_EQ(csvField(GetParam().text), GetParam().written);
}

INSTANTIATE_TEST_SUITE_P(Texts, RecordFields,
                         ::testing::Values(FieldCase{"100234", "100234"}, FieldCase{"TMC-3Y-208-FT10-L", "TMC-3Y-208-FT10-L"},
                                           FieldCase{"", ""}, FieldCase{" padded ", " padded "},
                                           FieldCase{"SN,042", "\"SN,042\""}, FieldCase{"12\" rack", "\"12\"\" rack\""},
                                           FieldCase{"two\r\nlines", "\"two\r\nlines\""}));

TEST(RecordLine, HasTwentyOneFieldsForAnyReader)
{
    EXPECT_EQ(parseCsvLine(std::string(calibrationHeader())).size(), kCalibrationFieldCount);
    EXPECT_EQ(parseCsvLine(std::string(calibrationHeader())).back(), "PhaseAdjC");
    std::array<std::string, kCalibrationFieldCount> fields;
    for (std::size_t i = 0; i < fields.size(); ++i)
        fields[i] = std::to_string(i);
    fields[1] = "SN,042";
    fields[2] = "Model \"X\", rev 2";
    const auto line = calibrationRecordLine(fields);
    EXPECT_EQ(line.substr(0, 35), "0,\"SN,042\",\"Model \"\"X\"\", rev 2\",3,4");
    const auto parsed = parseCsvLine(line);
    ASSERT_EQ(parsed.size(), kCalibrationFieldCount);
    EXPECT_EQ(parsed[1], "SN,042");
    EXPECT_EQ(parsed[2], "Model \"X\", rev 2");
    EXPECT_EQ(parsed[20], "20");
}

}  // namespace
}  // namespace tellumic::test
