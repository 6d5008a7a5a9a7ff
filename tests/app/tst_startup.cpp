// The clock, the start-up sequence stopping at each step, and the shutdown clean-up.
#include "app/Clock.h"
#include "app/Configuration.h"
#include "support/Programs.h"
#include "support/StationHarness.h"

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
        QTest::addColumn<QString>("report");
        QTest::addColumn<QStringList>("log");   // messages, newest first (connection lines excluded)

        const auto row = [](const char *name, const QByteArray &config, int number, const char *text,
                            const QStringList &log) {
            QTest::newRow(name) << config
                                << QStringLiteral("The following error occured: \r\nError # %1\r\n"
                                                  "online_conf.ini %2").arg(number).arg(QLatin1String(text))
                                << log;
        };
        const char *invalidCall = "Invalid procedure call or argument";
        row("missing file", QByteArray(), 53, "File not found", {});
        row("empty file", "", 62, "Input past end of file", {});
        row("line without =", "MYCALL=A\r\nPORT\r\n", 5, invalidCall, {});
        row("PORT without colon", "PORT=localhost\r\nMYCALL=A\r\n", 5, invalidCall, {"localhost |  | A |  | "});
        row("port not a number", "PORT=localhost:80a0\r\n", 13, "Type mismatch", {"localhost:80a0 |  |  |  | "});
        row("port out of range", "PORT=localhost:70000\r\n", 380, "Invalid property value",
            {"localhost:70000 |  |  |  | "});
        row("capture file cannot be created", "PORT=127.0.0.1:1\r\nMYCALL=no/such/dir\r\n", 75,
            "Path/File access error",
            {"Winsock RemotePort: 1", "Winsock RemoteHost: 127.0.0.1", "127.0.0.1:1 |  | no/such/dir |  | "});
    }

    void stopsAtFailingStep()
    {
        QFETCH(QByteArray, config);
        QFETCH(QString, report);
        QFETCH(QStringList, log);

        StationHarness h(config);
        h.station->start();
        QCOMPARE(h.messageBoxes, QStringList{"Open Error|" + report});
        QStringList messages = h.logMessages();
        messages.removeIf([](const QString &m) { return m.startsWith(QStringLiteral("Winsock Error")); });
        QCOMPARE(messages, log);
        QVERIFY(QDir(h.dir.path()).entryList({QStringLiteral("*.kss")}).isEmpty());
        QCOMPARE(h.station->display().selectedChannel(), 0); // the chart shows nothing
        QCOMPARE(h.station->statusLine(), QStringLiteral("RX packets: 0 | HTTP POST OK: 0"));
    }

    void completeStart()
    {
        StationHarness h("SCREENSHOT=NO\r\nPORT = 127.0.0.1:1 \r\n");
        h.station->start();
        QVERIFY(h.messageBoxes.isEmpty());
        QVERIFY(!h.station->screenshotButtonVisible());
        // No MYCALL: the name begins with "_".
        QCOMPARE(QFileInfo(h.station->captureFilePath()).fileName(), QStringLiteral("_02082014_1305.kss"));
        QCOMPARE(QFileInfo(h.station->captureFilePath()).size(), 0);
        QCOMPARE(h.station->display().unit(66), QStringLiteral("C"));
    }

    void cleanupRemovesOnlyOwnEmptyFiles()
    {
        QTemporaryDir working;
        StationOptions options;
        options.workingDir = working.path();
        StationHarness h("PORT=127.0.0.1:1\r\nMYCALL=N0CALL\r\n", options);
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
