// What windows say in labels and lists, over the accessibility bus: a named label gives its
// text too (the viewer's cursor readout, the browser's first-run page and status line), and
// the viewer's energy view list tells the view it shows.

#include <gtest/gtest.h>

#include <QComboBox>
#include <QDBusConnection>
#include <QJsonArray>
#include <QLabel>
#include <QPushButton>

#include "browser/network_browser_window.h"
#include "tests/logview/log_viewer_fixture.h"
#include "tests/support/atspi_probe.h"
#include "tests/support/temp_home.h"

namespace tellumic::test {
namespace {

using logview::ChartGroup;

class ViewerOverAtspi : public logview::LogViewerWindowTest
{
};

TEST_F(ViewerOverAtspi, TheCursorReadoutAndTheEnergyViewAreRead)
{
    // Two days of records, one of them missing.
    records = test::loadRecords(2 * 96, 1000, logview::kStart);
    records.erase(records.begin() + 40);
    const auto path = home.root() / "Meter-log-full-2026.csv";
    test::writeFile(path, test::logText(records, false));
    open(path);
    window->state().setCursor(static_cast<double>(logview::kStart + 3600));
    window->refreshNow();
    // With TELLUMIC_SCREENSHOTS set, a picture of the window as the X server draws it.
    if (const char *folder = std::getenv("TELLUMIC_SCREENSHOTS"); folder && *folder) {
        window->state().setRange({static_cast<double>(logview::kStart), static_cast<double>(logview::kStart + 86400)});
        window->refreshNow();
        QCoreApplication::processEvents();
        window->grab().save(QString::fromLocal8Bit(folder) + QStringLiteral("/viewer-missing-record.png"));
    }
    const QString readout = window->readout();
    ASSERT_TRUE(readout.startsWith(QStringLiteral("Record "))) << readout.toStdString();
    auto *view = window->panel(ChartGroup::Energy)->findChild<QComboBox *>();
    ASSERT_TRUE(view);
    const auto heard = atspiProbe({findStep(QStringLiteral("label"), QStringLiteral("Cursor readout")),
                                   findStep(QStringLiteral("combo box"), QStringLiteral("Interval energy view"), 2),
                                   findStep(QStringLiteral("label"), QStringLiteral("Status"))});
    ASSERT_EQ(heard.size(), 3);
    ASSERT_TRUE(heard[0].found()) << heard[0].error().toStdString();
    EXPECT_EQ(heard[0].text().toStdString(), readout.toStdString());
    ASSERT_TRUE(heard[1].found()) << heard[1].error().toStdString();
    EXPECT_EQ(heard[1].text().toStdString(), view->currentText().toStdString());
    EXPECT_EQ(heard[1].selectedNames().join('|').toStdString(), view->currentText().toStdString());
    ASSERT_TRUE(heard[2].found()) << heard[2].error().toStdString();
    EXPECT_FALSE(window->status().isEmpty());
    EXPECT_EQ(heard[2].text().toStdString(), window->status().toStdString());
}

class BrowserOverAtspi : public HomeTest
{
};

TEST_F(BrowserOverAtspi, TheFirstRunPageAndTheStatusAreRead)
{
    browser::NetworkBrowserWindow window(QDBusConnection(QStringLiteral("none")));
    window.show();
    ASSERT_TRUE(window.offeringDemo());
    const QString offer = window.findChild<QLabel *>(QStringLiteral("offerText"))->text();
    ASSERT_FALSE(offer.isEmpty());
    const auto heard = atspiProbe({findStep(QStringLiteral("label"), QStringLiteral("First run")),
                                   findStep(QStringLiteral("label"), QStringLiteral("Status"))});
    ASSERT_EQ(heard.size(), 2);
    ASSERT_TRUE(heard[0].found()) << heard[0].error().toStdString();
    EXPECT_EQ(heard[0].text().toStdString(), offer.toStdString());
    ASSERT_TRUE(heard[1].found()) << heard[1].error().toStdString();
    EXPECT_EQ(heard[1].text().toStdString(), window.status().toStdString());
    EXPECT_FALSE(window.status().isEmpty());
}

}  // namespace
}  // namespace tellumic::test
