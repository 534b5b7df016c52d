// The Logging tab on the simulated network: range selection, validation, estimate, download
// and cancel.

#include <gtest/gtest.h>

#include <fstream>

#include <QCheckBox>
#include <QDateTime>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>

#include "device/event_log_widget.h"
#include "device/logging_tab.h"
#include "foundation/paths.h"
#include "log/log_csv.h"
#include "log/log_transfer.h"
#include "model/date_time.h"
#include "sim/models/meter_state.h"
#include "tests/device/device_fixture.h"

namespace tellumic {
namespace {

constexpr const char *kMeter = "TMC-FT-Log-364";

class LoggingTabTest : public test::DeviceWindowTest
{
protected:
    void SetUp() override
    {
        DeviceWindowTest::SetUp();
        ASSERT_TRUE(open(kMeter));
    }

    QString txt(const char *name) const { return w(name)->text(); }
    int num(const char *name) const { return txt(name).toInt(); }
    std::filesystem::path csv(bool isShort) const { return programFolder() / GetLogFilename(kMeter, isShort); }

    // The record numbers of a CSV file, in file order.
    std::vector<int> recnums(bool isShort) const
    {
        std::vector<int> out;
        const QStringList lines = QString::fromStdString(test::readFile(csv(isShort))).split("\r\n");
        for (int i = 2; i < lines.size(); ++i)
            if (!lines[i].isEmpty())
                out.push_back(lines[i].section(',', 0, 0).toInt());
        return out;
    }

    // Selects the tab and the record format, with the meter's log extent read.
    void prepare(bool isShort)
    {
        selectTab("Logging");
        if (w<QCheckBox>("ckShort")->isChecked() != isShort)
            w<QCheckBox>("ckShort")->click();
        else
            window->queue().ExecuteLnsAction("UpdateLogInfo");
        ASSERT_GT(num("txtTmNewRecnum"), 0);
    }
    void choose(const char *option, const char *box = nullptr, const QString &text = {})
    {
        w<QRadioButton>(option)->click();
        if (box)
            w(box)->setText(text);
    }
    void read() { w<QPushButton>("cmdReadLogData")->click(); }
};

// Each retrieval mode fetches the records it names, oldest first, ending with the newest.
struct ModeCase
{
    const char *option, *box;
    int back;  // records before the newest that the range reaches; -1: the whole log
    int estimateLess;  // the estimate counts intervals back to a date/time, one less than the records
};

class RetrievalMode : public LoggingTabTest, public ::testing::WithParamInterface<ModeCase>
{
};

TEST_P(RetrievalMode, DownloadsTheSelectedRecords)
{
    const ModeCase &c = GetParam();
    prepare(true);
    const int newest = num("txtTmNewRecnum"), oldest = num("txtTmOldRecnum");
    int first = c.back < 0 ? std::max(oldest, newest - 24191) : newest - c.back;
    QString input;
    if (QString(c.box) == "txtPriorN")
        input = QString::number(c.back + 1);
    else if (QString(c.box) == "txtStopRecNum")
        input = QString::number(first);
    else if (QString(c.box) == "txtLogStopDate") {
        const auto newestAt = QDateTime::fromString(
            QString::fromStdString(FormatDateTime(logFtpState().CurrentLogInfo.newest.dateTime)), "yyyy-MM-dd HH:mm:ss");
        input = newestAt.addSecs(-60LL * c.back * num("txtNvi_2")).toString("yyyy-MM-dd HH:mm:ss");
    }
    choose(c.option, c.box[0] ? c.box : nullptr, input);
    const QString estimated = txt("txtFullLogCnt");
    EXPECT_EQ(estimated.toInt(), newest - first + 1 - c.estimateLess);
    read();
    EXPECT_EQ(txt("txtPercentComplete"), "Done");
    const auto got = recnums(true);
    ASSERT_FALSE(got.empty());
    EXPECT_EQ(got.front(), first);
    EXPECT_EQ(got.back(), newest);
    EXPECT_EQ(got.size(), static_cast<std::size_t>(newest - first + 1));
    EXPECT_FALSE(std::filesystem::exists(csv(false))) << "short records go to the short file only";
    EXPECT_EQ(num("txtFileRecNum"), newest);
    EXPECT_TRUE(w<QPushButton>("cmdReadLogData")->isEnabled());
    EXPECT_FALSE(w<QPushButton>("cmdCancelLog")->isEnabled());
    EXPECT_TRUE(home.dialogs.shown().empty()) << home.dialogs.shown()[0].text;
}

INSTANTIATE_TEST_SUITE_P(Modes, RetrievalMode,
                         ::testing::Values(ModeCase{"optPriorN", "txtPriorN", 99, 0},
                                           ModeCase{"optToRecnum", "txtStopRecNum", 49, 0},
                                           ModeCase{"optToDate", "txtLogStopDate", 20, 1},
                                           ModeCase{"optFullLog", "", -1, 0}));

TEST_F(LoggingTabTest, NewRecordsFetchesOnlyWhatTheFileLacks)
{
    prepare(true);
    choose("optPriorN", "txtPriorN", "30");
    read();
    const int last = num("txtFileRecNum");
    ASSERT_GT(last, 0);
    home.clock.advance(std::chrono::hours(2));
    window->queue().ExecuteLnsAction("UpdateLogInfo");
    const int newest = num("txtTmNewRecnum");
    ASSERT_GT(newest, last + 2) << "the meter logged on";
    choose("optNewRecs");
    EXPECT_EQ(txt("txtNewRecCnt").toInt(), newest - last);
    EXPECT_EQ(window->loggingTab().GetStopRecnum_NewRecs(), last + 1);
    read();
    const auto got = recnums(true);
    ASSERT_EQ(got.size(), static_cast<std::size_t>(30 + newest - last));
    for (std::size_t i = 1; i < got.size(); ++i)
        ASSERT_EQ(got[i], got[i - 1] + 1) << "no gap and no repeat at " << i;
    EXPECT_EQ(got.back(), newest);
}

struct BadInput
{
    const char *option, *box, *text, *message;
};

TEST_F(LoggingTabTest, BadRangesAreRefusedWithoutADownload)
{
    const std::string countMsg = "Invalid count of records to download\r\nEnter value between 1 and 24186";
    const BadInput cases[] = {
        {"optPriorN", "txtPriorN", "0", countMsg.c_str()},
        {"optPriorN", "txtPriorN", "-5", countMsg.c_str()},
        {"optPriorN", "txtPriorN", "ten", countMsg.c_str()},
        {"optPriorN", "txtPriorN", "24187", countMsg.c_str()},
        {"optToDate", "txtLogStopDate", "1999-12-31 23:59:59",
         "Invalid stopping date/time:\r\nYear must be greater than 2000\r\nEnter as YYYY-MM-DD hh:mm:ss"},
        {"optToRecnum", "txtStopRecNum", "0", "Invalid ending record number for download"},
        {"optToRecnum", "txtStopRecNum", "abc", "Invalid ending record number for download"},
    };
    prepare(true);
    read();
    ASSERT_EQ(home.dialogs.shown().size(), 1u);
    EXPECT_EQ(home.dialogs.shown()[0].text, "Select a log retrieval type");
    for (const auto &c : cases) {
        home.dialogs.clearShown();
        choose(c.option, c.box, c.text);
        read();
        ASSERT_EQ(home.dialogs.shown().size(), 1u) << c.text;
        EXPECT_EQ(home.dialogs.shown()[0].text, c.message) << c.text;
        EXPECT_EQ(home.dialogs.shown()[0].caption, "Error downloading log");
    }
    EXPECT_FALSE(std::filesystem::exists(csv(true)));
    // A file that already holds the highest record number leaves no New Records range.
    {
        std::ofstream(csv(true), std::ios::binary) << "RecNum,DateTime\r\n2147483647,2011-03-01 10:00:00,1\r\n";
        home.dialogs.clearShown();
        choose("optNewRecs");
        read();
        ASSERT_EQ(home.dialogs.shown().size(), 1u);
        EXPECT_EQ(home.dialogs.shown()[0].text, "Invalid ending record number for download\r\nThe log file already "
                                                "holds record 2147483647, the highest record number");
        EXPECT_EQ(txt("txtFileRecNum"), "2147483647") << "read from the file at the download";
        std::filesystem::remove(csv(true));
    }
    // Day 30 of any month passes the check, so the download runs.
    home.dialogs.clearShown();
    choose("optToDate", "txtLogStopDate", "2011-02-30 10:00:00");
    read();
    EXPECT_EQ(txt("txtPercentComplete"), "Done");
    EXPECT_TRUE(home.dialogs.shown().empty()) << home.dialogs.shown()[0].text;
    EXPECT_EQ(window->loggingTab().GetPriorN(), 0);
    choose("optPriorN", "txtPriorN", "24186");
    EXPECT_EQ(window->loggingTab().GetPriorN(), 24186);
    EXPECT_EQ(txt("txtEstDownloadTime"), "30.6 mins");
}

TEST_F(LoggingTabTest, EstimatesAndProgress)
{
    prepare(false);
    auto &info = logFtpState().CurrentLogInfo;
    info.oldest.recordNumber = 1;
    info.newest.recordNumber = 30000;
    choose("optFullLog");
    EXPECT_EQ(txt("txtFullLogCnt"), "24192");
    choose("optPriorN", "txtPriorN", "1000");
    EXPECT_EQ(txt("txtEstDownloadTime"), "4.0 mins");
    w<QCheckBox>("ckShort")->click();
    info.newest.recordNumber = 620;
    choose("optPriorN", "txtPriorN", "1000");
    EXPECT_EQ(txt("txtEstDownloadTime"), "76 secs");
    window->loggingTab().setFileRecNum("500");
    choose("optNewRecs");
    EXPECT_EQ(txt("txtNewRecCnt"), "120");
    EXPECT_EQ(window->loggingTab().GetStopRecnum_NewRecs(), 501);
    // Back to a date/time: the logging intervals between it and the newest record.
    const auto newestAt = QDateTime::fromString(QString::fromStdString(FormatDateTime(info.newest.dateTime)),
                                                "yyyy-MM-dd HH:mm:ss");
    ASSERT_GT(newestAt, QDateTime(QDate(2011, 3, 5), QTime(0, 0)));
    choose("optToDate", "txtLogStopDate", "2011/3/5");
    EXPECT_EQ(txt("txtNewRecCnt").toLongLong(),
              std::min<qint64>(24192, qRound64(QDateTime(QDate(2011, 3, 5), QTime(0, 0)).secsTo(newestAt) / 60.0 /
                                               num("txtNvi_2"))));
    for (const char *bad : {"not a date", "1999-12-31 23:59:59", "2011-02-30 10:00:00"}) {
        w("txtLogStopDate")->setText(bad);
        EXPECT_EQ(txt("txtNewRecCnt"), "0") << bad;
    }

    // Progress: percent of the estimate, cycling 90-99 once overrun, elapsed/10 without one.
    struct P
    {
        int estimate, elapsed;
        const char *text;
        int bar;
    };
    for (const P &p : {P{200, 50, "25.00%", 25}, P{100, 125, "95.00%", 95}, P{0, 37, "3.70%", 3}}) {
        auto &s = logFtpState();
        s.LogReading = true;
        s.LogEstimateSecs = p.estimate;
        s.LogStartTime = home.clock.now() - std::chrono::seconds(p.elapsed);
        window->loggingTab().UpdateLogProgress();
        s.LogReading = false;
        EXPECT_EQ(txt("txtPercentComplete"), p.text);
        EXPECT_EQ(w<QProgressBar>("pbPercentComplete")->value(), p.bar);
    }
}

// A screen reader selects a mode with the "toggle" action, which checks the option without
// clicking it: the mode's box shows, the others hide, and the estimate follows.
TEST_F(LoggingTabTest, EveryModeSelectedThroughTheAccessibilityInterface)
{
    prepare(true);
    auto &info = logFtpState().CurrentLogInfo;
    info.oldest.recordNumber = 101;
    info.newest.recordNumber = 600;
    w("txtPriorN")->setText("40");
    w("txtStopRecNum")->setText("571");
    window->loggingTab().setFileRecNum("580");
    const std::string newest = FormatDateTime(info.newest.dateTime);
    const auto newestAt = QDateTime::fromString(QString::fromStdString(newest), "yyyy-MM-dd HH:mm:ss");
    ASSERT_TRUE(newestAt.isValid()) << newest;
    w("txtLogStopDate")->setText(newestAt.addSecs(-60LL * 10 * num("txtNvi_2")).toString("yyyy-MM-dd HH:mm:ss"));

    struct Mode
    {
        const char *option, *box;
        int records;
    };
    const Mode modes[] = {{"optFullLog", "txtFullLogCnt", 500}, {"optPriorN", "txtPriorN", 40},
                          {"optToRecnum", "txtStopRecNum", 30}, {"optNewRecs", "txtNewRecCnt", 20},
                          {"optToDate", "txtLogStopDate", 10}};
    for (const Mode &m : modes) {
        test::doAccessibleAction(test::accessible(w<QRadioButton>(m.option)), QAccessibleActionInterface::toggleAction());
        ASSERT_TRUE(w<QRadioButton>(m.option)->isChecked()) << m.option;
        for (const Mode &other : modes)
            EXPECT_EQ(w(other.box)->isHidden(), other.box != m.box) << m.option << " " << other.box;
        EXPECT_EQ(txt("txtFullLogCnt").toInt(), m.records) << m.option;
        const double seconds = m.records / 14.5 * 1.1;
        EXPECT_EQ(txt("txtEstDownloadTime"), QString::number(seconds, 'f', 0) + " secs") << m.option;
    }
}

TEST_F(LoggingTabTest, CancelEndsFailedWithTheFileIntact)
{
    prepare(false);
    choose("optPriorN", "txtPriorN", "5");
    read();
    ASSERT_EQ(txt("txtPercentComplete"), "Done");
    const std::string before = test::readFile(csv(false));
    home.dialogs.clearShown();

    int idles = 0;
    QTimer clicker;
    clicker.setInterval(0);
    QObject::connect(&clicker, &QTimer::timeout, [&] {
        if (++idles == 10)
            home.clock.advance(std::chrono::minutes(10));  // the progress moves on
        if (idles < 20)
            return;
        clicker.stop();
        EXPECT_TRUE(logFtpState().LogReading);
        EXPECT_FALSE(w<QPushButton>("cmdReadLogData")->isEnabled());
        EXPECT_TRUE(txt("txtPercentComplete").endsWith('%'));
        EXPECT_GT(w<QProgressBar>("pbPercentComplete")->value(), 0);
        if (const QString shot = qEnvironmentVariable("TELLUMIC_TAB_SCREENSHOT"); !shot.isEmpty())
            window->grab().save(shot);
        w<QPushButton>("cmdCancelLog")->click();
    });
    clicker.start();
    choose("optFullLog");
    read();
    EXPECT_EQ(idles, 20) << "the click arrived during the read";
    EXPECT_EQ(txt("txtPercentComplete"), "Failed");
    EXPECT_EQ(w<QProgressBar>("pbPercentComplete")->value(), 0) << "no bar left standing beside \"Failed\"";
    EXPECT_EQ(test::readFile(csv(false)), before);
    EXPECT_FALSE(logFtpState().LogReading);
    EXPECT_TRUE(w<QPushButton>("cmdReadLogData")->isEnabled());
}

// A first download that is cancelled stores nothing and leaves no file: an empty file
// without its header would be offered to the viewer, which refuses it. Nor is there one
// while the meter sends, when the user may come back to the tab.
TEST_F(LoggingTabTest, CancelledFirstDownloadLeavesNoFile)
{
    prepare(true);
    ASSERT_FALSE(std::filesystem::exists(csv(true)));
    int idles = 0;
    QTimer clicker;
    clicker.setInterval(0);
    QObject::connect(&clicker, &QTimer::timeout, [&] {
        if (++idles < 5)
            return;
        clicker.stop();
        EXPECT_TRUE(logFtpState().LogReading);
        EXPECT_FALSE(std::filesystem::exists(csv(true))) << "no log while the meter sends";
        selectTab("Energy");
        selectTab("Logging");
        EXPECT_FALSE(w<QPushButton>("cmdViewLog")->isEnabled());
        w<QPushButton>("cmdCancelLog")->click();
    });
    clicker.start();
    choose("optFullLog");
    read();
    EXPECT_EQ(txt("txtPercentComplete"), "Failed");
    EXPECT_FALSE(std::filesystem::exists(csv(true)));
    EXPECT_TRUE(std::filesystem::is_empty(programFolder()) ||
                std::none_of(std::filesystem::directory_iterator(programFolder()), std::filesystem::directory_iterator(),
                             [](const auto &e) { return e.path().extension() == ".csv"; }));
}

// Records that fail their check are written as the user chose ("Keep Bad Records") and the
// event log counts them, so that the user knows which download to look at.
TEST_F(LoggingTabTest, RecordsThatFailTheirCheckAreCountedInTheEventLog)
{
    control().setDeviceValue(control().device(kMeter).id, sim::kFaultBadCrcKey, "10");
    prepare(true);
    choose("optPriorN", "txtPriorN", "100");
    read();
    EXPECT_EQ(txt("txtPercentComplete"), "Done");
    const QStringList fileLines = QString::fromStdString(test::readFile(csv(true))).split("\r\n");
    const auto mismatches = static_cast<int>(std::count_if(fileLines.cbegin(), fileLines.cend(), [](const QString &line) {
        return line.startsWith(",,,,,,,,,,,,CRC mismatch.");
    }));
    ASSERT_GT(mismatches, 5);
    const QStringList lines = window->eventLog().lines();
    ASSERT_GE(lines.size(), 2);
    EXPECT_EQ(lines.back().section('\t', 1),
              "Error\t" + QString::number(mismatches) + " records failed their check (CRC mismatch); written without values");
    EXPECT_EQ(lines[lines.size() - 2].section('\t', 1), "Info\tLog read complete. Records = 100, Bytes = 2400");
}

// A log left empty (by a program that ended before it wrote its header) has nothing to view.
TEST_F(LoggingTabTest, AnEmptyLogIsNotOfferedForViewing)
{
    test::writeFile(csv(true), "");
    prepare(true);
    EXPECT_EQ(w("txtLogFilename")->text().toStdString(), csv(true).filename().string());
    EXPECT_FALSE(w<QPushButton>("cmdViewLog")->isEnabled());
    test::writeFile(csv(true), std::string(logCsvHeader(true)) + "\r\n");
    selectTab("Energy");
    selectTab("Logging");
    EXPECT_TRUE(w<QPushButton>("cmdViewLog")->isEnabled());
}

// The first visit ticks "Short Records" only when the short file has records and the long
// one has none; a box left as it was keeps the file fields' first texts.
struct FirstVisit
{
    bool shortFile, longFile, ticked;
    const char *fileRecNum;
};

TEST_F(LoggingTabTest, FirstVisitPicksTheRecordFormatFromTheFiles)
{
    for (const FirstVisit &c : {FirstVisit{false, false, false, "none"}, FirstVisit{true, false, true, "7"},
                                FirstVisit{true, true, false, "9"}, FirstVisit{false, true, false, "9"}}) {
        window.reset();
        std::filesystem::remove(csv(true));
        std::filesystem::remove(csv(false));
        window = std::make_unique<DeviceWindow>();
        window->attachObjectServer(plugIn().ObjectServer);
        ASSERT_TRUE(open(kMeter));
        if (c.shortFile)
            test::writeFile(csv(true), std::string(logCsvHeader(true)) +
                                           "\r\n7,2011-03-05 12:15:00,.0,0.00,900,,,,,,,,\r\n");
        if (c.longFile)
            test::writeFile(csv(false), std::string(logCsvHeader(false)) + "\r\n9,2011-03-05 12:15:00" +
                                            std::string(34, ',') + "\r\n");
        EXPECT_FALSE(window->loggingTab().loggingTabReady());
        selectTab("Logging");
        EXPECT_TRUE(window->loggingTab().loggingTabReady());
        EXPECT_EQ(w<QCheckBox>("ckShort")->isChecked(), c.ticked) << c.shortFile << c.longFile;
        EXPECT_EQ(txt("txtFileRecNum"), c.fileRecNum) << c.shortFile << c.longFile;
        // The chosen file's name shows from the first visit on.
        EXPECT_EQ(txt("txtLogFilename").toStdString(), csv(c.ticked).filename().string());
    }
}

}  // namespace
}  // namespace tellumic
