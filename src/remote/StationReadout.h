#pragma once

#include "remote/RemoteSources.h"

#include <QByteArray>
#include <QJsonObject>
#include <QString>

#include <map>
#include <optional>

class ActivityLog;
class Station;
class TelemetryHistory;

// The documents the remote view serves, read from a running Station and the counters the view
// keeps of its own. Plain functions over const state: nothing here changes the station. Field
// names are listed in docs/remote-api.md.

struct FrameCounters
{
    qint64 rawFrames = 0;       // every raw frame the link delivered
    qint64 satelliteFrames = 0; // of those, from the satellite
    std::map<QString, qint64> satelliteByPacketType;
    std::optional<double> secondsSinceSatelliteFrame; // unset before the first one
};

struct OptionalParts
{
    const UploadQueueSource *uploadQueue = nullptr;
    bool archive = false;
};

QJsonObject statusDocument(const Station &station, const FrameCounters &counters, const OptionalParts &parts);
QJsonObject channelsDocument(const Station &station);
// limit: the newest entries, at most that many.
QJsonObject logDocument(const ActivityLog &log, int limit);
QJsonObject seriesDocument(int channel, qint64 fromMs, qint64 toMs,
                           const std::vector<SeriesDecimation::Point> &points);
// Prometheus text exposition format 0.0.4.
QByteArray metricsText(const Station &station, const FrameCounters &counters, const OptionalParts &parts);

// A history record's reception time ("yyyy-MM-dd HH:nn:ss.zzz UTC") as ms since 1970 UTC.
std::optional<qint64> receptionTimeMs(const QString &rxTime);

// The stored records of the channel's family from the in-memory history, until the archive
// serves series.
class HistorySeries : public SeriesSource
{
public:
    explicit HistorySeries(const TelemetryHistory &history) : m_history(history) {}
    SeriesAnswer series(int channel, qint64 fromMs, qint64 toMs, int maxPoints) const override;

private:
    const TelemetryHistory &m_history;
};
