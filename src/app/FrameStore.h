#pragma once

#include "store/StationDatabase.h"
#include "store/StationLock.h"
#include "store/TelemetryArchive.h"
#include "store/UploadQueueStore.h"

#include <QObject>
#include <QString>

#include <memory>
#include <optional>

struct FrameDecodeResult;
class TelemetryHistory;

// The station's durable side: the lock that keeps a second station off the same directory, the
// station database with its telemetry archive and upload queue, and the history refill at
// start. Owned by the Station; the upload controller drains queue().
class FrameStore : public QObject
{
    Q_OBJECT
public:
    static constexpr qint64 DefaultMaxWaiting = 500000;

    explicit FrameStore(QObject *parent = nullptr);

    // Takes the directory's lock, then opens the database. An error text when another station
    // holds the lock; a database that cannot be used is reported and the station runs without
    // it (capture and upload of live frames still work).
    std::optional<QString> open(const QString &directory, qint64 maxWaiting);
    bool isOpen() const { return m_database.isOpen(); }

    // Archives a decoded satellite frame (always) ...
    void archive(qint64 rxTimeMs, QByteArrayView frame, const FrameDecodeResult &result,
                 const TelemetryHistory &history);
    // ... and queues its upload body. AlreadyWaiting when that frame waits already.
    EnqueueResult enqueue(qint64 rxTimeMs, QByteArrayView frame, const QByteArray &body);
    // The newest archived records into the history; the reception time of the newest one.
    std::optional<qint64> refill(TelemetryHistory &history);

    UploadQueue &queue() { return m_queue; }
    // Counts for `halvora1 queue` and the remote view (a database query: not per frame).
    UploadQueueStore::Statistics statistics() { return m_queue.statistics(); }
    qint64 waitingCount() { return m_database.isOpen() ? m_queue.waitingCount() : 0; }
    TelemetryArchive *archive() { return m_database.isOpen() ? &m_archive : nullptr; }
    void flush();

signals:
    void logMessage(const QString &message);
    // A damaged database was moved aside: the window shows it in a message box too.
    void noticeRaised(const QString &text);
    void writeStateChanged(bool failing);

private:
    void reportDropped();

    std::unique_ptr<StationLock> m_lock;
    StationDatabase m_database;
    UploadQueueStore m_queue{m_database};
    TelemetryArchive m_archive{m_database};
};
