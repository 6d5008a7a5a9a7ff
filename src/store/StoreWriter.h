#pragma once

#include "store/ArchivedFrame.h"
#include "store/StoreCommitThread.h"
#include "store/StoreWrite.h"
#include "store/UploadQueue.h"

#include <QHash>
#include <QObject>
#include <QSet>
#include <QString>
#include <QTimer>

#include <memory>
#include <utility>

// Buffers the station database's writes (archived frames, queue entries and their outcomes) and
// hands them, a batch per event-loop turn, to the StoreCommitThread, which commits each batch in
// one transaction while the station goes on; flush() waits for it when a reader needs everything
// written. Keeps the upload queue within its limit. A failed commit keeps the batch (bounded), is
// reported once and retried; success after it is reported once. Owned by StationDatabase.
class StoreWriter : public QObject
{
    Q_OBJECT
public:
    using Outcome = StoreWrite::Outcome;

    struct Settings
    {
        int batchDelayMs = 0;          // 0: hand over at the end of the event-loop turn
        int retryDelayMs = 1000;       // after a failed commit
        qint64 maxWaiting = 500000;    // waiting queue entries kept; the oldest beyond are dropped
        int maxBuffered = 50000;       // writes kept while the database cannot be written
        int maxAhead = 10000;          // writes buffered behind a running commit before intake waits
    };

    // `connectionName`: the station's connection, for the look-ups at start and enqueue;
    // the commit thread opens its own on `filePath`.
    StoreWriter(const QString &connectionName, const QString &filePath, int busyTimeoutMs,
                const Settings &settings, QObject *parent = nullptr);
    ~StoreWriter() override;

    // Reads what the database holds already (waiting count, newest waiting reception time).
    QString start();

    void addFrame(const ArchivedFrame &frame);
    EnqueueResult enqueue(qint64 rxTimeMs, QByteArrayView frame, const QByteArray &body);
    void record(qint64 entryId, Outcome outcome, const QString &reason);

    // Commits everything buffered and waits for it; true when all of it is in the database.
    bool flush();
    bool isFailing() const { return !m_failure.isEmpty(); }

    qint64 waitingCount() const { return m_storedWaiting + m_unsavedEnqueues.size(); }
    void setMaxWaiting(qint64 maxWaiting);
    // Waiting entries added or removed by a statement outside the writer (retryRejected).
    void adjustStoredWaiting(qint64 delta) { m_storedWaiting += delta; }
    // Dropped since the last call: waiting entries over the queue limit, and frame writes
    // (archive or queue) lost from a full buffer while the database could not be written.
    std::pair<qint64, qint64> takeDropped();

    // 64-bit FNV-1a of the frame bytes: with the reception time, a frame's identity.
    static qint64 frameHash(QByteArrayView frame);

signals:
    void writeFailed(const QString &reason);
    void writeRecovered();

private:
    void push(StoreWrite &&write);
    void dropOldestBuffered();
    bool waitsInDatabase(qint64 rxTimeMs, qint64 hash) const;
    void handOver();
    void collectFinished();
    bool finish(StoreCommitThread::Done &&done);
    void forget(const StoreCommitThread::Done &done);

    QString m_connectionName;
    Settings m_settings;
    QTimer m_timer;
    StoreWriteBatch m_buffer;                           // not yet handed over
    QSet<std::pair<qint64, qint64>> m_unsavedEnqueues;  // (rx time, hash) buffered or committing
    QHash<qint64, int> m_unsavedOutcomes;               // entries whose end is buffered or committing
    qint64 m_storedWaiting = 0;
    qint64 m_newestStoredWaitingRx = 0;
    qint64 m_droppedOverLimit = 0;
    qint64 m_droppedUnsaved = 0;
    QString m_failure; // the reason of the failing writes, "" while writing works
    std::unique_ptr<StoreCommitThread> m_committer; // last: its thread goes first
};
