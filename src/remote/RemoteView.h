#pragma once

#include "remote/RemoteHttpServer.h"
#include "remote/StationReadout.h"

#include <QElapsedTimer>
#include <QHostAddress>
#include <QObject>
#include <QString>

#include <memory>
#include <optional>

class Station;

// The read-only remote view of a running station: the page, the JSON API and the Prometheus
// metrics, served on the station's event loop. The Station's owner creates one for
// `--http ADDR:PORT`, hands it the upload queue and archive readers once they exist, and shows
// its log lines. Nothing it serves changes the station.
class RemoteView : public QObject
{
    Q_OBJECT
public:
    static constexpr int DefaultLogLimit = 50;
    static constexpr int MaxSeriesPoints = 10000;
    static constexpr int DefaultSeriesPoints = 500;

    explicit RemoteView(const Station &station, QObject *parent = nullptr);
    ~RemoteView() override;

    // nullptr: that part is left out of the page, the API and the metrics.
    void setUploadQueueSource(const UploadQueueSource *source) { m_parts.uploadQueue = source; }
    void setArchiveSource(const SeriesSource *source);

    // "ADDR:PORT" or "[IPv6]:PORT"; an empty token asks for none. The error text on failure.
    // An address other than loopback is logged with a warning.
    std::optional<QString> listen(const QString &addressAndPort, const QString &token);
    std::optional<QString> listen(const QHostAddress &address, quint16 port, const QString &token);
    void close() { m_server.close(); }

    bool isListening() const { return m_server.isListening(); }
    quint16 serverPort() const { return m_server.serverPort(); }
    RemoteHttpServer &server() { return m_server; }

    // The answer to GET path?query, as the server sends it (also used by the benchmark).
    RemoteHttpServer::Response respond(const QString &path, const QUrlQuery &query) const;

signals:
    void logMessage(const QString &message);

private:
    FrameCounters counters() const;
    RemoteHttpServer::Response series(const QUrlQuery &query) const;
    void countRawFrame() { ++m_rawFrames; }
    void countSatelliteFrame();

    const Station &m_station;
    HistorySeries m_historySeries;
    const SeriesSource *m_seriesSource = &m_historySeries;
    OptionalParts m_parts;
    RemoteHttpServer m_server;

    qint64 m_rawFrames = 0;
    qint64 m_satelliteFrames = 0;
    std::map<QString, qint64> m_satelliteByPacketType;
    QElapsedTimer m_sinceSatelliteFrame; // invalid until the first one
};
