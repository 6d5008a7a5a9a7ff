#pragma once

#include "app/ActivityLog.h"
#include "app/Clock.h"
#include "app/Configuration.h"
#include "app/ConfigurationWatcher.h"
#include "app/ConfigurationWriter.h"
#include "app/FrameIntake.h"
#include "app/FrameStore.h"
#include "app/StartupError.h"
#include "decode/TelemetryHistory.h"
#include "display/ChannelDisplay.h"
#include "link/LinkSupervisor.h"
#include "records/Screenshot.h"
#include "upload/UploadController.h"

#include <QObject>
#include <QString>
#include <QStringList>

#include <memory>

// A running ground station: creates its parts (activity log, link, frame intake, channel
// display, frame store, upload) and wires them together. It owns the few texts no part owns alone (status
// line, clock label, link indicator) and turns the user's requests into calls on its parts. The
// window and the headless runner render the parts' state and forward requests here.

struct StationOptions
{
    QString programDir;               // capture files, debug files, database
    QString configDir;                // online_conf.ini (default: programDir)
    QString pictureDir;               // screenshots unless IMAGE_PATH says (default: programDir)
    QString workingDir;               // where the shutdown clean-up looks (default: current dir)
    const TimeSource *timeSource = nullptr; // default: the system clock
    int linkRetryIntervalMs = 10000;
    int linkConnectTimeoutMs = 30000;
    int uploadTimeoutMs = 30000;
    int captureRetryIntervalMs = 60000;
    bool uploadAllowed = true;        // "allow data transfer" when the window opens
};

enum class MessageIcon { Information, Critical };

class Station : public QObject
{
    Q_OBJECT
public:
    static constexpr int ChannelCount = TelemetryHistory::ChannelCount;

    explicit Station(StationOptions options, QObject *parent = nullptr);
    ~Station() override;

    // --- requests --------------------------------------------------------------------------
    void start();                                   // the start-up sequence, once
    // The start-up error that stopped start(), if any (headless mode exits with its status).
    const std::optional<StartupError> &startupError() const { return m_startupError; }
    void handleRecord(const QByteArray &record) { m_intake.handleRecord(record); }
    void reconnect();                               // "Connect AGW"
    void uploadCurrentFrame();                      // "HTTP POST packet"
    void selectChannel(int channel) { m_display.selectChannel(channel); }
    void setUploadAllowed(bool allowed);            // "allow data transfer"
    void tick();                                    // every second: clock label, indicator
    void writeDebugReport();                        // "write debug file"
    // "S": the window saves the client area through saveBitmap; then the converter is started.
    void takeScreenshot(const Screenshot::SaveBitmap &saveBitmap);
    void exit();                                    // Exit: close the capture file, clean up
    void prepareClose();                            // window closing: link and upload stop
    void finishClose();                             // window closed: clean up
    // A line in the activity log from a part the Station does not own (the remote view).
    void report(const QString &message) { m_log.add(message); }

    // --- parts -----------------------------------------------------------------------------
    const Clock &clock() const { return m_clock; }
    const Configuration &configuration() const { return m_config; }
    const ActivityLog &log() const { return m_log; }
    const FrameIntake &intake() const { return m_intake; }
    const ChannelDisplay &display() const { return m_display; }
    const TelemetryHistory &history() const { return m_history; }
    const UploadController &uploads() const { return m_uploads; }
    FrameStore &store() { return m_store; }
    int linkState() const { return m_link.state(); }
    qint64 linkReconnects() const { return m_link.reconnectCount(); }

    // --- state of its own ------------------------------------------------------------------
    QString programDir() const { return m_options.programDir; }
    QString configFilePath() const { return m_configFilePath; }
    QString captureFilePath() const { return m_intake.capturePath(); }
    QString statusLine() const { return m_statusLine; }
    QString clockText() const { return m_clockText; }
    bool linkIndicatorGreen() const { return m_linkIndicatorGreen; }
    bool uploadAllowed() const { return m_uploadAllowed; }
    bool screenshotButtonVisible() const { return m_screenshotButtonVisible; }
    QString uploadBody() const { return m_uploadBody; }
    qint32 deliveredCount() const { return m_uploads.deliveredCount(); }
    // The status-bar area beside the original client area: a warning while a file or the
    // database cannot be written, and the upload queue (waiting count, next try, last error).
    QString warningText() const { return m_warningText; }
    qint64 waitingUploads() { return m_store.waitingCount(); }
    QString queueSummary();
    QString queueToolTip() const;
    // Writes the values to the configuration file and applies the file as it now reads.
    // Returns what failed and why; nothing is applied then.
    std::optional<QString> saveSettings(const ConfigurationValues &values);
    // Applies settings while running: a new PORT reconnects the link, SERVER and position
    // apply to frames from now on, SCREENSHOT shows or hides the button, MYCALL names the next
    // capture file. An invalid new PORT applies nothing and is returned as the reason.
    std::optional<QString> applySettings(const Configuration &config);
    ConfigurationWatcher *configurationWatcher() const { return m_configWatcher.get(); }
    // When the history was refilled from the archive at start: the newest frame's time text.
    QString restoredFrameTimeText() const { return m_restoredFrameTimeText; }

signals:
    void statusLineChanged(const QString &text);
    void clockTextChanged(const QString &text);
    void linkIndicatorChanged(bool green);
    void uploadAllowedChanged(bool allowed);
    void screenshotButtonVisibleChanged(bool visible);
    void messageBoxRequested(const QString &title, const QString &text, MessageIcon icon);
    void statusAreaChanged();
    void settingsApplied();
    void frameArchived(qint64 rxTimeMs); // a satellite frame went into the archive

private:
    std::optional<StartupError> openLink(const QString &portValue);
    std::optional<StartupError> openStore(const QString &dataDir);
    void showStartupError(const StartupError &error);
    void handleSatelliteFrame();
    void prepareUploadBody();
    void setWarning(const QString &text);
    void updateStatusLine();
    QStringList cleanupDirectories() const;
    void watchConfigurationFile(); // by start(), once the file was read
    void applyChangedConfigurationFile();

    StationOptions m_options;
    std::unique_ptr<TimeSource> m_ownTimeSource;
    Clock m_clock;
    Configuration m_config;
    QString m_configFilePath;
    std::optional<StartupError> m_startupError;

    ActivityLog m_log{m_clock};
    LinkSupervisor m_link;
    TelemetryHistory m_history;
    ChannelDisplay m_display{m_history};
    FrameIntake m_intake{m_clock, m_history, m_display};
    FrameStore m_store;
    UploadController m_uploads{m_store.queue()};

    QString m_statusLine;
    QString m_clockText = QStringLiteral("UTC");
    bool m_linkIndicatorGreen = false;
    bool m_uploadAllowed = true;
    bool m_screenshotButtonVisible = true;

    QString m_uploadBody;
    QString m_warningText;
    QString m_restoredFrameTimeText;
    std::unique_ptr<ConfigurationWatcher> m_configWatcher;
};
