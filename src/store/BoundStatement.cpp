#include "store/BoundStatement.h"

#include "store/SqliteDialect.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

namespace {

// Any Qt SQL driver: QSqlQuery with positional values.
class QueryStatement final : public BoundStatement
{
public:
    explicit QueryStatement(const QSqlDatabase &db) : m_query(db) {}

    bool prepare(const QString &sql, QString *error)
    {
        if (m_query.prepare(sql))
            return true;
        *error = m_query.lastError().text();
        return false;
    }

    void bindInt64(int index, qint64 value) override { m_query.bindValue(index, value); }
    void bindDouble(int index, double value) override { m_query.bindValue(index, value); }
    void bindNull(int index) override { m_query.bindValue(index, QVariant(QMetaType::fromType<double>())); }
    void bindBlob(int index, QByteArrayView value) override { m_query.bindValue(index, value.toByteArray()); }
    // A null QString binds as SQL NULL; the text columns hold "" instead.
    void bindText(int index, const QString &value) override
    {
        m_query.bindValue(index, value.isNull() ? QStringLiteral("") : value);
    }
    bool exec() override { return m_query.exec(); }
    qint64 rowsAffected() const override { return m_query.numRowsAffected(); }
    qint64 lastInsertId() const override { return m_query.lastInsertId().toLongLong(); }
    QString error() const override { return m_query.lastError().text(); }

private:
    QSqlQuery m_query;
};

} // namespace

std::unique_ptr<BoundStatement> BoundStatement::prepare(const QSqlDatabase &db, const QString &sql, QString *error)
{
    if (std::unique_ptr<BoundStatement> native = SqliteDialect::prepareNative(db, sql, error))
        return native;
    if (!error->isEmpty())
        return nullptr;
    auto statement = std::make_unique<QueryStatement>(db);
    if (!statement->prepare(sql, error))
        return nullptr;
    return statement;
}
