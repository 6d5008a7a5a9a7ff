// The clock, the start-up sequence stopping at each step, and the shutdown clean-up.
#include "app/Clock.h"
#include "app/Configuration.h"
#include "support/Programs.h"
#include "support/StationHarness.h"
#include "telemetry/ChannelTable.h"

#include <QDir>
#include <QTest>

using Daylight = TimeZoneInfo::Daylight;

class TestStartup : public QObject
{
    Q_OBJECT
private slots:

    void bias()
    {
        // Minutes east of UTC from the zone's bias B, standard bias S, daylight bias D and state.
        QCOMPARE(int(timeZoneBiasFrom({-60, 0, -60, Daylight::DaylightInForce})), 120);
        QCOMPARE(int(timeZoneBiasFrom({-60, 0, -60, Daylight::StandardInForce})), 60);
        QCOMPARE(int(timeZoneBiasFrom({0, 30, 0, Daylight::StandardInForce})), -30);
        QCOMPARE(int(timeZoneBiasFrom({-330, 0, -60, Daylight::NoDaylightSaving})), 330); // D ignored
        QCOMPARE(int(timeZoneBiasFrom({300, 0, -60, Daylight::Unknown})), -300);          // S counts
    }

    void utc_data()
    {
        QTest::addColumn<QDate>("localDate");
        QTest::addColumn<QTime>("localTime");
        QTest::addColumn<TimeZoneInfo>("zone");
        QTest::addColumn<QString>("timestamp");

        const TimeZoneInfo cest{-60, 0, -60, Daylight::DaylightInForce};
        const TimeZoneInfo utc{};
        QTest::newRow("summer time two hours east")
            << QDate(2014, 8, 2) << QTime(15, 5, 9, 123) << cest << "2014-08-02 13:05:09.123";
        QTest::newRow("just after local midnight east of UTC is the previous day")
            << QDate(2026, 1, 1) << QTime(0, 30, 0, 5) << cest << "2025-12-31 22:30:00.005";
        QTest::newRow("UTC midnight") << QDate(2026, 12, 6) << QTime(0, 0, 0, 0) << utc
                                      << "2026-12-06 00:00:00.000";
    }

    void utc()
    {
        QFETCH(QDate, localDate);
        QFETCH(QTime, localTime);
        QFETCH(TimeZoneInfo, zone);
        QFETCH(QString, timestamp);

        FakeTimeSource source;
        source.set(localDate, localTime, zone);
        const Clock clock(source);
        QCOMPARE(clock.timestampNow(), timestamp);
        // utcNow is the same moment in whole seconds.
        QCOMPARE(clock.utcNow().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz")), timestamp.left(20) + "000");
    }

    void timestampShape()
    {
        // The system clock: whatever the moment, 23 characters in the fixed layout.
        SystemTimeSource system;
        const QString text = Clock(system).timestampNow();
        QVERIFY2(QRegularExpression(QStringLiteral(R"(^\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3}$)"))
                     .match(text)
                     .hasMatch(),
                 qPrintable(text));
    }

    void stopsAtFailingStep_data()
    {
        QTest::addColumn<QByteArray>("config"); // null: no file
        QTest::addColumn<QString>("blockingDir"); // a directory where the capture file belongs
        QTest::addColumn<QString>("report");    // after "Error # n\r\n"
        QTest::addColumn<QStringList>("log");   // messages, newest first (connection lines excluded)

        const auto row = [](const char *name, const QByteArray &config, int number, const QString &text,
                            const QStringList &log, const QString &blockingDir = QString()) {
            QTest::newRow(name) << config << blockingDir
                                << QStringLiteral("The following error occured: \r\nError # %1\r\n%2")
                                       .arg(number).arg(text)
                                << log;
        };
        const QByteArray base = "SERVER=http://127.0.0.1:9/\r\nMYCALL=A\r\n";
        const QString invalidCall = QStringLiteral("online_conf.ini Invalid procedure call or argument");
        const auto settings = [](const char *port) {
            return QStringLiteral("%1 | http://127.0.0.1:9/ | A |  | ").arg(QLatin1String(port));
        };
        row("missing file", QByteArray(), 53, QStringLiteral("online_conf.ini File not found"), {});
        row("empty file", "", 62, QStringLiteral("online_conf.ini Input past end of file"), {});
        row("line without =", "MYCALL=A\r\nPORT\r\n", 5, invalidCall, {});
        row("empty SERVER", "PORT=h:1\r\nMYCALL=A\r\nSERVER=\r\n", 380,
            QStringLiteral("online_conf.ini SERVER is empty"), {});
        row("no MYCALL", "PORT=h:1\r\nSERVER=http://s/\r\n", 380,
            QStringLiteral("online_conf.ini MYCALL is empty"), {});
        row("PORT without colon", base + "PORT=localhost\r\n", 5, invalidCall, {settings("localhost")});
        row("port not a number", base + "PORT=localhost:80a0\r\n", 13,
            QStringLiteral("online_conf.ini Type mismatch"), {settings("localhost:80a0")});
        row("port out of range", base + "PORT=localhost:65536\r\n", 380,
            QStringLiteral("online_conf.ini Invalid property value"), {settings("localhost:65536")});
        // The report names the capture file and ends with the operating system's reason.
        row("capture file cannot be created", base + "PORT=127.0.0.1:1\r\n", 75,
            QStringLiteral("%DIR%/A_02082014_1305.kss Path/File access error: Is a directory"),
            {"Winsock RemotePort: 1", "Winsock RemoteHost: 127.0.0.1", settings("127.0.0.1:1")},
            QStringLiteral("A_02082014_1305.kss"));
    }

    void stopsAtFailingStep()
    {
        QFETCH(QByteArray, config);
        QFETCH(QString, blockingDir);
        QFETCH(QString, report);
        QFETCH(QStringList, log);

        StationHarness h(config);
        if (!blockingDir.isEmpty())
            QVERIFY(QDir(h.dir.path()).mkdir(blockingDir));
        h.station->start();
        report.replace(QStringLiteral("%DIR%"), h.dir.path());
        QCOMPARE(h.messageBoxes, QStringList{"Open Error|" + report});
        QStringList messages = h.logMessages();
        messages.removeIf([](const QString &m) { return m.startsWith(QStringLiteral("Winsock Error")); });
        QCOMPARE(messages, log);
        QVERIFY(QDir(h.dir.path()).entryInfoList({QStringLiteral("*.kss")}, QDir::Files).isEmpty());
        QCOMPARE(h.station->display().selectedChannel(), 0); // the chart shows nothing
        QCOMPARE(h.station->statusLine(), QStringLiteral("RX packets: 0 | HTTP POST OK: 0"));
        // The window still shows what each box means.
        QCOMPARE(h.station->display().caption(1), ChannelTable::captionOf(1));
        QCOMPARE(h.station->startupError()->exitStatus(), blockingDir.isEmpty() ? 78 : 74);
    }

    void completeStart()
    {
        StationHarness h("SCREENSHOT=NO\r\nPORT = 127.0.0.1:1 \r\nSERVER=http://s/\r\nMYCALL=../../DL0TST/P\r\n");
        h.station->start();
        QVERIFY(h.messageBoxes.isEmpty());
        QVERIFY(!h.station->screenshotButtonVisible());
        // The callsign is made safe where it names a file: it stays in the station directory.
        QCOMPARE(QFileInfo(h.station->captureFilePath()).fileName(),
                 QStringLiteral("____DL0TST_P_02082014_1305.kss"));
        QCOMPARE(QFileInfo(h.station->captureFilePath()).absolutePath(), QDir(h.dir.path()).absolutePath());
        QCOMPARE(QFileInfo(h.station->captureFilePath()).size(), 0);
        QCOMPARE(h.station->display().unit(66), QStringLiteral("C"));
    }

    void cleanupRemovesOnlyOwnEmptyFiles()
    {
        QTemporaryDir working;
        StationOptions options;
        options.workingDir = working.path();
        StationHarness h("PORT=127.0.0.1:1\r\nMYCALL=N0CALL\r\nSERVER=http://s/\r\n", options);
        h.station->start();

        const QStringList removed{"N0CALL_01012026_0000.kss", "OTHER_31122025_2359.TXT",
                                  "halvora1_05122026.bmp", "HALVORA1_05122026.png"};
        const QStringList kept{"Notes.TXT", "N0CALL_01012026_0001.kss.bak", "readme.kss"};
        for (const QString &name : removed + kept)
            QVERIFY(writeFile(working.filePath(name), {}));
        QVERIFY(writeFile(working.filePath(QStringLiteral("N0CALL_02012026_0000.kss")), "x"));
        QVERIFY(QDir(working.path()).mkdir(QStringLiteral("empty_01012026_0000.kss")));

        h.station->finishClose();
        const QStringList left = QDir(working.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot);
        for (const QString &name : removed)
            QVERIFY2(!left.contains(name), qPrintable(name));
        for (const QString &name : kept + QStringList{"N0CALL_02012026_0000.kss", "empty_01012026_0000.kss"})
            QVERIFY2(left.contains(name), qPrintable(name));
        QVERIFY(QFile::exists(h.path(QStringLiteral("online_conf.ini"))));

        // The run's own empty capture file: the close-box path leaves it (still open); Exit
        // closes it first, so its clean-up removes it.
        const QString capture = h.station->captureFilePath();
        QVERIFY(QFile::exists(capture));
        h.station->exit();
        QVERIFY(!QFile::exists(capture));
    }

};

QTEST_GUILESS_MAIN(TestStartup)
#include "tst_startup.moc"
