#pragma once

#include "store/ArchivedFrame.h"

#include <QByteArray>
#include <QString>

#include <deque>
#include <optional>
#include <vector>

// One buffered write of the station database: a frame for the archive, a queue entry, or an
// upload outcome. Made by StoreWriter on the station's thread, applied by StoreStatements on the
// commit thread.
struct StoreWrite
{
    enum class Kind { AddFrame, Enqueue, Outcome };
    enum class Outcome { Delivered, FailedAttempt, Rejected };

    Kind kind = Kind::AddFrame;
    qint64 rxTimeMs = 0;
    qint64 hash = 0;
    QByteArray frame;
    QByteArray body;            // Enqueue
    QString packetType;         // AddFrame
    QString satTime;            // AddFrame
    std::optional<Family> family;
    ArchivedFrame::Present present;
    std::vector<double> values; // the family's channels, first to last
    qint64 entryId = 0;         // Outcome
    Outcome outcome = Outcome::Delivered;
    QString reason;             // Outcome
};

using StoreWriteBatch = std::deque<StoreWrite>;
