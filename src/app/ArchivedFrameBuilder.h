#pragma once

#include "decode/FrameDecoder.h"
#include "store/ArchivedFrame.h"

#include <QByteArrayView>

class TelemetryArchive;

// The bridge between decoding and the archive: what a decoded satellite frame becomes in the
// archive, and the in-memory history refilled from it at start. Used by the live Station and by
// `halvora1 import`, so both archive a frame the same way.

// `frame` is the whole raw frame (KISS command byte first); `history` holds the record the
// decoder just appended for `result.family`.
ArchivedFrame archivedFrameFrom(qint64 rxTimeMs, QByteArrayView frame,
                                const FrameDecodeResult &result, const TelemetryHistory &history);

// Appends the newest archived records of every family to `history`, oldest first. Returns the
// reception time of the newest refilled frame, if any, or the archive's error text.
struct HistoryRefill
{
    std::optional<qint64> newestRxTimeMs;
    QString error;
};
HistoryRefill refillHistory(TelemetryArchive &archive, TelemetryHistory &history);

// "yyyy-MM-dd HH:nn:ss.zzz UTC", the reception-time text of the history and the capture file.
QString receptionTimeText(qint64 rxTimeMs);
