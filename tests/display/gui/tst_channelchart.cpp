// The chart of one channel: its rows from the history, caption and labels, and how the view
// plots them.
#include "decode/TelemetryHistory.h"
#include "display/ChannelChart.h"
#include "display/gui/ChannelChartView.h"

#include <QCategoryAxis>
#include <QLineSeries>
#include <QTest>
#include <QValueAxis>

namespace {

// Appends n records to a family; record i is received at 14:05 + i * minutesApart minutes (ADCS
// records carry no reception time) and holds i + 0.5 in every channel.
void fill(TelemetryHistory &history, Family family, int n, int minutesApart = 1)
{
    for (int i = 0; i < n; ++i) {
        TelemetryHistory::Record &record = history.append(family);
        const QTime time = QTime(14, 5).addSecs(60 * minutesApart * i);
        if (family != Family::AdcsMeasurement)
            record.rxTime = QStringLiteral("2026-12-05 %1:09.123 UTC").arg(time.toString(u"HH:mm"));
        record.values.fill(i + 0.5);
    }
}

} // namespace

class TestChannelChart : public QObject
{
    Q_OBJECT
private slots:

    void draw_data()
    {
        QTest::addColumn<int>("channel");
        QTest::addColumn<QString>("selectorCaption");
        QTest::addColumn<QString>("unit");
        QTest::addColumn<int>("records"); // in each of the EPS, ADCS and CDHS families
        QTest::addColumn<QString>("caption");
        QTest::addColumn<QStringList>("labels"); // the first ones
        QTest::addColumn<int>("rows");

        QTest::newRow("EPS rows labelled with reception time")
            << 19 << "Batt A Temp" << "C" << 3 << "Batt A Temp [C]" << QStringList{"14:05", "14:06", "14:07"} << 3;
        QTest::newRow("ADCS rows labelled with row numbers")
            << 80 << "Gyro 0 X" << QStringLiteral("\u00B0/s") << 2 << "Gyro 0 X [\u00B0/s]" << QStringList{"1", "2"} << 2;
        QTest::newRow("no unit, no brackets")
            << 51 << "Reset counts" << "" << 0 << "Reset counts" << QStringList{} << 0;
        QTest::newRow("oldest dropped beyond 2000")
            << 1 << "Bus Voltage" << "V" << 2001 << "Bus Voltage [V]" << QStringList{"14:06", "14:07"} << 2000;
        QTest::newRow("channel without a place in its record")
            << 66 << " " << "C" << 3 << "  [C]" << QStringList{} << 0;
        QTest::newRow("channel 0 after an early stop") << 0 << "" << "" << 5 << "" << QStringList{} << 0;
    }

    void draw()
    {
        QFETCH(int, channel);
        QFETCH(QString, selectorCaption);
        QFETCH(QString, unit);
        QFETCH(int, records);
        QFETCH(QString, caption);
        QFETCH(QStringList, labels);
        QFETCH(int, rows);

        TelemetryHistory history;
        for (Family family : {Family::EpsDebug, Family::AdcsMeasurement, Family::CdhsBeacon})
            fill(history, family, records);
        ChannelChart chart(history);
        chart.draw(channel, selectorCaption, unit);
        QCOMPARE(chart.caption(), caption);
        QCOMPARE(chart.rowCount(), rows);
        for (int i = 0; i < labels.size(); ++i)
            QCOMPARE(chart.row(i).label, labels[i]);
    }

    void followsNewRecordsWithoutRedraw()
    {
        TelemetryHistory history;
        ChannelChart chart(history);
        chart.draw(54, QStringLiteral("RSSI"), QStringLiteral("dB"));
        fill(history, Family::ComHousekeeping, 2);
        QCOMPARE(chart.rowCount(), 2);
        QCOMPARE(chart.row(1).label, QStringLiteral("14:06"));
    }

    void plot_data()
    {
        QTest::addColumn<int>("channel");
        QTest::addColumn<int>("records");
        QTest::addColumn<int>("minutesApart"); // 0: all in one minute
        QTest::addColumn<int>("points");
        QTest::addColumn<QStringList>("labels");

        QTest::newRow("full history shows a label subset")
            << 1 << 2500 << 1 << 2000
            << QStringList{"22:25", "01:12", "03:59", "06:46", "09:33", "12:20",
                           "15:07", "17:54", "20:41", "23:28", "02:15", "05:02"};
        QTest::newRow("one minute: a repeated label is shown once")
            << 1 << 30 << 0 << 30 << QStringList{"14:05"};
    }

    void plot()
    {
        QFETCH(int, channel);
        QFETCH(int, records);
        QFETCH(int, minutesApart);
        QFETCH(int, points);
        QFETCH(QStringList, labels);

        TelemetryHistory history;
        fill(history, *TelemetryHistory::familyOf(channel), records, minutesApart);
        ChannelChart chart(history);
        chart.draw(channel, QStringLiteral("x"), QString());

        ChannelChartView view;
        view.resize(713, 217);
        view.setSource(&chart);
        QTRY_COMPARE(view.series()->count(), points);
        QCOMPARE(view.labelAxis()->categoriesLabels(), labels);
        QCOMPARE(view.series()->at(points - 1).y(), chart.value(points - 1));
        QVERIFY(view.valueAxis()->min() <= chart.value(0) && view.valueAxis()->max() >= chart.value(points - 1));
    }

};

QTEST_MAIN(TestChannelChart)
#include "tst_channelchart.moc"
