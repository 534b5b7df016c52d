#include "browser/harvest_panel.h"

#include <cmath>

#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "browser/harvest_run.h"
#include "harvest/harvest_console.h"

namespace tellumic::browser {

namespace {

// A cancelled or failed meter keeps the whole chunks it moved: the row says how many.
QString storedText(const HarvestMeterRow &r)
{
    return r.records > 0 ? QStringLiteral("; %1 records stored").arg(r.records) : QStringLiteral("; no records stored");
}

// Why a meter was cancelled, in words: a stop in the middle of a transfer comes back as the
// object server's error with its raw code ("Error retrieving log data: -2147217499,LCA: ..."),
// which the row's tool tip keeps.
QString cancelledText(const HarvestMeterRow &r)
{
    if (r.error == kStoppedBeforeMeter)
        return QStringLiteral("Not taken: the harvest was stopped before this meter");
    static const QRegularExpression rawError(QStringLiteral("(^|\\s)-?\\d{4,},"));
    const QString why = QString::fromStdString(r.error);
    if (why.isEmpty() || rawError.match(why).hasMatch())
        return QStringLiteral("Cancelled: the running transfer was stopped") + storedText(r);
    return QStringLiteral("Cancelled: ") + why + storedText(r);
}

QString meterState(const HarvestMeterRow &r)
{
    if (r.done) {
        if (r.outcome == harvestOutcomeName(HarvestOutcome::Cancelled))
            return cancelledText(r);
        QString text = QString::fromStdString(r.outcome);
        text[0] = text[0].toUpper();
        if (!r.error.empty())
            text += QStringLiteral(": ") + QString::fromStdString(r.error);
        if (r.outcome == harvestOutcomeName(HarvestOutcome::Failed))
            text += storedText(r);
        return text;
    }
    if (!r.running)
        return QStringLiteral("Waiting");
    if (r.expected <= 0)
        return QStringLiteral("Downloading");
    const int percent = static_cast<int>(std::lround(100.0 * static_cast<double>(r.records) / static_cast<double>(r.expected)));
    return QStringLiteral("Downloading, %1 %, %2 left")
        .arg(std::min(percent, 100))
        .arg(QString::fromStdString(harvest::formatDuration(r.secondsLeft)));
}

// The records moved of all to move; a meter that ended without its whole log counts what it
// stored, so that a stopped harvest's bar stays where it stopped.
int totalPerMille(const HarvestRun &run)
{
    std::int64_t expected = 0, moved = 0;
    for (const auto &r : run.meters()) {
        const bool whole = r.done && r.outcome == harvestOutcomeName(HarvestOutcome::Harvested);
        expected += std::max(r.expected, r.records);
        moved += whole ? std::max(r.expected, r.records) : r.records;
    }
    if (expected > 0)
        return static_cast<int>(std::min<std::int64_t>(1000, 1000 * moved / expected));
    return !run.running() && run.exitStatus() == HarvestStatus::kAllHarvested ? 1000 : 0;
}

}  // namespace

HarvestPanel::HarvestPanel(QWidget *parent)
    : QGroupBox(QStringLiteral("Harvest"), parent), m_meters(new QTreeWidget), m_total(new QProgressBar),
      m_outcome(new QLabel), m_cancel(new QPushButton(QStringLiteral("&Cancel Harvest")))
{
    setObjectName(QStringLiteral("harvestPanel"));
    m_meters->setObjectName(QStringLiteral("harvestMeters"));
    m_meters->setAccessibleName(QStringLiteral("Harvest progress"));
    m_meters->setRootIsDecorated(false);
    m_meters->setHeaderLabels({QStringLiteral("Meter"), QStringLiteral("Records"), QStringLiteral("Progress")});
    // Meter names and counts are read whole; the progress text takes what is left.
    m_meters->header()->setSectionResizeMode(0, QHeaderView::ResizeToContents);
    m_meters->header()->setSectionResizeMode(1, QHeaderView::ResizeToContents);
    m_meters->header()->setSectionResizeMode(2, QHeaderView::Stretch);
    m_total->setObjectName(QStringLiteral("harvestTotal"));
    m_total->setAccessibleName(QStringLiteral("Harvest total"));
    m_outcome->setObjectName(QStringLiteral("harvestOutcome"));
    m_outcome->setAccessibleName(QStringLiteral("Harvest outcome"));
    m_outcome->setWordWrap(true);
    m_outcome->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    m_cancel->setObjectName(QStringLiteral("cmdCancelHarvest"));
    connect(m_cancel, &QPushButton::clicked, this, &HarvestPanel::cancelRequested);

    auto *bottom = new QHBoxLayout;
    bottom->addWidget(m_total, 1);
    bottom->addWidget(m_cancel);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_meters, 1);
    layout->addLayout(bottom);
    layout->addWidget(m_outcome);
    hide();
}

void HarvestPanel::follow(HarvestRun *run)
{
    m_run = run;
    setVisible(run != nullptr);
    update();
}

void HarvestPanel::update()
{
    if (!m_run)
        return;
    setTitle(QStringLiteral("Harvest of %1").arg(m_run->network()));
    const auto &rows = m_run->meters();
    while (m_meters->topLevelItemCount() > static_cast<int>(rows.size()))
        delete m_meters->takeTopLevelItem(m_meters->topLevelItemCount() - 1);
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const auto &r = rows[i];
        QTreeWidgetItem *item = m_meters->topLevelItem(static_cast<int>(i));
        if (!item)
            item = new QTreeWidgetItem(m_meters);
        item->setText(0, QString::fromStdString(r.name));
        item->setText(1, r.expected > 0 && !r.done ? QStringLiteral("%1 of %2").arg(r.records).arg(r.expected)
                                                   : QString::number(r.records));
        item->setText(2, meterState(r));
        item->setToolTip(2, QString::fromStdString([&r] {
            // The error as the harvest reported it, then what else it noted.
            std::string notes = r.done ? r.error : std::string();
            for (const auto &n : r.notes)
                notes += (notes.empty() ? "" : "\n") + n;
            return notes;
        }()));
    }
    const bool running = m_run->running();
    m_total->setRange(0, 1000);
    m_total->setValue(totalPerMille(*m_run));
    m_cancel->setEnabled(running && !m_run->cancelRequested());
    m_outcome->setText(running ? (m_run->cancelRequested() ? QStringLiteral("Cancelling: the running transfer is "
                                                                             "being stopped . . .")
                                                           : QStringLiteral("Harvesting . . ."))
                               : m_run->outcome());
}

QString HarvestPanel::outcome() const
{
    return m_outcome->text();
}

}  // namespace tellumic::browser
