// `halvora1 queue` on a real station database, beside a station that holds the directory's
// lock, and where the station directory is found: --station-dir, the program's directory when
// it holds online_conf.ini, else the per-user directories (XDG variables point at temp dirs).
#include "app/QueueCommand.h"
#include "app/StationDirectory.h"
#include "store/StationDatabase.h"
#include "store/StationLock.h"
#include "store/UploadQueueStore.h"
#include "support/CommandRun.h"
#include "support/Programs.h"

#include <QTemporaryDir>
#include <QTest>

namespace {

constexpr qint64 OldestRxMs = 1796581509123; // 2026-12-06T18:25:09.123Z

// Five entries: the oldest delivered, the next two rejected, two waiting.
void fillQueue(StationDatabase &database)
{
    UploadQueueStore queue(database);
    for (int i = 0; i < 5; ++i) {
        const qint64 rx = OldestRxMs - 3000 + i * 1000;
        QCOMPARE(queue.enqueue(rx, QByteArray("frame ") + QByteArray::number(i), "body"), EnqueueResult::Queued);
    }
    queue.markDelivered(queue.oldestWaiting()->id);
    queue.markRejected(queue.oldestWaiting()->id, u"HTTP/1.1 400 Bad Request"_qs);
    queue.markRejected(queue.oldestWaiting()->id, u"HTTP/1.1 400 Bad Request"_qs);
    QVERIFY(database.flush());
}

} // namespace

class QueueCommandTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY(m_home.isValid());
        qputenv("HOME", QFile::encodeName(m_home.path()));
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_home.filePath(u"config"_qs)));
        qputenv("XDG_DATA_HOME", QFile::encodeName(m_home.filePath(u"data"_qs)));
    }

    void countsBesideARunningStation()
    {
        QTemporaryDir dir;
        StationLock lock(dir.path());
        QCOMPARE(lock.tryLock(), QString());
        StationDatabase station;
        QVERIFY(station.open(dir.path()).ok);
        fillQueue(station);

        const CommandRun counts = runCommand(runQueueCommand, {u"--station-dir"_qs, dir.path()});
        QCOMPARE(counts.err, QByteArray());
        QCOMPARE(counts.status, 0);
        QCOMPARE(counts.out, QByteArray("waiting: 2\nrejected: 2\ndelivered: 1\n"
                                        "oldest waiting: 2026-12-06T18:25:09.123Z\n"));

        const CommandRun retried = runCommand(runQueueCommand, {u"--station-dir"_qs, dir.path(), u"--retry-rejected"_qs});
        QCOMPARE(retried.status, 0);
        QCOMPARE(retried.out, QByteArray("2 rejected frames put back to waiting\n"
                                         "waiting: 4\nrejected: 0\ndelivered: 1\n"
                                         "oldest waiting: 2026-12-06T18:25:07.123Z\n"));
        // The station still holds its lock and sees the change.
        QVERIFY(lock.isLocked());
        QCOMPARE(UploadQueueStore(station).statistics().waiting, qint64(4));
    }

    void emptyQueue()
    {
        QTemporaryDir dir;
        {
            StationDatabase database;
            QVERIFY(database.open(dir.path()).ok);
        }
        const CommandRun counts = runCommand(runQueueCommand, {u"--station-dir"_qs, dir.path()});
        QCOMPARE(counts.status, 0);
        QCOMPARE(counts.out, QByteArray("waiting: 0\nrejected: 0\ndelivered: 0\noldest waiting: none\n"));
    }

    void noDatabaseIsAnErrorAndCreatesNone()
    {
        QTemporaryDir dir;
        const CommandRun counts = runCommand(runQueueCommand, {u"--station-dir"_qs, dir.path()});
        QCOMPARE(counts.status, 1);
        QCOMPARE(counts.out, QByteArray());
        QVERIFY2(counts.err.startsWith("halvora1 queue: no station database at " +
                                       QFile::encodeName(dir.filePath(QLatin1String(StationDatabase::FileName)))),
                 counts.err.constData());
        QVERIFY(!QFile::exists(dir.filePath(QLatin1String(StationDatabase::FileName))));
    }

    void usageErrors_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::newRow("unknown option") << QStringList{u"--retry"_qs};
        QTest::newRow("stray argument") << QStringList{u"now"_qs};
        QTest::newRow("station-dir without a value") << QStringList{u"--station-dir"_qs};
    }
    void usageErrors()
    {
        QFETCH(QStringList, arguments);
        const CommandRun run = runCommand(runQueueCommand, arguments);
        QCOMPARE(run.status, 2);
        QVERIFY(run.err.contains("Try 'halvora1 queue --help'."));
    }

    // Without --station-dir the command reads the per-user data directory's database.
    void defaultsToThePerUserDataDirectory()
    {
        const QString data = m_home.filePath(u"data/halvora1"_qs);
        {
            QVERIFY(QDir().mkpath(data));
            StationDatabase database;
            QVERIFY(database.open(data).ok);
            fillQueue(database);
        }
        const CommandRun counts = runCommand(runQueueCommand, {});
        QCOMPARE(counts.status, 0);
        QVERIFY(counts.out.startsWith("waiting: 2\n"));
        QVERIFY(QFile::remove(QDir(data).filePath(QLatin1String(StationDatabase::FileName))));
    }

    void stationDirectoryOrder_data()
    {
        QTest::addColumn<bool>("explicitDir");
        QTest::addColumn<QString>("besideProgram"); // "file", "directory" or "" (nothing)
        QTest::addColumn<int>("kindNumber");
        QTest::newRow("--station-dir wins over a portable file") << true << u"file"_qs << int(StationDirectory::Kind::Explicit);
        QTest::newRow("--station-dir alone") << true << QString() << int(StationDirectory::Kind::Explicit);
        QTest::newRow("portable") << false << u"file"_qs << int(StationDirectory::Kind::Portable);
        QTest::newRow("per-user") << false << QString() << int(StationDirectory::Kind::PerUser);
        QTest::newRow("a directory named online_conf.ini is no configuration")
            << false << u"directory"_qs << int(StationDirectory::Kind::PerUser);
    }
    void stationDirectoryOrder()
    {
        QFETCH(bool, explicitDir);
        QFETCH(QString, besideProgram);
        QFETCH(int, kindNumber);
        const auto kind = StationDirectory::Kind(kindNumber);
        QTemporaryDir program;
        QTemporaryDir chosen;
        const QString configuration = program.filePath(QLatin1String(StationDirectory::ConfigurationFileName));
        if (besideProgram == u"file")
            QVERIFY(writeFile(configuration, "MYCALL=N0CALL\n"));
        else if (besideProgram == u"directory")
            QVERIFY(QDir().mkpath(configuration));

        const StationDirectory directory =
            StationDirectory::resolve(explicitDir ? chosen.path() : QString(), program.path());
        QCOMPARE(directory.kind, kind);
        QString expectedConfig, expectedData, expectedPictures;
        switch (kind) {
        case StationDirectory::Kind::Explicit:
            expectedConfig = expectedData = expectedPictures = chosen.path();
            break;
        case StationDirectory::Kind::Portable:
            expectedConfig = expectedData = expectedPictures = program.path();
            break;
        case StationDirectory::Kind::PerUser:
            expectedConfig = m_home.filePath(u"config/halvora1"_qs);
            expectedData = m_home.filePath(u"data/halvora1"_qs);
            expectedPictures = m_home.filePath(u"Pictures/halvora1"_qs);
            break;
        }
        QCOMPARE(directory.configDir, expectedConfig);
        QCOMPARE(directory.dataDir, expectedData);
        QCOMPARE(directory.pictureDir, expectedPictures);
        QCOMPARE(directory.configurationFile(), expectedConfig + u"/online_conf.ini"_qs);
        QVERIFY(directory.description().contains(expectedData));
    }

private:
    QTemporaryDir m_home;
};

QTEST_GUILESS_MAIN(QueueCommandTest)
#include "tst_commands_queue.moc"
