#include "store/StoreWriter.h"

#include "store/ArchiveSchema.h"
#include "store/ArchiveSummary.h"

#include <QHash>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

#include <array>

namespace {

// A null QString binds as SQL NULL; the text columns hold "" instead.
QString text(const QString &value)
{
    return value.isNull() ? QStringLiteral("") : value;
}

} // namespace

// The writer's prepared statements, prepared once per connection: preparing the wide family
// inserts costs more than running them.
class StoreWriter::Statements
{
public:
    explicit Statements(QSqlDatabase db)
        : m_findFrame(db), m_insertFrame(db), m_completeFrame(db), m_insertQueued(db), m_delivered(db),
          m_failedAttempt(db), m_rejected(db), m_summary(db)
    {
        m_findFrame.setForwardOnly(true);
        m_ok = m_findFrame.prepare(QStringLiteral("SELECT id FROM frames WHERE rx_time_ms = ? AND frame_hash = ?"))
            && m_insertFrame.prepare(QStringLiteral("INSERT INTO frames (rx_time_ms, frame_hash, frame, packet_type, "
                                                    "sat_time) VALUES (?, ?, ?, ?, ?) "
                                                    "ON CONFLICT (rx_time_ms, frame_hash) DO NOTHING"))
            && m_completeFrame.prepare(QStringLiteral("UPDATE frames SET packet_type = ?, sat_time = ? "
                                                      "WHERE id = ? AND packet_type = ''"))
            && m_insertQueued.prepare(QStringLiteral("INSERT INTO upload_queue (frame_id, rx_time_ms, state, body) "
                                                     "VALUES (?, ?, 0, ?)"))
            && m_delivered.prepare(QStringLiteral("UPDATE upload_queue SET state = 1 WHERE id = ? AND state = 0"))
            && m_failedAttempt.prepare(QStringLiteral("UPDATE upload_queue SET attempts = attempts + 1, "
                                                      "last_error = ? WHERE id = ?"))
            && m_rejected.prepare(QStringLiteral("UPDATE upload_queue SET state = 2, attempts = attempts + 1, "
                                                 "last_error = ? WHERE id = ? AND state = 0"));
        if (m_ok) {
            for (const ArchiveSchema::FamilyTable &table : ArchiveSchema::FamilyTables) {
                QString marks;
                for (int channel = table.firstChannel; channel <= table.lastChannel; ++channel)
                    marks += QStringLiteral(", ?");
                QSqlQuery &query = m_insertValues[std::size_t(table.family)];
                query = QSqlQuery(db);
                m_ok = m_ok && query.prepare(QStringLiteral("INSERT INTO %1 (frame_id, rx_time_ms, %2) VALUES (?, ?%3)")
                                                 .arg(QLatin1String(table.table), ArchiveSchema::columnList(table), marks));
            }
        }
        if (!m_ok)
            m_error = db.lastError().text();
    }

    bool ok() const { return m_ok; }
    void beginCommit()
    {
        m_idsThisCommit.clear();
        m_summary.clear();
    }
    QString writeSummary() { return m_summary.write(); }
    QString error() const { return m_error; }

    // Returns the change in waiting entries.
    bool apply(const Pending &pending, qint64 *waitingDelta)
    {
        switch (pending.kind) {
        case Pending::Kind::AddFrame:
            return addFrame(pending);
        case Pending::Kind::Enqueue: {
            // Usually archived a moment before in the same commit.
            qint64 frameId = m_idsThisCommit.value({pending.rxTimeMs, pending.hash});
            if (frameId == 0)
                frameId = frameIdFor(pending, QString(), QString());
            if (frameId == 0)
                return false;
            m_insertQueued.addBindValue(frameId);
            m_insertQueued.addBindValue(pending.rxTimeMs);
            m_insertQueued.addBindValue(pending.body);
            if (!run(m_insertQueued))
                return false;
            ++*waitingDelta;
            return true;
        }
        case Pending::Kind::Outcome:
            return recordOutcome(pending, waitingDelta);
        }
        return false;
    }

private:
    bool run(QSqlQuery &query)
    {
        if (query.exec())
            return true;
        m_error = query.lastError().text();
        return false;
    }

    // The stored frame's id (0 on failure); stores the frame first when it is new. `*added`
    // says whether it was new or only known from a queue entry (no packet type yet).
    qint64 frameIdFor(const Pending &pending, const QString &packetType, const QString &satTime, bool *added = nullptr)
    {
        // Insert first: a live frame is nearly always new, so one statement does.
        m_insertFrame.addBindValue(pending.rxTimeMs);
        m_insertFrame.addBindValue(pending.hash);
        m_insertFrame.addBindValue(pending.frame);
        m_insertFrame.addBindValue(text(packetType));
        m_insertFrame.addBindValue(text(satTime));
        if (!run(m_insertFrame))
            return 0;
        if (m_insertFrame.numRowsAffected() == 1) {
            if (added)
                *added = true;
            return m_insertFrame.lastInsertId().toLongLong();
        }
        m_findFrame.addBindValue(pending.rxTimeMs);
        m_findFrame.addBindValue(pending.hash);
        if (!run(m_findFrame) || !m_findFrame.next()) {
            m_error = QStringLiteral("a stored frame cannot be found again: %1").arg(m_findFrame.lastError().text());
            return 0;
        }
        const qint64 id = m_findFrame.value(0).toLongLong();
        m_findFrame.finish();
        if (added && !packetType.isEmpty()) {
            m_completeFrame.addBindValue(text(packetType));
            m_completeFrame.addBindValue(text(satTime));
            m_completeFrame.addBindValue(id);
            if (!run(m_completeFrame))
                return 0;
            *added = m_completeFrame.numRowsAffected() == 1;
        }
        return id;
    }

    bool addFrame(const Pending &pending)
    {
        bool added = false;
        // A frame without a packet type name still gets one, so it is told from a queue-only row.
        const QString packetType = pending.packetType.isEmpty() ? QStringLiteral("?") : pending.packetType;
        const qint64 frameId = frameIdFor(pending, packetType, pending.satTime, &added);
        if (frameId == 0)
            return false;
        m_idsThisCommit.insert({pending.rxTimeMs, pending.hash}, frameId);
        if (!added || !pending.family)
            return true;
        const ArchiveSchema::FamilyTable &table = ArchiveSchema::tableOf(*pending.family);
        QSqlQuery &insert = m_insertValues[std::size_t(table.family)];
        insert.addBindValue(frameId);
        insert.addBindValue(pending.rxTimeMs);
        for (int channel = table.firstChannel; channel <= table.lastChannel; ++channel) {
            if (pending.present.test(std::size_t(channel)))
                insert.addBindValue(pending.values[std::size_t(channel - table.firstChannel)]);
            else
                insert.addBindValue(QVariant(QMetaType::fromType<double>()));
        }
        if (!run(insert))
            return false;
        m_summary.add(table.family, pending.rxTimeMs, pending.present, pending.values);
        return true;
    }

    bool recordOutcome(const Pending &pending, qint64 *waitingDelta)
    {
        QSqlQuery *query = &m_delivered;
        if (pending.outcome == Outcome::Delivered) {
            m_delivered.addBindValue(pending.entryId);
        } else {
            query = pending.outcome == Outcome::Rejected ? &m_rejected : &m_failedAttempt;
            query->addBindValue(text(pending.reason));
            query->addBindValue(pending.entryId);
        }
        if (!run(*query))
            return false;
        if (pending.outcome != Outcome::FailedAttempt)
            *waitingDelta -= query->numRowsAffected();
        return true;
    }

    QSqlQuery m_findFrame;
    QSqlQuery m_insertFrame;
    QSqlQuery m_completeFrame;
    QSqlQuery m_insertQueued;
    QSqlQuery m_delivered;
    QSqlQuery m_failedAttempt;
    QSqlQuery m_rejected;
    std::array<QSqlQuery, ArchiveSchema::FamilyTables.size()> m_insertValues;
    ArchiveSummary m_summary; // the min/max buckets of this commit's family rows
    QHash<std::pair<qint64, qint64>, qint64> m_idsThisCommit; // (rx time, hash) -> frame id
    bool m_ok = false;
    QString m_error;
};

StoreWriter::StoreWriter(const QString &connectionName, const Settings &settings, QObject *parent)
    : QObject(parent), m_connectionName(connectionName), m_settings(settings)
{
    m_timer.setSingleShot(true);
    connect(&m_timer, &QTimer::timeout, this, &StoreWriter::flush);
}

StoreWriter::~StoreWriter() = default;

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
    Pending pending;
    pending.kind = Pending::Kind::AddFrame;
    pending.rxTimeMs = frame.rxTimeMs;
    pending.hash = frameHash(frame.frame);
    pending.frame = frame.frame;
    pending.packetType = frame.packetType;
    pending.satTime = frame.satTime;
    pending.family = frame.family;
    if (frame.family) {
        const ArchiveSchema::FamilyTable &table = ArchiveSchema::tableOf(*frame.family);
        pending.values.assign(frame.values.begin() + table.firstChannel, frame.values.begin() + table.lastChannel + 1);
        pending.present = frame.present;
    }
    push(std::move(pending));
}

EnqueueResult StoreWriter::enqueue(qint64 rxTimeMs, QByteArrayView frame, const QByteArray &body)
{
    const qint64 hash = frameHash(frame);
    if (m_bufferedEnqueues.contains({rxTimeMs, hash}) || waitsInDatabase(rxTimeMs, hash))
        return EnqueueResult::AlreadyWaiting;
    Pending pending;
    pending.kind = Pending::Kind::Enqueue;
    pending.rxTimeMs = rxTimeMs;
    pending.hash = hash;
    pending.frame = frame.toByteArray();
    pending.body = body;
    m_bufferedEnqueues.insert({rxTimeMs, hash});
    push(std::move(pending));
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
        if (!m_bufferedOutcomes.contains(query.value(0).toLongLong()))
            return true;
    }
    return false;
}

void StoreWriter::record(qint64 entryId, Outcome outcome, const QString &reason)
{
    Pending pending;
    pending.kind = Pending::Kind::Outcome;
    pending.entryId = entryId;
    pending.outcome = outcome;
    pending.reason = reason;
    if (outcome != Outcome::FailedAttempt)
        m_bufferedOutcomes.insert(entryId);
    push(std::move(pending));
}

void StoreWriter::push(Pending &&pending)
{
    if (m_buffer.size() >= std::size_t(qMax(1, m_settings.maxBuffered))) {
        // Writes have failed for long: the oldest unsaved write goes, counted.
        const Pending &oldest = m_buffer.front();
        if (oldest.kind == Pending::Kind::Outcome) {
            m_bufferedOutcomes.remove(oldest.entryId); // the entry waits again (a duplicate at worst)
        } else {
            if (oldest.kind == Pending::Kind::Enqueue)
                m_bufferedEnqueues.remove({oldest.rxTimeMs, oldest.hash});
            ++m_droppedUnsaved;
        }
        m_buffer.pop_front();
    }
    m_buffer.push_back(std::move(pending));
    if (!m_timer.isActive())
        scheduleFlush(m_settings.batchDelayMs);
}

void StoreWriter::scheduleFlush(int delayMs)
{
    m_timer.start(delayMs);
}

bool StoreWriter::flush()
{
    if (m_buffer.empty() && m_storedWaiting <= m_settings.maxWaiting)
        return true; // nothing to write, nothing over a lowered limit
    qint64 waitingDelta = 0;
    qint64 dropped = 0;
    const QString error = commit(&waitingDelta, &dropped);
    if (!error.isEmpty()) {
        if (m_failure.isEmpty()) {
            m_failure = error;
            emit writeFailed(error);
        }
        scheduleFlush(m_settings.retryDelayMs);
        return false;
    }
    m_timer.stop();
    for (const Pending &pending : m_buffer) {
        if (pending.kind == Pending::Kind::Enqueue)
            m_newestStoredWaitingRx = qMax(m_newestStoredWaitingRx, pending.rxTimeMs);
    }
    m_buffer.clear();
    m_bufferedEnqueues.clear();
    m_bufferedOutcomes.clear();
    m_storedWaiting += waitingDelta - dropped;
    m_droppedOverLimit += dropped;
    if (!m_failure.isEmpty()) {
        m_failure.clear();
        emit writeRecovered();
    }
    return true;
}

QString StoreWriter::commit(qint64 *waitingDelta, qint64 *dropped)
{
    QSqlDatabase db = QSqlDatabase::database(m_connectionName, false);
    if (!db.isOpen())
        return QStringLiteral("the station database is not open");
    if (!db.transaction())
        return db.lastError().text();
    if (!m_statements) {
        m_statements = std::make_unique<Statements>(db);
        if (!m_statements->ok()) {
            const QString error = m_statements->error();
            m_statements.reset();
            db.rollback();
            return error;
        }
    }
    m_statements->beginCommit();
    QString error;
    for (auto it = m_buffer.begin(); error.isEmpty() && it != m_buffer.end(); ++it) {
        if (!m_statements->apply(*it, waitingDelta))
            error = m_statements->error();
    }
    if (error.isEmpty())
        error = m_statements->writeSummary();
    const qint64 excess = m_storedWaiting + *waitingDelta - m_settings.maxWaiting;
    if (error.isEmpty() && excess > 0) {
        QSqlQuery trim(db);
        trim.prepare(QStringLiteral("DELETE FROM upload_queue WHERE id IN (SELECT id FROM upload_queue "
                                    "WHERE state = 0 ORDER BY rx_time_ms, id LIMIT ?)"));
        trim.addBindValue(excess);
        if (trim.exec())
            *dropped = trim.numRowsAffected();
        else
            error = trim.lastError().text();
    }
    if (error.isEmpty() && !db.commit())
        error = db.lastError().text();
    if (!error.isEmpty()) {
        db.rollback();
        *waitingDelta = 0;
        *dropped = 0;
    }
    return error;
}

void StoreWriter::setMaxWaiting(qint64 maxWaiting)
{
    m_settings.maxWaiting = qMax<qint64>(1, maxWaiting);
}

std::pair<qint64, qint64> StoreWriter::takeDropped()
{
    return {std::exchange(m_droppedOverLimit, 0), std::exchange(m_droppedUnsaved, 0)};
}
