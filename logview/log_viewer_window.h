#pragma once

// The log viewer: a meter's CSV log as charts over one time axis, with a cursor readout, a
// summary of the visible range as text, the rows as a table, and exports.

#include <array>
#include <vector>

#include <QMainWindow>

#include "logview/log_columns.h"
#include "logview/log_loader.h"
#include "logview/log_summary.h"
#include "logview/log_view_state.h"

class QAction;
class QLabel;
class QPlainTextEdit;
class QProgressBar;
class QScrollArea;
class QTabWidget;
class QTableView;
class QTimer;

namespace tellumic::logview {

class ChartPanel;
class LogRowsModel;

class LogViewerWindow : public QMainWindow
{
    Q_OBJECT
public:
    explicit LogViewerWindow(QWidget *parent = nullptr);
    ~LogViewerWindow() override;

    // Shows the file; a read runs in the background and the window follows the file.
    void openFile(const QString &path);
    const QString &file() const { return m_loader->path(); }

    LogViewState &state() { return m_state; }
    LogLoader &loader() { return *m_loader; }
    ChartPanel *panel(ChartGroup g) const { return m_panels[static_cast<std::size_t>(g)]; }
    std::vector<ChartPanel *> visiblePanels() const;
    QString summary() const;
    QString readout() const;
    QString status() const;
    QTableView *table() const { return m_table; }

    // Brings charts, summary and table up to date now instead of at the next event.
    void refreshNow();
    // While the view is zoomed or panned, the charts in sight follow at once and the rest
    // (charts scrolled out of sight, summary, table) once the view has rested this long.
    static constexpr int kRestMs = 150;

    // The file dialog of File > Open; tests put their own.

    // The exports without their file dialogs; "" or what went wrong.
    QString exportPng(const QString &file);
    QString exportSvg(const QString &file);
    QString exportCsv(const QString &file);

private:
    void buildMenus();
    QWidget *buildCharts();
    QWidget *buildTable();
    void fitTableColumns();
    void scheduleRefresh();
    void scheduleRangeRefresh();
    // The charts in sight (all shown ones when inSightOnly is false) and the range line.
    void refreshCharts(bool inSightOnly);
    // Charts left stale, the summary and the table.
    void refreshRest();
    bool inSight(const ChartPanel *p) const;
    // The shown charts marked stale (only those in sight with inSightOnly), then alignPlots
    // when any was drawn anew.
    void refreshStaleCharts(bool inSightOnly);
    // The charts' cursor and the readout.
    void refreshCursor();
    void refreshReadout();
    void alignPlots();
    void loaded(bool appended);
    void failed(const QString &reason);
    void chooseAndOpen();
    void exportWith(const QString &caption, const QString &suffix, const QString &filter,
                    QString (LogViewerWindow::*run)(const QString &));
    QString defaultExportName(const QString &suffix) const;
    QString caption() const;
    SummaryScope scope() const;
    template <typename F>
    void guarded(const char *what, F &&f);

    LogViewState m_state;
    LogLoader *m_loader;
    std::array<ChartPanel *, kChartGroupCount> m_panels{};
    std::array<QAction *, kChartGroupCount> m_chartActions{};
    QTabWidget *m_tabs = nullptr;
    QScrollArea *m_scroll = nullptr;
    QLabel *m_rangeLabel = nullptr;
    QLabel *m_readout = nullptr;
    QPlainTextEdit *m_summary = nullptr;
    QTableView *m_table = nullptr;
    QLabel *m_tableLabel = nullptr;
    LogRowsModel *m_rows = nullptr;
    QLabel *m_status = nullptr;
    QProgressBar *m_progress = nullptr;
    QTimer *m_refreshTimer = nullptr;
    QTimer *m_restTimer = nullptr;
    bool m_rangeOnly = false;  // the pending refresh is for a zoom or pan only
    std::array<bool, kChartGroupCount> m_stale{};
    QAction *m_dailyAction = nullptr;
    bool m_tableStale = true;
};

// Opens a viewer window on a file: a window of its own that closes with parent.
LogViewerWindow *openLogViewer(const QString &file, QWidget *parent = nullptr);

}  // namespace tellumic::logview
