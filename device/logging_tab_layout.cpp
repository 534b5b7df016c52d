// The device window's "Logging" tab: its boxes, buttons and their wiring.

#include "device/logging_tab.h"

#include <exception>

#include <QCheckBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "device/device_window.h"
#include "device/window_support.h"
#include "foundation/dialogs.h"
#include "foundation/plugin_state.h"
#include "foundation/trace_log.h"
#include "log/log_transfer.h"
#include "logview/log_viewer_window.h"

namespace tellumic {

namespace {

void addRow(QFormLayout *form, const QString &caption, QWidget *box)
{
    auto *label = new QLabel(caption);
    label->setBuddy(box);
    box->setAccessibleName(QString(caption).remove(':').remove('&'));
    form->addRow(label, box);
}

}  // namespace

QLineEdit *LoggingTab::field(const char *name, bool readOnly)
{
    auto *box = new QLineEdit(this);
    box->setObjectName(QString::fromLatin1(name));
    box->setReadOnly(readOnly);
    return box;
}

// The meter's log extent.
QGroupBox *LoggingTab::buildLogInfo(QWidget *intervalGroup)
{
    auto *info = new QGroupBox(QStringLiteral("Tellumic Log Info"), this);
    info->setObjectName("fTmLogInfo");
    auto *infoForm = new QFormLayout;
    m_oldRecnum = field("txtTmOldRecnum");
    m_oldDate = field("txtTmOldDate");
    m_newRecnum = field("txtTmNewRecnum");
    m_recCount = field("txtTmLogRecCnt");
    addRow(infoForm, QStringLiteral("Oldest Record#:"), m_oldRecnum);
    addRow(infoForm, QStringLiteral("Oldest Date:"), m_oldDate);
    addRow(infoForm, QStringLiteral("Newest Record#:"), m_newRecnum);
    addRow(infoForm, QStringLiteral("Log Record Count:"), m_recCount);
    auto *infoLayout = new QVBoxLayout(info);
    infoLayout->addLayout(infoForm);
    if (intervalGroup)
        infoLayout->addWidget(intervalGroup);

    return info;
}

// The CSV file.
QGroupBox *LoggingTab::buildFileInfo()
{
    auto *file = new QGroupBox(QStringLiteral("Log File Info"), this);
    file->setObjectName("fLogFileInfo");
    auto *fileForm = new QFormLayout(file);
    m_fileRecNum = field("txtFileRecNum");
    m_filename = field("txtLogFilename");
    m_filePath = field("txtLogFilePath");
    m_filePath->setToolTip(QStringLiteral("Full path of the log file (select to copy)"));
    m_fileDateTime = field("txtFileDateTime");
    m_fileDateTime->setText(QStringLiteral("YYYY-MM-DD HH:mm:ss"));
    addRow(fileForm, QStringLiteral("Last Record#:"), m_fileRecNum);
    addRow(fileForm, QStringLiteral("Filename:"), m_filename);
    addRow(fileForm, QStringLiteral("Full Path:"), m_filePath);
    addRow(fileForm, QStringLiteral("Last Date/Time:"), m_fileDateTime);

    return file;
}

// The retrieval range.
QGroupBox *LoggingTab::buildRetrievalMode()
{
    auto *mode = new QGroupBox(QStringLiteral("Log Retrieval Mode"), this);
    mode->setObjectName("fLogMode");
    auto *modeGrid = new QGridLayout(mode);
    const QString fromNewest = QStringLiteral("Starting with the most recent record");
    struct Option
    {
        QRadioButton *&button;
        QLineEdit *&box;
        const char *name, *boxName, *caption, *tip, *initial;
        bool readOnly;
    };
    const Option options[] = {
        {m_optFullLog, m_fullLogCnt, "optFullLog", "txtFullLogCnt", "Full Log", "Starting with the oldest record", "",
         true},
        {m_optNewRecs, m_newRecCnt, "optNewRecs", "txtNewRecCnt", "New Records (not yet in log file)",
         "Add all new records not alread in log file", "", true},
        {m_optPriorN, m_priorN, "optPriorN", "txtPriorN", "Count of Records", nullptr, "100", false},
        {m_optToDate, m_stopDate, "optToDate", "txtLogStopDate", "Back to Date/Time", nullptr, "YYYY-MM-DD HH:mm:ss",
         false},
        {m_optToRecnum, m_stopRecnum, "optToRecnum", "txtStopRecNum", "Back to Record#", nullptr, "", false},
    };
    int row = 0;
    for (const auto &o : options) {
        o.button = new QRadioButton(QString::fromLatin1(o.caption), mode);
        o.button->setObjectName(QString::fromLatin1(o.name));
        o.button->setToolTip(o.tip ? QString::fromLatin1(o.tip) : fromNewest);
        o.box = field(o.boxName, o.readOnly);
        o.box->setText(QString::fromLatin1(o.initial));
        o.box->setAccessibleName(QString::fromLatin1(o.caption));
        o.box->setToolTip(o.button->toolTip());
        o.box->hide();
        modeGrid->addWidget(o.button, row, 0);
        modeGrid->addWidget(o.box, row, 1);
        auto *button = o.button;
        // The checked state, not the click: a screen reader's "toggle" or a keyboard arrow
        // selects an option without clicking it.
        connect(button, &QRadioButton::toggled, this, [this, button](bool checked) {
            if (checked)
                optionClicked(button);
        });
        ++row;
    }
    modeGrid->setColumnStretch(1, 1);
    connect(m_priorN, &QLineEdit::textChanged, this, [this] {
        DebugLog("fMain.txtPriorN_Change()");
        UpdateLogEstimate();
    });
    connect(m_stopDate, &QLineEdit::textChanged, this, [this] {
        DebugLog("fMain.txtLogStopDate_Change()");
        UpdateLogEstimate();
    });
    connect(m_stopRecnum, &QLineEdit::textChanged, this, [this] {
        DebugLog("fMain.txtStopRecNum_Change()");
        UpdateLogEstimate();
    });

    return mode;
}

// Record format, download and progress.
QGroupBox *LoggingTab::buildDownload()
{
    m_short = new QCheckBox(QStringLiteral("Short Records"), this);
    m_short->setObjectName("ckShort");
    m_short->setToolTip(QStringLiteral("Retrieve short log records (faster)"));
    m_logBad = new QCheckBox(QStringLiteral("Keep Bad Records"), this);
    m_logBad->setObjectName("ckLogBad");
    m_logBad->setToolTip(QStringLiteral("Log data for records with errors"));
    m_read = new QPushButton(QStringLiteral("Read Log"), this);
    m_read->setObjectName("cmdReadLogData");
    m_read->setToolTip(QStringLiteral("Download the selected records into the log file"));
    m_cancel = new QPushButton(QStringLiteral("Cancel"), this);
    m_cancel->setObjectName("cmdCancelLog");
    m_cancel->setToolTip(QStringLiteral("Stop the running download"));
    m_cancel->setAccessibleName(QStringLiteral("Cancel log download"));
    m_cancel->setEnabled(false);
    m_viewLog = new QPushButton(QStringLiteral("View Log..."), this);
    m_viewLog->setObjectName("cmdViewLog");
    m_viewLog->setToolTip(QStringLiteral("Show the log file as charts"));
    m_viewLog->setEnabled(false);
    connect(m_viewLog, &QPushButton::clicked, this, [this] {
        DebugLog("fMain.cmdViewLog_Click()");
        updateViewLog();
        if (!m_viewLog->isEnabled())
            return;
        try {
            logview::openLogViewer(m_filePath->text(), this);
        } catch (const std::exception &e) {
            MsgBox(std::string("The log viewer cannot be opened: ") + e.what(), MsgStyle::kOkOnly, "Tellumic Plug-in");
        }
    });
    connect(m_short, &QCheckBox::toggled, this, [this](bool ticked) {
        DebugLog("fMain.ckShort_Click()");
        const std::string &name = plugIn().CurrentDeviceName;
        if (ticked)
            SetShortLogRecords(name, *this);
        else
            SetLongLogRecords(name, *this);
        m_window.queue().ExecuteLnsAction("UpdateLogInfo");
    });
    connect(m_read, &QPushButton::clicked, this, [this] {
        DebugLog("fMain.cmdReadLogData_Click()");
        m_window.queue().ExecuteLnsAction("fMain.ReadLogData");
    });
    connect(m_cancel, &QPushButton::clicked, this, [] {
        DebugLog("fMain.cmdCancelLog_Click()");
        logFtpState().LogCancel = true;
    });

    auto *run = new QGroupBox(QStringLiteral("Download"), this);
    auto *runForm = new QFormLayout(run);
    auto *checks = new QHBoxLayout;
    checks->addWidget(m_short);
    checks->addWidget(m_logBad);
    checks->addStretch(1);
    runForm->addRow(checks);
    m_estimate = field("txtEstDownloadTime");
    addRow(runForm, QStringLiteral("Estimated Download Time:"), m_estimate);
    m_percent = field("txtPercentComplete");
    m_progress = new QProgressBar(this);
    m_progress->setObjectName("pbPercentComplete");
    m_progress->setRange(0, 100);
    m_progress->setValue(0);
    m_progress->setTextVisible(false);
    m_progress->setAccessibleName(QStringLiteral("Download progress"));
    auto *percentRow = new QWidget(this);
    auto *percentLayout = new QHBoxLayout(percentRow);
    percentLayout->setContentsMargins(0, 0, 0, 0);
    percentLayout->addWidget(m_percent, 1);
    percentLayout->addWidget(m_progress, 2);
    auto *percentLabel = new QLabel(QStringLiteral("Estimated Percent Complete:"), this);
    percentLabel->setBuddy(m_percent);
    m_percent->setAccessibleName(QStringLiteral("Estimated Percent Complete"));
    runForm->addRow(percentLabel, percentRow);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(m_viewLog);
    buttons->addWidget(m_read);
    buttons->addWidget(m_cancel);
    runForm->addRow(buttons);

    return run;
}

}  // namespace tellumic
