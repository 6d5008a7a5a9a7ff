#include "app/FrameIntake.h"

#include "app/Clock.h"
#include "decode/PacketClassifier.h"
#include "display/ChannelDisplay.h"
#include "link/AgwProtocol.h"

#include <QLocale>

FrameIntake::FrameIntake(const Clock &clock, TelemetryHistory &history, ChannelDisplay &display,
                         QObject *parent)
    : QObject(parent), m_clock(clock), m_history(history), m_display(display)
{
    connect(&m_capture, &CaptureKeeper::logMessage, this, &FrameIntake::logMessage);
    connect(&m_capture, &CaptureKeeper::failingChanged, this, &FrameIntake::captureWriteStateChanged);
}

std::optional<QString> FrameIntake::openCapture(const QString &path)
{
    m_capturePath = path;
    return m_capture.open(path);
}

void FrameIntake::handleRecord(const QByteArray &record)
{
    if (record.size() <= AgwProtocol::DataKindOffset)
        return; // no data kind
    const char kind = record[AgwProtocol::DataKindOffset];
    if (kind == AgwProtocol::KindRawFrame)
        handleRawFrame(QByteArrayView(record).sliced(qMin<qsizetype>(AgwProtocol::HeaderSize, record.size())));
    else if (kind == AgwProtocol::KindPortInfo)
        handlePortInfo(record);
}

void FrameIntake::handleRawFrame(QByteArrayView data)
{
    m_frameBytes.assign(data);
    m_capture.writeFrame(data);

    m_frameHex = buildFrameHex(m_frameBytes);
    m_rawFrameLines.append(m_frameHex);
    emit rawFrameLineAdded(m_frameHex);

    if (!isSatelliteFrame(m_frameBytes.current()))
        return;

    ++m_satelliteFrames;
    m_rawFrame = data.toByteArray();
    stampFrameTime();
    decodeFrame();
    emit satelliteFrameReceived();
}

void FrameIntake::stampFrameTime()
{
    // Before decoding: the history and the upload carry the moment the frame arrived.
    const QDateTime now = m_clock.utcNowPrecise(); // one reading for the text and the archive
    m_frameTimeMs = now.toMSecsSinceEpoch();
    m_frameTimeText = formatTimestamp(now.date(), now.time()) + QStringLiteral(" UTC");
    m_capture.writeTime(m_frameTimeText.toLatin1());
}

void FrameIntake::decodeFrame()
{
    // Classification, the family decoder and the history: the same code `halvora1 decode` runs.
    m_lastDecode = decodeSatelliteFrame(m_frameBytes.current(), m_frameTimeText, m_history);
    const FrameDecodeResult &result = m_lastDecode;

    const QString line = result.headerLine();
    m_headerLines.append(line);
    emit headerLineAdded(line);

    m_display.refreshTexts(QLocale().decimalPoint());

    const QString type = packetTypeName(result.type);
    if (type != m_packetType) {
        m_packetType = type;
        emit packetTypeChanged(m_packetType);
    }
}

void FrameIntake::handlePortInfo(QByteArrayView record)
{
    // The length byte may claim more than the record holds; read only what is there.
    const qsizetype claimed = record.size() > AgwProtocol::LengthOffset ? quint8(record[AgwProtocol::LengthOffset]) : 0;
    const qsizetype available = qMax<qsizetype>(0, record.size() - AgwProtocol::HeaderSize);
    const QByteArrayView data =
        record.sliced(qMin<qsizetype>(AgwProtocol::HeaderSize, record.size()), qMin(claimed, available));
    const QString text = QStringLiteral("total number of ports: ") + QString::fromLatin1(data);
    emit logMessage(text.left(52));
}

QString FrameIntake::rawFrameText() const
{
    QString text;
    for (const QString &line : m_rawFrameLines.lines()) {
        text += line;
        text += QStringLiteral("\r\n");
    }
    return text;
}
