// A harvest and the Logging tab write one and the same file: the first harvest of a meter
// writes, byte for byte, what a "Full Log" download in the Logging tab writes at the same time.

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

#include "foundation/paths.h"
#include "log/harvest.h"
#include "log/log_csv.h"
#include "tests/device/device_fixture.h"

namespace tellumic {
namespace {

struct SilentReport final : HarvestReport
{
    void planned(const std::string &, const std::vector<MeterPlan> &) override {}
    void started(const MeterProgress &) override {}
    void progress(const MeterProgress &) override {}
    void finished(const MeterResult &r) override { results.push_back(r); }
    void networkMessage(const std::string &, const std::string &text) override { ADD_FAILURE() << text; }
    std::vector<MeterResult> results;
};

class HarvestEqualsFullLog : public test::DeviceWindowTest, public ::testing::WithParamInterface<bool>
{
protected:
    // Harvests one meter of the demo network in an object-server session of its own, as the
    // harvest tool does; its status, with what it reported in results.
    int harvest(const std::string &meter, bool isShort, std::vector<MeterResult> &results)
    {
        sim::SimOptions o;
        o.clock = &home.clock;
        sim::SimObjectServer server(lonWorks, o);
        HarvestOptions options;
        options.isShort = isShort;
        options.meters = {meter};
        SilentReport report;
        const int status = harvestNetwork(server, "Demo", options, report, {});
        results = report.results;
        return status;
    }
};

TEST_P(HarvestEqualsFullLog, ForEachLoggingMeter)
{
    const bool isShort = GetParam();
    for (const std::string meter : {"TMC-FT-Log-364", "TMC-FT-Log-PT-370"}) {
        const auto at = home.clock.now();
        const auto csv = programFolder() / GetLogFilename(meter, isShort);
        std::vector<MeterResult> results;
        ASSERT_EQ(harvest(meter, isShort, results), HarvestStatus::kAllHarvested);
        ASSERT_EQ(results.size(), 1u);
        EXPECT_EQ(results[0].records, 24192) << "the meter's whole log";
        const std::string harvested = test::readFile(csv);
        std::filesystem::remove(csv);

        home.clock.set(at);
        ASSERT_TRUE(browse(meter));
        selectTab("Logging");
        if (w<QCheckBox>("ckShort")->isChecked() != isShort)
            w<QCheckBox>("ckShort")->click();
        w<QRadioButton>("optFullLog")->click();
        w<QPushButton>("cmdReadLogData")->click();
        EXPECT_EQ(w<QLineEdit>("txtPercentComplete")->text(), "Done");
        EXPECT_TRUE(home.dialogs.shown().empty()) << home.dialogs.shown()[0].text;
        const std::string downloaded = test::readFile(csv);
        ASSERT_GT(downloaded.size(), 24192u * (isShort ? 50 : 200));
        EXPECT_TRUE(downloaded == harvested) << meter << ": the files differ";
        std::filesystem::remove(csv);
    }
}

// The tab's "Last Record#" was read before a harvest appended to the file; a New Records
// download afterwards still starts after the file's real last record: no record twice.
TEST_F(HarvestEqualsFullLog, ATabDownloadAfterAHarvestRepeatsNoRecord)
{
    const std::string meter = "TMC-FT-Log-364";
    const auto csv = programFolder() / GetLogFilename(meter, true);
    ASSERT_TRUE(browse(meter));
    selectTab("Logging");
    if (!w<QCheckBox>("ckShort")->isChecked())
        w<QCheckBox>("ckShort")->click();
    w<QRadioButton>("optPriorN")->click();
    w<QLineEdit>("txtPriorN")->setText("20");
    w<QPushButton>("cmdReadLogData")->click();
    ASSERT_EQ(w<QLineEdit>("txtPercentComplete")->text(), "Done");
    const QString shownBefore = w<QLineEdit>("txtFileRecNum")->text();

    home.clock.advance(std::chrono::hours(2));
    std::vector<MeterResult> results;
    ASSERT_EQ(harvest(meter, true, results), HarvestStatus::kAllHarvested);
    ASSERT_GT(results.at(0).records, 2);
    ASSERT_EQ(w<QLineEdit>("txtFileRecNum")->text(), shownBefore) << "the tab has not looked again";

    home.clock.advance(std::chrono::hours(1));
    window->queue().ExecuteLnsAction("UpdateLogInfo");
    w<QRadioButton>("optNewRecs")->click();
    w<QPushButton>("cmdReadLogData")->click();
    EXPECT_EQ(w<QLineEdit>("txtPercentComplete")->text(), "Done");
    EXPECT_TRUE(home.dialogs.shown().empty()) << home.dialogs.shown()[0].text;

    const QStringList lines = QString::fromStdString(test::readFile(csv)).split("\r\n", Qt::SkipEmptyParts);
    ASSERT_GT(lines.size(), 2 + 20);
    for (int i = 3; i < lines.size(); ++i)
        ASSERT_EQ(lines[i].section(',', 0, 0).toInt(), lines[i - 1].section(',', 0, 0).toInt() + 1)
            << "line " << i << " repeats or skips a record";
    EXPECT_EQ(w<QLineEdit>("txtFileRecNum")->text(), lines.last().section(',', 0, 0));
}

INSTANTIATE_TEST_SUITE_P(Formats, HarvestEqualsFullLog, ::testing::Values(false, true),
                         [](const auto &info) { return info.param ? "ShortRecords" : "LongRecords"; });

}  // namespace
}  // namespace tellumic
