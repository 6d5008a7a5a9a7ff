#include "store/ArchiveQueries.h"

#include "store/ArchiveSchema.h"
#include "store/StationDatabase.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

qint64 countArchivedFrames(StationDatabase &database, qint64 fromMs, qint64 toMs, QString *error)
{
    if (!database.isOpen()) {
        *error = QStringLiteral("the station database is not open");
        return -1;
    }
    if (!database.flush()) {
        *error = QStringLiteral("the buffered frames cannot be written");
        return -1;
    }
    QSqlQuery query(database.connection());
    query.setForwardOnly(true);
    query.prepare(QStringLiteral("SELECT COUNT(*) FROM frames "
                                 "WHERE rx_time_ms >= ? AND rx_time_ms <= ? AND packet_type <> ''"));
    query.addBindValue(fromMs);
    query.addBindValue(toMs);
    if (!query.exec() || !query.next()) {
        *error = query.lastError().text();
        return -1;
    }
    return query.value(0).toLongLong();
}

ArchivedFrame::Present channelsWithValues(StationDatabase &database, const ArchivedFrame::Present &wanted,
                                          qint64 fromMs, qint64 toMs, QString *error)
{
    ArchivedFrame::Present found;
    if (!database.isOpen()) {
        *error = QStringLiteral("the station database is not open");
        return found;
    }
    database.flush();
    QSqlQuery query(database.connection());
    query.setForwardOnly(true);
    for (int channel = 1; channel < int(wanted.size()); ++channel) {
        const ArchiveSchema::FamilyTable *table = ArchiveSchema::tableOfChannel(channel);
        if (!table || !wanted.test(std::size_t(channel)))
            continue;
        // EXISTS stops at the first value: one short look-up for a channel that has values.
        query.prepare(QStringLiteral("SELECT EXISTS (SELECT 1 FROM %1 WHERE rx_time_ms >= ? "
                                     "AND rx_time_ms < ? AND %2 IS NOT NULL)")
                          .arg(QLatin1String(table->table), ArchiveSchema::columnOf(channel)));
        query.addBindValue(fromMs);
        query.addBindValue(toMs);
        if (!query.exec() || !query.next()) {
            *error = query.lastError().text();
            return {};
        }
        if (query.value(0).toBool())
            found.set(std::size_t(channel));
        query.finish();
    }
    return found;
}
