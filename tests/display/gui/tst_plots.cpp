#include "PlotTesting.h"

#include "display/PlotRange.h"
#include "display/gui/PlotChartView.h"
#include "display/gui/PlotWindow.h"
#include "support/Programs.h"

#include <QChart>
#include <QImage>
#include <QLineSeries>
#include <QValueAxis>
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
private:
    std::unique_ptr<PlotArchive> m_store;
    std::unique_ptr<PlotWindow> m_window;
    qint64 m_start = 0;

private slots:
    void init()
    {
        m_window.reset();
        m_store = std::make_unique<PlotArchive>();
        m_start = utcMs("2026-12-06T18:00:00.000Z");
        for (int i = 0; i < Frames; ++i) {
            const qint64 time = m_start + i * 1000;
            const double channel14 = i == SpikeAt ? Spike : 100.0 + i % 5;
            m_store->archive->addFrame(
                plotFrame(time, Family::EpsDebug, {{1, 3.3 + (i % 10) * 0.01}, {2, 5.0}, {14, channel14}}));
            if (i % 10 == 0)
                m_store->archive->addFrame(plotFrame(time + 500, Family::ComHousekeeping, {{54, -70.0 - i % 3}}));
        }
        m_window = std::make_unique<PlotWindow>(*m_store->archive);
        m_window->resize(1000, 600);
        m_window->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
    }

    void seriesAndOneAxisPerUnit()
    {
        QCOMPARE(m_window->range(), PlotRange::Kind::LastPass);
        m_window->showChannel(1);
        for (const int channel : {14, 2, 54})
            m_window->setChannelShown(channel, true);
        QLineSeries *spiky = m_window->seriesOf(14);
        // Min/max per pixel column: far fewer points than frames, and the single spike is kept.
        QVERIFY(spiky->count() > 0 && spiky->count() <= 4 * m_window->chartView()->plotColumns());
        QCOMPARE(highest(spiky), Spike);
        QCOMPARE(highest(m_window->seriesOf(1)), 3.39);

        QCOMPARE(m_window->chartView()->chart()->axes(Qt::Vertical).size(), 3);
        QValueAxis *volts = m_window->axisOfUnit(QStringLiteral("V"));
        QVERIFY(m_window->seriesOf(1)->attachedAxes().contains(volts));
        QVERIFY(m_window->seriesOf(2)->attachedAxes().contains(volts));
        // The axis spans its own unit's values only.
        QVERIFY(volts->min() <= 3.3 && volts->max() >= 5.0 && volts->max() < 100);

        m_window->setChannelShown(54, false);
        m_window->setChannelShown(14, false);
        QVERIFY(!m_window->seriesOf(14));
        QVERIFY(!m_window->axisOfUnit(QStringLiteral("dB")));
        QCOMPARE(m_window->chartView()->chart()->axes(Qt::Vertical).size(), 1);
        m_window->setChannelShown(49, true); // no such archived channel
        QVERIFY(m_window->lastError().contains(QStringLiteral("channel 49")));
    }

    void exportsWhatIsShown()
    {
        m_window->setChannelShown(54, true);
        m_window->setChannelShown(1, true);
        m_window->setRange(PlotRange::Kind::All);
        // Frames 10 .. 29 and the COM frames at 10.5 s and 20.5 s.
        m_window->setSpan(m_start + 10 * 1000, m_start + 30 * 1000);
        const QString csv = m_store->directory.filePath(QStringLiteral("shown.csv"));
        QCOMPARE(m_window->exportCsv(csv), QString());
        const QByteArray written = readFile(csv);
        QVERIFY2(written.startsWith("rx_time,packet_type,sat_time,1 Bus Voltage [V],54 RSSI [dB]\n"), written.constData());
        QCOMPARE(written.count('\n'), 1 + 22); // the header, then the frames of the span

        const QString png = m_store->directory.filePath(QStringLiteral("shown.png"));
        QCOMPARE(m_window->exportPng(png), QString());
        QCOMPARE(QImage::fromData(readFile(png)).size(), m_window->chartView()->size() * m_window->chartView()->devicePixelRatio());

        const QString nowhere = m_store->directory.filePath(QStringLiteral("missing/shown.csv"));
        QVERIFY(m_window->exportCsv(nowhere).contains(nowhere));
    }
};

QTEST_MAIN(PlotWindowTest)
#include "tst_plots.moc"
