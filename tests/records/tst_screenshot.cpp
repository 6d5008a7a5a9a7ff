#include "app/Station.h"
#include "records/Screenshot.h"
#include "support/StationHarness.h"

#include <QSignalSpy>
#include <QTest>

class TestScreenshot : public QObject
{
    Q_OBJECT
private slots:
    void names_data();
    void names();
    void bitmapNotWritten();
};

void TestScreenshot::names_data()
{
    QTest::addColumn<QString>("imageDir");
    QTest::addColumn<QDate>("localDate");
    QTest::addColumn<QString>("bitmap");
    QTest::addColumn<QString>("logLine");

    QTest::newRow("directory with separator")
        << "/shots/" << QDate(2026, 12, 5) << "/shots/halvora1_05122026.bmp"
        << "/shots/halvora1_05122026.png converted and saved\r\n";
    QTest::newRow("plain prefix without separator")
        << "/shots" << QDate(2026, 12, 5) << "/shotshalvora1_05122026.bmp"
        << "/shotshalvora1_05122026.png converted and saved\r\n";
    QTest::newRow("bmp in a folder name changes in the log only")
        << "/data/bmp/" << QDate(2027, 1, 31) << "/data/bmp/halvora1_31012027.bmp"
        << "/data/png/halvora1_31012027.png converted and saved\r\n";
    QTest::newRow("upper-case BMP stays")
        << "/BMP/" << QDate(2026, 2, 1) << "/BMP/halvora1_01022026.bmp"
        << "/BMP/halvora1_01022026.png converted and saved\r\n";
}

void TestScreenshot::names()
{
    QFETCH(QString, imageDir);
    QFETCH(QDate, localDate);
    QFETCH(QString, bitmap);
    QFETCH(QString, logLine);
    QCOMPARE(Screenshot::fileName(imageDir, localDate), bitmap);
    QCOMPARE(Screenshot::logLine(bitmap), logLine);
}

// The local date names the file, even when UTC is already on the next day.
void TestScreenshot::bitmapNotWritten()
{
    QTemporaryDir images;
    StationHarness h("PORT=127.0.0.1:1\r\nIMAGE_PATH=" + images.path().toUtf8() + "/missing/\r\n");
    TimeZoneInfo eastOfUtc;
    eastOfUtc.baseBias = -120;
    h.clock.set(QDate(2026, 12, 6), QTime(0, 30), eastOfUtc); // 22:30 UTC on the 5th
    Station &station = *h.station;
    station.Form_Load();
    QSignalSpy boxes(&station, &Station::messageBoxRequested);
    const QString clockBefore = station.clockText();

    QString asked;
    station.Command2_Click([&asked](const QString &path) -> std::optional<QString> {
        asked = path;
        return QStringLiteral("No such directory");
    });

    QCOMPARE(asked, images.path() + QStringLiteral("/missing/halvora1_06122026.bmp"));
    QCOMPARE(station.activityLog().front(),
             QStringLiteral("2026-12-05 22:30:00.000: Screenshot not saved: ") + asked +
                 QStringLiteral(": No such directory\r\n"));
    QCOMPARE(station.clockText(), clockBefore);
    QCOMPARE(boxes.size(), 0); // the converter was not started
}

QTEST_GUILESS_MAIN(TestScreenshot)
#include "tst_screenshot.moc"
