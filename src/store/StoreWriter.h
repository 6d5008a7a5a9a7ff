#pragma once

#include "store/ArchivedFrame.h"
#include "store/UploadQueue.h"

#include <QObject>
#include <QSet>
#include <QString>
#include <QTimer>

#include <deque>
#include <memory>
#include <utility>
#include <vector>

// Buffers the station database's writes (archived frames, queue entries and their outcomes) and
// commits them in one transaction per event-loop turn, or when a reader needs them. Keeps the
// upload queue within its limit. A failed commit keeps the buffer (bounded), is reported once
// and retried; success after it is reported once. Owned by StationDatabase.
class StoreWriter : public QObject
{
    Q_OBJECT
public:
    enum class Outcome { Delivered, FailedAttempt, Rejected };

    struct Settings
    {
        int batchDelayMs = 0;          // 0: commit at the end of the event-loop turn
        int retryDelayMs = 1000;       // after a failed commit
        qint64 maxWaiting = 500000;    // waiting queue entries kept; the oldest beyond are dropped
        int maxBuffered = 50000;       // writes kept while the database cannot be written
    };

    StoreWriter(const QString &connectionName, const Settings &settings, QObject *parent = nullptr);
    ~StoreWriter() override;

    // Reads what the database holds already (waiting count, newest waiting reception time).
    QString start();

    void addFrame(const ArchivedFrame &frame);
    EnqueueResult enqueue(qint64 rxTimeMs, QByteArrayView frame, const QByteArray &body);
    void record(qint64 entryId, Outcome outcome, const QString &reason);

    // Commits everything buffered; true when the buffer is empty afterwards.
    bool flush();
    bool isFailing() const { return !m_failure.isEmpty(); }

    qint64 waitingCount() const { return m_storedWaiting + m_bufferedEnqueues.size(); }
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
    struct Pending
    {
        enum class Kind { AddFrame, Enqueue, Outcome };
        Kind kind = Kind::AddFrame;
        qint64 rxTimeMs = 0;
        qint64 hash = 0;
        QByteArray frame;
        QByteArray body;           // Enqueue
        QString packetType;        // AddFrame
        QString satTime;           // AddFrame
        std::optional<Family> family;
        ArchivedFrame::Present present;
        std::vector<double> values; // the family's channels, first to last
        qint64 entryId = 0;        // Outcome
        StoreWriter::Outcome outcome = StoreWriter::Outcome::Delivered;
        QString reason;            // Outcome
    };
    class Statements;

    void push(Pending &&pending);
    bool waitsInDatabase(qint64 rxTimeMs, qint64 hash) const;
    QString commit(qint64 *waitingDelta, qint64 *dropped);
    void scheduleFlush(int delayMs);

    QString m_connectionName;
    Settings m_settings;
    QTimer m_timer;
    std::unique_ptr<Statements> m_statements;
    std::deque<Pending> m_buffer;
    QSet<std::pair<qint64, qint64>> m_bufferedEnqueues; // (rx time, hash) waiting in the buffer
    QSet<qint64> m_bufferedOutcomes;                    // entries whose outcome is not yet written
    qint64 m_storedWaiting = 0;
    qint64 m_newestStoredWaitingRx = 0;
    qint64 m_droppedOverLimit = 0;
    qint64 m_droppedUnsaved = 0;
    QString m_failure; // the reason of the failing writes, "" while writing works
};
