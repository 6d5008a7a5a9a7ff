#include "app/Clock.h"
#include "support/FakeTimeSource.h"

#include <QTest>

using Daylight = TimeZoneInfo::Daylight;

class TestClock : public QObject
{
    Q_OBJECT
private slots:
    void bias_data();
    void bias();
    void utc_data();
    void utc();
    void timestampShape();
};

void TestClock::bias_data()
{
    QTest::addColumn<int>("b");
    QTest::addColumn<int>("s");
    QTest::addColumn<int>("d");
    QTest::addColumn<Daylight>("daylight");
    QTest::addColumn<int>("expected");

    QTest::newRow("east, summer time in force") << -60 << 0 << -60 << Daylight::DaylightInForce << 120;
    QTest::newRow("east, winter") << -60 << 0 << -60 << Daylight::StandardInForce << 60;
    QTest::newRow("no daylight saving ignores D") << -330 << 0 << -60 << Daylight::NoDaylightSaving << 330;
    QTest::newRow("unknown state uses S") << 300 << 0 << -60 << Daylight::Unknown << -300;
    QTest::newRow("west, summer time") << 300 << 0 << -60 << Daylight::DaylightInForce << -240;
    QTest::newRow("standard bias counts") << 0 << 30 << 0 << Daylight::StandardInForce << -30;
}

void TestClock::bias()
{
    QFETCH(int, b);
    QFETCH(int, s);
    QFETCH(int, d);
    QFETCH(Daylight, daylight);
    QFETCH(int, expected);
    QCOMPARE(int(timeZoneBiasFrom({b, s, d, daylight})), expected);
}

void TestClock::utc_data()
{
    QTest::addColumn<QDate>("localDate");
    QTest::addColumn<QTime>("localTime");
    QTest::addColumn<TimeZoneInfo>("zone");
    QTest::addColumn<QString>("timestamp");
    QTest::addColumn<QString>("utcSeconds");

    const TimeZoneInfo cest{-60, 0, -60, Daylight::DaylightInForce};
    const TimeZoneInfo utc{};
    const TimeZoneInfo newYork{300, 0, -60, Daylight::StandardInForce};
    QTest::newRow("summer time two hours east")
        << QDate(2014, 8, 2) << QTime(15, 5, 9, 123) << cest << "2014-08-02 13:05:09.123"
        << "2014-08-02 13:05:09";
    QTest::newRow("just after local midnight east of UTC is the previous day")
        << QDate(2026, 1, 1) << QTime(0, 30, 0, 5) << cest << "2025-12-31 22:30:00.005"
        << "2025-12-31 22:30:00";
    QTest::newRow("UTC midnight") << QDate(2026, 12, 6) << QTime(0, 0, 0, 0) << utc
                                  << "2026-12-06 00:00:00.000" << "2026-12-06 00:00:00";
    QTest::newRow("last millisecond of the day")
        << QDate(2026, 12, 5) << QTime(23, 59, 59, 999) << utc << "2026-12-05 23:59:59.999"
        << "2026-12-05 23:59:59";
    QTest::newRow("west of UTC moves to the next day")
        << QDate(2026, 2, 28) << QTime(20, 0, 0, 42) << newYork << "2026-03-01 01:00:00.042"
        << "2026-03-01 01:00:00";
}

void TestClock::utc()
{
    QFETCH(QDate, localDate);
    QFETCH(QTime, localTime);
    QFETCH(TimeZoneInfo, zone);
    QFETCH(QString, timestamp);
    QFETCH(QString, utcSeconds);

    FakeTimeSource source;
    source.set(localDate, localTime, zone);
    const Clock clock(source);
    QCOMPARE(clock.TimestampNow(), timestamp);
    QCOMPARE(clock.UtcNow().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")), utcSeconds);
    QCOMPARE(clock.UtcNow().time().msec(), 0);
}

void TestClock::timestampShape()
{
    // The system clock: whatever the moment, 23 characters in the fixed layout.
    SystemTimeSource system;
    const QString text = Clock(system).TimestampNow();
    QCOMPARE(text.size(), 23);
    QVERIFY2(QRegularExpression(QStringLiteral(R"(^\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3}$)"))
                 .match(text)
                 .hasMatch(),
             qPrintable(text));
    // The system zone's offset is what localtime reports, summer time included.
    const time_t now = time(nullptr);
    tm local{};
    localtime_r(&now, &local);
    QCOMPARE(int(Clock(system).TimeZoneBias()), int(local.tm_gmtoff / 60));
}

QTEST_GUILESS_MAIN(TestClock)
#include "tst_clock.moc"
