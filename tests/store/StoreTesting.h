#pragma once

#include "store/ArchivedFrame.h"
#include "store/StationDatabase.h"

#include <QDir>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QVariant>

// Helpers for the station database tests: a second connection of its own (as another process
// would have) and frames to store.

// A plain SQLite connection to the station database in `directory`, closed on destruction.
class RawConnection
{
public:
    explicit RawConnection(const QString &directory) : m_name(QStringLiteral("raw-%1").arg(quintptr(this)))
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_name);
        db.setDatabaseName(QDir(directory).filePath(QLatin1String(StationDatabase::FileName)));
        db.open();
    }
    ~RawConnection()
    {
        db().close();
        QSqlDatabase::removeDatabase(m_name);
    }

    // Runs a statement; the error text, "" on success.
    QString exec(const QString &statement) const
    {
        QSqlQuery query(db());
        return query.exec(statement) ? QString() : query.lastError().text();
    }
    // The first column of the first row, or -1 when the statement fails or yields nothing.
    qint64 number(const QString &statement) const
    {
        QSqlQuery query(db());
        return query.exec(statement) && query.next() ? query.value(0).toLongLong() : -1;
    }

private:
    QSqlDatabase db() const { return QSqlDatabase::database(m_name, false); }

    QString m_name;
};

// A frame of `size` bytes derived from `seed`, so different seeds give different bytes.
inline QByteArray frameBytes(int seed, int size = 40)
{
    QByteArray bytes(size, '\0');
    for (int i = 0; i < size; ++i)
        bytes[i] = char((seed * 31 + i * 7) & 0xff);
    return bytes;
}

// An EPS debug data frame carrying channels 1..3 (3 = `value`); channel 4 not carried.
inline ArchivedFrame epsFrame(qint64 rxTimeMs, int seed, double value)
{
    ArchivedFrame frame;
    frame.rxTimeMs = rxTimeMs;
    frame.frame = frameBytes(seed);
    frame.packetType = QStringLiteral("EPS debug data");
    frame.satTime = QStringLiteral("2026-12-06 18:%1").arg(seed % 60, 2, 10, QLatin1Char('0'));
    frame.family = Family::EpsDebug;
    frame.present.set(1).set(2).set(3);
    frame.values[1] = 7.25;
    frame.values[2] = -1.5;
    frame.values[3] = value;
    return frame;
}

// A station database opened in a temporary directory of its own; a test cannot go on without it.
struct TempStore
{
    explicit TempStore(const StationDatabase::Options &options = {})
    {
        if (const StationDatabase::OpenResult opened = database.open(dir.path(), options); !opened.ok)
            qFatal("station database not opened: %s", qPrintable(opened.error));
    }

    QTemporaryDir dir;
    StationDatabase database;
};
