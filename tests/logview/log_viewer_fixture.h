#pragma once

// A log viewer window shown offscreen in a fresh home, with the files it shows written by
// the product's own CSV code, and the ways a user reaches its controls.

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <fstream>

#include <QCategoryAxis>
#include <QCheckBox>
#include <QLabel>
#include <QHeaderView>
#include <QStyle>
#include <QImage>
#include <QScrollArea>
#include <QTabWidget>
#include <QMenuBar>
#include <QMouseEvent>
#include <QTableView>
#include <QTest>
#include <QToolTip>
#include <QToolBar>
#include <QToolButton>
#include <QWheelEvent>

#include "logview/chart_panel.h"
#include "logview/log_viewer_window.h"
#include "tests/logview/log_lines.h"
#include "tests/support/accessible.h"
#include "tests/support/temp_home.h"
#include "tests/support/case_name.h"

namespace tellumic::logview {

using test::civil;

constexpr CivilSeconds kStart = test::civil(2026, 3, 1);

inline QString qs(const std::string &s)
{
    return QString::fromStdString(s);
}

class LogViewerWindowTest : public test::HomeTest
{
protected:
    void SetUp() override
    {
        window = std::make_unique<LogViewerWindow>();
        window->resize(1200, 900);
        window->show();
    }

    // Writes a log of `days` days of 15-minute records and shows it.
    std::filesystem::path show(bool isShort, int days = 7, const std::string &extra = {})
    {
        records = test::loadRecords(static_cast<std::size_t>(days) * 96, 1000, kStart);
        const auto path = home.root() / (isShort ? "Meter-log-short-2026.csv" : "Meter-log-full-2026.csv");
        test::writeFile(path, test::logText(records, isShort) + extra);
        open(path);
        return path;
    }

    void open(const std::filesystem::path &path)
    {
        window->openFile(QString::fromStdString(path.string()));
        settle();
    }

    void settle()
    {
        window->loader().waitForFinished();
        window->refreshNow();
    }

    QToolButton *toolButton(const QString &action) const
    {
        auto *bar = window->findChild<QToolBar *>(QStringLiteral("toolbar"));
        for (QAction *a : bar->actions())
            if (QString(a->text()).remove('&') == action)
                return qobject_cast<QToolButton *>(bar->widgetForAction(a));
        return nullptr;
    }

    QCheckBox *legendBox(ChartGroup g, const QString &series) const
    {
        return window->panel(g)->findChild<QCheckBox *>(QStringLiteral("show") + series);
    }

    bool menu(const QString &m, const QString &item) { return test::chooseMenuItem(window->menuBar(), m, item); }

    TimeRange range() const { return window->state().range(); }

    std::unique_ptr<LogViewerWindow> window;
    std::vector<LogRecord> records;
};

}  // namespace tellumic::logview
