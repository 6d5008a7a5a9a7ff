#include "app/Configuration.h"

#include <QTemporaryDir>
#include <QTest>

class TestConfiguration : public QObject
{
    Q_OBJECT
private slots:
    void reads_data();
    void reads();
    void reportText();
};

void TestConfiguration::reads_data()
{
    QTest::addColumn<QByteArray>("content"); // null: no file at all
    QTest::addColumn<QStringList>("expected"); // port, server, mycall, lat, long, image dir
    QTest::addColumn<int>("screenshot");       // -1 absent, 0 hidden, 1 shown
    QTest::addColumn<int>("errorNumber");      // 0: none

    const QString image = QStringLiteral("/prog/");
    QTest::newRow("all keys, CR LF")
        << QByteArray("PORT=localhost:8000\r\nSERVER=https://x.example/api\r\nMYCALL=N0CALL\r\n"
                      "QTH_LAT=48.1\r\nQTH_LONG=11.5\r\nIMAGE_PATH=/shots/\r\nSCREENSHOT=YES\r\n")
        << QStringList{"localhost:8000", "https://x.example/api", "N0CALL", "48.1", "11.5", "/shots/"}
        << 1 << 0;
    QTest::newRow("any order, comments and blank lines, LF, no final line end")
        << QByteArray("# station\n\nMYCALL=N0CALL\n#PORT=ignored:1\nPORT=h:1\n\nSERVER=s")
        << QStringList{"h:1", "s", "N0CALL", "", "", image} << -1 << 0;
    QTest::newRow("blanks around key and value are trimmed")
        << QByteArray("PORT = localhost:8000 \r\n  MYCALL  =  AB1CD  \r\n")
        << QStringList{"localhost:8000", "", "AB1CD", "", "", image} << -1 << 0;
    QTest::newRow("value keeps further equals signs")
        << QByteArray("SERVER=http://h/p?a=1&b=2\r\n")
        << QStringList{"", "http://h/p?a=1&b=2", "", "", "", image} << -1 << 0;
    QTest::newRow("blank then # with = is an unknown key")
        << QByteArray(" #PORT=x:1\r\nPORT=y:2\r\n")
        << QStringList{"y:2", "", "", "", "", image} << -1 << 0;
    QTest::newRow("later line wins, lower-case key ignored")
        << QByteArray("MYCALL=A\r\nmycall=B\r\nMYCALL=C\r\n")
        << QStringList{"", "", "C", "", "", image} << -1 << 0;
    QTest::newRow("screenshot yes in lower case hides")
        << QByteArray("SCREENSHOT=yes\r\n") << QStringList{"", "", "", "", "", image} << 0 << 0;
    QTest::newRow("screenshot empty hides")
        << QByteArray("SCREENSHOT=\r\n") << QStringList{"", "", "", "", "", image} << 0 << 0;
    QTest::newRow("line of blanks only is an error")
        << QByteArray("MYCALL=A\r\n   \r\nPORT=h:1\r\n")
        << QStringList{"", "", "A", "", "", image} << -1 << 5;
    QTest::newRow("blank then # without = is an error, earlier values stay")
        << QByteArray("MYCALL=A\r\nSCREENSHOT=NO\r\n # comment?\r\nPORT=h:1\r\n")
        << QStringList{"", "", "A", "", "", image} << 0 << 5;
    QTest::newRow("empty file") << QByteArray("") << QStringList{"", "", "", "", "", image} << -1
                                << 62;
    QTest::newRow("missing file") << QByteArray() << QStringList{"", "", "", "", "", image} << -1
                                  << 53;
    QTest::newRow("8-bit value carried through")
        << QByteArray("QTH_LAT=48\xb0 N\r\n")
        << QStringList{"", "", "", QString::fromLatin1("48\xb0 N"), "", image} << -1 << 0;
}

void TestConfiguration::reads()
{
    QFETCH(QByteArray, content);
    QFETCH(QStringList, expected);
    QFETCH(int, screenshot);
    QFETCH(int, errorNumber);

    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("online_conf.ini"));
    if (!content.isNull()) {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(content);
    }
    Configuration initial;
    initial.imageDir = QStringLiteral("/prog/");
    const ConfigurationReadResult result = readConfiguration(path, initial);
    const Configuration &c = result.configuration;
    QCOMPARE((QStringList{c.port, c.server, c.mycall, c.qthLat, c.qthLong, c.imageDir}), expected);
    QCOMPARE(c.screenshotButtonVisible.has_value() ? int(*c.screenshotButtonVisible) : -1,
             screenshot);
    QCOMPARE(result.error ? result.error->number : 0, errorNumber);
}

void TestConfiguration::reportText()
{
    QCOMPARE(StartupError::fileNotFound().reportText(),
             QStringLiteral("The following error occured: \r\nError # 53\r\n"
                            "online_conf.ini File not found"));
    QCOMPARE(StartupError::inputPastEndOfFile().reportText(),
             QStringLiteral("The following error occured: \r\nError # 62\r\n"
                            "online_conf.ini Input past end of file"));
}

QTEST_GUILESS_MAIN(TestConfiguration)
#include "tst_configuration.moc"
