#pragma once

#include "app/Clock.h"
#include "app/Configuration.h"
#include "decode/FrameBytes.h"
#include "decode/TelemetryHistory.h"
#include "display/ChannelChart.h"
#include "link/AgwClient.h"
#include "link/CaptureFile.h"
#include "upload/HttpUpload.h"
#include "records/Screenshot.h"

#include <QObject>
#include <QString>
#include <QStringList>

#include <array>
#include <deque>
#include <memory>

// Everything a running ground station is: configuration, link, capture file, the latest frame,
// decoding, history, upload, counters, and every text the window shows. It changes them only in
// its own methods and announces each change with a signal; the window and the headless runner
// only render them and forward the user's clicks to the event methods below.

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
    static constexpr int MaxLogEntries = 10000;
    static constexpr int MaxRawFrameLines = 10000;
    static constexpr int MaxHeaderLines = 10000;
    static constexpr int ChannelCount = 98;

    explicit Station(StationOptions options, QObject *parent = nullptr);
    ~Station() override;

    // --- events -------------------------------------------------------------------------
    void Form_Load();                                 // the start-up sequence, once
    void Winsock1_DataArrival(const QByteArray &record); // one whole packet-engine record
    void Command1_Click();                            // "Connect AGW"
    void Post_Packet_Click();                         // "HTTP POST packet"
    void Option1_Click(int channel);                  // a channel selector
    void Timer1_Timer();                              // every second: clock label, indicator
    void MnuExit_Click();                             // Exit: close capture file, clean up
    void Form_QueryUnload();                          // window closing: cancel the upload
    void Form_Unload();                               // window closed: clean up
    void MnuDebug_Click();                            // "write debug file"
    void setUploadAllowed(bool allowed);              // Check1

    // --- state the window renders ---------------------------------------------------------
    const Clock &clock() const { return m_clock; }
    const Configuration &configuration() const { return m_config; }
    QString programDir() const { return m_options.programDir; }
    QString configFilePath() const { return m_configFilePath; }
    QString captureFilePath() const { return m_captureFilePath; }

    // Activity log, newest entry first; each entry "timestamp: message\r\n".
    const std::deque<QString> &activityLog() const { return m_log; }
    QString activityLogText() const;
    // Raw-frame window, oldest line first (hex text without the line break).
    const std::deque<QString> &rawFrameLines() const { return m_rawFrameLines; }
    QString rawFrameText() const;

    QString statusLine() const { return m_statusLine; }   // Label2
    QString packetType() const { return m_packetType; }   // Label5
    QString clockText() const { return m_clockText; }     // Label1
    bool linkIndicatorGreen() const { return m_linkIndicatorGreen; } // Image2 vs Image3
    int linkState() const { return m_link.state(); }
    bool uploadAllowed() const { return m_uploadAllowed; }
    bool screenshotButtonVisible() const { return m_screenshotButtonVisible; }

    QString channelCaption(int channel) const; // selector caption
    QString channelUnit(int channel) const;    // unit label
    QString channelText(int channel) const;    // value box
    int selectedChannel() const { return m_selectedChannel; }

    const FrameBytes &frameBytes() const { return m_frameBytes; }
    QString frameHex() const { return m_frameHex; }
    QString frameTimeText() const { return m_frameTimeText; }
    qint32 rxPackets() const { return m_rxPackets; }
    qint32 postOk() const { return m_postOk; }
    const TelemetryHistory &history() const { return m_history; }

    // --- decoding: state accessors ---
    // List2: one "HeaderHex1 | HeaderHex2" line per satellite frame, oldest first; the newest
    // MaxHeaderLines are kept.
    const std::deque<QString> &headerLines() const { return m_headerLines; }

    // --- upload: state accessors ---
    QString uploadBody() const { return m_uploadBody; }
    // List3: the states the current upload request has passed through, in order.
    const QStringList &transferStates() const { return m_transferStates; }
    // Inet1's state changes: the transfer-state list, the response in the log, PostOk.
    void Inet1_StateChanged(int state);

    // --- chart and records: state accessors ---
    // The channel whose selector is marked and whose box is highlighted: 0 until the first
    // click (start-up selects channel 1 for the chart without marking it).
    int highlightedChannel() const { return m_highlightedChannel; }
    // Frame5's caption and the chart rows of the selected channel, read lazily.
    const ChannelChart &chart() const { return m_chart; }
    QString chartCaption() const { return m_chart.caption(); }
    int chartRowCount() const { return m_chart.rowCount(); }
    ChannelChart::Row chartRow(int i) const { return m_chart.row(i); }

    // "S": the window saves the client area through saveBitmap; then the converter is started.
    void Command2_Click(const Screenshot::SaveBitmap &saveBitmap);

signals:
    void activityLogEntryAdded(const QString &entry, bool atTop);
    void rawFrameLineAdded(const QString &line);
    void statusLineChanged(const QString &text);
    void packetTypeChanged(const QString &text);
    void clockTextChanged(const QString &text);
    void linkIndicatorChanged(bool green);
    void channelCaptionsChanged();
    void channelTextsChanged();
    void uploadAllowedChanged(bool allowed);
    void screenshotButtonVisibleChanged(bool visible);
    void messageBoxRequested(const QString &title, const QString &text, MessageIcon icon);

    // --- decoding: signals ---
    void headerLineAdded(const QString &line);

    // --- upload: signals ---
    void transferStatesChanged(const QStringList &states);

    // --- chart and records: signals ---
    void selectionChanged(int channel);
    void chartChanged(); // caption or rows may differ; views coalesce their redraws

private:
    // --- steps of the frame road, in the order the intake calls them ------------------------
    void handleRawFrame(QByteArrayView data);
    void StampFrameTime();
    void DecodeFrame();
    void BuildUploadBody();
    void DrawChannelChart(int channel);
    void handlePortInfo(QByteArrayView record);

    void OpenLink(const QString &portValue, std::optional<StartupError> &error);
    void fillChannelCaptionsAndUnits();
    void RemoveEmptyFiles();
    void updateStatusLine();
    void showStartupError(const StartupError &error);

    void log(const QString &message);                  // timestamped, at the top
    void addLogEntry(const QString &entry, bool atTop); // the one place entries are stored
    void addRawFrameLine(const QString &line);

    StationOptions m_options;
    std::unique_ptr<TimeSource> m_ownTimeSource;
    Clock m_clock;
    Configuration m_config;
    QString m_configFilePath;
    QString m_captureFilePath;

    AgwClient m_link;
    CaptureFile m_capture;
    bool m_startRequestsPending = false;
    int m_lastLinkError = 0;         // repeated identical link failures are logged once
    bool m_captureWriteFailed = false; // a capture write failure is logged once

    FrameBytes m_frameBytes;
    QString m_frameHex;
    QString m_frameTimeText;
    qint32 m_rxPackets = 0;
    qint32 m_postOk = 0;
    int m_selectedChannel = 0;

    std::deque<QString> m_log;
    std::deque<QString> m_rawFrameLines;
    QString m_statusLine;
    QString m_packetType;
    QString m_clockText = QStringLiteral("UTC");
    bool m_linkIndicatorGreen = false;
    bool m_uploadAllowed = true;
    bool m_screenshotButtonVisible = true;

    std::array<QString, ChannelCount + 1> m_channelCaptions;
    std::array<QString, ChannelCount + 1> m_channelUnits;
    std::array<QString, ChannelCount + 1> m_channelTexts;
    TelemetryHistory m_history;

    // --- decoding: members ---
    std::deque<QString> m_headerLines;

    // --- upload: members ---
    QString m_uploadBody;
    QStringList m_transferStates;
    std::unique_ptr<HttpUpload> m_inet1; // made at the first upload; idle until then
    HttpUpload &inet1();
    void logUploadFailure(const HttpUpload::Failure &failure);

    // --- chart and records: members ---
    ChannelChart m_chart{m_history};
    int m_highlightedChannel = 0;
};
