// A communication failure at each call of an operation in turn: browse, apply, a meter
// command and a log download on the simulated logging meter, the failure put on the meter's
// first device call, then its second, and so on until the operation ends without meeting it.
// After every run the plug-in must still be sound: nothing crashed, LnsBusy is clear, the
// action queue runs, the CSV log holds its earlier bytes plus whole lines, and the network
// and registry databases pass SQLite's integrity check.

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QCheckBox>
#include <QLineEdit>
#include <QRadioButton>
#include <QTabWidget>

#include <SQLiteCpp/SQLiteCpp.h>

#include <iostream>

#include "device/device_window.h"
#include "device/event_log_widget.h"
#include "device/monitor.h"
#include "foundation/paths.h"
#include "foundation/plugin_state.h"
#include "host/plugin_api.h"
#include "log/log_csv.h"
#include "log/log_transfer.h"
#include "model/value_boxes.h"
#include "sim/installation.h"
#include "sim/models/meter_state.h"
#include "sim/network_db.h"
#include "sim/sim_control.h"
#include "sim/sim_object_server.h"
#include "tests/host/plugin_fixture.h"
#include "tests/support/temp_home.h"

namespace tellumic {
namespace {

constexpr const char *kMeter = "TMC-FT-Log-364";
constexpr const char *kMeterObject = "Demo/Demo/Meters/TMC-FT-Log-364";
// Far more calls than any of these operations makes: a sweep that gets here never ends.
constexpr int kMostIndexes = 2000;

// The sweep presses buttons hundreds of times; click() runs the same slot as an accessible
// press without waiting for the press animation each time.
void press(QAbstractButton *button)
{
    ASSERT_TRUE(button);
    ASSERT_TRUE(button->isEnabled()) << button->objectName().toStdString();
    button->click();
}

std::string integrity(const std::filesystem::path &db)
{
    SQLite::Database d(db.string(), SQLite::OPEN_READONLY);
    return d.execAndGet("PRAGMA integrity_check").getString();
}

// The bytes added to a CSV log are whole short-record lines (after the header when the file
// was empty), never a torn line.
void expectWholeLinesAdded(const std::string &before, const std::string &after)
{
    ASSERT_TRUE(after.starts_with(before)) << "earlier bytes changed";
    std::string_view added(after);
    added.remove_prefix(before.size());
    const std::string header = std::string(logCsvHeader(true)) + "\r\n";
    if (before.empty() && added.starts_with(header))
        added.remove_prefix(header.size());
    while (!added.empty()) {
        const auto eol = added.find("\r\n");
        ASSERT_NE(eol, std::string_view::npos) << "a torn line: " << added;
        const auto line = added.substr(0, eol);
        EXPECT_EQ(std::count(line.begin(), line.end(), ','), 12) << line;
        added.remove_prefix(eol + 2);
    }
}

class FaultSweepTest : public test::PlugInProcessTest
{
protected:
    void SetUp() override
    {
        PlugInProcessTest::SetUp();
        meterId = sim::SimControl(lonWorks).device(kMeter).id;
        api = std::make_unique<LNSPlugInAPI>();
        api->SetNetworkName("Demo");
    }

    void TearDown() override
    {
        api.reset();
        PlugInProcessTest::TearDown();
    }

    DeviceWindow &window() { return DeviceWindow::instance(); }
    template <class T = QLineEdit>
    T *w(const char *name)
    {
        return window().findChild<T *>(QString::fromLatin1(name));
    }
    std::filesystem::path csv() const { return programFolder() / GetLogFilename(kMeter, true); }

    void browse()
    {
        try {
            api->SendCommand(20, 7, kMeterObject);
        } catch (const RuntimeError &) {
            ++hostErrors;
        }
    }

    // Types into a catalogue box as a user would.
    void type(ControlArray array, int index, const QString &text)
    {
        auto *box = window().box({array, index});
        ASSERT_TRUE(box);
        box->setFocus();
        box->selectAll();
        box->insert(text);
        Q_EMIT box->textEdited(box->text());
    }

    void setCommFailure(int atCall)
    {
        sim::DeviceFaults faults;
        faults.commFailAtCall = atCall;
        sim::SimControl(lonWorks).setFaults(meterId, faults);
    }

    // What the user and the host have been told so far: message boxes, error lines of the
    // event log, errors raised to the host.
    std::size_t told()
    {
        const std::size_t errorLines =
            DeviceWindow::exists() ? static_cast<std::size_t>(window().eventLog().lines().filter("\tError\t").size()) : 0;
        return home.dialogs.shown().size() + errorLines + static_cast<std::size_t>(hostErrors);
    }

    // What must hold after every run, whatever the run met.
    void expectSound(const std::string &csvBefore)
    {
        EXPECT_FALSE(LnsBusy());
        EXPECT_FALSE(logFtpState().LogReading);
        auto &queue = window().queue();
        queue.QueueLnsAction("UpdateLogInfo");
        window().Timer1_Timer();
        EXPECT_EQ(queue.LnsActionCount(), 0) << "the queue no longer runs";
        if (plugIn().CurrentDevice) {
            EXPECT_GT(server->core().deviceCallsSinceFaults(meterId), 0u) << "the queued action did not reach the meter";
        }
        EXPECT_FALSE(LnsBusy());
        expectWholeLinesAdded(csvBefore, test::readFile(csv()));
        EXPECT_EQ(integrity(sim::networkDbPath(lonWorks)), "ok");
        EXPECT_EQ(integrity(registryStorePath()), "ok");
    }

    // Runs the operation with a failure at the meter's call 1, 2, ... and checks the plug-in
    // after each run; returns how many indexes it took until the operation met no failure.
    int sweep(const char *operation, const std::function<void(int)> &run)
    {
        for (int atCall = 1; atCall <= kMostIndexes; ++atCall) {
            SCOPED_TRACE(std::string(operation) + ", failure at call " + std::to_string(atCall));
            const std::string csvBefore = test::readFile(csv());
            const std::size_t toldBefore = told();
            setCommFailure(atCall);
            run(atCall);
            const std::uint64_t calls = server->core().deviceCallsSinceFaults(meterId);
            setCommFailure(0);
            if (calls >= static_cast<std::uint64_t>(atCall)) {
                EXPECT_GT(told(), toldBefore) << "a failure passed in silence";
            }
            expectSound(csvBefore);
            if (::testing::Test::HasFatalFailure())
                return atCall;
            if (calls < static_cast<std::uint64_t>(atCall)) {
                std::cout << "[ sweep    ] " << operation << ": " << atCall << " indexes\n";
                return atCall;
            }
        }
        ADD_FAILURE() << operation << " still meets the failure after " << kMostIndexes << " calls";
        return kMostIndexes;
    }

    std::int64_t meterId = 0;
    std::unique_ptr<LNSPlugInAPI> api;
    int hostErrors = 0;
};

TEST_F(FaultSweepTest, Browse)
{
    const int indexes = sweep("browse", [&](int) { browse(); });
    EXPECT_GT(indexes, 10);
    EXPECT_EQ(plugIn().CurrentDeviceName, kMeter);
    EXPECT_EQ(w("txtNodeName")->text(), kMeter);
    EXPECT_TRUE(window().timerActive());
}

TEST_F(FaultSweepTest, Apply)
{
    browse();
    ASSERT_TRUE(window().timerActive());
    const int indexes = sweep("apply", [&](int atCall) {
        type(ControlArray::txtCp, 6, QString::number(600 + 60 * atCall));
        type(ControlArray::txtNvi, 0, QStringLiteral("2026-12-10 08:05:03"));
        press(w<QAbstractButton>("cmdApply"));
    });
    EXPECT_GT(indexes, 2);
    EXPECT_FALSE(window().editPending());
    auto sendTime = plugIn().CurrentDevice->GetInterface()->Nvs().Item("nvoEnergySum")->Cps().Item(1);
    const int minutes = (600 + 60 * indexes) / 60;
    EXPECT_EQ(sendTime->Value(), "0 0:" + std::to_string(minutes) + ":0:0");
}

TEST_F(FaultSweepTest, MeterCommand)
{
    browse();
    ASSERT_TRUE(window().timerActive());
    const int indexes = sweep("reset energy", [&](int) {
        home.dialogs.queueAnswer(MsgResult::Ok);
        press(w<QAbstractButton>("cmdResetEnergy"));
        EXPECT_EQ(home.dialogs.pendingAnswers(), 0u) << "the confirmation was asked";
    });
    EXPECT_GT(indexes, 1);
    EXPECT_EQ(plugIn().CurrentDevice->GetInterface()->Nvs().Item("nviResetEnergy")->Value(), "1");
}

class LogDownloadSweep : public FaultSweepTest
{
protected:
    void SetUp() override
    {
        FaultSweepTest::SetUp();
        browse();
        ASSERT_TRUE(window().timerActive());
        for (int i = 0; i < window().tabs().count(); ++i)
            if (window().tabs().tabText(i) == "Logging")
                window().tabs().setCurrentIndex(i);
        if (!w<QCheckBox>("ckShort")->isChecked())
            press(w<QCheckBox>("ckShort"));
        window().Timer1_Timer();
        press(w<QRadioButton>("optPriorN"));
        w("txtPriorN")->setText("20");
        // An earlier download, so that the log has bytes to keep.
        press(w<QAbstractButton>("cmdReadLogData"));
        ASSERT_EQ(w("txtPercentComplete")->text(), "Done");
        home.clock.advance(std::chrono::hours(1));
    }
};

TEST_F(LogDownloadSweep, CommunicationFailureAtEachCall)
{
    const int indexes = sweep("log download", [&](int) { press(w<QAbstractButton>("cmdReadLogData")); });
    EXPECT_GE(indexes, 3) << "the request, the read, and a run that meets no failure";
    EXPECT_EQ(w("txtPercentComplete")->text(), "Done");
}

// The same for a meter that stops answering part-way through its records, at every half
// record of the download in turn.
TEST_F(LogDownloadSweep, StopsPartWayAtEachHalfRecord)
{
    sim::SimControl control(lonWorks);
    int indexes = 0;
    for (std::size_t after = 0; after <= 20 * 24; after += 12) {
        SCOPED_TRACE("the meter stops after " + std::to_string(after) + " bytes");
        ++indexes;
        const std::string before = test::readFile(csv());
        control.setDeviceValue(meterId, sim::kFaultFailAfterKey, std::to_string(after));
        press(w<QAbstractButton>("cmdReadLogData"));
        control.setDeviceValue(meterId, sim::kFaultFailAfterKey, "");
        EXPECT_EQ(w("txtPercentComplete")->text(), after < 20 * 24 ? "Failed" : "Done");
        EXPECT_EQ(test::readFile(csv()).size() > before.size(), after == 20 * 24);
        expectSound(before);
        if (HasFatalFailure())
            return;
    }
    std::cout << "[ sweep    ] log download stopped part-way: " << indexes << " indexes\n";
}

}  // namespace
}  // namespace tellumic
