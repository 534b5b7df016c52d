#include "config/config_compare_dialog.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QScrollArea>
#include <QVBoxLayout>

#include "foundation/dialogs.h"
#include "foundation/trace_log.h"

namespace tellumic::config {

namespace {

constexpr const char *kCaption = "Compare with Configuration";

QString qs(const std::string &s) { return QString::fromStdString(s); }

QLabel *cell(const std::string &text, const QString &name, QWidget *parent)
{
    auto *l = new QLabel(qs(text), parent);
    l->setAccessibleName(name);
    return l;
}

}  // namespace

ConfigCompareDialog::ConfigCompareDialog(MeterConfig file, std::shared_ptr<lns::AppDevice> device,
                                         CompareDialogSite site, QWidget *parent)
    : QDialog(parent), m_file(std::move(file)), m_device(std::move(device)), m_site(std::move(site))
{
    setWindowTitle(QString::fromLatin1(kCaption));
    setObjectName("frmCompareConfig");
    auto *layout = new QVBoxLayout(this);
    m_warning = new QLabel(this);
    m_warning->setObjectName("lblConfigWarning");
    m_warning->setWordWrap(true);
    m_warning->setStyleSheet(QStringLiteral("color: #a04000"));
    layout->addWidget(m_warning);
    auto *scroll = new QScrollArea(this);
    scroll->setWidgetResizable(true);
    m_rowsWidget = new QWidget(scroll);
    m_rows = new QGridLayout(m_rowsWidget);
    scroll->setWidget(m_rowsWidget);
    layout->addWidget(scroll, 1);
    m_summary = new QLabel(this);
    m_summary->setObjectName("lblConfigSummary");
    layout->addWidget(m_summary);
    auto *buttons = new QDialogButtonBox(this);
    m_apply = buttons->addButton(QStringLiteral("Apply Selected"), QDialogButtonBox::ApplyRole);
    m_apply->setObjectName("cmdApplySelected");
    auto *close = buttons->addButton(QDialogButtonBox::Close);
    close->setObjectName("cmdClose");
    layout->addWidget(buttons);
    connect(close, &QPushButton::clicked, this, &QDialog::reject);
    connect(m_apply, &QPushButton::clicked, this, [this] {
        try {
            applyChecked();
        } catch (const RuntimeError &e) {
            DebugLog("ERROR: MConfig.cmdApplySelected_Click()," + errorText(e));
            MsgBox("The configuration could not be applied.\r\n" + errorText(e), MsgStyle::kExclamation, kCaption);
        }
    });
    resize(640, 420);
    refresh();
}

void ConfigCompareDialog::refresh()
{
    DebugLog("MConfig.RefreshComparison()");
    m_comparison = compareConfig(m_file, *m_device);
    const Comparison &c = m_comparison;
    QString warnings;
    for (const auto &w : c.warnings)
        warnings += (warnings.isEmpty() ? QString() : QStringLiteral("\n")) + qs(w);
    m_warning->setText(warnings);
    m_warning->setAccessibleName(QStringLiteral("Warning"));
    m_warning->setVisible(!warnings.isEmpty());
    m_summary->setText(qs(summaryLine(c)));

    while (auto *item = m_rows->takeAt(0)) {
        delete item->widget();
        delete item;
    }
    m_checks.clear();
    m_names.clear();
    const QString headers[] = {QStringLiteral("Entry"), QStringLiteral("File"), QStringLiteral("Meter"),
                               QStringLiteral("Unit")};
    for (int col = 0; col < 4; ++col)
        m_rows->addWidget(new QLabel(QStringLiteral("<b>%1</b>").arg(headers[col]), m_rowsWidget), 0, col);
    int row = 1;
    for (const auto &r : c.rows) {
        if (r.state == RowState::Equal)
            continue;
        const bool choosable = r.state == RowState::Differs && !c.otherFamily;
        const QString caption = qs(r.caption) + (r.state == RowState::NotOnMeter ? QStringLiteral(" (not on this meter)")
                                                 : r.state == RowState::ReadOnly ? QStringLiteral(" (read-only)")
                                                                                 : QString());
        auto *check = new QCheckBox(caption, m_rowsWidget);
        check->setObjectName(qs("chk_" + r.name));
        check->setEnabled(choosable);
        check->setChecked(choosable);
        m_rows->addWidget(check, row, 0);
        m_rows->addWidget(cell(r.fileText, caption + QStringLiteral(" in the file"), m_rowsWidget), row, 1);
        m_rows->addWidget(cell(r.meterText, caption + QStringLiteral(" on the meter"), m_rowsWidget), row, 2);
        m_rows->addWidget(cell(r.unit, caption + QStringLiteral(" unit"), m_rowsWidget), row, 3);
        m_checks.push_back(check);
        m_names.push_back(r.name);
        ++row;
    }
    m_rows->setRowStretch(row, 1);
    m_apply->setEnabled(c.differing > 0 && !c.otherFamily);
}

void ConfigCompareDialog::applyChecked()
{
    DebugLog("MConfig.cmdApplySelected_Click()");
    ApplyOptions options;
    for (std::size_t i = 0; i < m_checks.size(); ++i)
        if (m_checks[i]->isEnabled() && m_checks[i]->isChecked())
            options.only.insert(m_names[i]);
    if (options.only.empty())
        return;
    options.note = m_site.note;
    options.system = m_site.system;
    // The job holds what it writes: the dialog may be closed before the queue runs it.
    auto job = [dialog = QPointer<ConfigCompareDialog>(this), comparison = m_comparison, device = m_device,
                options] {
        DebugLog("MConfig.ApplyConfiguration()");
        const ApplyResult r = applyCompared(comparison, *device, options);
        if (r.applied) {
            if (options.note)
                options.note("Configuration applied: " + std::to_string(r.written) + " entries written");
        } else {
            MsgBox("The configuration was not applied: " +
                       (r.failedEntry.empty() ? std::string() : r.failedEntry + ": ") + r.reason +
                       (r.restored ? "\r\nThe meter was left as it was."
                                   : "\r\nThe meter could not be put back as it was."),
                   MsgStyle::kExclamation, kCaption);
        }
        if (dialog)
            dialog->refresh();
    };
    // One apply at a time: a second against the same rows would put back stale values.
    // The refresh after the apply gives the button back.
    m_apply->setEnabled(false);
    if (m_site.runLns)
        m_site.runLns(std::move(job));
    else
        job();
}

}  // namespace tellumic::config
