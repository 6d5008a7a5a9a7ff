// The debug report and the screenshot names: exact bytes, the file names, and what happens when
// a file cannot be written.
#include "app/Station.h"
#include "records/Screenshot.h"
#include "support/AgwLoopbackServer.h"
#include "support/Programs.h"
#include "support/StationHarness.h"

#include <QDir>
#include <QTest>

class TestRecords : public QObject
{
    Q_OBJECT
private slots:

    void debugReportBytes()
    {
        AgwLoopbackServer engine;
        const QByteArray port = engine.portValue().section(u':', 1).toLatin1();

        const QByteArray config = "# station\r\nPORT=127.0.0.1:" + port +
                                  "\r\nSERVER=http://127.0.0.1:1/x\r\nMYCALL=XR9ABC\r\n"
                                  "QTH_LAT=52.1\r\nQTH_LONG=4.3\r\n";
        StationHarness h(config);
        h.clock.set(QDate(2026, 12, 5), QTime(13, 5, 9, 123));
        Station &station = *h.station;
        station.start();
        station.handleRecord(AgwLoopbackServer::rawFrameRecord(QByteArray::fromHex("004142")));
        station.handleRecord(AgwLoopbackServer::rawFrameRecord(QByteArray::fromHex("00FF")));
        station.writeDebugReport();

        const QByteArray ts = "2026-12-05 13:05:09.123: ";
        const QByteArray hyphens(52, '-');
        const QByteArray expected =
            "Debugfile Halvora-1 Online Telemetry Decoder (Narvek)\r\n"
            "Version: 1.4\r\n" +
            hyphens + "\r\n" +
            ts + "Winsock RemotePort: " + port + "\r\n" +
            ts + "Winsock RemoteHost: 127.0.0.1\r\n" +
            ts + "127.0.0.1:" + port + " | http://127.0.0.1:1/x | XR9ABC | 52.1 | 4.3\r\n"
            "\r\n" +
            hyphens + "\r\n"
            "41 42 \r\n"
            "FF \r\n"
            "\r\n" +
            hyphens + "\r\n" +
            config + "\r\n" +
            hyphens + "\r\n"
            "thanks 73, Jorrel \r\n"
            "Narvek\r\n";
        QCOMPARE(readFile(h.path(QStringLiteral("XR9ABC_05122026_1305.txt"))), expected);
    }

    void debugReportNotWritten()
    {
        StationHarness h("PORT=127.0.0.1:1\r\nMYCALL=AB1C\r\nSERVER=http://127.0.0.1:9/\r\n");
        h.clock.set(QDate(2026, 12, 5), QTime(13, 5, 9, 123));
        h.station->start();
        const QString path = h.path(u"AB1C_05122026_1305.txt"_qs);
        QVERIFY(QDir().mkdir(path)); // the rename fails
        const QStringList before = QDir(h.dir.path()).entryList(QDir::Files);
        h.station->writeDebugReport();
        QVERIFY(h.station->log().entries().front().contains(u"Debug file not written: "_qs + path));
        QCOMPARE(QDir(h.dir.path()).entryList(QDir::Files), before); // no temporary file left
    }

    // The folder is a plain prefix (no separator added); "bmp" in a folder name changes in the
    // log line only.
    void screenshotNames()
    {
        QCOMPARE(Screenshot::fileName(u"/shots"_qs, QDate(2026, 12, 5)), u"/shotshalvora1_05122026.bmp"_qs);
        QCOMPARE(Screenshot::logLine(u"/shotshalvora1_05122026.bmp"_qs),
                 u"/shotshalvora1_05122026.png converted and saved\r\n"_qs);
        QCOMPARE(Screenshot::fileName(u"/data/bmp/"_qs, QDate(2027, 1, 31)), u"/data/bmp/halvora1_31012027.bmp"_qs);
        QCOMPARE(Screenshot::logLine(u"/data/bmp/halvora1_31012027.bmp"_qs),
                 u"/data/png/halvora1_31012027.png converted and saved\r\n"_qs);
    }

    // The local date names the file, even when UTC is already on the next day.
    void screenshotBitmapNotWritten()
    {
        QTemporaryDir images;
        StationHarness h("PORT=127.0.0.1:1\r\nMYCALL=A\r\nSERVER=http://127.0.0.1:9/\r\nIMAGE_PATH=" +
                         images.path().toUtf8() + "/missing/\r\n");
        h.clock.set(QDate(2026, 12, 6), QTime(0, 30), {-120}); // 22:30 UTC on the 5th
        h.station->start();
        const QString clockBefore = h.station->clockText();
        QString asked;
        h.station->takeScreenshot([&asked](const QString &path) -> std::optional<QString> {
            asked = path;
            return u"No such directory"_qs;
        });
        QCOMPARE(asked, images.path() + u"/missing/halvora1_06122026.bmp"_qs);
        QCOMPARE(h.station->log().entries().front(),
                 "2026-12-05 22:30:00.000: Screenshot not saved: " + asked + ": No such directory\r\n");
        QCOMPARE(h.station->clockText(), clockBefore); // nothing more done with a missing bitmap
    }
};

QTEST_GUILESS_MAIN(TestRecords)
#include "tst_records.moc"
