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

#include <QDir>
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

        // The program itself, so its command dispatch is in the run too.
        const ProgramRun counts = runProgram(u"halvora1"_qs, {u"queue"_qs, u"--station-dir"_qs, dir.path()});
        QCOMPARE(counts.err, QByteArray());
        QCOMPARE(counts.exitCode, 0);
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

    // A damaged database is moved aside only when no station runs on the directory.
    void damagedDatabase_data()
    {
        QTest::addColumn<bool>("stationRuns");
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("out");
        QTest::addColumn<QByteArray>("err"); // a part of it
        QTest::newRow("station running: left in place") << true << 1 << QByteArray()
                                                       << QByteArray("is left in place while a station uses it");
        QTest::newRow("no station: moved aside") << false << 0
            << QByteArray("waiting: 0\nrejected: 0\ndelivered: 0\noldest waiting: none\n")
            << QByteArray("it was moved aside as halvora1.sqlite.damaged-");
    }

    void damagedDatabase()
    {
        QFETCH(bool, stationRuns);
        QFETCH(int, status);
        QFETCH(QByteArray, out);
        QFETCH(QByteArray, err);
        QTemporaryDir dir;
        const QString file = dir.filePath(QLatin1String(StationDatabase::FileName));
        const QByteArray garbage(4096, 'x');
        QVERIFY(writeFile(file, garbage));
        StationLock lock(dir.path());
        if (stationRuns)
            QCOMPARE(lock.tryLock(), QString());
        const CommandRun run = runCommand(runQueueCommand, {u"--station-dir"_qs, dir.path()});
        QCOMPARE(run.status, status);
        QCOMPARE(run.out, out);
        QVERIFY2(run.err.contains(err), run.err.constData());
        QCOMPARE(readFile(file) == garbage, stationRuns);
        QCOMPARE(QDir(dir.path()).entryList({u"*.damaged-*"_qs}).size(), stationRuns ? 0 : 1);
        QCOMPARE(lock.isLocked(), stationRuns); // the command's look at the lock leaves it as it was
    }

    void stationDirectoryOrder_data()
    {
        QTest::addColumn<bool>("explicitDir");
        QTest::addColumn<QString>("besideProgram"); // "file", "directory" or "" (nothing)
        QTest::addColumn<QString>("dirs"); // configuration|data|pictures: @chosen, @program or under @home
        const QString perUserDirs = u"@home/config/halvora1|@home/data/halvora1|@home/Pictures/halvora1"_qs;
        QTest::newRow("--station-dir wins over a portable file") << true << "file" << "@chosen|@chosen|@chosen";
        QTest::newRow("portable") << false << "file" << "@program|@program|@program";
        QTest::newRow("a directory named online_conf.ini is no configuration") << false << "directory" << perUserDirs;
    }

    void stationDirectoryOrder()
    {
        QFETCH(bool, explicitDir);
        QFETCH(QString, besideProgram);
        QFETCH(QString, dirs);
        QTemporaryDir program;
        QTemporaryDir chosen;
        const QString configuration = program.filePath(QLatin1String(StationDirectory::ConfigurationFileName));
        if (besideProgram == u"file")
            QVERIFY(writeFile(configuration, "MYCALL=N0CALL\n"));
        else if (besideProgram == u"directory")
            QVERIFY(QDir().mkpath(configuration));
        const StationDirectory directory =
            StationDirectory::resolve(explicitDir ? chosen.path() : QString(), program.path());
        dirs.replace(u"@chosen"_qs, chosen.path()).replace(u"@program"_qs, program.path()).replace(u"@home"_qs, m_home.path());
        QCOMPARE(QStringList({directory.configDir, directory.dataDir, directory.pictureDir}).join(u'|'), dirs);
    }

private:
    QTemporaryDir m_home;
};

QTEST_GUILESS_MAIN(QueueCommandTest)
#include "tst_commands_queue.moc"
