// The event log under repeated errors: repeats are counted on their row, the saved file
// keeps every line.

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
            log.addError("Nv update error: " + nv.toStdString());
        home.clock.advance(std::chrono::seconds(2));
    }
    ASSERT_EQ(log.topLevelItemCount(), 8);
    EXPECT_EQ(rows().front(), QString::fromUtf8("Error Nv update error: nvoPowerSum (×12)"));
    EXPECT_EQ(rows().back(), QString::fromUtf8("Error Nv update error: nvoReacPwrC (×12)"));
    EXPECT_EQ(log.lines().size(), 96);

    // The same text as information is another line; a repeat moves its row to the end with
    // the newest time.
    log.addInfo("Nv update error: nvoPowerA");
    log.addError("Nv update error: nvoPowerA");
    EXPECT_EQ(rows().mid(7), (QStringList{"Info Nv update error: nvoPowerA",
                                          QString::fromUtf8("Error Nv update error: nvoPowerA (×13)")}));
    EXPECT_EQ(log.topLevelItem(8)->text(0), log.lines().back().section('\t', 0, 0));

    // A line last seen further back than the lookback starts a row of its own.
    for (int i = 0; i < EventLogWidget::kRepeatLookback; ++i)
        log.addInfo("line " + std::to_string(i));
    log.addError("Nv update error: nvoPowerSum");
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

// The user's own changes stay in the order made: only an information line that repeats the
// row just before it is counted, and no row of theirs moves.
TEST_F(EventLogWidgetTest, TheUsersChangesKeepTheirOrder)
{
    const std::string hz = "Changed frequency type to SNVT_freq_hz", f = "Changed frequency type to SNVT_freq_f";
    for (const auto &line : {hz, f, hz})
        log.addInfo(line);
    EXPECT_EQ(rows(), (QStringList{"Info " + QString::fromStdString(hz), "Info " + QString::fromStdString(f),
                                   "Info " + QString::fromStdString(hz)}));
    log.addInfo(hz);
    EXPECT_EQ(rows().back(), QString::fromUtf8("Info Changed frequency type to SNVT_freq_hz (×2)"));
    log.addError("Nv update error: nvoFreq");
    log.addInfo(hz);
    EXPECT_EQ(rows().mid(2), (QStringList{QString::fromUtf8("Info Changed frequency type to SNVT_freq_hz (×2)"),
                                          "Error Nv update error: nvoFreq", "Info " + QString::fromStdString(hz)}));
    EXPECT_EQ(log.lines().size(), 6);
}

}  // namespace
}  // namespace tellumic
