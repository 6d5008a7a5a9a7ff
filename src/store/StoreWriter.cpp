#include "store/StoreWriter.h"

#include "store/ArchiveSchema.h"

#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

StoreWriter::StoreWriter(const QString &connectionName, const QString &filePath, int busyTimeoutMs,
                         const Settings &settings, QObject *parent)
    : QObject(parent), m_connectionName(connectionName), m_settings(settings)
{
    m_timer.setSingleShot(true);
    connect(&m_timer, &QTimer::timeout, this, &StoreWriter::handOver);
    m_committer = std::make_unique<StoreCommitThread>(filePath, busyTimeoutMs, [this] {
        QMetaObject::invokeMethod(this, &StoreWriter::collectFinished, Qt::QueuedConnection);
    });
}

StoreWriter::~StoreWriter()
{
    m_committer.reset(); // a batch still committing finishes; what is buffered was flushed by the owner
}

QString StoreWriter::start()
{
    QSqlQuery query(QSqlDatabase::database(m_connectionName, false));
    if (!query.exec(QStringLiteral("SELECT COUNT(*) FROM upload_queue WHERE state = 0")) || !query.next())
        return query.lastError().text();
    m_storedWaiting = query.value(0).toLongLong();
    // Rejected entries count too: they may wait again. Each MAX is one step down the state index.
    for (const int state : {0, 2}) {
        if (!query.exec(QStringLiteral("SELECT MAX(rx_time_ms) FROM upload_queue WHERE state = %1").arg(state))
            || !query.next())
            return query.lastError().text();
        m_newestStoredWaitingRx = qMax(m_newestStoredWaitingRx, query.value(0).toLongLong());
    }
    return {};
}

qint64 StoreWriter::frameHash(QByteArrayView frame)
{
    quint64 hash = 14695981039346656037ULL;
    for (const char byte : frame) {
        hash ^= quint8(byte);
        hash *= 1099511628211ULL;
    }
    return qint64(hash);
}

void StoreWriter::addFrame(const ArchivedFrame &frame)
{
    StoreWrite write;
    write.kind = StoreWrite::Kind::AddFrame;
    write.rxTimeMs = frame.rxTimeMs;
    write.hash = frameHash(frame.frame);
    write.frame = frame.frame;
    write.packetType = frame.packetType;
    write.satTime = frame.satTime;
    write.family = frame.family;
    if (frame.family) {
        const ArchiveSchema::FamilyTable &table = ArchiveSchema::tableOf(*frame.family);
        write.values.assign(frame.values.begin() + table.firstChannel, frame.values.begin() + table.lastChannel + 1);
        write.present = frame.present;
    }
    push(std::move(write));
}

EnqueueResult StoreWriter::enqueue(qint64 rxTimeMs, QByteArrayView frame, const QByteArray &body)
{
    const qint64 hash = frameHash(frame);
    if (m_unsavedEnqueues.contains({rxTimeMs, hash}) || waitsInDatabase(rxTimeMs, hash))
        return EnqueueResult::AlreadyWaiting;
    StoreWrite write;
    write.kind = StoreWrite::Kind::Enqueue;
    write.rxTimeMs = rxTimeMs;
    write.hash = hash;
    write.frame = frame.toByteArray();
    write.body = body;
    m_unsavedEnqueues.insert({rxTimeMs, hash});
    push(std::move(write));
    return EnqueueResult::Queued;
}

bool StoreWriter::waitsInDatabase(qint64 rxTimeMs, qint64 hash) const
{
    if (rxTimeMs > m_newestStoredWaitingRx)
        return false; // newer than every stored entry: the usual live frame costs no look-up
    QSqlQuery query(QSqlDatabase::database(m_connectionName, false));
    query.prepare(QStringLiteral("SELECT q.id FROM upload_queue q JOIN frames f ON f.id = q.frame_id "
                                 "WHERE q.state = 0 AND q.rx_time_ms = ? AND f.rx_time_ms = ? AND f.frame_hash = ?"));
    query.addBindValue(rxTimeMs);
    query.addBindValue(rxTimeMs);
    query.addBindValue(hash);
    if (!query.exec())
        return false; // a failing database is reported by the commit; better twice than never
    while (query.next()) {
        if (!m_unsavedOutcomes.contains(query.value(0).toLongLong()))
            return true;
    }
    return false;
}

void StoreWriter::record(qint64 entryId, Outcome outcome, const QString &reason)
{
    StoreWrite write;
    write.kind = StoreWrite::Kind::Outcome;
    write.entryId = entryId;
    write.outcome = outcome;
    write.reason = reason;
    if (outcome != Outcome::FailedAttempt)
        ++m_unsavedOutcomes[entryId];
    push(std::move(write));
}

void StoreWriter::push(StoreWrite &&write)
{
    if (m_buffer.size() >= std::size_t(qMax(1, m_settings.maxBuffered)))
        dropOldestBuffered(); // writes have failed for long
    m_buffer.push_back(std::move(write));
    if (!isFailing() && m_buffer.size() >= std::size_t(qMax(1, m_settings.maxAhead))) {
        // A full batch goes now; when frames arrive faster than they are committed, the intake
        // waits for the running batch rather than let the buffer grow without bound.
        if (!m_committer->isBusy() || finish(m_committer->waitDone()))
            handOver();
        return;
    }
    if (!m_timer.isActive())
        m_timer.start(m_settings.batchDelayMs);
}

void StoreWriter::dropOldestBuffered()
{
    const StoreWrite &oldest = m_buffer.front();
    if (oldest.kind == StoreWrite::Kind::Outcome) {
        // The entry waits again (a duplicate at worst).
        if (oldest.outcome != Outcome::FailedAttempt && --m_unsavedOutcomes[oldest.entryId] <= 0)
            m_unsavedOutcomes.remove(oldest.entryId);
    } else {
        if (oldest.kind == StoreWrite::Kind::Enqueue)
            m_unsavedEnqueues.remove({oldest.rxTimeMs, oldest.hash});
        ++m_droppedUnsaved;
    }
    m_buffer.pop_front();
}

void StoreWriter::handOver()
{
    if (m_committer->isBusy())
        return; // the next batch goes when this one is collected
    if (m_buffer.empty() && m_storedWaiting <= m_settings.maxWaiting)
        return; // nothing to write, nothing over a lowered limit
    m_timer.stop();
    m_committer->submit({std::exchange(m_buffer, {}), m_storedWaiting, m_settings.maxWaiting});
}

void StoreWriter::collectFinished()
{
    std::optional<StoreCommitThread::Done> done = m_committer->takeDone();
    if (done && finish(std::move(*done)) && !m_buffer.empty())
        handOver();
}

bool StoreWriter::flush()
{
    if (m_committer->isBusy() && !finish(m_committer->waitDone()))
        return false;
    if (m_buffer.empty() && m_storedWaiting <= m_settings.maxWaiting)
        return true;
    handOver();
    return finish(m_committer->waitDone()) && m_buffer.empty();
}

bool StoreWriter::finish(StoreCommitThread::Done &&done)
{
    if (!done.error.isEmpty()) {
        // Written again later, before what came after it.
        m_buffer.insert(m_buffer.begin(), std::make_move_iterator(done.batch.begin()),
                        std::make_move_iterator(done.batch.end()));
        while (m_buffer.size() > std::size_t(qMax(1, m_settings.maxBuffered)))
            dropOldestBuffered();
        if (m_failure.isEmpty()) {
            m_failure = done.error;
            emit writeFailed(done.error);
        }
        m_timer.start(m_settings.retryDelayMs);
        return false;
    }
    forget(done);
    m_storedWaiting += done.waitingDelta - done.dropped;
    m_droppedOverLimit += done.dropped;
    if (!m_failure.isEmpty()) {
        m_failure.clear();
        emit writeRecovered();
    }
    return true;
}

void StoreWriter::forget(const StoreCommitThread::Done &done)
{
    for (const std::pair<qint64, qint64> &key : done.enqueued) {
        m_unsavedEnqueues.remove(key);
        m_newestStoredWaitingRx = qMax(m_newestStoredWaitingRx, key.first);
    }
    for (const qint64 entryId : done.ended) {
        if (--m_unsavedOutcomes[entryId] <= 0)
            m_unsavedOutcomes.remove(entryId);
    }
}

void StoreWriter::setMaxWaiting(qint64 maxWaiting)
{
    m_settings.maxWaiting = qMax<qint64>(1, maxWaiting);
}

std::pair<qint64, qint64> StoreWriter::takeDropped()
{
    return {std::exchange(m_droppedOverLimit, 0), std::exchange(m_droppedUnsaved, 0)};
}
