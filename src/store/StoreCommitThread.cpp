#include "store/StoreCommitThread.h"

#include "store/SqliteDialect.h"
#include "store/StoreStatements.h"

#include <QAtomicInteger>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

namespace {

QString nextConnectionName()
{
    static QAtomicInteger<quint64> counter;
    return QStringLiteral("halvora-commit-%1").arg(counter.fetchAndAddRelaxed(1));
}

} // namespace

StoreCommitThread::StoreCommitThread(const QString &filePath, int busyTimeoutMs, std::function<void()> finished)
    : m_filePath(filePath), m_busyTimeoutMs(busyTimeoutMs), m_finished(std::move(finished)),
      m_connectionName(nextConnectionName()), m_thread([this] { run(); })
{
}

StoreCommitThread::~StoreCommitThread()
{
    {
        std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    m_changed.notify_all();
    m_thread.join();
}

bool StoreCommitThread::isBusy() const
{
    std::lock_guard lock(m_mutex);
    return m_job || m_working || m_done;
}

void StoreCommitThread::submit(Job &&job)
{
    {
        std::lock_guard lock(m_mutex);
        m_job = std::move(job);
    }
    m_changed.notify_all();
}

std::optional<StoreCommitThread::Done> StoreCommitThread::takeDone()
{
    std::lock_guard lock(m_mutex);
    return std::exchange(m_done, std::nullopt);
}

StoreCommitThread::Done StoreCommitThread::waitDone()
{
    std::unique_lock lock(m_mutex);
    m_changed.wait(lock, [this] { return m_done.has_value(); });
    Done done = std::move(*m_done);
    m_done.reset();
    return done;
}

void StoreCommitThread::run()
{
    for (;;) {
        std::unique_lock lock(m_mutex);
        m_changed.wait(lock, [this] { return m_stopping || m_job.has_value(); });
        if (!m_job)
            break; // stopping with nothing left to commit
        Job job = std::move(*m_job);
        m_job.reset();
        m_working = true;
        lock.unlock();

        Done done = commit(job);

        lock.lock();
        m_working = false;
        m_done = std::move(done);
        lock.unlock();
        m_changed.notify_all();
        if (m_finished)
            m_finished();
    }
    m_statements.reset(); // its queries go before their connection
    if (QSqlDatabase::contains(m_connectionName)) {
        QSqlDatabase::database(m_connectionName, false).close();
        QSqlDatabase::removeDatabase(m_connectionName);
    }
}

StoreCommitThread::Done StoreCommitThread::commit(Job &job)
{
    Done done;
    done.batch = std::move(job.batch);
    if (!QSqlDatabase::contains(m_connectionName)) {
        QSqlDatabase db = QSqlDatabase::addDatabase(QLatin1String(SqliteDialect::DriverName), m_connectionName);
        db.setDatabaseName(m_filePath);
        QSqlError error;
        if (!db.open())
            error = db.lastError();
        else
            error = SqliteDialect::applyConnectionSettings(db, m_busyTimeoutMs);
        if (error.type() != QSqlError::NoError) {
            db.close();
            QSqlDatabase::removeDatabase(m_connectionName);
            done.error = error.text();
            return done;
        }
    }
    QSqlDatabase db = QSqlDatabase::database(m_connectionName, false);
    if (!db.transaction()) {
        done.error = db.lastError().text();
        return done;
    }
    if (!m_statements) {
        m_statements = std::make_unique<StoreStatements>(db);
        if (!m_statements->ok()) {
            done.error = m_statements->error();
            m_statements.reset();
            db.rollback();
            return done;
        }
    }
    m_statements->beginCommit();
    for (auto it = done.batch.begin(); done.error.isEmpty() && it != done.batch.end(); ++it) {
        if (!m_statements->apply(*it, &done.waitingDelta))
            done.error = m_statements->error();
    }
    if (done.error.isEmpty())
        done.error = m_statements->writeSummary();
    const qint64 excess = job.storedWaiting + done.waitingDelta - job.maxWaiting;
    if (done.error.isEmpty() && excess > 0) {
        QSqlQuery trim(db);
        trim.prepare(QStringLiteral("DELETE FROM upload_queue WHERE id IN (SELECT id FROM upload_queue "
                                    "WHERE state = 0 ORDER BY rx_time_ms, id LIMIT ?)"));
        trim.addBindValue(excess);
        if (trim.exec())
            done.dropped = trim.numRowsAffected();
        else
            done.error = trim.lastError().text();
    }
    if (done.error.isEmpty() && !db.commit())
        done.error = db.lastError().text();
    if (!done.error.isEmpty()) {
        db.rollback();
        done.waitingDelta = 0;
        done.dropped = 0;
        return done;
    }
    for (const StoreWrite &write : done.batch) {
        if (write.kind == StoreWrite::Kind::Enqueue)
            done.enqueued.emplace_back(write.rxTimeMs, write.hash);
        else if (write.kind == StoreWrite::Kind::Outcome && write.outcome != StoreWrite::Outcome::FailedAttempt)
            done.ended.push_back(write.entryId);
    }
    done.batch.clear();
    return done;
}
