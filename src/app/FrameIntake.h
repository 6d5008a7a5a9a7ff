#pragma once

#include "app/RecentLines.h"
#include "decode/FrameBytes.h"
#include "decode/FrameDecoder.h"
#include "decode/TelemetryHistory.h"
#include "app/CaptureKeeper.h"

#include <QByteArray>
#include <QObject>
#include <QString>

#include <optional>

class ChannelDisplay;
class Clock;

// The road of every record from the packet engine: a raw frame is written to the capture file
// and shown as a hex line; a satellite frame is counted, time-stamped, classified, decoded into
// the history and the value boxes. Then satelliteFrameReceived() lets the Station start the
// upload and redraw the chart. Owned by the Station, fed by the link.
class FrameIntake : public QObject
{
    Q_OBJECT
public:
    static constexpr std::size_t MaxRawFrameLines = 10000;
    static constexpr std::size_t MaxHeaderLines = 10000;

    FrameIntake(const Clock &clock, TelemetryHistory &history, ChannelDisplay &display,
                QObject *parent = nullptr);

    // The OS reason when the file cannot be opened for appending.
    std::optional<QString> openCapture(const QString &path);
    void closeCapture() { m_capture.close(); }
    bool isCaptureOpen() const { return m_capture.isOpen(); }
    qint64 captureBytesWritten() const { return m_capture.bytesWritten(); }
    void setCaptureRetryInterval(int milliseconds) { m_capture.setRetryInterval(milliseconds); }
    QString capturePath() const { return m_capturePath; }

    // One whole packet-engine record.
    void handleRecord(const QByteArray &record);

    const FrameBytes &frameBytes() const { return m_frameBytes; }
    QString frameHex() const { return m_frameHex; }
    QString frameTimeText() const { return m_frameTimeText; }
    // The current satellite frame's reception time (ms since 1970 UTC) and what decoding found.
    qint64 frameTimeMs() const { return m_frameTimeMs; }
    const FrameDecodeResult &lastDecode() const { return m_lastDecode; }
    // The current satellite frame whole (KISS command byte first), also beyond 512 bytes.
    QByteArrayView rawFrame() const { return m_rawFrame; }
    QString packetType() const { return m_packetType; }
    qint32 satelliteFrameCount() const { return m_satelliteFrames; }
    const TelemetryHistory &history() const { return m_history; }
    // Raw-frame window lines (hex text), and one "HeaderHex1 | HeaderHex2" per satellite frame.
    const std::deque<QString> &rawFrameLines() const { return m_rawFrameLines.lines(); }
    QString rawFrameText() const;
    const std::deque<QString> &headerLines() const { return m_headerLines.lines(); }

signals:
    void logMessage(const QString &message);
    void rawFrameLineAdded(const QString &line);
    void headerLineAdded(const QString &line);
    void packetTypeChanged(const QString &text);
    void satelliteFrameReceived();
    void captureWriteStateChanged(bool failing);

private:
    void handleRawFrame(QByteArrayView data);
    void handlePortInfo(QByteArrayView record);
    void stampFrameTime();
    void decodeFrame();

    const Clock &m_clock;
    TelemetryHistory &m_history;
    ChannelDisplay &m_display;
    CaptureKeeper m_capture;
    QString m_capturePath;

    FrameBytes m_frameBytes;
    QString m_frameHex;
    QString m_frameTimeText;
    qint64 m_frameTimeMs = 0;
    FrameDecodeResult m_lastDecode;
    QByteArray m_rawFrame;
    QString m_packetType;
    qint32 m_satelliteFrames = 0;
    RecentLines m_rawFrameLines{MaxRawFrameLines};
    RecentLines m_headerLines{MaxHeaderLines};
};
