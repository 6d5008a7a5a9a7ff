#include "remote/StationReadout.h"

#include "app/Station.h"
#include "link/AgwClient.h"
#include "telemetry/ChannelTable.h"

#include <QDateTime>
#include <QJsonArray>

#include <cmath>

namespace {

QString groupName(const ChannelTable::Row *row)
{
    if (!row)
        return {};
    if (row->group == ChannelTable::Group::HiddenStrip)
        return QStringLiteral("hidden");
    for (const ChannelTable::GroupBox &box : ChannelTable::groupBoxes()) {
        if (box.group == row->group)
            return QString::fromUtf8(box.caption);
    }
    return {};
}

QString captionOf(const Station &station, int channel)
{
    const QString shown = station.display().caption(channel).trimmed();
    return shown.isEmpty() ? ChannelTable::captionOf(channel).trimmed() : shown;
}

struct LatestValue
{
    double value = 0;
    std::optional<qint64> rxTimeMs;
};

// A channel that no decoded frame has filled yet, or that no family carries, has no value.
std::optional<LatestValue> latestValue(const TelemetryHistory &history, int channel)
{
    const std::optional<Family> family = TelemetryHistory::familyOf(channel);
    if (!family || !TelemetryHistory::hasPlace(*family, channel))
        return std::nullopt;
    const TelemetryHistory::Record *record = history.latest(*family);
    if (!record)
        return std::nullopt;
    return LatestValue{record->values[std::size_t(channel)], receptionTimeMs(record->rxTime)};
}

// Channels worth listing: those the window shows, and those a family carries.
bool isListed(int channel)
{
    const std::optional<Family> family = TelemetryHistory::familyOf(channel);
    return ChannelTable::find(channel) || (family && TelemetryHistory::hasPlace(*family, channel));
}

QJsonValue isoTime(std::optional<qint64> ms)
{
    if (!ms)
        return QJsonValue::Null;
    return QDateTime::fromMSecsSinceEpoch(*ms, Qt::UTC).toString(Qt::ISODateWithMs);
}

QJsonValue number(double value)
{
    return std::isfinite(value) ? QJsonValue(value) : QJsonValue(QJsonValue::Null);
}

// Label values escape backslash, double quote and line feed.
QByteArray labelValue(const QString &text)
{
    QByteArray out;
    for (const char c : text.toUtf8()) {
        if (c == '\\' || c == '"')
            out += '\\';
        if (c == '\n') {
            out += "\\n";
            continue;
        }
        out += c;
    }
    return out;
}

QByteArray sampleValue(double value)
{
    if (std::isnan(value))
        return "NaN";
    if (std::isinf(value))
        return value > 0 ? "+Inf" : "-Inf";
    return QByteArray::number(value, 'g', 17);
}

void family(QByteArray &out, const char *name, const char *type, const char *help)
{
    out += QByteArray("# HELP ") + name + ' ' + help + "\n# TYPE " + name + ' ' + type + '\n';
}

void sample(QByteArray &out, const char *name, double value, const QByteArray &labels = {})
{
    out += name;
    if (!labels.isEmpty())
        out += '{' + labels + '}';
    out += ' ' + sampleValue(value) + '\n';
}

} // namespace

std::optional<qint64> receptionTimeMs(const QString &rxTime)
{
    // Fixed positions, read by hand: the series endpoint parses up to 2000 of these per request.
    if (rxTime.size() < 23)
        return std::nullopt;
    auto digits = [&](int from, int count) {
        int value = 0;
        for (int i = from; i < from + count; ++i) {
            const int digit = rxTime[i].digitValue();
            if (digit < 0)
                return -1;
            value = value * 10 + digit;
        }
        return value;
    };
    const QDate date(digits(0, 4), digits(5, 2), digits(8, 2));
    const QTime time(digits(11, 2), digits(14, 2), digits(17, 2), digits(20, 3));
    if (!date.isValid() || !time.isValid())
        return std::nullopt;
    return QDateTime(date, time, Qt::UTC).toMSecsSinceEpoch();
}

QJsonObject statusDocument(const Station &station, const FrameCounters &counters, const OptionalParts &parts)
{
    const FrameIntake &intake = station.intake();
    QJsonObject status{
        {QStringLiteral("linkUp"), station.linkState() == AgwClient::Connected},
        {QStringLiteral("linkState"), station.linkState()},
        {QStringLiteral("statusLine"), station.statusLine()},
        {QStringLiteral("packetType"), intake.packetType()},
        {QStringLiteral("frameTime"), intake.frameTimeText()},
        {QStringLiteral("satelliteFrames"), intake.satelliteFrameCount()},
        {QStringLiteral("foreignFrames"), counters.rawFrames - counters.satelliteFrames},
        {QStringLiteral("uploadsDelivered"), station.deliveredCount()},
        {QStringLiteral("uploadAllowed"), station.uploadAllowed()},
        {QStringLiteral("secondsSinceSatelliteFrame"),
         counters.secondsSinceSatelliteFrame ? QJsonValue(*counters.secondsSinceSatelliteFrame)
                                             : QJsonValue(QJsonValue::Null)},
        {QStringLiteral("archive"), parts.archive},
    };
    if (parts.uploadQueue) {
        const UploadQueueState queue = parts.uploadQueue->uploadQueueState();
        status.insert(QStringLiteral("uploadQueue"),
                      QJsonObject{{QStringLiteral("waiting"), queue.waiting},
                                  {QStringLiteral("rejected"), queue.rejectedTotal},
                                  {QStringLiteral("sending"), queue.sending},
                                  {QStringLiteral("lastError"), queue.lastError},
                                  {QStringLiteral("nextTry"), isoTime(queue.nextTryMs)}});
    }
    return status;
}

QJsonObject channelsDocument(const Station &station)
{
    QJsonArray channels;
    for (int channel = 1; channel <= Station::ChannelCount; ++channel) {
        if (!isListed(channel))
            continue;
        const std::optional<LatestValue> latest = latestValue(station.history(), channel);
        channels.append(QJsonObject{
            {QStringLiteral("channel"), channel},
            {QStringLiteral("caption"), captionOf(station, channel)},
            {QStringLiteral("unit"), station.display().unit(channel)},
            {QStringLiteral("group"), groupName(ChannelTable::find(channel))},
            {QStringLiteral("text"), station.display().text(channel)},
            {QStringLiteral("value"), latest ? number(latest->value) : QJsonValue(QJsonValue::Null)},
            {QStringLiteral("receivedAt"), latest ? isoTime(latest->rxTimeMs) : QJsonValue(QJsonValue::Null)},
        });
    }
    return {{QStringLiteral("channels"), channels}};
}

QJsonObject logDocument(const ActivityLog &log, int limit)
{
    QJsonArray entries;
    for (const QString &entry : log.entries()) {
        if (entries.size() >= limit)
            break;
        entries.append(entry.endsWith(QStringLiteral("\r\n")) ? entry.chopped(2) : entry);
    }
    return {{QStringLiteral("entries"), entries}};
}

QJsonObject seriesDocument(int channel, qint64 fromMs, qint64 toMs,
                           const std::vector<SeriesDecimation::Point> &points)
{
    QJsonArray rows;
    for (const SeriesDecimation::Point &point : points)
        rows.append(QJsonArray{point.timeMs, number(point.value)});
    return {{QStringLiteral("channel"), channel},
            {QStringLiteral("from"), isoTime(fromMs)},
            {QStringLiteral("to"), isoTime(toMs)},
            {QStringLiteral("points"), rows}};
}

QByteArray metricsText(const Station &station, const FrameCounters &counters, const OptionalParts &parts)
{
    QByteArray out;
    out.reserve(16 * 1024);
    family(out, "halvora1_frames_received_total", "counter", "Raw frames received from the packet engine.");
    sample(out, "halvora1_frames_received_total", double(counters.satelliteFrames), "source=\"satellite\"");
    sample(out, "halvora1_frames_received_total", double(counters.rawFrames - counters.satelliteFrames),
           "source=\"foreign\"");
    family(out, "halvora1_satellite_frames_total", "counter", "Satellite frames received, by packet type.");
    for (const auto &[type, count] : counters.satelliteByPacketType)
        sample(out, "halvora1_satellite_frames_total", double(count), "packet_type=\"" + labelValue(type) + '"');
    family(out, "halvora1_uploads_delivered_total", "counter", "Frames the collection server accepted.");
    sample(out, "halvora1_uploads_delivered_total", station.deliveredCount());
    if (parts.uploadQueue) {
        const UploadQueueState queue = parts.uploadQueue->uploadQueueState();
        family(out, "halvora1_uploads_rejected_total", "counter", "Frames the collection server refused for good.");
        sample(out, "halvora1_uploads_rejected_total", double(queue.rejectedTotal));
        family(out, "halvora1_uploads_waiting", "gauge", "Frames waiting in the upload queue.");
        sample(out, "halvora1_uploads_waiting", double(queue.waiting));
    }
    family(out, "halvora1_link_up", "gauge", "1 while the packet engine link is connected.");
    sample(out, "halvora1_link_up", station.linkState() == AgwClient::Connected ? 1 : 0);
    family(out, "halvora1_link_reconnects_total", "counter",
           "Connections to the packet engine made again after the first one.");
    sample(out, "halvora1_link_reconnects_total", double(station.linkReconnects()));
    family(out, "halvora1_capture_bytes_written_total", "counter", "Bytes written to the capture file.");
    sample(out, "halvora1_capture_bytes_written_total", double(station.intake().captureBytesWritten()));
    if (counters.secondsSinceSatelliteFrame) {
        family(out, "halvora1_seconds_since_last_satellite_frame", "gauge",
               "Seconds since the latest satellite frame arrived.");
        sample(out, "halvora1_seconds_since_last_satellite_frame", *counters.secondsSinceSatelliteFrame);
    }
    family(out, "halvora1_channel_value", "gauge", "Latest decoded value of a telemetry channel, in its unit.");
    for (int channel = 1; channel <= Station::ChannelCount; ++channel) {
        const std::optional<LatestValue> latest = latestValue(station.history(), channel);
        if (!latest)
            continue;
        sample(out, "halvora1_channel_value", latest->value,
               "channel=\"" + QByteArray::number(channel) + "\",caption=\"" +
                   labelValue(captionOf(station, channel)) + "\",unit=\"" +
                   labelValue(station.display().unit(channel)) + '"');
    }
    return out;
}

SeriesAnswer HistorySeries::series(int channel, qint64 fromMs, qint64 toMs, int maxPoints) const
{
    const std::optional<Family> family = TelemetryHistory::familyOf(channel);
    if (!family || !TelemetryHistory::hasPlace(*family, channel))
        return {};
    std::vector<SeriesDecimation::Point> points;
    const int stored = m_history.storedCount(*family);
    points.reserve(std::size_t(stored));
    for (int k = 0; k < stored; ++k) {
        const TelemetryHistory::Record &record = m_history.stored(*family, k);
        const std::optional<qint64> time = receptionTimeMs(record.rxTime);
        if (time && *time >= fromMs && *time <= toMs)
            points.push_back({*time, record.values[std::size_t(channel)]});
    }
    if (points.size() <= std::size_t(maxPoints))
        return {points, {}};
    // Columns over the values' own span, so an open-ended request still spreads them out; the
    // polyline keeps up to four points per column.
    const auto columns = SeriesDecimation::decimate(points, points.front().timeMs, points.back().timeMs,
                                                    std::max(1, maxPoints / 4));
    return {SeriesDecimation::polyline(points, columns), {}};
}
