// The event log under repeated lines: repeats are counted on their row without changing the
// order of what the user did, and the saved file keeps every line.

#include <csignal>
#include <sys/resource.h>

#include <gtest/gtest.h>

#include "device/event_log_widget.h"
#include "tests/support/temp_home.h"

namespace tellumic {
namespace {

class EventLogWidgetTest : public test::HomeTest
{
protected:
    EventLogWidget log;

    QStringList rows() const
    {
        QStringList out;
        for (int i = 0; i < log.topLevelItemCount(); ++i)
            out << log.topLevelItem(i)->text(1) + ' ' + log.topLevelItem(i)->text(2);
        return out;
    }
};

TEST_F(EventLogWidgetTest, RepeatedLinesAreCountedOnTheirRowAndSavedInFull)
{
    // An unconfigured meter: every monitored NV of the tab fails in turn, round after round.
    const QStringList nvs = {"nvoPowerSum", "nvoPowerA", "nvoPowerB", "nvoPowerC",
                             "nvoReacPwrSum", "nvoReacPwrA", "nvoReacPwrB", "nvoReacPwrC"};
    for (int round = 0; round < 12; ++round) {
        for (const QString &nv : nvs)
            log.addMonitoringError("Nv update error: " + nv.toStdString());
        home.clock.advance(std::chrono::seconds(2));
    }
    ASSERT_EQ(log.topLevelItemCount(), 8);
    EXPECT_EQ(rows().front(), QString::fromUtf8("Error Nv update error: nvoPowerSum (×12)"));
    EXPECT_EQ(rows().back(), QString::fromUtf8("Error Nv update error: nvoReacPwrC (×12)"));
    EXPECT_EQ(log.lines().size(), 96);

    // The same text as information is another line; a repeat moves its row to the end with
    // the newest time.
    log.addInfo("Nv update error: nvoPowerA");
    log.addMonitoringError("Nv update error: nvoPowerA");
    EXPECT_EQ(rows().mid(7), (QStringList{"Info Nv update error: nvoPowerA",
                                          QString::fromUtf8("Error Nv update error: nvoPowerA (×13)")}));
    EXPECT_EQ(log.topLevelItem(8)->text(0), log.lines().back().section('\t', 0, 0));

    // A line last seen further back than the lookback starts a row of its own.
    for (int i = 0; i < EventLogWidget::kRepeatLookback; ++i)
        log.addInfo("line " + std::to_string(i));
    log.addMonitoringError("Nv update error: nvoPowerSum");
    EXPECT_EQ(rows().back(), "Error Nv update error: nvoPowerSum");

    // Saved, every line stands as it came, each with its own time.
    const auto file = home.programFolder() / "EventLog.txt";
    home.dialogs.queueFileName(file.string());
    ASSERT_TRUE(log.saveLogAs());
    const QStringList saved = QString::fromStdString(test::readFile(file)).split("\r\n", Qt::SkipEmptyParts);
    EXPECT_EQ(saved, log.lines());
    EXPECT_EQ(saved.size(), 96 + 2 + EventLogWidget::kRepeatLookback + 1);
    EXPECT_EQ(saved[0], "2011-03-05 14:07:09\tError\tNv update error: nvoPowerSum") << saved[0].toStdString();
    EXPECT_EQ(saved[8].section('\t', 0, 0), "2011-03-05 14:07:11");

    log.clearLog();
    EXPECT_EQ(log.topLevelItemCount(), 0);
    EXPECT_TRUE(log.lines().isEmpty());
}

// A save that fails (the file-size limit stands in for a full disk) says so and leaves the
// file saved before as it was.
TEST_F(EventLogWidgetTest, AFailedSaveLeavesTheFileSavedBefore)
{
    const auto file = home.programFolder() / "EventLog.txt";
    log.addInfo("first");
    home.dialogs.queueFileName(file.string());
    ASSERT_TRUE(log.saveLogAs());
    const std::string before = test::readFile(file);
    for (int i = 0; i < 200; ++i)
        log.addInfo("line " + std::to_string(i));
    const int status = test::runInChild([&] {
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{before.size() + 100, before.size() + 100};
        if (::setrlimit(RLIMIT_FSIZE, &limit) != 0)
            std::_Exit(10);
        if (log.saveLog())
            std::_Exit(11);
        if (home.dialogs.shown().empty() || !home.dialogs.shown().back().text.starts_with("Could not save the event log"))
            std::_Exit(12);
        std::_Exit(test::readFile(file) == before ? 0 : 13);
    });
    EXPECT_EQ(status, 0) << "11: saved; 13: the file saved before changed";
}

// What comes in, one line after another: information, an error, or a monitoring error.
struct Line
{
    char sort;  // 'I', 'E' or 'M'
    std::string text;
};

struct OrderCase
{
    std::string name;
    std::vector<Line> lines;
    QStringList rows;  // the pane's rows afterwards: type and text
};

void PrintTo(const OrderCase &c, std::ostream *os)
{
    *os << c.name;
}

class RepeatOrder : public EventLogWidgetTest, public ::testing::WithParamInterface<OrderCase>
{
};

// Only rows that repeat one another with no other row of their sort between them are counted,
// and no row moves but a monitoring error's: the user's own steps, and what came of them,
// stay in the order made.
TEST_P(RepeatOrder, CountsRepeatsWithoutReorderingTheUsersSteps)
{
    const OrderCase &c = GetParam();
    for (const Line &line : c.lines) {
        if (line.sort == 'I')
            log.addInfo(line.text);
        else if (line.sort == 'E')
            log.addError(line.text);
        else
            log.addMonitoringError(line.text);
    }
    EXPECT_EQ(rows(), c.rows) << rows().join(" | ").toStdString();
    EXPECT_EQ(log.lines().size(), static_cast<qsizetype>(c.lines.size())) << "the saved lines keep every one";
}

const std::string kHz = "Changed frequency type to SNVT_freq_hz", kF = "Changed frequency type to SNVT_freq_f";
const QString kHzRow = "Info " + QString::fromStdString(kHz), kFRow = "Info " + QString::fromStdString(kF);
const std::string kBadFreq = "Invalid frequency type specified", kBadVolt = "Invalid voltage type specified";
const std::string kFreqFails = "Nv update error: nvoFreq", kVoltFails = "Nv update error: nvoVoltsA";

INSTANTIATE_TEST_SUITE_P(
    Lines, RepeatOrder,
    ::testing::Values(
        OrderCase{"ChoicesHzFHzStayAsMade", {{'I', kHz}, {'I', kF}, {'I', kHz}}, {kHzRow, kFRow, kHzRow}},
        OrderCase{"ARepeatOfTheRowJustBeforeIsCounted",
                  {{'I', kHz}, {'I', kHz}},
                  {QString::fromUtf8("Info Changed frequency type to SNVT_freq_hz (×2)")}},
        OrderCase{"AnErrorBetweenKeepsTwoRows",
                  {{'I', kHz}, {'I', kHz}, {'M', kFreqFails}, {'I', kHz}},
                  {QString::fromUtf8("Info Changed frequency type to SNVT_freq_hz (×2)"),
                   "Error " + QString::fromStdString(kFreqFails), kHzRow}},
        OrderCase{"ErrorsOfTheUsersStepsStayAsMade",
                  {{'E', kBadFreq}, {'E', kBadVolt}, {'E', kBadFreq}},
                  {"Error " + QString::fromStdString(kBadFreq), "Error " + QString::fromStdString(kBadVolt),
                   "Error " + QString::fromStdString(kBadFreq)}},
        OrderCase{"MonitoringErrorsAreCountedRoundAfterRound",
                  {{'M', kFreqFails}, {'M', kVoltFails}, {'M', kFreqFails}, {'M', kVoltFails}},
                  {QString::fromUtf8("Error Nv update error: nvoFreq (×2)"),
                   QString::fromUtf8("Error Nv update error: nvoVoltsA (×2)")}},
        OrderCase{"AMonitoringErrorMovesPastTheUsersRowNeverTheOtherWay",
                  {{'M', kFreqFails}, {'I', kHz}, {'M', kFreqFails}, {'I', kHz}},
                  {kHzRow, QString::fromUtf8("Error Nv update error: nvoFreq (×2)"), kHzRow}},
        OrderCase{"AnErrorOfTheUsersIsNotCountedOnAMonitoringRow",
                  {{'M', kFreqFails}, {'E', kFreqFails}},
                  {"Error " + QString::fromStdString(kFreqFails), "Error " + QString::fromStdString(kFreqFails)}}),
    [](const auto &info) { return info.param.name; });

}  // namespace
}  // namespace tellumic
