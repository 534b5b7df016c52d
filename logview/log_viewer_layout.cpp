// The log viewer window's pages (charts beside the cursor and summary, the table of rows),
// its menus and its tool bar: the widgets and their wiring. What they show is refreshed in
// log_viewer_window.cpp.

#include "logview/log_viewer_window.h"

#include <QAction>
#include <QGroupBox>
#include <QHeaderView>
#include <QKeySequence>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QScrollArea>
#include <QSplitter>
#include <QTableView>
#include <QToolBar>
#include <QVBoxLayout>

#include "logview/chart_panel.h"
#include "logview/log_rows_model.h"

namespace tellumic::logview {

namespace {

constexpr double kZoomStep = 1.5;
constexpr double kPanShare = 0.2;
// Rows measured beyond those in sight when table columns are fitted to their content.
constexpr int kFitRows = 100;

QString qs(std::string_view s)
{
    return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}

}  // namespace

QWidget *LogViewerWindow::buildCharts()
{
    auto *page = new QWidget;
    auto *hint = new QLabel(QStringLiteral("Wheel: zoom  \u00b7  drag: pan  \u00b7  Shift+drag, right-drag or drag "
                                           "along the time axis: zoom to that range  \u00b7  double-click or Home: "
                                           "whole log"),
                            page);
    hint->setObjectName(QStringLiteral("hint"));
    hint->setStyleSheet(QStringLiteral("color: palette(mid)"));
    m_rangeLabel = new QLabel(page);
    m_rangeLabel->setObjectName(QStringLiteral("visibleRange"));
    // Its text changes with every zoom step; it must not move the charts' layout.
    m_rangeLabel->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
    m_rangeLabel->setMinimumWidth(m_rangeLabel->fontMetrics().horizontalAdvance(QStringLiteral("Showing 0000-00-00 "
                                                                                               "00:00:00 to 0000-00-00 "
                                                                                               "00:00:00 (whole log)")));
    m_rangeLabel->setAccessibleName(QStringLiteral("Visible range"));

    auto *charts = new QWidget;
    auto *chartsLayout = new QVBoxLayout(charts);
    chartsLayout->setContentsMargins(0, 0, 0, 0);
    chartsLayout->setSpacing(2);
    for (std::size_t g = 0; g < kChartGroupCount; ++g) {
        m_panels[g] = new ChartPanel(static_cast<ChartGroup>(g), m_state, charts);
        // The charts shown share the height: two short-record charts fill the window as
        // eight long-record ones do (these scroll once they reach their least height).
        chartsLayout->addWidget(m_panels[g], 1);
    }
    m_scroll = new QScrollArea(page);
    m_scroll->setObjectName(QStringLiteral("charts"));
    m_scroll->setAccessibleName(QStringLiteral("Charts"));
    m_scroll->setWidgetResizable(true);
    m_scroll->setWidget(charts);

    auto *side = new QWidget(page);
    auto *sideLayout = new QVBoxLayout(side);
    sideLayout->setContentsMargins(0, 0, 0, 0);
    auto *cursorBox = new QGroupBox(QStringLiteral("Cursor"), side);
    auto *cursorLayout = new QVBoxLayout(cursorBox);
    m_readout = new QLabel(QStringLiteral("Point at a chart to read its values."), cursorBox);
    m_readout->setObjectName(QStringLiteral("readout"));
    m_readout->setAccessibleName(QStringLiteral("Cursor readout"));
    m_readout->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    m_readout->setWordWrap(true);
    m_readout->setAlignment(Qt::AlignTop | Qt::AlignLeft);
    cursorLayout->addWidget(m_readout);
    auto *summaryBox = new QGroupBox(QStringLiteral("Summary"), side);
    auto *summaryLayout = new QVBoxLayout(summaryBox);
    m_summary = new QPlainTextEdit(summaryBox);
    m_summary->setObjectName(QStringLiteral("summary"));
    m_summary->setAccessibleName(QStringLiteral("Summary"));
    m_summary->setAccessibleDescription(QStringLiteral("The visible range as text: times, record count and the "
                                                       "minimum, maximum and mean of each shown series"));
    m_summary->setReadOnly(true);
    m_summary->setTabChangesFocus(true);
    m_summary->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    summaryLayout->addWidget(m_summary);
    sideLayout->addWidget(cursorBox);
    sideLayout->addWidget(summaryBox, 1);

    auto *splitter = new QSplitter(Qt::Horizontal, page);
    splitter->addWidget(m_scroll);
    splitter->addWidget(side);
    splitter->setStretchFactor(0, 1);
    splitter->setSizes({920, 340});

    auto *layout = new QVBoxLayout(page);
    auto *top = new QHBoxLayout;
    top->addWidget(m_rangeLabel, 1);
    top->addWidget(hint);
    layout->addLayout(top);
    layout->addWidget(splitter, 1);
    return page;
}

QWidget *LogViewerWindow::buildTable()
{
    auto *page = new QWidget;
    m_tableLabel = new QLabel(page);
    m_tableLabel->setObjectName(QStringLiteral("tableCaption"));
    m_rows = new LogRowsModel(this);
    m_table = new QTableView(page);
    m_table->setObjectName(QStringLiteral("rows"));
    m_table->setAccessibleName(QStringLiteral("Log rows"));
    m_table->setModel(m_rows);
    m_table->setAlternatingRowColors(true);
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    m_table->horizontalHeader()->setResizeContentsPrecision(kFitRows);
    m_table->verticalHeader()->setDefaultSectionSize(m_table->fontMetrics().height() + 4);
    m_tableLabel->setBuddy(m_table);
    auto *layout = new QVBoxLayout(page);
    layout->addWidget(m_tableLabel);
    layout->addWidget(m_table, 1);
    return page;
}

void LogViewerWindow::buildMenus()
{
    auto action = [this](QMenu *menu, const QString &text, const QKeySequence &key, auto slot) {
        auto *a = menu->addAction(text);
        a->setObjectName(text);
        if (!key.isEmpty())
            a->setShortcut(key);
        connect(a, &QAction::triggered, this, slot);
        return a;
    };
    QMenu *fileMenu = menuBar()->addMenu(QStringLiteral("&File"));
    QAction *open = action(fileMenu, QStringLiteral("&Open..."), QKeySequence::Open, [this] { chooseAndOpen(); });
    fileMenu->addSeparator();
    QAction *png = action(fileMenu, QStringLiteral("Export Charts as &PNG..."), {}, [this] {
        exportWith(QStringLiteral("Export Charts as PNG"), QStringLiteral("png"), QStringLiteral("PNG images (*.png)"),
                   &LogViewerWindow::exportPng);
    });
    action(fileMenu, QStringLiteral("Export Charts as &SVG..."), {}, [this] {
        exportWith(QStringLiteral("Export Charts as SVG"), QStringLiteral("svg"), QStringLiteral("SVG images (*.svg)"),
                   &LogViewerWindow::exportSvg);
    });
    action(fileMenu, QStringLiteral("Export Visible Range as &CSV..."), {}, [this] {
        exportWith(QStringLiteral("Export Visible Range as CSV"), QStringLiteral("csv"),
                   QStringLiteral("CSV log files (*.csv)"), &LogViewerWindow::exportCsv);
    });
    fileMenu->addSeparator();
    action(fileMenu, QStringLiteral("&Close"), QKeySequence::Close, [this] { close(); });

    QMenu *viewMenu = menuBar()->addMenu(QStringLiteral("&View"));
    QAction *in = action(viewMenu, QStringLiteral("Zoom &In"), QKeySequence(Qt::Key_Plus),
                         [this] { m_state.zoom(kZoomStep); });
    in->setShortcuts({QKeySequence(Qt::Key_Plus), QKeySequence(Qt::Key_Equal), QKeySequence::ZoomIn});
    QAction *out = action(viewMenu, QStringLiteral("Zoom &Out"), QKeySequence(Qt::Key_Minus),
                          [this] { m_state.zoom(1 / kZoomStep); });
    out->setShortcuts({QKeySequence(Qt::Key_Minus), QKeySequence::ZoomOut});
    QAction *whole = action(viewMenu, QStringLiteral("&Whole Log"), QKeySequence(Qt::Key_Home),
                            [this] { m_state.resetZoom(); });
    QAction *left = action(viewMenu, QStringLiteral("Pan &Left"), QKeySequence(Qt::Key_Left),
                           [this] { m_state.pan(-kPanShare * m_state.range().length()); });
    QAction *right = action(viewMenu, QStringLiteral("Pan &Right"), QKeySequence(Qt::Key_Right),
                            [this] { m_state.pan(kPanShare * m_state.range().length()); });
    // The keys move the charts only while the charts have the focus; elsewhere they edit
    // and move as usual.
    for (QAction *a : {in, out, whole, left, right}) {
        a->setShortcutContext(Qt::WidgetWithChildrenShortcut);
        m_scroll->addAction(a);
    }
    viewMenu->addSeparator();
    QMenu *charts = viewMenu->addMenu(QStringLiteral("&Charts"));
    for (std::size_t g = 0; g < kChartGroupCount; ++g) {
        const auto group = static_cast<ChartGroup>(g);
        QAction *a = charts->addAction(qs(chartGroupInfo(group).title));
        a->setCheckable(true);
        a->setChecked(true);
        connect(a, &QAction::toggled, this, [this, group](bool on) { m_state.setChartShown(group, on); });
        m_chartActions[g] = a;
    }
    m_dailyAction = viewMenu->addAction(QStringLiteral("&Daily Energy Totals"));
    m_dailyAction->setCheckable(true);
    connect(m_dailyAction, &QAction::toggled, this, [this](bool on) {
        m_state.setEnergyView(on ? EnergyView::DailyTotals : EnergyView::PerInterval);
    });
    connect(&m_state, &LogViewState::shownChanged, this, [this] {
        m_dailyAction->setChecked(m_state.energyView() == EnergyView::DailyTotals);
    });

    QToolBar *bar = addToolBar(QStringLiteral("View"));
    bar->setObjectName(QStringLiteral("toolbar"));
    bar->setAccessibleName(QStringLiteral("Tool bar"));
    for (QAction *a : {open, in, out, whole, png})
        bar->addAction(a);
}

}  // namespace tellumic::logview
