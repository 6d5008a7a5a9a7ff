#pragma once

#include "store/UploadQueue.h"

#include <QString>

class StationDatabase;

// The durable upload queue over the station database: the uploader's UploadQueue, plus the
// limit, the dropped count and the statistics `halvora1 queue` prints. Writes go through the
// database's buffered writer; reads that need them commit it first.
class UploadQueueStore : public UploadQueue
{
public:
    struct Statistics
    {
        qint64 waiting = 0;
        qint64 rejected = 0;
        qint64 delivered = 0;
        std::optional<qint64> oldestWaitingRxTimeMs;
        QString error; // "" when the counts were read
    };

    explicit UploadQueueStore(StationDatabase &database);

    EnqueueResult enqueue(qint64 rxTimeMs, QByteArrayView frame, const QByteArray &body) override;
    // None when nothing waits or the buffered writes cannot be committed (sending pauses then).
    std::optional<PendingUpload> oldestWaiting() override;
    void markDelivered(qint64 id) override;
    void markFailedAttempt(qint64 id, const QString &reason) override;
    void markRejected(qint64 id, const QString &reason) override;
    qint64 waitingCount() override;

    // At most this many entries wait; beyond it the oldest waiting one is dropped.
    void setMaxWaiting(qint64 maxWaiting);
    // Frames dropped since the last call (over the limit, or unsaved while writes failed).
    qint64 takeDroppedCount();

    // Counted in the database itself (also for a reader beside a running station).
    Statistics statistics();
    // Puts every rejected entry back to waiting; the number of entries, or -1 with `*error`.
    qint64 retryRejected(QString *error);

private:
    StationDatabase &m_database;
};
