#include "app/Station.h"
#include "support/AgwLoopbackServer.h"
#include "support/StationHarness.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTest>

namespace {

QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

class TestDebugReport : public QObject
{
    Q_OBJECT
private slots:
    void exactBytes();
    void cases_data();
    void cases();
};

void TestDebugReport::exactBytes()
{
    AgwLoopbackServer engine;
    const QByteArray port = engine.portValue().section(u':', 1).toLatin1();

    const QByteArray config = "# station\r\nPORT=127.0.0.1:" + port +
                              "\r\nSERVER=http://127.0.0.1:1/x\r\nMYCALL=XR9ABC\r\n"
                              "QTH_LAT=52.1\r\nQTH_LONG=4.3\r\n";
    StationHarness h(config);
    h.clock.set(QDate(2026, 12, 5), QTime(13, 5, 9, 123));
    Station &station = *h.station;
    station.Form_Load();
    station.Winsock1_DataArrival(AgwLoopbackServer::rawFrameRecord(QByteArray::fromHex("004142")));
    station.Winsock1_DataArrival(AgwLoopbackServer::rawFrameRecord(QByteArray::fromHex("00FF")));
    station.MnuDebug_Click();

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
    QCOMPARE(readAll(h.path(QStringLiteral("XR9ABC_05122026_1305.txt"))), expected);
}

void TestDebugReport::cases_data()
{
    QTest::addColumn<QByteArray>("config");
    QTest::addColumn<bool>("removeConfigFirst");
    QTest::addColumn<bool>("blockTarget");
    QTest::addColumn<QString>("fileName");
    QTest::addColumn<bool>("written");

    QTest::newRow("without MYCALL the name starts with _")
        << QByteArray("PORT=127.0.0.1:1\r\n") << false << false << "_05122026_1305.txt" << true;
    QTest::newRow("configuration gone: its item is empty")
        << QByteArray("PORT=127.0.0.1:1\r\nMYCALL=AB1C\r\n") << true << false
        << "AB1C_05122026_1305.txt" << true;
    QTest::newRow("target cannot be written: logged, nothing left behind")
        << QByteArray("PORT=127.0.0.1:1\r\nMYCALL=AB1C\r\n") << false << true
        << "AB1C_05122026_1305.txt" << false;
}

void TestDebugReport::cases()
{
    QFETCH(QByteArray, config);
    QFETCH(bool, removeConfigFirst);
    QFETCH(bool, blockTarget);
    QFETCH(QString, fileName);
    QFETCH(bool, written);

    StationHarness h(config);
    h.clock.set(QDate(2026, 12, 5), QTime(13, 5, 9, 123));
    Station &station = *h.station;
    station.Form_Load();
    const QString configPath = h.path(QStringLiteral("online_conf.ini"));
    if (removeConfigFirst)
        QVERIFY(QFile::remove(configPath));
    // A directory of the report's name: the rename into place must fail.
    if (blockTarget)
        QVERIFY(QDir(h.dir.path()).mkdir(fileName));

    const QStringList before = QDir(h.dir.path()).entryList(QDir::Files);
    const auto logSize = station.activityLog().size();
    station.MnuDebug_Click();
    station.MnuDebug_Click(); // a second report within the minute replaces the first

    const QString path = h.path(fileName);
    if (written) {
        const QByteArray report = readAll(path);
        QVERIFY(report.endsWith("Narvek\r\n"));
        const QByteArray hyphens(52, '-');
        const QByteArray expectedConfig =
            hyphens + "\r\n" + (removeConfigFirst ? QByteArray() : config) + "\r\n" + hyphens;
        QVERIFY2(report.contains(expectedConfig), report.constData());
        QCOMPARE(station.activityLog().size(), logSize);
        QCOMPARE(QDir(h.dir.path()).entryList(QDir::Files).size(), before.size() + 1);
    } else {
        QVERIFY(QFileInfo(path).isDir());
        QCOMPARE(station.activityLog().size(), logSize + 2);
        QVERIFY(station.activityLog().front().contains(QStringLiteral("Debug file not written: ") +
                                                       path));
        QCOMPARE(QDir(h.dir.path()).entryList(QDir::Files), before); // no temporary file left
    }
    QVERIFY(!removeConfigFirst || !QFile::exists(configPath));
}

QTEST_GUILESS_MAIN(TestDebugReport)
#include "tst_debugreport.moc"
