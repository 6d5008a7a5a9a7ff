#pragma once

#include "store/ArchivedFrame.h"
#include "store/StationDatabase.h"

#include <QDir>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QString>
#include <QVariant>

// Helpers for the station database tests: a second connection of its own (as another process
// would have) and frames to store.

// A plain SQLite connection to the station database in `directory`, closed on destruction.
class RawConnection
{
public:
    explicit RawConnection(const QString &directory)
        : m_name(QStringLiteral("raw-%1").arg(quintptr(this)))
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_name);
        db.setDatabaseName(QDir(directory).filePath(QLatin1String(StationDatabase::FileName)));
        db.open();
    }
    ~RawConnection()
    {
        {
            QSqlDatabase db = QSqlDatabase::database(m_name, false);
            db.close();
        }
        QSqlDatabase::removeDatabase(m_name);
    }
    RawConnection(const RawConnection &) = delete;
    RawConnection &operator=(const RawConnection &) = delete;

    QSqlDatabase db() const { return QSqlDatabase::database(m_name, false); }

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
        if (!query.exec(statement) || !query.next())
            return -1;
        return query.value(0).toLongLong();
    }

private:
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
    for (int channel = 1; channel <= 3; ++channel)
        frame.present.set(std::size_t(channel));
    frame.values[1] = 7.25;
    frame.values[2] = -1.5;
    frame.values[3] = value;
    return frame;
}
