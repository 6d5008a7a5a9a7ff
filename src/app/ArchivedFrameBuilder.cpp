#include "app/ArchivedFrameBuilder.h"

#include "decode/PacketClassifier.h"
#include "store/TelemetryArchive.h"

#include <QDateTime>

ArchivedFrame archivedFrameFrom(qint64 rxTimeMs, QByteArrayView frame,
                                const FrameDecodeResult &result, const TelemetryHistory &history)
{
    ArchivedFrame archived;
    archived.rxTimeMs = rxTimeMs;
    archived.frame = frame.toByteArray();
    archived.packetType = packetTypeName(result.type);
    archived.family = result.family;
    if (!result.family)
        return archived;
    const TelemetryHistory::Record *record = history.latest(*result.family);
    if (!record)
        return archived;
    if (result.satTimeStored)
        archived.satTime = record->satTime;
    archived.present = result.stored;
    for (int channel = 1; channel <= TelemetryHistory::ChannelCount; ++channel) {
        if (result.stored.test(std::size_t(channel)))
            archived.values[std::size_t(channel)] = record->values[std::size_t(channel)];
    }
    return archived;
}

QString receptionTimeText(qint64 rxTimeMs)
{
    return QDateTime::fromMSecsSinceEpoch(rxTimeMs, Qt::UTC)
               .toString(QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz")) +
           QStringLiteral(" UTC");
}

HistoryRefill refillHistory(TelemetryArchive &archive, TelemetryHistory &history)
{
    HistoryRefill refill;
    for (Family family : {Family::EpsDebug, Family::ComHousekeeping, Family::CdhsBeacon,
                          Family::AdcsMeasurement}) {
        TelemetryArchive::Records records = archive.latest(family, TelemetryHistory::Capacity);
        if (!records.error.isEmpty()) {
            refill.error = records.error;
            return refill;
        }
        for (const ArchivedFrame &frame : records.frames) {
            TelemetryHistory::Record &record = history.append(family);
            // ADCS records never carried their reception time in the history; keep it so.
            if (family != Family::AdcsMeasurement)
                record.rxTime = receptionTimeText(frame.rxTimeMs);
            record.satTime = frame.satTime;
            for (int channel = 1; channel <= TelemetryHistory::ChannelCount; ++channel) {
                if (frame.present.test(std::size_t(channel)))
                    record.values[std::size_t(channel)] = frame.values[std::size_t(channel)];
            }
            if (!refill.newestRxTimeMs || frame.rxTimeMs > *refill.newestRxTimeMs)
                refill.newestRxTimeMs = frame.rxTimeMs;
        }
    }
    return refill;
}
