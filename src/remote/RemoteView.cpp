#include "remote/RemoteView.h"

#include "app/PortAddress.h"
#include "app/Station.h"

#include <QDateTime>
#include <QFile>
#include <QJsonDocument>

namespace {

using Response = RemoteHttpServer::Response;

Response json(const QJsonObject &document)
{
    return {200, "application/json", QJsonDocument(document).toJson(QJsonDocument::Compact) + '\n'};
}

Response badRequest(const QString &message)
{
    return RemoteHttpServer::errorResponse(400, message);
}

// A whole number within [low, high], or nothing.
std::optional<qint64> boundedNumber(const QString &text, qint64 low, qint64 high)
{
    bool ok = false;
    const qint64 value = text.toLongLong(&ok);
    if (!ok || value < low || value > high)
        return std::nullopt;
    return value;
}

// 9999-12-31T23:59:59.999Z: the last moment a date-time text can name.
constexpr qint64 LatestTimeMs = 253402300799999;

// ms since 1970 UTC, or an ISO 8601 date-time (UTC unless it names an offset).
std::optional<qint64> timeParameter(const QString &text)
{
    if (const std::optional<qint64> ms = boundedNumber(text, 0, LatestTimeMs))
        return ms;
    QDateTime time = QDateTime::fromString(text, Qt::ISODateWithMs);
    if (!time.isValid())
        return std::nullopt;
    if (time.timeSpec() == Qt::LocalTime)
        time.setTimeSpec(Qt::UTC);
    const qint64 ms = time.toMSecsSinceEpoch();
    return ms >= 0 && ms <= LatestTimeMs ? std::optional<qint64>(ms) : std::nullopt;
}

QByteArray pageBytes()
{
    QFile page(QStringLiteral(":/halvora1/remote/index.html"));
    return page.open(QIODevice::ReadOnly) ? page.readAll() : QByteArray();
}

} // namespace

RemoteView::RemoteView(const Station &station, QObject *parent)
    : QObject(parent),
      m_station(station),
      m_historySeries(station.history()),
      m_server([this](const QString &path, const QUrlQuery &query) { return respond(path, query); })
{
    connect(&station.intake(), &FrameIntake::rawFrameLineAdded, this, &RemoteView::countRawFrame);
    connect(&station.intake(), &FrameIntake::satelliteFrameReceived, this, &RemoteView::countSatelliteFrame);
}

RemoteView::~RemoteView() = default;

void RemoteView::setArchiveSource(const SeriesSource *source)
{
    m_seriesSource = source ? source : &m_historySeries;
    m_parts.archive = source != nullptr;
}

std::optional<QString> RemoteView::listen(const QString &addressAndPort, const QString &token)
{
    const PortAddressResult parsed = parsePortValue(addressAndPort);
    if (parsed.error)
        return QStringLiteral("--http %1: expected ADDRESS:PORT with a port from 1 to 65535").arg(addressAndPort);
    const QString &host = parsed.address.host;
    const QHostAddress address = host.compare(QStringLiteral("localhost"), Qt::CaseInsensitive) == 0
                                     ? QHostAddress(QHostAddress::LocalHost)
                                     : QHostAddress(host);
    if (address.isNull())
        return QStringLiteral("--http %1: %2 is not an IP address").arg(addressAndPort, host);
    return listen(address, parsed.address.port, token);
}

std::optional<QString> RemoteView::listen(const QHostAddress &address, quint16 port, const QString &token)
{
    m_server.setToken(token.toUtf8());
    if (!m_server.listen(address, port)) {
        return QStringLiteral("Remote view cannot listen on %1 port %2: %3")
            .arg(address.toString())
            .arg(port)
            .arg(m_server.errorString());
    }
    const QString where = QStringLiteral("%1 port %2").arg(address.toString()).arg(m_server.serverPort());
    if (!address.isLoopback()) {
        emit logMessage(QStringLiteral("Warning: remote view listens on %1, reachable from other machines%2")
                            .arg(where, token.isEmpty() ? QStringLiteral(" without a token") : QString()));
    } else {
        emit logMessage(QStringLiteral("Remote view listens on %1").arg(where));
    }
    return std::nullopt;
}

Response RemoteView::respond(const QString &path, const QUrlQuery &query) const
{
    if (path == u"/") {
        static const QByteArray page = pageBytes();
        return {200, "text/html; charset=utf-8", page};
    }
    if (path == u"/metrics")
        return {200, "text/plain; version=0.0.4; charset=utf-8", metricsText(m_station, counters(), m_parts)};
    if (path == u"/api/v1/status")
        return json(statusDocument(m_station, counters(), m_parts));
    if (path == u"/api/v1/channels")
        return json(channelsDocument(m_station));
    if (path == u"/api/v1/log") {
        int limit = DefaultLogLimit;
        if (query.hasQueryItem(QStringLiteral("limit"))) {
            const auto value = boundedNumber(query.queryItemValue(QStringLiteral("limit")), 1, ActivityLog::MaxEntries);
            if (!value)
                return badRequest(QStringLiteral("limit must be a number from 1 to %1").arg(ActivityLog::MaxEntries));
            limit = int(*value);
        }
        return json(logDocument(m_station.log(), limit));
    }
    if (path == u"/api/v1/series")
        return series(query);
    return RemoteHttpServer::errorResponse(404, QStringLiteral("no such path: %1").arg(path.left(200)));
}

Response RemoteView::series(const QUrlQuery &query) const
{
    const auto channel = boundedNumber(query.queryItemValue(QStringLiteral("channel")), 1, Station::ChannelCount);
    if (!channel)
        return badRequest(QStringLiteral("channel must be a number from 1 to %1").arg(Station::ChannelCount));

    std::optional<qint64> from = 0;
    std::optional<qint64> to = LatestTimeMs;
    if (query.hasQueryItem(QStringLiteral("from")))
        from = timeParameter(query.queryItemValue(QStringLiteral("from")));
    if (query.hasQueryItem(QStringLiteral("to")))
        to = timeParameter(query.queryItemValue(QStringLiteral("to")));
    if (!from || !to || *from > *to)
        return badRequest(QStringLiteral("from and to must be times (ms since 1970 or ISO 8601), from not after to"));

    int points = DefaultSeriesPoints;
    if (query.hasQueryItem(QStringLiteral("points"))) {
        const auto value = boundedNumber(query.queryItemValue(QStringLiteral("points")), 4, MaxSeriesPoints);
        if (!value)
            return badRequest(QStringLiteral("points must be a number from 4 to %1").arg(MaxSeriesPoints));
        points = int(*value);
    }
    const int number = int(*channel);
    const SeriesAnswer answer = m_seriesSource->series(number, *from, *to, points);
    if (!answer.error.isEmpty())
        return RemoteHttpServer::errorResponse(500, QStringLiteral("cannot read the series: ") + answer.error);
    return json(seriesDocument(number, *from, *to, answer.points));
}

FrameCounters RemoteView::counters() const
{
    FrameCounters counters;
    counters.rawFrames = m_rawFrames;
    counters.satelliteFrames = m_satelliteFrames;
    counters.satelliteByPacketType = m_satelliteByPacketType;
    if (m_sinceSatelliteFrame.isValid())
        counters.secondsSinceSatelliteFrame = double(m_sinceSatelliteFrame.elapsed()) / 1000.0;
    return counters;
}

void RemoteView::countSatelliteFrame()
{
    ++m_satelliteFrames;
    ++m_satelliteByPacketType[m_station.intake().packetType()];
    m_sinceSatelliteFrame.start();
}
