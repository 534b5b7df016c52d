// "View Log..." on the Logging tab: enabled while the device's CSV file exists, it opens
// that file in the log viewer. A full download from the simulated meter, seen in the viewer.
//
// Set TELLUMIC_SCREENSHOTS to a folder to keep pictures of the viewer zoomed to one day
// (under xvfb-run with QT_QPA_PLATFORM=xcb they show the X server's rendering).

#include <gtest/gtest.h>

#include <cstdlib>

#include <QCheckBox>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QTest>

#include "device/logging_tab.h"
#include "foundation/paths.h"
#include "log/log_csv.h"
#include "log/log_transfer.h"
#include "logview/chart_panel.h"
#include "logview/log_summary.h"
#include "logview/log_viewer_window.h"
#include "tests/device/device_fixture.h"
#include "tests/support/accessible.h"

namespace tellumic {
namespace {

constexpr const char *kMeter = "TMC-FT-Log-364";

class ViewLogTest : public test::DeviceWindowTest
{
protected:
    void SetUp() override
    {
        DeviceWindowTest::SetUp();
        ASSERT_TRUE(open(kMeter));
        window->show();
    }

    // Presses a button as assistive tools do; a push button answers after its click animation.
    logview::LogViewerWindow *pressViewLog()
    {
        EXPECT_TRUE(test::press(findWidget<QPushButton>("cmdViewLog")));
        logview::LogViewerWindow *viewer = nullptr;
        for (int i = 0; i < 500 && !viewer; ++i) {
            QTest::qWait(10);
            viewer = window->findChild<logview::LogViewerWindow *>();
        }
        return viewer;
    }

    void savePicture(QWidget *widget, const char *name)
    {
        const char *folder = std::getenv("TELLUMIC_SCREENSHOTS");
        if (!folder || !*folder)
            return;
        // Let the layout settle, as it does before a real screen shows the window.
        QCoreApplication::processEvents();
        QCoreApplication::processEvents();
        widget->grab().save(QString::fromLocal8Bit(folder) + '/' + QString::fromLatin1(name));
    }
};

TEST_F(ViewLogTest, OpensAFullDownloadInTheViewer)
{
    selectTab("Logging");
    auto *viewLog = findWidget<QPushButton>("cmdViewLog");
    ASSERT_TRUE(viewLog);
    EXPECT_FALSE(viewLog->isEnabled()) << "no log file yet";
    if (findWidget<QCheckBox>("ckShort")->isChecked())
        findWidget<QCheckBox>("ckShort")->click();
    window->queue().ExecuteLnsAction("UpdateLogInfo");
    findWidget<QRadioButton>("optFullLog")->click();
    findWidget<QPushButton>("cmdReadLogData")->click();
    ASSERT_EQ(findWidget<QLineEdit>("txtPercentComplete")->text(), "Done");
    const auto file = programFolder() / GetLogFilename(kMeter, false);
    ASSERT_TRUE(std::filesystem::exists(file));
    EXPECT_TRUE(viewLog->isEnabled());

    logview::LogViewerWindow *viewer = pressViewLog();
    ASSERT_TRUE(viewer);
    EXPECT_TRUE(viewer->isWindow());
    viewer->loader().waitForFinished();
    viewer->refreshNow();
    EXPECT_EQ(viewer->file().toStdString(), file.string());
    ASSERT_TRUE(viewer->state().data());
    const logview::LogData &data = *viewer->state().data();
    EXPECT_EQ(data.format, logview::LogFormat::Long);
    EXPECT_EQ(data.size(), 24192u);
    EXPECT_EQ(data.report.skippedTotal(), 0u);
    EXPECT_EQ(std::to_string(data.recordNumber.back()), findWidget<QLineEdit>("txtFileRecNum")->text().toStdString());
    EXPECT_TRUE(home.dialogs.shown().empty());

    // The last whole day, with the cursor at its peak demand.
    const double day = static_cast<double>(logview::dayStart(data.time.back()) - logview::kSecondsPerDay);
    viewer->resize(1400, 1000);
    viewer->state().setRange({day, day + logview::kSecondsPerDay});
    const logview::RangeSummary s = logview::summarize(data, viewer->state().range());
    EXPECT_EQ(s.records(), 97u) << "midnight to midnight, both ends";
    viewer->state().setCursor(static_cast<double>(s.series[logview::kDemand].maxTime));
    viewer->refreshNow();
    QCoreApplication::processEvents();
    viewer->refreshNow();
    const auto &peak = viewer->panel(logview::ChartGroup::Demand)->content().peak;
    ASSERT_TRUE(peak);
    EXPECT_EQ(peak->time, static_cast<double>(s.series[logview::kDemand].maxTime));
    EXPECT_TRUE(viewer->readout().contains(QStringLiteral("Demand: "))) << viewer->readout().toStdString();
    savePicture(viewer, "viewer-demand-day.png");
    // The per-phase charts at the top of the view.
    auto *charts = viewer->findChild<QScrollArea *>(QStringLiteral("charts"));
    charts->verticalScrollBar()->setValue(viewer->panel(logview::ChartGroup::Power)->y());
    savePicture(viewer, "viewer-phases-day.png");
}

}  // namespace
}  // namespace tellumic
