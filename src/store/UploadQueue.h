#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QtGlobal>

#include <optional>

// The satellite frames waiting for the collection server, oldest first. The upload controller
// takes one at a time and records its outcome; the station database implements it durably.
struct PendingUpload
{
    qint64 id = 0;        // queue entry
    qint64 rxTimeMs = 0;  // reception time of the frame, ms since 1970 UTC
    QByteArray body;      // the request body exactly as built at reception
    int attempts = 0;     // failed tries so far
};

enum class EnqueueResult { Queued, AlreadyWaiting, Failed };

class UploadQueue
{
public:
    virtual ~UploadQueue() = default;

    // Stores the frame's body as waiting. AlreadyWaiting when the same frame (same reception time
    // and bytes) waits already; Failed when it could not be stored.
    virtual EnqueueResult enqueue(qint64 rxTimeMs, QByteArrayView frame, const QByteArray &body) = 0;
    // The oldest waiting entry; what was enqueued before is on disk before this returns it.
    virtual std::optional<PendingUpload> oldestWaiting() = 0;
    virtual void markDelivered(qint64 id) = 0;
    virtual void markFailedAttempt(qint64 id, const QString &reason) = 0;
    virtual void markRejected(qint64 id, const QString &reason) = 0;
    virtual qint64 waitingCount() = 0;
};
