#include "logview/log_viewer_window.h"

#include <algorithm>
#include <cmath>
#include <exception>

#include <QDir>
#include <QFileInfo>
#include <QGraphicsLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QScrollArea>
#include <QScrollBar>
#include <QStatusBar>
#include <QTabWidget>
#include <QTableView>
#include <QTimer>

#include "foundation/dialogs.h"
#include "foundation/qt_accessible.h"
#include "logview/chart_export.h"
#include "logview/chart_panel.h"
#include "logview/log_rows.h"
#include "logview/log_rows_model.h"

namespace tellumic::logview {

namespace {

constexpr const char *kCaption = "Tellumic Log Viewer";

QString qs(std::string_view s)
{
    return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}

std::string utf8(const QString &s)
{
    return s.toUtf8().toStdString();
}

QString civilText(double t)
{
    return qs(formatCivil(static_cast<CivilSeconds>(std::llround(t))));
}

}  // namespace

template <typename F>
void LogViewerWindow::guarded(const char *what, F &&f)
{
    try {
        f();
    } catch (const std::exception &e) {
        MsgBox(std::string(what) + " failed: " + e.what(), MsgStyle::kOkOnly + MsgStyle::kExclamation, kCaption);
    }
}

LogViewerWindow::LogViewerWindow(QWidget *parent) : QMainWindow(parent)
{
    setObjectName(QStringLiteral("LogViewerWindow"));
    installAccessibleWidgets();
    setWindowTitle(QString::fromLatin1(kCaption));
    setAccessibleName(QString::fromLatin1(kCaption));
    m_loader = new LogLoader(this);

    m_tabs = new QTabWidget(this);
    m_tabs->setObjectName(QStringLiteral("viewTabs"));
    m_tabs->setAccessibleName(QStringLiteral("Views"));
    m_tabs->addTab(buildCharts(), QStringLiteral("Charts"));
    m_tabs->addTab(buildTable(), QStringLiteral("Table"));
    setCentralWidget(m_tabs);

    m_status = new QLabel(this);
    m_status->setObjectName(QStringLiteral("status"));
    m_status->setAccessibleName(QStringLiteral("Status"));
    m_progress = new QProgressBar(this);
    m_progress->setObjectName(QStringLiteral("readProgress"));
    m_progress->setAccessibleName(QStringLiteral("Reading progress"));
    m_progress->setRange(0, 100);
    m_progress->setMaximumWidth(200);
    m_progress->hide();
    statusBar()->addWidget(m_status, 1);
    statusBar()->addPermanentWidget(m_progress);

    m_refreshTimer = new QTimer(this);
    m_refreshTimer->setSingleShot(true);
    m_refreshTimer->setInterval(0);
    connect(m_refreshTimer, &QTimer::timeout, this, [this] {
        guarded("Drawing the charts", [this] {
            if (m_rangeOnly)
                refreshCharts(true);
            else
                refreshNow();
        });
    });
    m_restTimer = new QTimer(this);
    m_restTimer->setSingleShot(true);
    m_restTimer->setInterval(kRestMs);
    connect(m_restTimer, &QTimer::timeout, this, [this] { guarded("The summary", [this] { refreshRest(); }); });

    buildMenus();

    connect(&m_state, &LogViewState::dataChanged, this, &LogViewerWindow::scheduleRefresh);
    connect(&m_state, &LogViewState::rangeChanged, this, &LogViewerWindow::scheduleRangeRefresh);
    connect(&m_state, &LogViewState::shownChanged, this, &LogViewerWindow::scheduleRefresh);
    connect(&m_state, &LogViewState::cursorChanged, this, [this] { guarded("The cursor", [this] { refreshCursor(); }); });
    connect(m_loader, &LogLoader::progress, this, [this](int percent) {
        m_progress->show();
        m_progress->setValue(percent);
        m_status->setText(QStringLiteral("Reading %1 ...").arg(QFileInfo(file()).fileName()));
    });
    connect(m_loader, &LogLoader::loaded, this, [this](bool appended) { guarded("Showing the log", [&] { loaded(appended); }); });
    connect(m_loader, &LogLoader::failed, this, [this](const QString &reason) { failed(reason); });
    connect(m_tabs, &QTabWidget::currentChanged, this, &LogViewerWindow::scheduleRefresh);
    // Charts that come into sight catch up with the view.
    connect(m_scroll->verticalScrollBar(), &QScrollBar::valueChanged, this,
            [this] { guarded("Drawing the charts", [this] { refreshStaleCharts(true); }); });
    resize(1280, 900);
}

LogViewerWindow::~LogViewerWindow() = default;

std::vector<ChartPanel *> LogViewerWindow::visiblePanels() const
{
    std::vector<ChartPanel *> out;
    for (ChartPanel *p : m_panels)
        if (m_state.chartVisible(p->group()))
            out.push_back(p);
    return out;
}

void LogViewerWindow::openFile(const QString &path)
{
    const QString absolute = QFileInfo(path).absoluteFilePath();
    setWindowTitle(QString::fromLatin1(kCaption) + QStringLiteral(" - ") + QFileInfo(absolute).fileName());
    m_status->setText(QStringLiteral("Reading %1 ...").arg(QFileInfo(absolute).fileName()));
    m_state.setData(nullptr, false);
    m_loader->open(absolute);
}

void LogViewerWindow::loaded(bool appended)
{
    m_progress->hide();
    const std::shared_ptr<const LogData> data = m_loader->data();
    const std::size_t before = m_state.data() ? m_state.data()->size() : 0;
    m_state.setData(data, appended);
    const QString format = data->format == LogFormat::Short ? QStringLiteral("short") : QStringLiteral("long");
    QString text = data->empty() && data->farRecords.empty()
                       ? QStringLiteral("%1: a %2 log that holds no records").arg(QFileInfo(file()).fileName(), format)
                       : QStringLiteral("%1: %2 %3 records").arg(QFileInfo(file()).fileName()).arg(data->size()).arg(format);
    if (!data->empty())
        text += QStringLiteral(", %1 to %2").arg(civilText(static_cast<double>(data->time.front())),
                                                 civilText(static_cast<double>(data->time.back())));
    if (appended && data->size() > before)
        text += QStringLiteral("; %1 new since it was opened").arg(data->size() - before);
    const std::uint64_t skipped = data->report.skippedTotal();
    if (skipped > 0 || data->report.stoppedFull)
        text += QStringLiteral("; %1 %2 skipped%3 (see Summary)")
                    .arg(skipped)
                    .arg(skipped == 1 ? QStringLiteral("line") : QStringLiteral("lines"))
                    .arg(data->report.stoppedFull ? QStringLiteral(", reading stopped early") : QString());
    m_status->setText(text);
}

void LogViewerWindow::failed(const QString &reason)
{
    m_progress->hide();
    m_status->setText(QStringLiteral("%1 cannot be shown: %2").arg(QFileInfo(file()).fileName(), reason));
    MsgBox(utf8(QStringLiteral("The log file %1 cannot be shown: %2.").arg(QDir::toNativeSeparators(file()), reason)),
           MsgStyle::kOkOnly + MsgStyle::kExclamation, kCaption);
}

void LogViewerWindow::chooseAndOpen()
{
    const std::string path = dialogs().openFileName("Open Log", utf8(QFileInfo(file()).absolutePath()),
                                                    "CSV log files (*.csv);;All files (*)");
    if (!path.empty())
        openFile(QString::fromStdString(path));
}

void LogViewerWindow::scheduleRefresh()
{
    m_tableStale = true;
    m_rangeOnly = false;
    m_refreshTimer->start();
}

void LogViewerWindow::scheduleRangeRefresh()
{
    m_tableStale = true;
    if (!m_refreshTimer->isActive())
        m_rangeOnly = true;
    m_refreshTimer->start();
    m_restTimer->start();
}

SummaryScope LogViewerWindow::scope() const
{
    SummaryScope s;
    const auto &data = m_state.data();
    if (!data)
        return s;
    for (std::size_t k = 0; k < quantityCount(data->format); ++k)
        s.series[k] = m_state.seriesShown(k) && m_state.chartVisible(kQuantities[k].group);
    const bool energy = m_state.seriesShown(kEnergySeries) && m_state.chartVisible(ChartGroup::Energy);
    s.intervalEnergy = energy && m_state.energyView() == EnergyView::PerInterval;
    s.dailyEnergy = energy && m_state.energyView() == EnergyView::DailyTotals;
    return s;
}

void LogViewerWindow::refreshNow()
{
    m_refreshTimer->stop();
    m_restTimer->stop();
    const auto &data = m_state.data();
    for (ChartPanel *p : m_panels) {
        p->setVisible(data && m_state.chartVisible(p->group()));
        m_chartActions[static_cast<std::size_t>(p->group())]->setEnabled(
            !chartGroupInfo(p->group()).longOnly || (data && data->format == LogFormat::Long));
    }
    refreshCharts(false);
    refreshRest();
}

bool LogViewerWindow::inSight(const ChartPanel *p) const
{
    const QWidget *viewport = m_scroll->viewport();
    return QRect(p->mapTo(viewport, QPoint(0, 0)), p->size()).intersects(viewport->rect());
}

void LogViewerWindow::refreshCharts(bool inSightOnly)
{
    m_refreshTimer->stop();
    const auto &data = m_state.data();
    for (ChartPanel *p : visiblePanels())
        m_stale[static_cast<std::size_t>(p->group())] = true;
    refreshStaleCharts(inSightOnly);
    const TimeRange r = m_state.range();
    if (!data) {
        m_rangeLabel->clear();
        return;
    }
    if (data->empty())
        m_rangeLabel->setText(QStringLiteral("The file holds no records"));
    else
        m_rangeLabel->setText(QStringLiteral("Showing %1 to %2%3")
                                  .arg(civilText(r.start), civilText(r.end),
                                       m_state.zoomed() ? QString() : QStringLiteral(" (whole log)")));
    // Each chart refreshed its own cursor; the readout follows the data and the series shown.
    refreshReadout();
}

void LogViewerWindow::refreshRest()
{
    m_restTimer->stop();
    const auto &data = m_state.data();
    refreshStaleCharts(false);
    const TimeRange r = m_state.range();
    if (!data) {
        m_summary->setPlainText(QString());
        m_rows->setRows(file(), nullptr, {});
        return;
    }
    m_summary->setPlainText(qs(summaryText(*data, summarize(*data, r), scope())));
    if (m_tableStale && m_tabs->currentIndex() == 1) {
        std::vector<LogRow> rows = rowsInRange(*data, r);
        m_tableLabel->setText(QStringLiteral("Rows of the visible range: %1").arg(rows.size()));
        m_rows->setRows(file(), data, std::move(rows));
        m_tableStale = false;
        fitTableColumns();
    }
}

void LogViewerWindow::fitTableColumns()
{
    // Columns only grow to their content, so that a column the user widened stays so. The
    // content is measured on the rows in sight and a few more: a table's rows are read from
    // the file as they are shown.
    for (int c = 0; c < m_rows->columnCount(); ++c)
        m_table->setColumnWidth(c, std::max({m_table->columnWidth(c), static_cast<const QAbstractItemView *>(m_table)->sizeHintForColumn(c),
                                             m_table->horizontalHeader()->sectionSizeHint(c)}));
}

void LogViewerWindow::refreshStaleCharts(bool inSightOnly)
{
    bool any = false;
    for (ChartPanel *p : visiblePanels()) {
        const auto g = static_cast<std::size_t>(p->group());
        if (m_stale[g] && (!inSightOnly || inSight(p))) {
            p->refresh();
            m_stale[g] = false;
            any = true;
        }
    }
    if (any)
        alignPlots();
}

void LogViewerWindow::alignPlots()
{
    // Value labels of different widths would start each plot elsewhere; the charts share
    // one time axis, so every plot starts where the one with the widest labels does.
    const std::vector<ChartPanel *> panels = visiblePanels();
    double left = 0;
    for (ChartPanel *p : panels) {
        p->chart()->layout()->activate();
        left = std::max(left, p->naturalPlotLeft());
    }
    for (ChartPanel *p : panels) {
        p->setExtraLeft(left - p->naturalPlotLeft());
        p->chart()->layout()->activate();
    }
}

void LogViewerWindow::refreshCursor()
{
    for (ChartPanel *p : m_panels)
        if (p->isVisible())
            p->refreshCursor();
    refreshReadout();
}

void LogViewerWindow::refreshReadout()
{
    const auto &data = m_state.data();
    if (!data || !m_state.cursor())
        return;
    m_readout->setText(qs(readoutText(*data, *m_state.cursor(), scope())).trimmed());
}

QString LogViewerWindow::summary() const
{
    return m_summary->toPlainText();
}

QString LogViewerWindow::readout() const
{
    return m_readout->text();
}

QString LogViewerWindow::status() const
{
    return m_status->text();
}

QString LogViewerWindow::caption() const
{
    const TimeRange r = m_state.range();
    return QStringLiteral("%1, %2 to %3").arg(QFileInfo(file()).fileName(), civilText(r.start), civilText(r.end));
}

QString LogViewerWindow::defaultExportName(const QString &suffix) const
{
    const QFileInfo source(file());
    const QString from = civilText(m_state.range().start).left(16).replace(':', QString()).replace(' ', '-');
    return source.absolutePath() + '/' + source.completeBaseName() + '-' + from + '.' + suffix;
}

void LogViewerWindow::exportWith(const QString &title, const QString &suffix, const QString &filter,
                                 QString (LogViewerWindow::*run)(const QString &))
{
    guarded("The export", [&] {
        if (!m_state.data()) {
            MsgBox("There is no log to export yet.", MsgStyle::kOkOnly + MsgStyle::kInformation, kCaption);
            return;
        }
        const std::string chosen = dialogs().saveFileName(utf8(title), utf8(defaultExportName(suffix)), utf8(filter));
        if (chosen.empty())
            return;
        const QString error = (this->*run)(QString::fromStdString(chosen));
        if (!error.isEmpty())
            MsgBox(utf8(QStringLiteral("The export to %1 failed: %2").arg(QString::fromStdString(chosen), error)),
                   MsgStyle::kOkOnly + MsgStyle::kExclamation, kCaption);
    });
}

QString LogViewerWindow::exportPng(const QString &target)
{
    refreshNow();
    return savePng(target, visiblePanels(), caption());
}

QString LogViewerWindow::exportSvg(const QString &target)
{
    refreshNow();
    return saveSvg(target, visiblePanels(), caption());
}

QString LogViewerWindow::exportCsv(const QString &target)
{
    const auto &data = m_state.data();
    if (!data)
        return QStringLiteral("no log is shown");
    return qs(exportRows(file().toStdString(), *data, rowsInRange(*data, m_state.range()), target.toStdString()));
}

LogViewerWindow *openLogViewer(const QString &file, QWidget *parent)
{
    auto *w = new LogViewerWindow(parent);
    w->setWindowFlag(Qt::Window);
    w->setAttribute(Qt::WA_DeleteOnClose);
    w->openFile(file);
    w->show();
    return w;
}

}  // namespace tellumic::logview
