#include "app/FrameStore.h"

#include "app/ArchivedFrameBuilder.h"

FrameStore::FrameStore(QObject *parent) : QObject(parent)
{
    connect(&m_database, &StationDatabase::writeFailed, this, [this](const QString &reason) {
        emit logMessage(QStringLiteral("Station database write error: ") + reason +
                        QStringLiteral("; frames are kept in memory and written when it works again"));
        emit writeStateChanged(true);
    });
    connect(&m_database, &StationDatabase::writeRecovered, this, [this] {
        emit logMessage(QStringLiteral("Station database writing again"));
        emit writeStateChanged(false);
        reportDropped();
    });
}

std::optional<QString> FrameStore::open(const QString &directory, qint64 maxWaiting)
{
    m_lock = std::make_unique<StationLock>(directory);
    if (const QString error = m_lock->tryLock(); !error.isEmpty())
        return error;

    StationDatabase::Options options;
    // A batch per 100 ms: fewer, larger transactions for the commit thread (and fewer summary
    // updates); a frame's upload reads it back only after the batch holding it is on disk.
    options.writer.batchDelayMs = 100;
    options.writer.maxWaiting = maxWaiting;
    const StationDatabase::OpenResult result = m_database.open(directory, options);
    if (!result.notice.isEmpty()) {
        emit logMessage(result.notice);
        emit noticeRaised(result.notice);
    }
    if (!result.ok) {
        emit logMessage(QStringLiteral("Station database not available: ") + result.error +
                        QStringLiteral("; frames are captured but not archived or queued"));
        return std::nullopt;
    }
    m_queue.setMaxWaiting(maxWaiting);
    const qint64 waiting = m_queue.waitingCount();
    if (waiting > 0)
        emit logMessage(QStringLiteral("%1 frames wait for upload from an earlier run").arg(waiting));
    return std::nullopt;
}

void FrameStore::archive(qint64 rxTimeMs, QByteArrayView frame, const FrameDecodeResult &result,
                         const TelemetryHistory &history)
{
    if (m_database.isOpen())
        m_archive.addFrame(archivedFrameFrom(rxTimeMs, frame, result, history));
}

EnqueueResult FrameStore::enqueue(qint64 rxTimeMs, QByteArrayView frame, const QByteArray &body)
{
    if (!m_database.isOpen())
        return EnqueueResult::Failed;
    const EnqueueResult result = m_queue.enqueue(rxTimeMs, frame, body);
    reportDropped();
    return result;
}

std::optional<qint64> FrameStore::refill(TelemetryHistory &history)
{
    if (!m_database.isOpen())
        return std::nullopt;
    const HistoryRefill refill = refillHistory(m_archive, history);
    if (!refill.error.isEmpty())
        emit logMessage(QStringLiteral("History not restored from the archive: ") + refill.error);
    return refill.newestRxTimeMs;
}

void FrameStore::flush()
{
    if (m_database.isOpen())
        m_database.flush();
}

void FrameStore::reportDropped()
{
    if (const qint64 dropped = m_queue.takeDroppedCount())
        emit logMessage(QStringLiteral("Upload queue full: %1 oldest waiting frames dropped").arg(dropped));
}
