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

    void biasAndUtc()
    {
        // Minutes east of UTC from the zone's bias B, standard bias S, daylight bias D and state.
        QCOMPARE(int(timeZoneBiasFrom({-60, 0, -60, Daylight::DaylightInForce})), 120);
        QCOMPARE(int(timeZoneBiasFrom({0, 30, 0, Daylight::StandardInForce})), -30);
        QCOMPARE(int(timeZoneBiasFrom({-330, 0, -60, Daylight::NoDaylightSaving})), 330); // D ignored
        QCOMPARE(int(timeZoneBiasFrom({300, 0, -60, Daylight::Unknown})), -300);          // S counts
        // Just after local midnight east of UTC is the previous day in UTC.
        FakeTimeSource source;
        source.set(QDate(2026, 1, 1), QTime(0, 30, 0, 5), {-60, 0, -60, Daylight::DaylightInForce});
        const Clock clock(source);
        QCOMPARE(clock.timestampNow(), u"2025-12-31 22:30:00.005"_qs);
    }

    void stopsAtFailingStep_data()
    {
        QTest::addColumn<QByteArray>("config");   // null: no file
        QTest::addColumn<QString>("blockingDir"); // a directory where the capture file belongs
        QTest::addColumn<QString>("report");      // after "Error # n\r\n"
        QTest::addColumn<QStringList>("log");     // messages, newest first (connection lines excluded)
        const auto row = [](const char *name, const QByteArray &config, int number, const char *text,
                            const QStringList &log = {}, const QString &blockingDir = {}) {
            QTest::newRow(name) << config << blockingDir
                                << u"The following error occured: \r\nError # %1\r\n%2"_qs.arg(number).arg(
                                       (blockingDir.isEmpty() ? "online_conf.ini " : "%DIR%/") + QString::fromLatin1(text))
                                << log;
        };
        const QByteArray base = "SERVER=http://127.0.0.1:9/\r\nMYCALL=A\r\n";
        const auto settings = [](const char *port) { return u"%1 | http://127.0.0.1:9/ | A |  | "_qs.arg(QLatin1String(port)); };
        row("empty SERVER", "PORT=h:1\r\nMYCALL=A\r\nSERVER=\r\n", 380, "SERVER is empty");
        row("port out of range", base + "PORT=localhost:65536\r\n", 380, "Invalid property value", {settings("localhost:65536")});
        // The report names the capture file and ends with the operating system's reason.
        row("capture file cannot be created", base + "PORT=127.0.0.1:1\r\n", 75,
            "A_02082014_1305.kss Path/File access error: Is a directory",
            {"Winsock RemotePort: 1", "Winsock RemoteHost: 127.0.0.1", settings("127.0.0.1:1")}, u"A_02082014_1305.kss"_qs);
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
        QCOMPARE(h.messageBoxes, QStringList{"Open Error|" + report.replace(u"%DIR%"_qs, h.dir.path())});
        QStringList messages = h.logMessages();
        messages.removeIf([](const QString &m) { return m.startsWith(u"Winsock Error"_qs); });
        QCOMPARE(messages, log);
        QVERIFY(QDir(h.dir.path()).entryInfoList({u"*.kss"_qs}, QDir::Files).isEmpty());
        QCOMPARE(h.station->startupError()->exitStatus(), blockingDir.isEmpty() ? 78 : 74);
    }

    void completeStart()
    {
        StationHarness h("SCREENSHOT=NO\r\nPORT = 127.0.0.1:1 \r\nSERVER=http://s/\r\nMYCALL=../../DL0TST/P\r\n");
        h.station->start();
        QVERIFY(h.messageBoxes.isEmpty());
        // The callsign is made safe where it names a file: it stays in the station directory.
        const QFileInfo capture(h.station->captureFilePath());
        QCOMPARE(capture.absoluteFilePath(), QDir(h.dir.path()).absoluteFilePath(u"____DL0TST_P_02082014_1305.kss"_qs));
        QCOMPARE(capture.size(), 0);
    }

    void cleanupRemovesOnlyOwnEmptyFiles()
    {
        QTemporaryDir working;
        StationOptions options;
        options.workingDir = working.path();
        StationHarness h("PORT=127.0.0.1:1\r\nMYCALL=N0CALL\r\nSERVER=http://s/\r\n", options);
        h.station->start();
        const QStringList removed{"N0CALL_01012026_0000.kss", "OTHER_31122025_2359.TXT", "halvora1_05122026.bmp",
                                  "HALVORA1_05122026.png"};
        const QStringList kept{"Notes.TXT", "N0CALL_01012026_0001.kss.bak", "readme.kss", "N0CALL_02012026_0000.kss",
                               "empty_01012026_0000.kss"};
        for (const QString &name : removed + kept.mid(0, 3))
            QVERIFY(writeFile(working.filePath(name), {}));
        QVERIFY(writeFile(working.filePath(kept[3]), "x"));
        QVERIFY(QDir(working.path()).mkdir(kept[4]));

        h.station->finishClose();
        QStringList left = QDir(working.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot);
        QStringList expected = kept;
        left.sort();
        expected.sort();
        QCOMPARE(left, expected);
        QVERIFY(QFile::exists(h.path(u"online_conf.ini"_qs)));

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
