#include "store/SqliteDialect.h"

#include <QSqlQuery>
#include <QVariant>

namespace SqliteDialect {

namespace {

// SQLite's primary result codes for a damaged file.
constexpr int SqliteCorrupt = 11;
constexpr int SqliteNotADatabase = 26;

// The first row's first column of a statement, or the error.
QSqlError valueOf(QSqlDatabase &db, const QString &statement, QVariant *value)
{
    QSqlQuery query(db);
    if (!query.exec(statement))
        return query.lastError();
    if (query.next())
        *value = query.value(0);
    return {};
}

} // namespace

QSqlError applyConnectionSettings(QSqlDatabase &db, int busyTimeoutMs)
{
    // The busy timeout first: switching to WAL needs a moment of exclusive access.
    QVariant value;
    QSqlError error = valueOf(db, QStringLiteral("PRAGMA busy_timeout = %1").arg(busyTimeoutMs), &value);
    if (error.type() == QSqlError::NoError)
        error = valueOf(db, QStringLiteral("PRAGMA journal_mode = WAL"), &value);
    if (error.type() == QSqlError::NoError && value.toString().compare(u"wal", Qt::CaseInsensitive) != 0)
        error = QSqlError(QStringLiteral("the journal mode stays \"%1\" instead of WAL").arg(value.toString()),
                          {}, QSqlError::StatementError);
    if (error.type() == QSqlError::NoError)
        error = valueOf(db, QStringLiteral("PRAGMA synchronous = NORMAL"), &value);
    return error;
}

QSqlError schemaVersion(QSqlDatabase &db, int *version)
{
    QVariant value;
    const QSqlError error = valueOf(db, QStringLiteral("PRAGMA user_version"), &value);
    *version = value.toInt();
    return error;
}

QSqlError setSchemaVersion(QSqlDatabase &db, int version)
{
    QVariant value;
    return valueOf(db, QStringLiteral("PRAGMA user_version = %1").arg(version), &value);
}

QSqlError quickCheck(QSqlDatabase &db)
{
    QVariant value;
    const QSqlError error = valueOf(db, QStringLiteral("PRAGMA quick_check(1)"), &value);
    if (error.type() != QSqlError::NoError || value.toString() == u"ok")
        return error;
    return QSqlError(value.toString(), {}, QSqlError::UnknownError, QString::number(SqliteCorrupt));
}

QString smaller(const QString &a, const QString &b)
{
    return QStringLiteral("min(%1, %2)").arg(a, b);
}

QString larger(const QString &a, const QString &b)
{
    return QStringLiteral("max(%1, %2)").arg(a, b);
}

bool isDamage(const QSqlError &error)
{
    const int code = error.nativeErrorCode().toInt() & 0xff; // extended codes keep the primary low byte
    return code == SqliteCorrupt || code == SqliteNotADatabase;
}

} // namespace SqliteDialect
