#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include <QWidget>

#include "foundation/object_server.h"
#include "log/log_transfer.h"
#include "log/log_window.h"

class QCheckBox;
class QGroupBox;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QRadioButton;

namespace tellumic {

class DeviceWindow;

// The device window's "Logging" tab: the meter's log extent, the CSV file, the retrieval
// range with its estimate, and the download with its progress.
class LoggingTab : public QWidget, public LogWindow
{
    Q_OBJECT
public:
    // intervalGroup holds the logging-interval box (read for the date/time estimate).
    LoggingTab(DeviceWindow &window, QWidget *intervalGroup, QLineEdit *interval);

    // Prepares the tab when it is selected; the record format is chosen on the first visit.
    void InitLoggingTab(const std::string &deviceName);
    void UpdateLogInfo(const std::shared_ptr<lns::AppDevice> &device);
    void UpdateLogEstimate();
    void ReadLogData();
    std::int32_t GetPriorN() const;
    std::int32_t GetToRecnum() const;
    // The record after the last one in the file (or the meter's oldest); above the 32-bit
    // range when the file already holds the highest record number.
    std::int64_t GetStopRecnum_NewRecs() const;
    bool loggingTabReady() const { return m_ready; }

    // LogWindow
    void setPercentComplete(std::string_view text) override;
    void setFileRecNum(std::string_view text) override;
    void setFileDateTime(std::string_view text) override;
    void setLogFilename(std::string_view name, std::string_view toolTip) override;
    EventLog &echLog() override;
    bool shortRecordsTicked() const override;
    void UpdateLogProgress() override;
    void processPendingEvents() override;

private:
    QLineEdit *field(const char *name, bool readOnly = true);
    QGroupBox *buildLogInfo(QWidget *intervalGroup);
    QGroupBox *buildFileInfo();
    QGroupBox *buildRetrievalMode();
    QGroupBox *buildDownload();
    void optionClicked(QRadioButton *option);
    // "View Log..." is enabled while the file the tab names exists.
    void updateViewLog();
    // Takes the meter and the CSV file for a New Records download and shows the file's last
    // record as it is now; false (the user told) when another download holds either.
    bool holdForNewRecords(HeldLogDownload &held);

    DeviceWindow &m_window;
    QLineEdit *m_interval;
    QLineEdit *m_oldRecnum, *m_oldDate, *m_newRecnum, *m_recCount;
    QLineEdit *m_estimate, *m_percent;
    QProgressBar *m_progress;
    QCheckBox *m_short, *m_logBad;
    QPushButton *m_read, *m_cancel, *m_viewLog;
    QRadioButton *m_optFullLog, *m_optNewRecs, *m_optPriorN, *m_optToDate, *m_optToRecnum;
    QLineEdit *m_fullLogCnt, *m_newRecCnt, *m_priorN, *m_stopDate, *m_stopRecnum;
    QLineEdit *m_fileRecNum, *m_filename, *m_filePath, *m_fileDateTime;
    bool m_ready = false;  // LoggingTabReady
};

}  // namespace tellumic
