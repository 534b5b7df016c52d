// "Harvest Network Now": the built tellumic-log harvests the network in a child process while
// the window shows each meter's progress and the outcome; Cancel stops it, files whole.

#include <csignal>

#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTreeWidget>

#include "browser/harvest_panel.h"
#include "browser/sim_installation.h"
#include "foundation/paths.h"
#include "sim/installation.h"
#include "sim/sim_object_server.h"
#include "tests/browser/browser_fixture.h"

namespace tellumic {
namespace {

class BrowserHarvestTest : public test::BrowserTest
{
protected:
    void SetUp() override
    {
        makeDemo();
        sim::setInstallationLatency(sim::installedLonWorksFolder(), std::chrono::microseconds(0));
    }

    // Starts the harvest of the selected network through the Device menu.
    browser::HarvestRun *startHarvest()
    {
        EXPECT_TRUE(selectByKeys("Demo"));
        EXPECT_TRUE(choose("Device", "Harvest Network Now"));
        return window->harvest();
    }
    bool waitForEnd(browser::HarvestRun *run)
    {
        return QTest::qWaitFor([run] { return !run->running() && !run->outcome().isEmpty(); }, test::kProcessWaitMs);
    }
    // The rows of the harvest panel: meter, then its progress text.
    std::vector<std::pair<QString, QString>> panelRows()
    {
        std::vector<std::pair<QString, QString>> rows;
        QTreeWidget *meters = window->harvestPanel()->meters();
        for (int i = 0; i < meters->topLevelItemCount(); ++i)
            rows.emplace_back(meters->topLevelItem(i)->text(0), meters->topLevelItem(i)->text(2));
        return rows;
    }
};

TEST_F(BrowserHarvestTest, AHarvestStartedAndCancelledLeavesEveryFileWhole)
{
    openWindow();
    browser::HarvestRun *run = startHarvest();
    ASSERT_TRUE(run);
    ASSERT_TRUE(window->harvestPanel()->isVisible());
    // The real channel: a full log takes well over an hour, so the first meter is moving.
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            const auto rows = panelRows();
            return !rows.empty() && rows[0].second.startsWith("Downloading");
        },
        test::kProcessWaitMs));
    EXPECT_EQ(panelRows().size(), 2u);
    EXPECT_EQ(panelRows()[0].first, "TMC-FT-Log-364");
    // The time left of a log that takes hours, as a person reads it.
    EXPECT_TRUE(QRegularExpression("^Downloading, \\d+ %, \\d+ h \\d\\d min left$").match(panelRows()[0].second).hasMatch())
        << panelRows()[0].second.toStdString();
    EXPECT_EQ(panelRows()[1], std::make_pair(QString("TMC-FT-Log-PT-370"), QString("Waiting")));
    EXPECT_FALSE(menuItemEnabled("Device", "Harvest Network Now")) << "one harvest at a time";

    QPushButton *cancel = window->harvestPanel()->cancelButton();
    EXPECT_EQ(QAccessible::queryAccessibleInterface(cancel)->text(QAccessible::Name).remove('&'), "Cancel Harvest");
    ASSERT_TRUE(test::press(cancel));
    ASSERT_TRUE(waitForEnd(run));
    EXPECT_EQ(run->exitStatus(), 128 + SIGTERM);
    EXPECT_EQ(run->outcome(), "Harvest of Demo cancelled: 1 cancelled, 1 not taken; 0 new records stored; every file is whole.");
    EXPECT_EQ(window->status(), run->outcome());
    EXPECT_EQ(window->harvestPanel()->outcome(), run->outcome());
    EXPECT_EQ(panelRows()[0].second, "Cancelled: the running transfer was stopped; no records stored");
    EXPECT_EQ(panelRows()[1].second, "Not taken: the harvest was stopped before this meter");
    EXPECT_FALSE(cancel->isEnabled());
    // A first download that was cancelled leaves no file, and no lock behind.
    for (const auto &entry : std::filesystem::directory_iterator(programFolder()))
        EXPECT_TRUE(entry.path().extension() != ".csv" && entry.path().extension() != ".lock") << entry.path();
    EXPECT_TRUE(menuItemEnabled("Device", "Harvest Network Now"));
}

// A harvest cancelled after a whole chunk: the chunk is in the file, and the window counts
// it, keeps the total where the harvest stopped and says in words why the meter ended.
TEST_F(BrowserHarvestTest, ACancelledHarvestCountsTheRecordsItStored)
{
    browser::SimInstallation::setTransferSpeed(40);  // a chunk of 512 in seconds, the log in minutes
    openWindow();
    browser::HarvestRun *run = startHarvest();
    ASSERT_TRUE(run);
    // The first meter's file, whatever year its name carries: its lines but the header's two.
    const auto records = [&] {
        std::error_code ec;
        for (const auto &entry : std::filesystem::directory_iterator(programFolder(), ec)) {
            if (entry.path().filename().string().starts_with("TMC-FT-Log-364-log-full-") &&
                entry.path().extension() == ".csv") {
                const std::string text = test::readFile(entry.path());
                return std::max<std::int64_t>(0, std::count(text.begin(), text.end(), '\n') - 2);
            }
        }
        return std::int64_t{0};
    };
    ASSERT_TRUE(QTest::qWaitFor([&] { return records() > 0; }, test::kProcessWaitMs));
    ASSERT_TRUE(test::press(window->harvestPanel()->cancelButton()));
    ASSERT_TRUE(waitForEnd(run));
    const std::int64_t stored = records();
    EXPECT_GE(stored, 512);
    EXPECT_EQ(run->outcome(), QStringLiteral("Harvest of Demo cancelled: 1 cancelled, 1 not taken; %1 new records "
                                             "stored; every file is whole.")
                                  .arg(stored));
    EXPECT_EQ(panelRows()[0].second,
              QStringLiteral("Cancelled: the running transfer was stopped; %1 records stored").arg(stored));
    EXPECT_EQ(panelRows()[1].second, "Not taken: the harvest was stopped before this meter");
    auto *total = window->harvestPanel()->findChild<QProgressBar *>("harvestTotal");
    ASSERT_TRUE(total);
    EXPECT_GT(total->value(), 0);
    EXPECT_LT(total->value(), total->maximum()) << "the bar stays where the harvest stopped";
    EXPECT_EQ(QAccessible::queryAccessibleInterface(total)->text(QAccessible::Name), "Harvest total");
}

// A harvest to its end on a fast channel, with a meter whose downloads fail (set from the
// Simulator menu, as a trainer shows a failing download).
TEST_F(BrowserHarvestTest, AHarvestToItsEndTellsEachMetersOutcome)
{
    browser::SimInstallation::setTransferSpeed(100000);
    openWindow();
    ASSERT_TRUE(selectByKeys("TMC-FT-Log-PT-370"));
    ASSERT_TRUE(choose("Simulator", "Make Log Downloads Fail"));
    browser::HarvestRun *run = startHarvest();
    ASSERT_TRUE(run);
    ASSERT_TRUE(waitForEnd(run));
    EXPECT_EQ(run->exitStatus(), 1);
    EXPECT_EQ(run->outcome(), "Harvest of Demo finished with problems: 1 harvested, 1 failed; 24192 new records stored.");
    const auto rows = panelRows();
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0], std::make_pair(QString("TMC-FT-Log-364"), QString("Harvested")));
    EXPECT_TRUE(rows[1].second.startsWith("Failed: ")) << rows[1].second.toStdString();
    EXPECT_TRUE(window->status() == run->outcome());

    // Without the fault, the next harvest takes the failed meter's whole log and the other's
    // nothing new.
    ASSERT_TRUE(selectByKeys("TMC-FT-Log-PT-370"));
    ASSERT_TRUE(choose("Simulator", "Clear Faults"));
    run = startHarvest();
    ASSERT_TRUE(waitForEnd(run));
    EXPECT_EQ(run->exitStatus(), 0) << run->outcome().toStdString();
    EXPECT_TRUE(run->outcome().startsWith("Harvest of Demo finished: 2 harvested; ")) << run->outcome().toStdString();
}

// A tellumic-log that cannot be started is told, not a hang.
TEST_F(BrowserHarvestTest, AHarvestThatCannotStartIsTold)
{
    openWindow();
    window->setHarvestProgram(QString::fromStdString((home.root() / "no-such-program").string()));
    browser::HarvestRun *run = startHarvest();
    ASSERT_TRUE(run);
    ASSERT_TRUE(waitForEnd(run));
    EXPECT_TRUE(run->outcome().startsWith("The harvest could not be started: ")) << run->outcome().toStdString();
    EXPECT_EQ(window->status(), run->outcome());
}

}  // namespace
}  // namespace tellumic
