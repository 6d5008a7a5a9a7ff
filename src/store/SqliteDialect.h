#pragma once

#include <QSqlDatabase>
#include <QSqlError>
#include <QString>

#include <memory>

class BoundStatement;

// The one place that knows the database is SQLite: driver name, connection PRAGMAs, where the
// schema version lives, the integrity check, the column types and table options of CREATE TABLE,
// the two-value minimum and maximum, and statements bound through SQLite's own handle
// (SqliteStatement.cpp). Every other
// statement in store/ is plain SQL that another server (e.g. PostgreSQL through QPSQL) runs too.
namespace SqliteDialect {

inline constexpr char DriverName[] = "QSQLITE";
// A row id the database assigns on insert (SQLite: the rowid itself, no extra index).
inline constexpr char IdColumn[] = "INTEGER PRIMARY KEY";
inline constexpr char BytesType[] = "BLOB";
// Appended to CREATE TABLE of a table with a primary key and no row id: the rows live in the key's
// own b-tree, no second copy in an index (PostgreSQL: "").
inline constexpr char KeyedTableOptions[] = " WITHOUT ROWID";

// The smaller / larger of two values in an expression (PostgreSQL: LEAST / GREATEST).
QString smaller(const QString &a, const QString &b);
QString larger(const QString &a, const QString &b);

// WAL journal (readers never wait for the writer), synchronous NORMAL (a commit survives a
// crash of the process; a power cut may lose the last commits, never the file) and a busy
// timeout so another process's short write does not fail ours. Each returns an error of type
// NoError on success.
QSqlError applyConnectionSettings(QSqlDatabase &db, int busyTimeoutMs);

QSqlError schemaVersion(QSqlDatabase &db, int *version);
QSqlError setSchemaVersion(QSqlDatabase &db, int version);

// SQLite's quick integrity check; a file that fails it gives an error of its first complaint.
QSqlError quickCheck(QSqlDatabase &db);

// The error says the file is not a database or is malformed (not: locked, read-only, full).
bool isDamage(const QSqlError &error);

// `sql` prepared on the SQLite handle under `db` (values bound with sqlite3_bind_*, not through
// QVariant); nullptr when `db` is not SQLite (`*error` stays "") or the statement cannot be
// prepared (`*error` says why).
std::unique_ptr<BoundStatement> prepareNative(const QSqlDatabase &db, const QString &sql, QString *error);

} // namespace SqliteDialect
