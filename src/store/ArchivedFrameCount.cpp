#include "store/ArchivedFrameCount.h"

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
