// The chart of one channel: its rows from the history, caption and labels, and how the view
// plots them.
#include "decode/TelemetryHistory.h"
#include "display/ChannelChart.h"
#include "display/gui/ChannelChartView.h"

#include <QCategoryAxis>
#include <QLineSeries>
#include <QTest>

namespace {

// Appends n records to a family; record i is received at 14:05 + i minutes (ADCS
// records carry no reception time) and holds i + 0.5 in every channel.
void fill(TelemetryHistory &history, Family family, int n)
{
    for (int i = 0; i < n; ++i) {
        TelemetryHistory::Record &record = history.append(family);
        const QTime time = QTime(14, 5).addSecs(60 * i);
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
        QTest::addColumn<int>("records"); // in each of the EPS, ADCS and CDHS families
        QTest::addColumn<QStringList>("labels"); // the first ones
        QTest::addColumn<int>("rows");

        QTest::newRow("CDHS rows labelled with reception time") << 59 << 3 << QStringList{"14:05", "14:06", "14:07"} << 3;
        QTest::newRow("ADCS rows labelled with row numbers") << 80 << 2 << QStringList{"1", "2"} << 2;
        QTest::newRow("channel 0 after an early stop") << 0 << 5 << QStringList{} << 0;
    }

    void draw()
    {
        QFETCH(int, channel);
        QFETCH(int, records);
        QFETCH(QStringList, labels);
        QFETCH(int, rows);

        TelemetryHistory history;
        for (Family family : {Family::EpsDebug, Family::AdcsMeasurement, Family::CdhsBeacon})
            fill(history, family, records);
        ChannelChart chart(history);
        chart.draw(channel, QStringLiteral("x"), QString());
        QCOMPARE(chart.rowCount(), rows);
        for (int i = 0; i < labels.size(); ++i)
            QCOMPARE(chart.row(i).label, labels[i]);
    }

    // A full history (the oldest records dropped): every kept record plotted, a subset of the
    // times as labels.
    void plot()
    {
        constexpr int points = 2000;
        TelemetryHistory history;
        fill(history, Family::EpsDebug, 2500);
        ChannelChart chart(history);
        chart.draw(1, QStringLiteral("Bus Voltage"), QStringLiteral("V"));

        ChannelChartView view;
        view.resize(713, 217);
        view.setSource(&chart);
        QTRY_COMPARE(view.series()->count(), points);
        QCOMPARE(view.labelAxis()->categoriesLabels().size(), 12);
        QCOMPARE(view.series()->at(points - 1).y(), chart.value(points - 1));
    }
};

QTEST_MAIN(TestChannelChart)
#include "tst_channelchart.moc"
