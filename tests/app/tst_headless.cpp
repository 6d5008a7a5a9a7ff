// halvora1 as a user runs it: the command line, --headless against a loopback packet engine, the
// exit status of a failed start, and the first start in the user's folders.
#include "decode/SatelliteFrames.h"
#include "support/AgwLoopbackServer.h"
#include "support/HeadlessStation.h"
#include "support/Programs.h"

#include <QTemporaryDir>
#include <QDateTime>
#include <QDir>
#include <QTest>

#include <csignal>

class TestHeadless : public QObject
{
    Q_OBJECT
private slots:

    void unknownOptionIsAUsageError()
    {
        const ProgramRun run = runProgram(QStringLiteral("halvora1"), {u"--frobnicate"_qs});
        QCOMPARE(run.exitCode, 2);
        QVERIFY2(run.err.contains("Unknown option"), run.err);
    }

    // SIGTERM ends the stations of the end-to-end tests; SIGINT takes the same Exit path.
    void receivesAndExitsOnSigint()
    {
        AgwLoopbackServer server;
        QTemporaryDir dir;
        HeadlessStation station(dir.path());
        QVERIFY(station.writeConfiguration(server.portValue()));
        QVERIFY(station.start());
        QTRY_COMPARE_WITH_TIMEOUT(server.received().size(), 72, 10000);
        server.send(AgwLoopbackServer::rawFrameRecord(SatelliteFrames::Prefix));
        QTRY_VERIFY_WITH_TIMEOUT(station.output().contains("RX packets: 1"), 10000);

        ::kill(pid_t(station.process().processId()), SIGINT);
        QVERIFY(station.process().waitForFinished(10000));
        QCOMPARE(station.process().exitStatus(), QProcess::NormalExit);
        QCOMPARE(station.process().exitCode(), 0);
        QVERIFY(station.outputLines().contains(QStringLiteral("RX packets: 0 | HTTP POST OK: 0")));
        // The Exit path closed the capture file with the frame and its time record in it.
        const QList<CaptureFileReader::Record> records = station.captureRecords();
        QCOMPARE(records.size(), 2);
        QCOMPARE(records[0].data, SatelliteFrames::Prefix);
        QCOMPARE(records[1].kind, CaptureFileReader::Kind::TimeText);
    }

    // A station that cannot start says why on stderr and ends with a status a service manager
    // understands: 74 for files (78 for the configuration: the first start below).
    void startupErrorExitsWithStatus()
    {
        QTemporaryDir dir;
        QVERIFY(writeFile(dir.filePath(u"online_conf.ini"_qs), "PORT=127.0.0.1:1\r\nSERVER=http://s/\r\nMYCALL=A\r\n"));
        // Every capture file name of this minute (and the next) is taken by a directory.
        const QDateTime now = QDateTime::currentDateTimeUtc();
        for (const QDateTime &t : {now, now.addSecs(60)})
            QVERIFY(QDir(dir.path()).mkdir(u"A_"_qs + t.toString(u"ddMMyyyy_HHmm"_qs) + u".kss"_qs));
        const ProgramRun run = runProgram(u"halvora1"_qs, {u"--headless"_qs, u"--station-dir"_qs, dir.path()});
        QVERIFY2(run.err.contains("Open Error") && run.err.contains("Path/File access error: Is a directory"), run.err);
        QCOMPARE(run.exitCode, 74);
    }

    // Without --station-dir and without a portable configuration the station lives in the user's
    // folders: the first start writes a commented template there and exits with 78 (what the
    // template leaves to the user is the configuration test's).
    void firstStartWritesTemplateAndExits()
    {
        QTemporaryDir home;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(u"HOME"_qs, home.path());
        environment.insert(u"XDG_CONFIG_HOME"_qs, home.filePath(u"config"_qs));
        environment.insert(u"XDG_DATA_HOME"_qs, home.filePath(u"data"_qs));
        const QString config = home.filePath(u"config/halvora1/online_conf.ini"_qs);
        ProgramRun run = runProgram(u"halvora1"_qs, {u"--headless"_qs}, environment);
        QCOMPARE(run.exitCode, 78);
        QVERIFY2(run.err.contains(config.toUtf8()), run.err);
        const QByteArray text = readFile(config);
        QVERIFY(text.contains("\nPORT=") && text.contains("\nSERVER=") && text.contains("# "));
    }
};

QTEST_GUILESS_MAIN(TestHeadless)
#include "tst_headless.moc"
