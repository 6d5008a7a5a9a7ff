#pragma once

#include <QByteArrayView>
#include <QSqlDatabase>
#include <QString>

#include <memory>

// A prepared statement run many times with positional values (first value: index 0), for the
// writer's per-frame inserts. On SQLite it binds through the driver's own handle, which costs a
// fraction of Qt's per-value QVariant binding (SqliteDialect); on any other driver it is a plain
// QSqlQuery.
class BoundStatement
{
public:
    virtual ~BoundStatement() = default;

    virtual void bindInt64(int index, qint64 value) = 0;
    virtual void bindDouble(int index, double value) = 0;
    virtual void bindNull(int index) = 0;
    virtual void bindBlob(int index, QByteArrayView value) = 0;
    virtual void bindText(int index, const QString &value) = 0;

    // Runs the statement with the bound values, then clears them; false with error() set.
    virtual bool exec() = 0;
    virtual qint64 rowsAffected() const = 0;
    virtual qint64 lastInsertId() const = 0;
    virtual QString error() const = 0;

    // Prepares `sql` on `db` (natively on SQLite, else through QSqlQuery); nullptr with `*error`
    // set when it cannot be prepared.
    static std::unique_ptr<BoundStatement> prepare(const QSqlDatabase &db, const QString &sql, QString *error);
};
