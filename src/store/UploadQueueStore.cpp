#include "store/UploadQueueStore.h"

#include "store/StationDatabase.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

UploadQueueStore::UploadQueueStore(StationDatabase &database) : m_database(database)
{
}

EnqueueResult UploadQueueStore::enqueue(qint64 rxTimeMs, QByteArrayView frame, const QByteArray &body)
{
    if (!m_database.isOpen())
        return EnqueueResult::Failed;
    return m_database.writer().enqueue(rxTimeMs, frame, body);
}

std::optional<PendingUpload> UploadQueueStore::oldestWaiting()
{
    if (!m_database.flush())
        return std::nullopt;
    QSqlQuery query(m_database.connection());
    query.setForwardOnly(true);
    if (!query.exec(QStringLiteral("SELECT id, rx_time_ms, body, attempts FROM upload_queue WHERE state = 0 "
                                   "ORDER BY rx_time_ms, id LIMIT 1"))
        || !query.next())
        return std::nullopt;
    PendingUpload upload;
    upload.id = query.value(0).toLongLong();
    upload.rxTimeMs = query.value(1).toLongLong();
    upload.body = query.value(2).toByteArray();
    upload.attempts = query.value(3).toInt();
    return upload;
}

void UploadQueueStore::markDelivered(qint64 id)
{
    if (m_database.isOpen())
        m_database.writer().record(id, StoreWriter::Outcome::Delivered, {});
}

void UploadQueueStore::markFailedAttempt(qint64 id, const QString &reason)
{
    if (m_database.isOpen())
        m_database.writer().record(id, StoreWriter::Outcome::FailedAttempt, reason);
}

void UploadQueueStore::markRejected(qint64 id, const QString &reason)
{
    if (m_database.isOpen())
        m_database.writer().record(id, StoreWriter::Outcome::Rejected, reason);
}

qint64 UploadQueueStore::waitingCount()
{
    if (!m_database.isOpen())
        return 0;
    m_database.flush();
    return m_database.writer().waitingCount();
}

void UploadQueueStore::setMaxWaiting(qint64 maxWaiting)
{
    if (m_database.isOpen())
        m_database.writer().setMaxWaiting(maxWaiting);
}

qint64 UploadQueueStore::takeDroppedCount()
{
    if (!m_database.isOpen())
        return 0;
    const auto [overLimit, unsaved] = m_database.writer().takeDropped();
    return overLimit + unsaved;
}

UploadQueueStore::Statistics UploadQueueStore::statistics()
{
    Statistics statistics;
    if (!m_database.isOpen()) {
        statistics.error = QStringLiteral("the station database is not open");
        return statistics;
    }
    m_database.flush();
    QSqlQuery query(m_database.connection());
    query.setForwardOnly(true);
    if (!query.exec(QStringLiteral("SELECT state, COUNT(*) FROM upload_queue GROUP BY state"))) {
        statistics.error = query.lastError().text();
        return statistics;
    }
    while (query.next()) {
        const qint64 count = query.value(1).toLongLong();
        switch (query.value(0).toInt()) {
        case 0:
            statistics.waiting = count;
            break;
        case 1:
            statistics.delivered = count;
            break;
        case 2:
            statistics.rejected = count;
            break;
        }
    }
    if (!query.exec(QStringLiteral("SELECT rx_time_ms FROM upload_queue WHERE state = 0 "
                                   "ORDER BY rx_time_ms, id LIMIT 1"))) {
        statistics.error = query.lastError().text();
        return statistics;
    }
    if (query.next())
        statistics.oldestWaitingRxTimeMs = query.value(0).toLongLong();
    return statistics;
}

qint64 UploadQueueStore::retryRejected(QString *error)
{
    if (!m_database.isOpen()) {
        *error = QStringLiteral("the station database is not open");
        return -1;
    }
    m_database.flush();
    QSqlQuery query(m_database.connection());
    if (!query.exec(QStringLiteral("UPDATE upload_queue SET state = 0, attempts = 0 WHERE state = 2"))) {
        *error = query.lastError().text();
        return -1;
    }
    const qint64 count = query.numRowsAffected();
    m_database.writer().adjustStoredWaiting(count);
    return count;
}
