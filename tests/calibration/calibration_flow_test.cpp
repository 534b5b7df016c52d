#include <gtest/gtest.h>

#include <QPlainTextEdit>

#include <fstream>
#include <sstream>

#include "calibration/calibration_record.h"
#include "foundation/file_io.h"
#include "model/date_time.h"
#include "tests/calibration/calibration_fixture.h"
#include "tests/sim/sim_fixture.h"

namespace tellumic::test {
namespace {

// The constants as the window names their boxes and the meter its properties.
const std::pair<const char *, const char *> kConstants[] = {
    {"CalPower", "UCPTcalPower"}, {"CalReactive", "UCPTcalReactive"}, {"CalVolt", "UCPTcalVolt"}, {"PhaseAdj", "UCPTphaseAdj"}};

// Splits one CSV line as any RFC 4180 reader does.
std::vector<std::string> parseCsvLine(const std::string &line)
{
    std::vector<std::string> fields(1);
    bool quoted = false;
    for (std::size_t i = 0; i < line.size(); ++i) {
        const char c = line[i];
        if (quoted && c == '"' && i + 1 < line.size() && line[i + 1] == '"')
            fields.back() += line[++i];
        else if (c == '"')
            quoted = !quoted;
        else if (c == ',' && !quoted)
            fields.emplace_back();
        else
            fields.back() += c;
    }
    return fields;
}

// The record file's lines, without their CR LF.
std::vector<std::string> recordLines()
{
    std::vector<std::string> lines;
    std::istringstream in(readFile(calibrationFilePath()));
    for (std::string line; std::getline(in, line);) {
        EXPECT_TRUE(!line.empty() && line.back() == '\r') << "lines end in CR LF";
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        lines.push_back(line);
    }
    return lines;
}

// A meter clock no compute would set.
constexpr const char *kClockBefore = "2012/04/06 10:20:30";

class CalibrationFlow : public CalibrationTest
{
protected:
    // A 5 A meter at 120 V (target 600 W per phase) whose readings are held at set values.
    void openPinned(const std::map<std::string, std::string> &readings)
    {
        openCalibration("TMC-FT-Log-364");
        nodeCp("UCPTctAmps")->SetValue("5");
        std::map<std::string, std::string> all = {
            {"nvoPowerA", "600"}, {"nvoPowerB", "600"}, {"nvoPowerC", "600"}, {"nvoReacPwrA", "0"}, {"nvoReacPwrB", "0"},
            {"nvoReacPwrC", "0"}, {"nvoVoltsA", "120"}, {"nvoVoltsB", "120"}, {"nvoVoltsC", "120"}};
        for (const auto &[name, value] : readings)
            all[name] = value;
        for (const auto &[name, value] : all)
            nv(name)->SetValue(value);
    }

    void expectMeterConstants(const std::string &expected)
    {
        for (const auto &[stem, property] : kConstants)
            for (char p : {'A', 'B', 'C'}) {
                const std::string want = std::string(stem) == "PhaseAdj" ? "1000" : expected;
                EXPECT_EQ(calCp(property + std::string(1, p))->Value(), want) << stem << p;
                EXPECT_EQ(text(("txt" + std::string(stem) + p).c_str()), want) << stem << p;
            }
    }

    // With TELLUMIC_SCREENSHOT_DIR set (a run under Xvfb), saves the window as it stands.
    void screenshot(const char *name)
    {
        if (const char *dir = std::getenv("TELLUMIC_SCREENSHOT_DIR")) {
            cal->resize(1040, 600);
            cal->show();
            QApplication::processEvents();
            cal->grab().save(QString::fromLocal8Bit(dir) + "/" + name);
        }
    }

    void compute()
    {
        ASSERT_TRUE(press("cmdRecomputeCal"));
        EXPECT_EQ(cal->calState(), 4);
        EXPECT_EQ(cal->timerInterval(), 500);
        EXPECT_EQ(QApplication::overrideCursor() ? QApplication::overrideCursor()->shape() : Qt::ArrowCursor, Qt::WaitCursor);
        tick();
        EXPECT_EQ(QApplication::overrideCursor(), nullptr) << "the hourglass goes";
        EXPECT_TRUE(button("cmdRecomputeCal")->isEnabled());
    }
};

// The worked examples: 594 W against 600 W, 121.2 V against 120 V, -3 VAR against 600 W.
TEST_F(CalibrationFlow, MeasuresComputesAndWritesTheConstants)
{
    openPinned({{"nvoPowerA", "594"}, {"nvoReacPwrA", "-3"}, {"nvoVoltsA", "121.2"}});
    calCp("UCPTfactoryCommand")->SetValue("7461");
    for (char p : {'A', 'B', 'C'})
        calCp(std::string("UCPTphaseAdj") + p)->SetValue("990");
    calCp("UCPTfactoryCommand")->SetValue("52817");
    calCp("UCPTfactoryCommand")->SetValue("0");
    tick(2);
    EXPECT_EQ(text("txtTargetPower"), "600");
    EXPECT_EQ(text("txtPowerA"), "594");
    EXPECT_EQ(text("txtErrPowerA"), "-1.00%");
    EXPECT_EQ(text("txtErrReacA"), "-0.50%");
    EXPECT_EQ(text("txtErrVoltA"), "1.00%");
    EXPECT_EQ(text("txtErrPowerB"), "0.00%");
    EXPECT_EQ(edit("txtErrVoltA")->accessibleDescription(), "Outside the tolerance of \u00B10.20 %");
    EXPECT_EQ(edit("txtErrVoltB")->accessibleDescription(), "Within the tolerance of \u00B10.20 %");
    EXPECT_NE(edit("txtErrVoltA")->palette().color(QPalette::Base), edit("txtErrVoltB")->palette().color(QPalette::Base));
    EXPECT_EQ(text("txtPassStatus").rfind("Measuring: 3 of 9 errors outside \u00B10.20 %", 0), 0u) << text("txtPassStatus");
    EXPECT_EQ(cal->timerInterval(), 2000);

    startCalibration();
    compute();
    EXPECT_TRUE(boxes().empty()) << boxes().front();
    EXPECT_EQ(text("txtCalPowerA"), "10101");
    EXPECT_EQ(text("txtCalReactiveA"), "10226");
    EXPECT_EQ(text("txtCalVoltA"), "9901");
    EXPECT_EQ(text("txtCalPowerB"), "10000");
    EXPECT_EQ(text("txtCalReactiveB"), "10124");
    EXPECT_EQ(text("txtCalVoltC"), "10000");
    for (const auto &[name, value] : std::map<std::string, std::string>{
             {"UCPTcalPowerA", "10101"}, {"UCPTcalReactiveA", "10226"}, {"UCPTcalVoltA", "9901"}, {"UCPTcalReactiveC", "10124"},
             {"UCPTphaseAdjA", "1000"}, {"UCPTphaseAdjB", "1000"}, {"UCPTphaseAdjC", "1000"}})
        EXPECT_EQ(calCp(name)->Value(), value) << name;
    EXPECT_EQ(cal->keptCalPower()[0], 10101);
    for (const char *b : {"txtPowerA", "txtReacPwrB", "txtVoltC", "txtErrPowerA", "txtErrReacC", "txtErrVoltB"})
        EXPECT_EQ(text(b), "") << b << " stays empty until the next pass";
    EXPECT_EQ(cal->calState(), 3);
    EXPECT_EQ(cal->timerInterval(), 6000) << "the meter settles on its new constants";
    tick();
    EXPECT_EQ(text("txtErrPowerA"), "-1.00%") << "the readings are held";
    EXPECT_EQ(text("txtPassStatus").rfind("Check pass of the new constants: 3 of 9 errors outside", 0), 0u)
        << text("txtPassStatus");
    tick();
    EXPECT_EQ(text("txtPassStatus").rfind("Measuring:", 0), 0u) << "only the first pass is the check pass";
}

TEST_F(CalibrationFlow, NoPowerOnOnePhaseWritesNothing)
{
    openPinned({{"nvoPowerC", "0"}});
    startCalibration();
    tick();
    EXPECT_EQ(text("txtErrPowerC"), "-100.00%");
    nv("nviTimeSet")->SetValue(kClockBefore);
    compute();
    EXPECT_EQ(boxes(),
              std::vector<std::string>{"|Error computing calibration: Division by zero (the real power of phase C measured 0)"});
    expectMeterConstants("10000");
    EXPECT_EQ(nv("nviTimeSet")->Value(), kClockBefore) << "a refused compute does not set the meter clock either";
    EXPECT_EQ(text("txtErrPowerC"), "-100.00%") << "the measurement stays for the technician to see";
}

// A second compute before a measuring pass of the new constants has nothing to compute from:
// the measurements taken with the old constants would correct the meter a second time.
TEST_F(CalibrationFlow, ASecondComputeBeforeTheNextPassWritesNothing)
{
    openPinned({{"nvoPowerA", "594"}});
    startCalibration();
    tick();
    compute();
    ASSERT_TRUE(boxes().empty()) << boxes().front();
    ASSERT_EQ(calCp("UCPTcalPowerA")->Value(), "10101");
    ASSERT_EQ(cal->timerInterval(), 6000);
    compute();
    EXPECT_EQ(calCp("UCPTcalPowerA")->Value(), "10101") << "corrected once only";
    ASSERT_EQ(boxes().size(), 1u);
    EXPECT_NE(boxes()[0].find("Error computing calibration: Division by zero"), std::string::npos) << boxes()[0];
    EXPECT_EQ(text("txtCalPowerA"), "10101") << "the boxes show what the meter holds";
}

// A write that fails inside the transaction closes it and frees the meter's properties; the
// window goes on with the constants the meter really holds.
TEST_F(CalibrationFlow, AFailedWriteClosesTheTransaction)
{
    struct Row
    {
        const char *name;
        bool lockBehind;  // otherwise the link fails in the middle of the commit
        const char *cause;
    };
    const Row rows[] = {{"locked behind the window's back", true, "LCA: the meter is locked"},
                        {"link lost in the middle of the commit", false, "LCA: Communication failure"}};
    for (const auto &row : rows) {
        SCOPED_TRACE(row.name);
        openPinned({{"nvoPowerA", "594"}, {"nvoVoltsB", "118"}});
        startCalibration();
        tick();
        if (row.lockBehind) {
            calCp("UCPTfactoryCommand")->SetValue("0");
        } else {
            // The clock write is the first transaction, then come the twelve writes of the commit.
            sim::DeviceFaults f;
            f.commFailAtCall = 5;
            control().setFaults(control().device("TMC-FT-Log-364").id, f);
        }
        compute();
        control().setFaults(control().device("TMC-FT-Log-364").id, sim::DeviceFaults{});
        ASSERT_EQ(boxes().size(), 1u);
        EXPECT_EQ(boxes()[0].rfind(std::string("|Error computing calibration: Error writing calibration CPs: ") + row.cause, 0), 0u)
            << boxes()[0];
        EXPECT_FALSE(cal->CpBusy());
        EXPECT_NO_THROW(plugIn().CurrentSystem->StartTransaction()) << "no transaction was left open";
        plugIn().CurrentSystem->CancelTransaction();
        for (const auto &[stem, property] : kConstants)
            for (char p : {'A', 'B', 'C'}) {
                const auto held = calCp(property + std::string(1, p))->Value();
                EXPECT_EQ(text(("txt" + std::string(stem) + p).c_str()), held) << stem << p;
            }
        EXPECT_EQ(std::to_string(cal->keptCalPower()[0]), calCp("UCPTcalPowerA")->Value());
        EXPECT_EQ(std::to_string(cal->keptCalVolt()[1]), calCp("UCPTcalVoltB")->Value());
        cal.reset();
        window->releaseDevice();
        home.dialogs.clearShown();
    }
}

struct MissingCase
{
    const char *serial, *model, *box;
};

class SaveRefused : public CalibrationFlow, public ::testing::WithParamInterface<MissingCase>
{
};

TEST_P(SaveRefused, WithoutSerialNumberOrModel)
{
    openCalibration("TMC-FT-Log-364");
    startCalibration();
    type("txtSerialNumber", GetParam().serial);
    type("cboModel", GetParam().model);
    home.dialogs.clearShown();
    ASSERT_TRUE(press("cmdSaveCal"));
    EXPECT_EQ(boxes(), std::vector<std::string>{std::string("Error Saving Calibration|") + GetParam().box});
    EXPECT_EQ(calCp("UCPTfactoryCommand")->Value(), "7461") << "nothing sent";
    EXPECT_FALSE(FileExists(calibrationFilePath()));
    EXPECT_EQ(cal->calState(), 3);
    EXPECT_TRUE(button("cmdSaveCal")->isEnabled());
}

INSTANTIATE_TEST_SUITE_P(Fields, SaveRefused,
                         ::testing::Values(MissingCase{"   ", "TMC-3Y-208-FT10-L", "Please enter a serial number first"},
                                           MissingCase{"", "TMC-3Y-208-FT10-L", "Please enter a serial number first"},
                                           MissingCase{"SN-7", "  ", "Please enter a model first"}),
                         [](const auto &info) {
                             return std::string(info.index < 2 ? "SerialNumber" : "Model") + std::to_string(info.index);
                         });

// "Save" stores the calibration (52817), locks the meter two seconds later, and appends a
// record; the first save creates the file with its header.
TEST_F(CalibrationFlow, SaveRecordsEachCalibration)
{
    openCalibration("TMC-FT-Log-364");
    startCalibration();
    type("txtSerialNumber", "SN,042");
    ASSERT_TRUE(press("cmdSaveCal"));
    EXPECT_TRUE(boxes().empty()) << boxes().front();
    EXPECT_EQ(nodeCp("UCPTserialNumber")->Value(), "SN,042") << "a red field is stored before saving";
    EXPECT_EQ(calCp("UCPTfactoryCommand")->Value(), "52817");
    EXPECT_EQ(window->box({ControlArray::txtCp, 3})->text(), "SN,042") << "the device window shows the meter's values";
    EXPECT_EQ(window->box({ControlArray::txtCp, 5})->text(), "TMC-3Y-208-FT10-L");
    const auto status = cal->findChild<QPlainTextEdit *>("txtCalStatus")->toPlainText().toStdString();
    EXPECT_EQ(status, "Calibration file: " + calibrationFilePath().string() + "\n Must create file");
    EXPECT_EQ(cal->calState(), 2);
    EXPECT_EQ(cal->timerInterval(), 2000);
    tick();
    EXPECT_EQ(calCp("UCPTfactoryCommand")->Value(), "0") << "locked two seconds later";
    EXPECT_FALSE(cal->calStarted());

    auto lines = recordLines();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0], calibrationHeader());
    auto fields = parseCsvLine(lines[1]);
    ASSERT_EQ(fields.size(), 21u) << lines[1];
    EXPECT_EQ(fields[0], FormatDateTimeVB(home.clock.now() - std::chrono::milliseconds(2000)));
    EXPECT_EQ(fields[1], "SN,042");
    EXPECT_EQ(fields[2], "TMC-3Y-208-FT10-L");
    EXPECT_EQ(fields[4], text("txtNeuronId"));
    EXPECT_EQ(fields[5], "80B7E515000A040A");
    EXPECT_EQ(fields[6], "120");
    EXPECT_EQ(fields[8], "10000");
    EXPECT_EQ(fields[17], "100");
    EXPECT_EQ(fields[20], "1000");

    startCalibration();
    type("txtSerialNumber", "SN-043");
    ASSERT_TRUE(press("cmdSaveCal"));
    EXPECT_EQ(cal->findChild<QPlainTextEdit *>("txtCalStatus")->toPlainText().toStdString(),
              "Calibration file: " + calibrationFilePath().string());
    lines = recordLines();
    ASSERT_EQ(lines.size(), 3u) << "appended";
    EXPECT_EQ(parseCsvLine(lines[2])[1], "SN-043");
}

// A save the meter refuses is not recorded and can be tried again; a record file that cannot
// be written is reported while the meter keeps its saved calibration.
TEST_F(CalibrationFlow, FailuresWhileSavingAreReported)
{
    openCalibration("TMC-FT-Log-364");
    startCalibration();
    sim::DeviceFaults refuse;
    refuse.refuseWrites = true;
    control().setFaults(control().device("TMC-FT-Log-364").id, refuse);
    ASSERT_TRUE(press("cmdSaveCal"));
    ASSERT_FALSE(boxes().empty());
    EXPECT_EQ(boxes().back().rfind("Tellumic Calibration|The meter did not take the factory command 52817", 0), 0u)
        << boxes().back();
    EXPECT_FALSE(FileExists(calibrationFilePath()));
    EXPECT_TRUE(cal->calStarted());
    EXPECT_EQ(cal->calState(), 3);
    EXPECT_TRUE(button("cmdSaveCal")->isEnabled());
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);

    control().setFaults(control().device("TMC-FT-Log-364").id, sim::DeviceFaults{});
    home.dialogs.clearShown();
    std::filesystem::create_directories(calibrationFilePath());  // a folder where the file should be
    ASSERT_TRUE(press("cmdSaveCal"));
    EXPECT_EQ(calCp("UCPTfactoryCommand")->Value(), "52817");
    ASSERT_EQ(boxes().size(), 2u);
    EXPECT_EQ(boxes()[0].rfind("Error writing log file|Error opening file for writing: ", 0), 0u) << boxes()[0];
    EXPECT_EQ(boxes()[1], "|Error opening calibration results CSV file: " + calibrationFilePath().string());
    tick();
    EXPECT_EQ(calCp("UCPTfactoryCommand")->Value(), "0");
    EXPECT_TRUE(button("cmdExit")->isEnabled());

    // A disk that is full takes no half line.
    std::filesystem::remove(calibrationFilePath());
    std::filesystem::create_symlink("/dev/full", calibrationFilePath());
    home.dialogs.clearShown();
    startCalibration();
    ASSERT_TRUE(press("cmdSaveCal"));
    ASSERT_EQ(boxes().size(), 1u);
    EXPECT_EQ(boxes()[0], "Tellumic Calibration|Error writing calibration results CSV file: " +
                              calibrationFilePath().string() + "\r\nDisk full");
    tick();
    EXPECT_EQ(calCp("UCPTfactoryCommand")->Value(), "0");
}

// A factory technician's whole calibration of a meter whose phase B reads 1 % high and phase
// C 2 % low on the bench, from the first pass to the record and a restart of the simulator.
TEST_F(CalibrationFlow, CalibratesAMeterFromStartToRecord)
{
    std::string out;
    ASSERT_EQ(lnsSim("reference-load TMC-FT-Log-364 B 120 101 1", &out), 0) << out;
    ASSERT_EQ(lnsSim("reference-load TMC-FT-Log-364 C 120 98 1", &out), 0) << out;
    EXPECT_NE(out.find("phase C: 120 V, 98 A, power factor 1"), std::string::npos) << out;
    openCalibration("TMC-FT-Log-364");
    tick(2);
    const auto error = [&](const char *name) { return std::stod(text(name)); };
    EXPECT_GT(error("txtErrPowerB"), 0.9) << "B reads about 1 % high";
    EXPECT_LT(error("txtErrPowerC"), -1.6) << "C reads about 2 % low";
    EXPECT_FALSE(edit("txtErrPowerB")->property("withinTolerance").toBool());
    screenshot("calibration-first-pass.png");

    startCalibration();
    type("txtSerialNumber", "SN-1001");
    enter("txtSerialNumber");
    compute();
    EXPECT_TRUE(boxes().empty()) << boxes().front();
    EXPECT_LT(std::stoi(text("txtCalPowerB")), 10000) << "phase B's gain lowered";
    EXPECT_GT(std::stoi(text("txtCalPowerC")), 10000) << "phase C's gain raised";
    tick();
    EXPECT_EQ(text("txtPassStatus").rfind("Check pass of the new constants: every error is within \u00B10.20 %", 0), 0u)
        << text("txtPassStatus");
    for (const char *stem : {"txtErrPower", "txtErrReac", "txtErrVolt"})
        for (char p : {'A', 'B', 'C'}) {
            const auto name = stem + std::string(1, p);
            EXPECT_TRUE(edit(name.c_str())->property("withinTolerance").toBool()) << name << " " << text(name.c_str());
        }
    screenshot("calibration-check-pass.png");

    std::map<std::string, std::string> constants;
    for (const auto &[stem, property] : kConstants)
        for (char p : {'A', 'B', 'C'})
            constants[property + std::string(1, p)] = text(("txt" + std::string(stem) + p).c_str());
    ASSERT_TRUE(press("cmdSaveCal"));
    tick();
    EXPECT_EQ(calCp("UCPTfactoryCommand")->Value(), "0");
    EXPECT_THROW(calCp("UCPTcalPowerA")->SetValue("10000"), RuntimeError) << "the meter is locked";
    tick();
    EXPECT_TRUE(edit("txtErrPowerC")->property("withinTolerance").toBool()) << "locked, it reads the bench as calibrated";

    const auto lines = recordLines();
    ASSERT_EQ(lines.size(), 2u);
    const auto fields = parseCsvLine(lines[1]);
    ASSERT_EQ(fields.size(), 21u);
    EXPECT_EQ(fields[1], "SN-1001");
    EXPECT_EQ(fields[9], constants["UCPTcalPowerB"]);
    EXPECT_EQ(fields[13], constants["UCPTcalReactiveC"]);
    EXPECT_EQ(fields[16], constants["UCPTcalVoltC"]);

    cal.reset();
    window.reset();
    plugIn() = PlugInState{};
    const auto restarted = sim::test::openSession(lonWorks, "Demo", &home.clock);
    auto cps = restarted.meter("TMC-FT-Log-364")->GetInterface()->FunctionalBlocks().Item("TellumicCal")->Cps();
    for (const auto &[name, value] : constants)
        EXPECT_EQ(cps.Item(name)->Value(), value) << name << " after a restart";
}

// Cancelling puts the meter's saved constants back; the next calibration computes from those,
// not from the cancelled ones, and its check pass finds the meter calibrated.
TEST_F(CalibrationFlow, AfterACancelTheNextCalibrationStartsFromTheMetersConstants)
{
    std::string out;
    ASSERT_EQ(lnsSim("reference-load TMC-FT-Log-364 B 120 101 1", &out), 0) << out;
    openCalibration("TMC-FT-Log-364");
    tick(2);
    startCalibration();
    compute();
    ASSERT_LT(std::stoi(text("txtCalPowerB")), 10000);
    ASSERT_TRUE(press("cmdLockTm"));
    EXPECT_TRUE(edit("txtCtAmps")->isReadOnly()) << "settling, the window takes no settings";
    EXPECT_TRUE(edit("txtCreepLimit")->isReadOnly());
    tick();
    EXPECT_EQ(calCp("UCPTcalPowerB")->Value(), "10000") << "locked, the meter measures with its saved constants";
    EXPECT_EQ(text("txtCalPowerB"), "10000");
    EXPECT_EQ(cal->keptCalPower()[1], 10000);
    EXPECT_EQ(text("txtPowerB"), "") << "readings of the cancelled constants are dropped";
    tick();
    startCalibration();
    compute();
    tick();
    EXPECT_EQ(text("txtPassStatus").rfind("Check pass of the new constants: every error is within \u00B10.20 %", 0), 0u)
        << text("txtPassStatus");
}

// A CT rating of 0 is refused where it is typed; the target power it shows is 0, and Compute
// says so and writes nothing, not even the meter clock.
TEST_F(CalibrationFlow, NoTargetPowerWritesNothing)
{
    openPinned({{"nvoPowerA", "594"}});
    startCalibration();
    type("txtCtAmps", "0");
    enter("txtCtAmps");
    EXPECT_EQ(boxes(), std::vector<std::string>{"Tellumic Calibration|CtAmps: \"0\" must be more than 0 A."});
    EXPECT_TRUE(isRed("txtCtAmps"));
    EXPECT_EQ(nodeCp("UCPTctAmps")->Value(), "5");
    EXPECT_EQ(text("txtTargetPower"), "0");
    home.dialogs.clearShown();
    nv("nviTimeSet")->SetValue(kClockBefore);
    tick();
    ASSERT_TRUE(press("cmdRecomputeCal"));
    EXPECT_TRUE(edit("txtCtAmps")->isReadOnly()) << "computing, the window takes no settings";
    EXPECT_TRUE(edit("txtCreepLimit")->isReadOnly());
    tick();
    EXPECT_EQ(boxes(), std::vector<std::string>{"|Error computing calibration: Nothing to calibrate against (the target "
                                                "power, CtAmps \u00D7 NominalVac, is 0)"});
    expectMeterConstants("10000");
    EXPECT_EQ(nv("nviTimeSet")->Value(), kClockBefore) << "nothing is written before the checks pass";
    EXPECT_FALSE(edit("txtCtAmps")->isReadOnly()) << "editable again once the compute is over";
}

struct ToolCase
{
    const char *name, *args, *message;
};

class ReferenceLoadTool : public CalibrationTest, public ::testing::WithParamInterface<ToolCase>
{
};

TEST_P(ReferenceLoadTool, RefusesWhatIsNoReferenceSource)
{
    ASSERT_EQ(lnsSim("init"), 0);
    std::string out;
    EXPECT_EQ(lnsSim(std::string("reference-load ") + GetParam().args, &out), 2);
    EXPECT_NE(out.find(GetParam().message), std::string::npos) << out;
}

INSTANTIATE_TEST_SUITE_P(
    Arguments, ReferenceLoadTool,
    ::testing::Values(ToolCase{"Phase", "TMC-FT-Log-364 D 120 5 1", "'D' is not a phase; use A, B, C or all."},
                      ToolCase{"PowerFactor", "TMC-FT-Log-364 A 120 5 1.2", "'1.2' is not a power factor from -1 to 1."},
                      ToolCase{"Voltage", "TMC-FT-Log-364 A 12x 5 1", "'12x' is not a voltage from 0 to 1000."},
                      ToolCase{"Current", "TMC-FT-Log-364 A 120 -5 1", "'-5' is not a current from 0 to 10000."},
                      ToolCase{"NotANumber", "TMC-FT-Log-364 A nan 5 1", "'nan' is not a voltage from 0 to 1000."},
                      ToolCase{"NotOff", "TMC-FT-Log-364 on", "'on' is not 'off'"},
                      ToolCase{"TooFew", "TMC-FT-Log-364 A 120 5", "'reference-load' takes a device"},
                      ToolCase{"NotAMeter", "Thermostat off", "Thermostat is not a Tellumic meter."}),
    [](const auto &info) { return std::string(info.param.name); });

TEST_F(CalibrationTest, ReferenceLoadToolConnectsAndDisconnects)
{
    ASSERT_EQ(lnsSim("init"), 0);
    std::string out;
    ASSERT_EQ(lnsSim("reference-load TMC-FT-362 all 230 5 0.8", &out), 0) << out;
    for (const char *phase : {"A", "B", "C"})
        EXPECT_NE(out.find(std::string("phase ") + phase + ": 230 V, 5 A, power factor 0.8"), std::string::npos) << out;
    ASSERT_EQ(lnsSim("reference-load TMC-FT-362 off", &out), 0) << out;
    EXPECT_NE(out.find("phase A: none\n  phase B: none\n  phase C: none\n"), std::string::npos) << out;
    EXPECT_EQ(out.find("rated current"), std::string::npos) << out;
}

}  // namespace
}  // namespace tellumic::test
