#include "store/StationDatabase.h"

#include "store/SchemaMigrations.h"
#include "store/SqliteDialect.h"

#include <QAtomicInteger>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSqlError>

namespace {

QString nextConnectionName()
{
    static QAtomicInteger<quint64> counter;
    return QStringLiteral("halvora-station-db-%1").arg(counter.fetchAndAddRelaxed(1));
}

bool failed(const QSqlError &error)
{
    return error.type() != QSqlError::NoError;
}

} // namespace

StationDatabase::StationDatabase(QObject *parent) : QObject(parent), m_connectionName(nextConnectionName())
{
}

StationDatabase::~StationDatabase()
{
    close();
}

QSqlDatabase StationDatabase::connection() const
{
    return QSqlDatabase::database(m_connectionName, false);
}

bool StationDatabase::flush()
{
    return m_writer && m_writer->flush();
}

StationDatabase::OpenResult StationDatabase::open(const QString &directory, const Options &options)
{
    close();
    m_filePath = QDir(directory).filePath(QLatin1String(FileName));
    OpenResult result;
    QString reason;
    Check check = openConnection(options, &reason);
    if (check == Check::Damaged && !options.moveDamagedAside) {
        dropConnection();
        result.error = QStringLiteral("The station database %1 is damaged (%2); it is left in place while a "
                                      "station uses it")
                           .arg(QDir::toNativeSeparators(m_filePath), reason);
        return result;
    }
    if (check == Check::Damaged) {
        dropConnection();
        const QString moveError = moveDamagedAside(&result.movedAsidePath);
        if (!moveError.isEmpty()) {
            result.error = QStringLiteral("The station database %1 is damaged (%2) and cannot be moved aside: %3")
                               .arg(QDir::toNativeSeparators(m_filePath), reason, moveError);
            return result;
        }
        result.notice = QStringLiteral("The station database %1 was damaged (%2); it was moved aside as %3 "
                                       "and a new one was created.")
                            .arg(QDir::toNativeSeparators(m_filePath), reason,
                                 QFileInfo(result.movedAsidePath).fileName());
        check = openConnection(options, &reason);
    }
    if (check != Check::Usable) {
        dropConnection();
        result.error = QStringLiteral("The station database %1 cannot be opened: %2")
                           .arg(QDir::toNativeSeparators(m_filePath), reason);
        return result;
    }
    m_writer = std::make_unique<StoreWriter>(m_connectionName, m_filePath, options.busyTimeoutMs, options.writer);
    connect(m_writer.get(), &StoreWriter::writeFailed, this, &StationDatabase::writeFailed);
    connect(m_writer.get(), &StoreWriter::writeRecovered, this, &StationDatabase::writeRecovered);
    const QString startError = m_writer->start();
    if (!startError.isEmpty()) {
        close();
        result.error = QStringLiteral("The station database %1 cannot be read: %2")
                           .arg(QDir::toNativeSeparators(m_filePath), startError);
        return result;
    }
    result.ok = true;
    return result;
}

StationDatabase::Check StationDatabase::openConnection(const Options &options, QString *reason)
{
    // A file that does not start as an SQLite database is not one, whatever else it holds.
    QFile file(m_filePath);
    if (file.exists() && file.size() > 0 && file.open(QIODevice::ReadOnly)) {
        static constexpr char Magic[] = "SQLite format 3";
        if (file.read(sizeof Magic) != QByteArray(Magic, sizeof Magic)) {
            *reason = QStringLiteral("not an SQLite database");
            return Check::Damaged;
        }
        file.close();
    }
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QLatin1String(SqliteDialect::DriverName), m_connectionName);
        db.setDatabaseName(m_filePath);
        if (!db.open()) {
            *reason = db.lastError().text();
            return SqliteDialect::isDamage(db.lastError()) ? Check::Damaged : Check::Failed;
        }
    }
    QSqlDatabase db = connection();
    QSqlError error = SqliteDialect::applyConnectionSettings(db, options.busyTimeoutMs);
    int version = 0;
    if (!failed(error))
        error = SqliteDialect::schemaVersion(db, &version);
    const qint64 size = QFileInfo(m_filePath).size();
    if (!failed(error) && (options.quickCheckMaxBytes < 0 || size <= options.quickCheckMaxBytes))
        error = SqliteDialect::quickCheck(db);
    if (failed(error)) {
        *reason = error.text();
        return SqliteDialect::isDamage(error) ? Check::Damaged : Check::Failed;
    }
    if (version > SchemaMigrations::CurrentVersion) {
        *reason = QStringLiteral("schema version %1 is newer than this program's %2")
                      .arg(version)
                      .arg(SchemaMigrations::CurrentVersion);
        return Check::Damaged;
    }
    *reason = SchemaMigrations::migrate(db, version);
    return reason->isEmpty() ? Check::Usable : Check::Failed;
}

QString StationDatabase::moveDamagedAside(QString *movedTo)
{
    const QString stamp = QDateTime::currentDateTimeUtc().toString(QStringLiteral("yyyyMMdd'T'HHmmss'Z'"));
    QString target = m_filePath + QStringLiteral(".damaged-") + stamp;
    for (int n = 2; QFile::exists(target); ++n)
        target = m_filePath + QStringLiteral(".damaged-%1-%2").arg(stamp).arg(n);
    QFile database(m_filePath);
    if (!database.rename(target))
        return database.errorString();
    // The journal files belong to the damaged file; left in place they would be replayed into the new one.
    for (const QLatin1String suffix : {QLatin1String("-wal"), QLatin1String("-shm")}) {
        QFile journal(m_filePath + suffix);
        if (journal.exists() && !journal.rename(target + suffix) && !journal.remove())
            return journal.errorString();
    }
    *movedTo = target;
    return {};
}

void StationDatabase::close()
{
    if (m_writer) {
        m_writer->flush();
        m_writer.reset();
    }
    dropConnection();
}

void StationDatabase::dropConnection()
{
    if (!QSqlDatabase::contains(m_connectionName))
        return;
    {
        QSqlDatabase db = connection();
        db.close();
    }
    QSqlDatabase::removeDatabase(m_connectionName);
}
