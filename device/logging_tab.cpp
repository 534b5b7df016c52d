// The device window's "Logging" tab.

#include "device/logging_tab.h"

#include <algorithm>
#include <cmath>
#include <exception>
#include <limits>
#include <optional>
#include <variant>

#include <QApplication>
#include <QCheckBox>
#include <QFileInfo>
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
#include "device/event_log_widget.h"
#include "device/window_support.h"
#include "foundation/dialogs.h"
#include "foundation/paths.h"
#include "foundation/plugin_state.h"
#include "foundation/runtime_error.h"
#include "foundation/trace_log.h"
#include "log/log_csv.h"
#include "log/log_transfer.h"
#include "logview/log_viewer_window.h"
#include "log/new_records.h"
#include "model/date_time.h"

namespace tellumic {

namespace {

constexpr std::int32_t kMaxPriorN = 24186;
constexpr const char *kDownloadCaption = "Error downloading log";

// A box's text as a whole number; false when it is not a number or leaves the 32-bit range.
bool toInt32(const QString &text, std::int32_t &value)
{
    bool ok = false;
    const double d = text.trimmed().toDouble(&ok);
    if (!ok || !std::isfinite(d))
        return false;
    const double r = std::nearbyint(d);
    if (r < std::numeric_limits<std::int32_t>::min() || r > std::numeric_limits<std::int32_t>::max())
        return false;
    value = static_cast<std::int32_t>(r);
    return true;
}

std::int32_t int32Or0(const QString &text)
{
    std::int32_t v = 0;
    return toInt32(text, v) ? v : 0;
}

QString qs(std::string_view s)
{
    return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}

}  // namespace

LoggingTab::LoggingTab(DeviceWindow &window, QWidget *intervalGroup, QLineEdit *interval)
    : m_window(window), m_interval(interval)
{
    setObjectName("LoggingPage");
    auto *info = buildLogInfo(intervalGroup);
    auto *file = buildFileInfo();
    auto *mode = buildRetrievalMode();
    auto *run = buildDownload();

    auto *left = new QVBoxLayout;
    left->addWidget(info);
    left->addWidget(file);
    left->addStretch(1);
    auto *right = new QVBoxLayout;
    right->addWidget(mode);
    right->addWidget(run);
    right->addStretch(1);
    auto *top = new QHBoxLayout(this);
    top->addLayout(left, 1);
    top->addLayout(right, 1);

    window.setLogIdleHandler([this] {
        if (!logFtpState().LogReading || !plugIn().CurrentSystem)
            return false;
        handleLogNssIdle(*plugIn().CurrentSystem, *this);
        return true;
    });
    setLogTransferRunningQuery([] { return logFtpState().LogReading; });
}

void LoggingTab::optionClicked(QRadioButton *option)
{
    DebugLog("fMain." + option->objectName().toStdString() + "_Click()");
    const std::pair<QRadioButton *, QLineEdit *> pairs[] = {{m_optFullLog, m_fullLogCnt},
                                                              {m_optNewRecs, m_newRecCnt},
                                                              {m_optPriorN, m_priorN},
                                                              {m_optToDate, m_stopDate},
                                                              {m_optToRecnum, m_stopRecnum}};
    for (const auto &[button, box] : pairs)
        box->setVisible(button == option && option->isChecked());
    UpdateLogEstimate();
}

void LoggingTab::updateViewLog()
{
    // An empty file is no log yet: a program that ended before it wrote the header left it.
    const QString path = m_filePath->text();
    const QFileInfo file(path);
    m_viewLog->setEnabled(!path.isEmpty() && file.isFile() && file.size() > 0);
}

void LoggingTab::InitLoggingTab(const std::string &deviceName)
{
    DebugLog("MLogFtp.InitLoggingTab()");
    setPercentComplete("");
    updateViewLog();
    if (m_ready)
        return;
    LogDateTime last;
    bool shortRecords = false;
    if (FindLastLogRecnum(programFolder() / GetLogFilename(deviceName, false), last) != 0)
        shortRecords = false;
    else if (FindLastLogRecnum(programFolder() / GetLogFilename(deviceName, true), last) != 0)
        shortRecords = true;
    // The file fields follow the box; when it already shows the choice they are filled here,
    // so the file's name and path show from the first visit on.
    if (m_short->isChecked() != shortRecords)
        m_short->setChecked(shortRecords);
    else if (shortRecords)
        SetShortLogRecords(deviceName, *this);
    else
        SetLongLogRecords(deviceName, *this);
    m_ready = true;
}

void LoggingTab::UpdateLogInfo(const std::shared_ptr<lns::AppDevice> &device)
{
    DebugLog("MLogFtp.UpdateLogInfo()");
    try {
        if (!device || !plugIn().CurrentSystem)
            throw RuntimeError(lns::LcaError::kObjectNotFound, "No current device");
        if (device->State() != 4)
            return;
        auto &info = logFtpState().CurrentLogInfo;
        info = ReadLogInfoFtp(*plugIn().CurrentSystem, device);
        const std::int64_t count =
            static_cast<std::int64_t>(info.newest.recordNumber) - info.oldest.recordNumber + 1;
        m_recCount->setText(QString::number(count));
        m_oldRecnum->setText(QString::number(info.oldest.recordNumber));
        m_newRecnum->setText(QString::number(info.newest.recordNumber));
        std::string date = FormatDateTime(info.oldest.dateTime);
        if (const auto blank = date.find(' '); blank != std::string::npos)
            date.resize(blank + 1);
        m_oldDate->setText(QString::fromStdString(date));
        UpdateLogEstimate();
    } catch (const RuntimeError &e) {
        DebugLog("ERROR: MLogFtp.UpdateLogInfo()," + errorText(e));
        MsgBox("Error reading log information from the Tellumic:\r\n" + errorText(e), MsgStyle::kOkOnly,
               "Tellumic Log Info Error");
    }
}

void LoggingTab::UpdateLogEstimate()
{
    DebugLog("MLogFtp.UpdateLogEstimate()");
    const LogInfo &info = logFtpState().CurrentLogInfo;
    const std::int64_t newest = info.newest.recordNumber, oldest = info.oldest.recordNumber;
    double n = 0;
    std::int32_t v = 0;
    std::string error;
    try {
    if (m_optFullLog->isChecked()) {
        n = static_cast<double>(newest - oldest + 1);
    } else if (m_optPriorN->isChecked()) {
        n = toInt32(m_priorN->text(), v) ? v : 0;
    } else if (m_optToDate->isChecked()) {
        const LogDateTime stop = ParseDateTime(m_stopDate->text().toStdString());
        std::int32_t interval = 0;
        if (ValidateDateTime(stop).empty() && toInt32(m_interval->text(), interval) && interval != 0) {
            const double minutes = (TimestampToDate(info.newest.dateTime) - TimestampToDate(stop)) * 1440.0;
            n = std::nearbyint(minutes / interval);
        }
    } else if (m_optToRecnum->isChecked()) {
        n = toInt32(m_stopRecnum->text(), v) ? static_cast<double>(newest - v + 1) : 0;
    } else if (m_optNewRecs->isChecked()) {
        n = static_cast<double>(newRecordsCount(info, toInt32(m_fileRecNum->text(), v) ? std::optional(v) : std::nullopt));
    }
    } catch (const RuntimeError &e) {
        error = errorText(e);
    }
    n = std::clamp(n, 0.0, static_cast<double>(kMaxLogRecords));
    const QString count = QString::number(static_cast<std::int64_t>(n));
    m_newRecCnt->setText(count);
    m_fullLogCnt->setText(count);
    const double seconds = logEstimateSeconds(n, m_short->isChecked());
    logFtpState().LogEstimateSecs = static_cast<std::int32_t>(std::nearbyint(seconds));
    m_estimate->setText(seconds < 120 ? QString::number(seconds, 'f', 0) + QStringLiteral(" secs")
                                      : QString::number(seconds / 60, 'f', 1) + QStringLiteral(" mins"));
    if (!error.empty())
        DebugLog("ERROR: MLogFtp.UpdateLogEstimate()," + error);
}

std::int32_t LoggingTab::GetPriorN() const
{
    DebugLog("fMain.GetPriorN()");
    const std::int32_t count = int32Or0(m_priorN->text());
    return count > kMaxPriorN ? 0 : count;
}

std::int32_t LoggingTab::GetToRecnum() const
{
    DebugLog("fMain.GetToRecnum()");
    return int32Or0(m_stopRecnum->text());
}

std::int64_t LoggingTab::GetStopRecnum_NewRecs() const
{
    DebugLog("fMain.GetStopRecnum_NewRecs()");
    std::optional<std::int32_t> oldest, fileLast;
    std::int32_t v = 0;
    if (toInt32(m_oldRecnum->text(), v))
        oldest = v;
    if (m_fileRecNum->text() != QLatin1String("none") && toInt32(m_fileRecNum->text(), v))
        fileLast = v;
    return newRecordsStop(oldest, fileLast);
}

bool LoggingTab::holdForNewRecords(HeldLogDownload &held)
{
    // "Last Record#" was read when the tab was shown or after its own last download; a
    // harvest may have appended since. With the meter and the file held, nothing else can
    // append, so the end read here is the one the new records follow.
    try {
        auto &device = currentDevice();
        const auto path = programFolder() / GetLogFilename(device.Name(), m_short->isChecked());
        held = holdLogDownload(device, path);
        LogDateTime last;
        const std::int32_t recnum = FindLastLogRecnum(path, last);
        setFileRecNum(recnum != 0 ? std::to_string(recnum) : "none");
        setFileDateTime(recnum != 0 ? FormatDateTime(last) : "none");
        return true;
    } catch (const RuntimeError &e) {
        DebugLog("ERROR: fMain.ReadLogData()," + errorText(e));
        MsgBox("Error retrieving log data: " + errorText(e), MsgStyle::kOkOnly, "Read Log");
        setPercentComplete("Failed");
        return false;
    }
}

void LoggingTab::ReadLogData()
{
    DebugLog("fMain.ReadLogData()");
    LogDateTime stopDateTime;
    std::int32_t stopRecnum = 0, count = 0;
    std::uint8_t mode = 0;
    HeldLogDownload held;
    auto refuse = [](const std::string &text) { MsgBox(text, MsgStyle::kOkOnly, kDownloadCaption); };
    if (m_optFullLog->isChecked()) {
        mode = LogMode::kFullLog;
        count = kMaxDownloadRecords;
    } else if (m_optPriorN->isChecked()) {
        mode = LogMode::kCountOfRecords;
        count = GetPriorN();
        if (count <= 0)
            return refuse("Invalid count of records to download\r\nEnter value between 1 and 24186");
    } else if (m_optToDate->isChecked()) {
        mode = LogMode::kBackToDateTime;
        count = kMaxLogRecords;
        try {
            stopDateTime = ParseDateTime(m_stopDate->text().toStdString());
        } catch (const RuntimeError &e) {
            DebugLog("ERROR: fMain.ReadLogData()," + errorText(e));
            MsgBox("Error reading the Tellumic log:\r\n" + errorText(e), MsgStyle::kOkOnly, "Tellumic Plug-in");
            return;
        }
        const std::string message = ValidateDateTime(stopDateTime);
        if (!message.empty())
            return refuse("Invalid stopping date/time:\r\n" + message + "\r\nEnter as YYYY-MM-DD hh:mm:ss");
    } else if (m_optToRecnum->isChecked()) {
        mode = LogMode::kBackToRecord;
        count = kMaxLogRecords;
        stopRecnum = GetToRecnum();
        if (stopRecnum <= 0)
            return refuse("Invalid ending record number for download");
    } else if (m_optNewRecs->isChecked()) {
        if (!holdForNewRecords(held))
            return;
        const auto request = newRecordsRequest(GetStopRecnum_NewRecs());
        if (const auto *refusal = std::get_if<std::string>(&request))
            return refuse(*refusal);
        const auto &r = std::get<LogRequest>(request);
        mode = r.mode;
        count = r.count;
        stopRecnum = r.stopRecnum;
    } else {
        return refuse("Select a log retrieval type");
    }
    const bool isShort = m_short->isChecked(), keepBad = m_logBad->isChecked();
    m_cancel->setEnabled(true);
    m_read->setEnabled(false);
    m_progress->setValue(0);
    QApplication::setOverrideCursor(Qt::WaitCursor);
    try {
        if (!plugIn().CurrentSystem || !plugIn().CurrentDevice)
            throw RuntimeError(lns::LcaError::kObjectNotFound, "No current device");
        ReadLogDataFtp(count, *plugIn().CurrentSystem, plugIn().CurrentDevice, isShort, mode, stopDateTime,
                       stopRecnum, keepBad, *this, std::move(held));
    } catch (const RuntimeError &e) {
        DebugLog("ERROR: fMain.ReadLogData()," + errorText(e));
        MsgBox("Error reading the Tellumic log:\r\n" + errorText(e), MsgStyle::kOkOnly, "Tellumic Plug-in");
    }
    QApplication::restoreOverrideCursor();
    m_cancel->setEnabled(false);
    m_read->setEnabled(true);
    UpdateLogEstimate();
}

void LoggingTab::UpdateLogProgress()
{
    DebugLog("MLogFtp.UpdateLogProgress()");
    const LogFtpState &s = logFtpState();
    if (!s.LogReading)
        return;
    const double elapsed = std::chrono::duration<double>(processClock().now() - s.LogStartTime).count();
    double percent = s.LogEstimateSecs != 0 ? 100.0 * elapsed / s.LogEstimateSecs : elapsed / 10.0;
    if (percent >= 100)
        percent = 90 + std::fmod(std::nearbyint(percent), 10.0);
    m_percent->setText(QString::number(percent, 'f', 2) + '%');
    m_progress->setValue(static_cast<int>(percent));
}

void LoggingTab::setPercentComplete(std::string_view text)
{
    m_percent->setText(qs(text));
    // A download that failed or was cancelled leaves no bar standing at its last percent.
    if (text == "Done")
        m_progress->setValue(100);
    else if (text.empty() || text == "Failed")
        m_progress->setValue(0);
}

void LoggingTab::setFileRecNum(std::string_view text)
{
    m_fileRecNum->setText(qs(text));
    updateViewLog();
}

void LoggingTab::setFileDateTime(std::string_view text)
{
    m_fileDateTime->setText(qs(text));
}

void LoggingTab::setLogFilename(std::string_view name, std::string_view toolTip)
{
    m_filename->setText(qs(name));
    m_filename->setToolTip(qs(toolTip));
    m_filePath->setText(qs(toolTip));
    m_filePath->setCursorPosition(0);
    updateViewLog();
}

EventLog &LoggingTab::echLog()
{
    return m_window.eventLog();
}

bool LoggingTab::shortRecordsTicked() const
{
    return m_short->isChecked();
}

void LoggingTab::processPendingEvents()
{
    QCoreApplication::processEvents(QEventLoop::AllEvents);
}

}  // namespace tellumic
