#include "store/BoundStatement.h"
#include "store/SqliteDialect.h"

#include <QSqlDriver>
#include <QVariant>

#include <sqlite3.h>

namespace {

// A statement on the connection's own sqlite3 handle, used only on the thread that owns the
// connection. Blobs and texts are copied by SQLite at bind time (SQLITE_TRANSIENT).
class SqliteStatement final : public BoundStatement
{
public:
    SqliteStatement(sqlite3 *db, sqlite3_stmt *statement) : m_db(db), m_statement(statement) {}
    ~SqliteStatement() override { sqlite3_finalize(m_statement); }
    SqliteStatement(const SqliteStatement &) = delete;
    SqliteStatement &operator=(const SqliteStatement &) = delete;

    void bindInt64(int index, qint64 value) override { check(sqlite3_bind_int64(m_statement, index + 1, value)); }
    void bindDouble(int index, double value) override { check(sqlite3_bind_double(m_statement, index + 1, value)); }
    void bindNull(int index) override { check(sqlite3_bind_null(m_statement, index + 1)); }
    void bindBlob(int index, QByteArrayView value) override
    {
        // An empty blob, not NULL: SQLite binds NULL for a null pointer.
        check(sqlite3_bind_blob64(m_statement, index + 1, value.data() ? value.data() : "",
                                  sqlite3_uint64(value.size()), SQLITE_TRANSIENT));
    }
    void bindText(int index, const QString &value) override
    {
        const QByteArray utf8 = value.toUtf8();
        check(sqlite3_bind_text64(m_statement, index + 1, utf8.constData(), sqlite3_uint64(utf8.size()),
                                  SQLITE_TRANSIENT, SQLITE_UTF8));
    }

    bool exec() override
    {
        int result = m_bindResult;
        if (result == SQLITE_OK) {
            while ((result = sqlite3_step(m_statement)) == SQLITE_ROW) {
            }
        }
        if (result == SQLITE_DONE) {
            m_rowsAffected = sqlite3_changes64(m_db);
            m_lastInsertId = sqlite3_last_insert_rowid(m_db);
            m_error.clear();
        } else {
            m_error = QString::fromUtf8(sqlite3_errmsg(m_db));
        }
        sqlite3_reset(m_statement);
        sqlite3_clear_bindings(m_statement);
        m_bindResult = SQLITE_OK;
        return result == SQLITE_DONE;
    }
    qint64 rowsAffected() const override { return m_rowsAffected; }
    qint64 lastInsertId() const override { return m_lastInsertId; }
    QString error() const override { return m_error; }

private:
    void check(int result)
    {
        if (result != SQLITE_OK && m_bindResult == SQLITE_OK)
            m_bindResult = result; // reported by exec(), which then does not run the statement
    }

    sqlite3 *m_db;
    sqlite3_stmt *m_statement;
    int m_bindResult = SQLITE_OK;
    qint64 m_rowsAffected = 0;
    qint64 m_lastInsertId = 0;
    QString m_error;
};

} // namespace

namespace SqliteDialect {

std::unique_ptr<BoundStatement> prepareNative(const QSqlDatabase &db, const QString &sql, QString *error)
{
    const QVariant handle = db.driver() ? db.driver()->handle() : QVariant();
    if (db.driverName() != QLatin1String(DriverName) || !handle.isValid()
        || qstrcmp(handle.typeName(), "sqlite3*") != 0)
        return nullptr;
    sqlite3 *connection = *static_cast<sqlite3 *const *>(handle.constData());
    if (!connection)
        return nullptr;
    const QByteArray text = sql.toUtf8();
    sqlite3_stmt *statement = nullptr;
    if (sqlite3_prepare_v3(connection, text.constData(), int(text.size()), SQLITE_PREPARE_PERSISTENT, &statement,
                           nullptr) != SQLITE_OK) {
        *error = QString::fromUtf8(sqlite3_errmsg(connection));
        sqlite3_finalize(statement);
        return nullptr;
    }
    return std::make_unique<SqliteStatement>(connection, statement);
}

} // namespace SqliteDialect
