#include "decode/TelemetryHistory.h"
#include "display/ChannelChart.h"
#include "display/gui/ChannelChartView.h"

#include <QCategoryAxis>
#include <QLineSeries>
#include <QTest>
#include <QValueAxis>

class TestChannelChartView : public QObject
{
    Q_OBJECT
private slots:
    void plot_data();
    void plot();
};

void TestChannelChartView::plot_data()
{
    QTest::addColumn<int>("channel");
    QTest::addColumn<int>("records");
    QTest::addColumn<int>("minutesApart"); // 0: all in one minute; -1: ADCS without times
    QTest::addColumn<int>("points");
    QTest::addColumn<QStringList>("labels");

    QTest::newRow("empty history") << 19 << 0 << 1 << 0 << QStringList{};
    QTest::newRow("three EPS records")
        << 19 << 3 << 1 << 3 << QStringList{"14:05", "14:06", "14:07"};
    QTest::newRow("two ADCS records") << 80 << 2 << -1 << 2 << QStringList{"1", "2"};
    QTest::newRow("full history shows a label subset")
        << 1 << 2500 << 1 << 2000
        << QStringList{"22:25", "01:12", "03:59", "06:46", "09:33", "12:20",
                       "15:07", "17:54", "20:41", "23:28", "02:15", "05:02"};
    QTest::newRow("one minute: a repeated label is shown once")
        << 1 << 30 << 0 << 30 << QStringList{"14:05"};
}

void TestChannelChartView::plot()
{
    QFETCH(int, channel);
    QFETCH(int, records);
    QFETCH(int, minutesApart);
    QFETCH(int, points);
    QFETCH(QStringList, labels);

    TelemetryHistory history;
    const Family family = *TelemetryHistory::familyOf(channel);
    for (int i = 0; i < records; ++i) {
        TelemetryHistory::Record &record = history.append(family);
        if (minutesApart >= 0) {
            const QTime time = QTime(14, 5).addSecs(60 * minutesApart * i);
            record.rxTime = QStringLiteral("2026-12-05 ") +
                            time.toString(QStringLiteral("HH:mm:ss")) + QStringLiteral(".000 UTC");
        }
        record.values[std::size_t(channel)] = (i % 7) - 3.0;
    }
    ChannelChart chart(history);
    chart.draw(channel, QStringLiteral("x"), QString());

    ChannelChartView view;
    view.resize(713, 217);
    view.setSource(&chart);
    QTRY_COMPARE(view.series()->count(), points);
    QCOMPARE(view.labelAxis()->categoriesLabels(), labels);
    if (points > 0) {
        QCOMPARE(view.series()->at(points - 1).y(), chart.value(points - 1));
        QVERIFY(view.valueAxis()->min() <= -3.0 || points < 7);
        QVERIFY(view.valueAxis()->max() >= chart.value(0));
    }
}

QTEST_MAIN(TestChannelChartView)
#include "tst_channelchartview.moc"
