// halvora1 as a user runs it: --headless against a loopback packet engine, and the first start
// in the user's folders (its exit status also shows a failed start's status reaches the shell).
#include "decode/SatelliteFrames.h"
#include "support/AgwLoopbackServer.h"
#include "support/HeadlessStation.h"
#include "support/Programs.h"

#include <QTemporaryDir>
#include <QTest>

#include <csignal>

class TestHeadless : public QObject
{
    Q_OBJECT
private slots:

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

    // Without --station-dir and without a portable configuration the station lives in the user's
    // folders: the first start writes a commented template there and exits with 78 (what the
    // template leaves to the user is the configuration test's; the 74 of a file error, the
    // start-up test's).
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
