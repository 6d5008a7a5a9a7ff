// The form body a satellite frame is reported with, and what a server reads back out of it.
#include "upload/FormFields.h"
#include "upload/UploadBody.h"

#include <QTest>

class TestUploadBody : public QObject
{
    Q_OBJECT
private slots:
    void body_data();
    void body();
    void serverReadsBackTheStationValues_data();
    void serverReadsBackTheStationValues();
};

void TestUploadBody::body_data()
{
    QTest::addColumn<QString>("mycall");
    QTest::addColumn<QString>("qthLat");
    QTest::addColumn<QString>("qthLong");
    QTest::addColumn<QString>("timestamp");
    QTest::addColumn<QString>("frameHex");
    QTest::addColumn<QString>("expected");

    const QString satellite = QStringLiteral("B0 A4 72 96 8E 40 62 B0 A4 72 96 40 40 77 03 AA ");
    QTest::newRow("all keys present")
        << "XR1ABC" << "52.0123" << "-4.5" << "2014-08-02 13:05:09.123" << satellite
        << "noradID=48263&source=XR1ABC&timestamp=2014-08-02T13:05:09.123Z"
           "&frame=B0 A4 72 96 8E 40 62 B0 A4 72 96 40 40 77 03 AA"
           "&locator=longLat&longitude=-4.5&latitude=52.0123&tncPort=0";
    QTest::newRow("MYCALL absent")
        << "" << "52" << "4" << "2026-12-31 23:59:59.999" << "03 "
        << "noradID=48263&source=&timestamp=2026-12-31T23:59:59.999Z&frame=03"
           "&locator=longLat&longitude=4&latitude=52&tncPort=0";
    QTest::newRow("QTH_LAT and QTH_LONG absent")
        << "XR1ABC" << "" << "" << "2026-01-01 00:00:00.000" << "03 "
        << "noradID=48263&source=XR1ABC&timestamp=2026-01-01T00:00:00.000Z&frame=03"
           "&locator=longLat&longitude=&latitude=&tncPort=0";
    QTest::newRow("form characters in the station values are encoded")
        << "XR1&noradID=1" << "50%+1" << "4=5&x" << "2026-01-01 00:00:00.000" << "03 "
        << "noradID=48263&source=XR1%26noradID%3D1&timestamp=2026-01-01T00:00:00.000Z&frame=03"
           "&locator=longLat&longitude=4%3D5%26x&latitude=50%25%2B1&tncPort=0";
    QTest::newRow("control characters are encoded, other bytes stay")
        << QStringLiteral("XR1/P \u00FC") << QStringLiteral("52\t1") << QStringLiteral("4\r\n\x7F")
        << "2026-01-01 00:00:00.000" << "03 "
        << QStringLiteral("noradID=48263&source=XR1/P \u00FC&timestamp=2026-01-01T00:00:00.000Z"
                          "&frame=03&locator=longLat&longitude=4%0D%0A%7F&latitude=52%091&tncPort=0");
    QTest::newRow("empty frame")
        << "XR1ABC" << "1" << "2" << "2026-01-01 00:00:00.000" << ""
        << "noradID=48263&source=XR1ABC&timestamp=2026-01-01T00:00:00.000Z&frame="
           "&locator=longLat&longitude=2&latitude=1&tncPort=0";
}

void TestUploadBody::body()
{
    QFETCH(QString, mycall);
    QFETCH(QString, qthLat);
    QFETCH(QString, qthLong);
    QFETCH(QString, timestamp);
    QFETCH(QString, frameHex);
    QFETCH(QString, expected);

    const QString body = buildUploadBody({mycall, qthLat, qthLong}, timestamp, frameHex);
    QCOMPARE(body, expected);

    // The frame keeps its plain blanks: n bytes give 3n - 1 characters.
    const FormFields fields = decodeFormFields(body.toLatin1());
    QCOMPARE(fields.size(), 8);
    const qsizetype bytes = frameHex.size() / 3;
    const QString frame = body.section(QStringLiteral("&frame="), 1).section(u'&', 0, 0);
    QCOMPARE(frame.size(), bytes == 0 ? 0 : 3 * bytes - 1);
}

void TestUploadBody::serverReadsBackTheStationValues_data()
{
    QTest::addColumn<QString>("value");
    QTest::newRow("plain callsign") << "XR1ABC-7";
    QTest::newRow("ampersand and equals") << "A&B=C&tncPort=9";
    QTest::newRow("percent sequences") << "%41%2";
    QTest::newRow("plus and blank") << "1 + 1";
    QTest::newRow("control and Latin-1") << QStringLiteral("\x01\x1F\x7F\u0085 \u00E9");
}

void TestUploadBody::serverReadsBackTheStationValues()
{
    QFETCH(QString, value);
    const QString body =
        buildUploadBody({value, value, value}, u"2026-01-01 00:00:00.000", u"B0 03 ");
    const FormFields fields = decodeFormFields(body.toLatin1());
    QCOMPARE(fields.size(), 8);
    // source, longitude and latitude come back exactly; no field was added or split.
    const QStringList names{"noradID", "source", "timestamp", "frame", "locator", "longitude",
                            "latitude", "tncPort"};
    for (int i = 0; i < 8; ++i)
        QCOMPARE(fields[i].first, names[i]);
    QCOMPARE(fields[1].second, value);
    QCOMPARE(fields[5].second, value);
    QCOMPARE(fields[6].second, value);
}

QTEST_GUILESS_MAIN(TestUploadBody)
#include "tst_UploadBody.moc"
