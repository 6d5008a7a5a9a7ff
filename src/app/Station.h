#pragma once

#include "app/ActivityLog.h"
#include "app/Clock.h"
#include "app/Configuration.h"
#include "app/ConfigurationWatcher.h"
#include "app/ConfigurationWriter.h"
#include "app/FrameIntake.h"
#include "app/StartupError.h"
#include "decode/TelemetryHistory.h"
#include "display/ChannelDisplay.h"
#include "link/LinkSupervisor.h"
#include "records/Screenshot.h"
#include "upload/HttpUpload.h"

#include <QObject>
#include <QString>
#include <QStringList>

#include <memory>

// A running ground station: creates its parts (activity log, link, frame intake, channel
// display, upload) and wires them together. It owns the few texts no part owns alone (status
// line, clock label, link indicator) and turns the user's requests into calls on its parts. The
// window and the headless runner render the parts' state and forward requests here.

struct StationOptions
{
    QString programDir;               // configuration file, capture files, debug files
    QString workingDir;               // where the shutdown clean-up looks (default: current dir)
    const TimeSource *timeSource = nullptr; // default: the system clock
    int linkRetryIntervalMs = 10000;
    int linkConnectTimeoutMs = 30000;
    int uploadTimeoutMs = 30000;
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

    // --- parts -----------------------------------------------------------------------------
    const Clock &clock() const { return m_clock; }
    const Configuration &configuration() const { return m_config; }
    const ActivityLog &log() const { return m_log; }
    const FrameIntake &intake() const { return m_intake; }
    const ChannelDisplay &display() const { return m_display; }
    const TelemetryHistory &history() const { return m_history; }
    int linkState() const { return m_link.state(); }

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
    // The states the current upload request has passed through, in order.
    const QStringList &transferStates() const { return m_transferStates; }
    qint32 deliveredCount() const { return m_deliveredCount; }

signals:
    void statusLineChanged(const QString &text);
    void clockTextChanged(const QString &text);
    void linkIndicatorChanged(bool green);
    void uploadAllowedChanged(bool allowed);
    void screenshotButtonVisibleChanged(bool visible);
    void messageBoxRequested(const QString &title, const QString &text, MessageIcon icon);
    void transferStatesChanged(const QStringList &states);

private:
    std::optional<StartupError> openLink(const QString &portValue);
    void showStartupError(const StartupError &error);
    void handleSatelliteFrame();
    void updateStatusLine();
    QStringList cleanupDirectories() const;

    // Upload of the current frame and the HTTP client's state changes.
    void prepareUploadBody();
    void handleUploadState(int state);
    void logUploadFailure(const HttpUpload::Failure &failure);
    HttpUpload &httpUpload();

    StationOptions m_options;
    std::unique_ptr<TimeSource> m_ownTimeSource;
    Clock m_clock;
    Configuration m_config;
    QString m_configFilePath;

    ActivityLog m_log{m_clock};
    LinkSupervisor m_link;
    TelemetryHistory m_history;
    ChannelDisplay m_display{m_history};
    FrameIntake m_intake{m_clock, m_history, m_display};

    QString m_statusLine;
    QString m_clockText = QStringLiteral("UTC");
    bool m_linkIndicatorGreen = false;
    bool m_uploadAllowed = true;
    bool m_screenshotButtonVisible = true;

    QString m_uploadBody;
    QStringList m_transferStates;
    qint32 m_deliveredCount = 0;
    std::unique_ptr<HttpUpload> m_httpUpload; // made at the first upload; idle until then

    // settings: the Settings dialog, the configuration file watcher and the status-bar area.
public:
    // Writes the values to the configuration file and applies the file as it now reads.
    // Returns what failed and why; nothing is applied then.
    std::optional<QString> saveSettings(const ConfigurationValues &values);
    // Applies settings while running: a new PORT reconnects the link, SERVER and position
    // apply to frames from now on, SCREENSHOT shows or hides the button, MYCALL names the next
    // capture file. An invalid new PORT applies nothing and is returned as the reason.
    std::optional<QString> applySettings(const Configuration &config);
    ConfigurationWatcher *configurationWatcher() const { return m_configWatcher.get(); }
    QString warningText() const { return m_warningText; }   // capture or database failing
    QString queueSummary() const { return m_queueSummary; } // waiting frames, next try
    QString queueToolTip() const { return m_queueToolTip; } // the last upload error
signals:
    void settingsApplied();
    void statusAreaChanged();
private:
    void watchConfigurationFile(); // by start(), once the file was read
    void applyChangedConfigurationFile();
    std::unique_ptr<ConfigurationWatcher> m_configWatcher;
    QString m_warningText;
    QString m_queueSummary;
    QString m_queueToolTip;
    // end of settings
};
