#include "PlotTesting.h"

#include "display/PlotRange.h"
#include "display/gui/PlotChartView.h"
#include "display/gui/PlotWindow.h"
#include "support/Programs.h"

#include <QChart>
#include <QImage>
#include <QLineSeries>
#include <QtTest>

#include <algorithm>

namespace {

constexpr int Frames = 3000;
constexpr int SpikeAt = 2222;
constexpr double Spike = 999;

double highest(const QLineSeries *series)
{
    const QList<QPointF> points = series->points();
    return std::max_element(points.begin(), points.end(), [](auto a, auto b) { return a.y() < b.y(); })->y();
}

} // namespace

// The Plots window on a real archive: one pass of 3000 EPS frames a second apart, with a spike
// on channel 14 and COM frames in between.
class PlotWindowTest : public QObject
{
    Q_OBJECT
private slots:
    void showsAndExportsChannels()
    {
        PlotArchive store;
        const qint64 start = utcMs("2026-12-06T18:00:00.000Z");
        for (int i = 0; i < Frames; ++i) {
            const qint64 time = start + i * 1000;
            const double channel14 = i == SpikeAt ? Spike : 100.0 + i % 5;
            store.archive->addFrame(plotFrame(time, Family::EpsDebug, {{1, 3.3}, {14, channel14}}));
            if (i % 10 == 0)
                store.archive->addFrame(plotFrame(time + 500, Family::ComHousekeeping, {{54, -70.0 - i % 3}}));
        }
        PlotWindow window(*store.archive);
        window.resize(1000, 600);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));

        QCOMPARE(window.range(), PlotRange::Kind::LastPass);
        window.showChannel(1);
        for (const int channel : {14, 54})
            window.setChannelShown(channel, true);
        // Min/max per pixel column: far fewer points than frames, and the single spike is kept.
        QLineSeries *spiky = window.seriesOf(14);
        QVERIFY(spiky->count() > 0 && spiky->count() <= 4 * window.chartView()->plotColumns());
        QCOMPARE(highest(spiky), Spike);
        QCOMPARE(window.chartView()->chart()->axes(Qt::Vertical).size(), 3); // one per unit
        window.setChannelShown(14, false);
        QVERIFY(!window.seriesOf(14));
        window.setChannelShown(49, true); // no such archived channel
        QVERIFY(window.lastError().contains(QStringLiteral("channel 49")));

        // Frames 10 .. 29 and the COM frames at 10.5 s and 20.5 s.
        window.setRange(PlotRange::Kind::All);
        window.setSpan(start + 10 * 1000, start + 30 * 1000);
        const QString csv = store.directory.filePath(QStringLiteral("shown.csv"));
        QCOMPARE(window.exportCsv(csv), QString());
        const QByteArray written = readFile(csv);
        QVERIFY2(written.startsWith("rx_time,packet_type,sat_time,1 Bus Voltage [V],54 RSSI [dB]\n"), written.constData());
        QCOMPARE(written.count('\n'), 1 + 22); // the header, then the frames of the span

        const QString png = store.directory.filePath(QStringLiteral("shown.png"));
        QCOMPARE(window.exportPng(png), QString());
        QCOMPARE(QImage::fromData(readFile(png)).size(), window.chartView()->size() * window.chartView()->devicePixelRatio());
        const QString nowhere = store.directory.filePath(QStringLiteral("missing/shown.csv"));
        QVERIFY(window.exportCsv(nowhere).contains(nowhere));
    }
};

QTEST_MAIN(PlotWindowTest)
#include "tst_plots.moc"
