#include "store/StoreStatements.h"

#include "store/ArchiveSchema.h"

#include <QSqlError>
#include <QVariant>

namespace {

// A null QString binds as SQL NULL; the text columns hold "" instead.
QString text(const QString &value)
{
    return value.isNull() ? QStringLiteral("") : value;
}

} // namespace

static_assert(std::tuple_size_v<decltype(ArchiveSchema::FamilyTables)> == 4, "one insert per family table");

StoreStatements::StoreStatements(const QSqlDatabase &db)
    : m_findFrame(db), m_completeFrame(db), m_delivered(db), m_failedAttempt(db), m_rejected(db), m_summary(db)
{
    m_findFrame.setForwardOnly(true);
    m_ok = m_findFrame.prepare(QStringLiteral("SELECT id FROM frames WHERE rx_time_ms = ? AND frame_hash = ?"))
        && m_completeFrame.prepare(QStringLiteral("UPDATE frames SET packet_type = ?, sat_time = ? "
                                                  "WHERE id = ? AND packet_type = ''"))
        && m_delivered.prepare(QStringLiteral("UPDATE upload_queue SET state = 1 WHERE id = ? AND state = 0"))
        && m_failedAttempt.prepare(QStringLiteral("UPDATE upload_queue SET attempts = attempts + 1, "
                                                  "last_error = ? WHERE id = ?"))
        && m_rejected.prepare(QStringLiteral("UPDATE upload_queue SET state = 2, attempts = attempts + 1, "
                                             "last_error = ? WHERE id = ? AND state = 0"));
    if (!m_ok) {
        m_error = db.lastError().text();
        return;
    }
    m_insertFrame = BoundStatement::prepare(db,
                                            QStringLiteral("INSERT INTO frames (rx_time_ms, frame_hash, frame, "
                                                           "packet_type, sat_time) VALUES (?, ?, ?, ?, ?) "
                                                           "ON CONFLICT (rx_time_ms, frame_hash) DO NOTHING"),
                                            &m_error);
    if (m_insertFrame)
        m_insertQueued = BoundStatement::prepare(db,
                                                 QStringLiteral("INSERT INTO upload_queue (frame_id, rx_time_ms, "
                                                                "state, body) VALUES (?, ?, 0, ?)"),
                                                 &m_error);
    m_ok = m_insertQueued != nullptr;
    for (const ArchiveSchema::FamilyTable &table : ArchiveSchema::FamilyTables) {
        if (!m_ok)
            break;
        QString marks;
        for (int channel = table.firstChannel; channel <= table.lastChannel; ++channel)
            marks += QStringLiteral(", ?");
        std::unique_ptr<BoundStatement> &insert = m_insertValues[std::size_t(table.family)];
        insert = BoundStatement::prepare(db,
                                         QStringLiteral("INSERT INTO %1 (frame_id, rx_time_ms, %2) VALUES (?, ?%3)")
                                             .arg(QLatin1String(table.table), ArchiveSchema::columnList(table), marks),
                                         &m_error);
        m_ok = insert != nullptr;
    }
}

bool StoreStatements::apply(const StoreWrite &write, qint64 *waitingDelta)
{
    switch (write.kind) {
    case StoreWrite::Kind::AddFrame:
        return addFrame(write);
    case StoreWrite::Kind::Enqueue:
        return enqueue(write, waitingDelta);
    case StoreWrite::Kind::Outcome:
        return recordOutcome(write, waitingDelta);
    }
    return false;
}

bool StoreStatements::run(QSqlQuery &query)
{
    if (query.exec())
        return true;
    m_error = query.lastError().text();
    return false;
}

bool StoreStatements::run(BoundStatement &statement)
{
    if (statement.exec())
        return true;
    m_error = statement.error();
    return false;
}

// The stored frame's id (0 on failure); stores the frame first when it is new. `*added` says
// whether it was new or only known from a queue entry (no packet type yet).
qint64 StoreStatements::frameIdFor(const StoreWrite &write, const QString &packetType, const QString &satTime,
                                   bool *added)
{
    // Insert first: a live frame is nearly always new, so one statement does.
    m_insertFrame->bindInt64(0, write.rxTimeMs);
    m_insertFrame->bindInt64(1, write.hash);
    m_insertFrame->bindBlob(2, write.frame);
    m_insertFrame->bindText(3, packetType);
    m_insertFrame->bindText(4, satTime);
    if (!run(*m_insertFrame))
        return 0;
    if (m_insertFrame->rowsAffected() == 1) {
        if (added)
            *added = true;
        return m_insertFrame->lastInsertId();
    }
    m_findFrame.addBindValue(write.rxTimeMs);
    m_findFrame.addBindValue(write.hash);
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

bool StoreStatements::addFrame(const StoreWrite &write)
{
    bool added = false;
    // A frame without a packet type name still gets one, so it is told from a queue-only row.
    const QString packetType = write.packetType.isEmpty() ? QStringLiteral("?") : write.packetType;
    const qint64 frameId = frameIdFor(write, packetType, write.satTime, &added);
    if (frameId == 0)
        return false;
    m_idsThisCommit.insert({write.rxTimeMs, write.hash}, frameId);
    if (!added || !write.family)
        return true;
    const ArchiveSchema::FamilyTable &table = ArchiveSchema::tableOf(*write.family);
    BoundStatement &insert = *m_insertValues[std::size_t(table.family)];
    insert.bindInt64(0, frameId);
    insert.bindInt64(1, write.rxTimeMs);
    for (int channel = table.firstChannel; channel <= table.lastChannel; ++channel) {
        const int index = channel - table.firstChannel;
        if (write.present.test(std::size_t(channel)))
            insert.bindDouble(2 + index, write.values[std::size_t(index)]);
        else
            insert.bindNull(2 + index);
    }
    if (!run(insert))
        return false;
    m_summary.add(table.family, write.rxTimeMs, write.present, write.values);
    return true;
}

bool StoreStatements::enqueue(const StoreWrite &write, qint64 *waitingDelta)
{
    // Usually archived a moment before in the same commit.
    qint64 frameId = m_idsThisCommit.value({write.rxTimeMs, write.hash});
    if (frameId == 0)
        frameId = frameIdFor(write, QString(), QString());
    if (frameId == 0)
        return false;
    m_insertQueued->bindInt64(0, frameId);
    m_insertQueued->bindInt64(1, write.rxTimeMs);
    m_insertQueued->bindBlob(2, write.body);
    if (!run(*m_insertQueued))
        return false;
    ++*waitingDelta;
    return true;
}

bool StoreStatements::recordOutcome(const StoreWrite &write, qint64 *waitingDelta)
{
    QSqlQuery *query = &m_delivered;
    if (write.outcome == StoreWrite::Outcome::Delivered) {
        m_delivered.addBindValue(write.entryId);
    } else {
        query = write.outcome == StoreWrite::Outcome::Rejected ? &m_rejected : &m_failedAttempt;
        query->addBindValue(text(write.reason));
        query->addBindValue(write.entryId);
    }
    if (!run(*query))
        return false;
    if (write.outcome != StoreWrite::Outcome::FailedAttempt)
        *waitingDelta -= query->numRowsAffected();
    return true;
}
