#include "PlotTesting.h"

#include "display/PlotRange.h"
#include "display/gui/PlotChartView.h"
#include "display/gui/PlotWindow.h"
#include "support/Programs.h"

#include <QLineSeries>
#include <QtTest>

namespace {

void sendMouse(QWidget *target, QEvent::Type type, const QPoint &position, Qt::MouseButton button,
               Qt::MouseButtons buttons)
{
    QMouseEvent event(type, QPointF(position), target->mapToGlobal(QPointF(position)), button, buttons,
                      Qt::NoModifier);
    QApplication::sendEvent(target, &event);
}

} // namespace

// The Plots window on a real archive: one pass of 3000 EPS frames a second apart, with COM frames
// in between. Which points the plots keep is checked on the series cache.
class PlotWindowTest : public QObject
{
    Q_OBJECT
private slots:
    void showsAndExportsChannels()
    {
        PlotArchive store;
        const qint64 start = utcMs("2026-12-06T18:00:00.000Z");
        for (int i = 0; i < 3000; ++i) {
            const qint64 time = start + i * 1000;
            store.archive->addFrame(plotFrame(time, Family::EpsDebug, {{1, 3.3 + i % 5}}));
            if (i % 10 == 0)
                store.archive->addFrame(plotFrame(time + 500, Family::ComHousekeeping, {{54, -70.0 - i % 3}}));
        }
        PlotWindow window(*store.archive);
        window.resize(1000, 600);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));

        QCOMPARE(window.range(), PlotRange::Kind::LastPass);
        window.showChannel(1);
        window.setChannelShown(54, true);
        // Min/max per pixel column: far fewer points than frames.
        const QLineSeries *series = window.seriesOf(1);
        QVERIFY(series->count() > 0 && series->count() <= 4 * window.chartView()->plotColumns());

        // The wheel zooms in about the pointer, which stays at the same time; dragging with the
        // right button pans, keeping the width.
        window.setRange(PlotRange::Kind::All);
        PlotChartView *view = window.chartView();
        QWidget *viewport = view->viewport();
        const QPoint centre = viewport->rect().center();
        const qint64 under = view->timeAt(centre);
        const PlotRange::Span all = window.span();
        QWheelEvent wheel(QPointF(centre), viewport->mapToGlobal(QPointF(centre)), QPoint(), QPoint(0, 120),
                          Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(viewport, &wheel);
        const PlotRange::Span zoomed = window.span();
        QVERIFY(zoomed.toMs - zoomed.fromMs < all.toMs - all.fromMs);
        QVERIFY(std::abs(view->timeAt(centre) - under) <= (zoomed.toMs - zoomed.fromMs) / 100);
        sendMouse(viewport, QEvent::MouseButtonPress, centre, Qt::RightButton, Qt::RightButton);
        sendMouse(viewport, QEvent::MouseMove, centre - QPoint(40, 0), Qt::NoButton, Qt::RightButton);
        sendMouse(viewport, QEvent::MouseButtonRelease, centre - QPoint(40, 0), Qt::RightButton, Qt::NoButton);
        QVERIFY(window.span().fromMs > zoomed.fromMs);
        QCOMPARE(window.span().toMs - window.span().fromMs, zoomed.toMs - zoomed.fromMs);

        // Frames 10 .. 29 and the COM frames at 10.5 s and 20.5 s.
        window.setSpan(start + 10 * 1000, start + 30 * 1000);
        const QString csv = store.directory.filePath(QStringLiteral("shown.csv"));
        QCOMPARE(window.exportCsv(csv), QString());
        const QByteArray written = readFile(csv);
        QVERIFY2(written.startsWith("rx_time,packet_type,sat_time,1 Bus Voltage [V],54 RSSI [dB]\n"), written.constData());
        QCOMPARE(written.count('\n'), 1 + 22); // the header, then the frames of the span
    }
};

QTEST_MAIN(PlotWindowTest)
#include "tst_plots.moc"
