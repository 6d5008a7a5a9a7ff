#pragma once

#include "store/StoreWriter.h"

#include <QObject>
#include <QSqlDatabase>
#include <QString>

#include <memory>

// The station database: the file halvora1.sqlite in the station directory, its own connection,
// the schema, and the buffered writer. The Station owns one; the command-line readers and
// writers open their own on the same directory. UploadQueueStore and TelemetryArchive work on it.
class StationDatabase : public QObject
{
    Q_OBJECT
public:
    static constexpr char FileName[] = "halvora1.sqlite";

    struct Options
    {
        int busyTimeoutMs = 2000;  // how long a write waits for another process's write
        // SQLite's quick integrity check at open reads the whole file (about 2 s for a million
        // frames), so it runs only on files up to this size; larger ones rely on SQLite's own
        // "malformed" errors, which the writer reports. -1: always, 0: never.
        qint64 quickCheckMaxBytes = 64 * 1024 * 1024;
        // A damaged file is moved aside and a new one made; false: it is left in place and the
        // open fails (a command beside a running station must not pull the file from under it).
        bool moveDamagedAside = true;
        StoreWriter::Settings writer;
    };

    struct OpenResult
    {
        bool ok = false;
        QString error;           // why the database cannot be used (ok false)
        QString notice;          // a damaged file was moved aside: for the log and a message box
        QString movedAsidePath;  // where the damaged file went ("" if none)
    };

    explicit StationDatabase(QObject *parent = nullptr);
    ~StationDatabase() override; // writes what is buffered

    // Opens (and creates, migrates or replaces a damaged) halvora1.sqlite in `directory`.
    OpenResult open(const QString &directory, const Options &options);
    OpenResult open(const QString &directory) { return open(directory, Options()); }
    void close();
    bool isOpen() const { return m_writer != nullptr; }
    QString filePath() const { return m_filePath; }

    // This instance's connection (valid while open), for the queue and archive classes.
    QSqlDatabase connection() const;
    StoreWriter &writer() { return *m_writer; }

    // Commits the buffered writes now; false when they could not be written (see writeFailed).
    bool flush();

signals:
    // Writing failed (once per outage, with SQLite's reason) / works again.
    void writeFailed(const QString &reason);
    void writeRecovered();

private:
    enum class Check { Usable, Damaged, Failed };
    Check openConnection(const Options &options, QString *reason);
    QString moveDamagedAside(QString *movedTo);
    void dropConnection();

    QString m_connectionName;
    QString m_filePath;
    std::unique_ptr<StoreWriter> m_writer;
};
