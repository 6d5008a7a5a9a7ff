#include "PlotTesting.h"

#include "display/PlotCsvExport.h"
#include "display/PlotRange.h"
#include "display/PlotSeriesCache.h"

#include <QBuffer>
#include <QtTest>

#include <algorithm>
#include <ctime>

namespace {

constexpr qint64 Minute = 60 * 1000;
constexpr qint64 Day = 24 * 60 * Minute;

std::pair<double, double> extremes(const std::vector<SeriesDecimation::Point> &points)
{
    const auto [low, high] = std::minmax_element(points.begin(), points.end(),
                                                 [](const auto &a, const auto &b) { return a.value < b.value; });
    return {low->value, high->value};
}

} // namespace

class PlotDataTest : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase()
    {
        // A zone far from UTC: CSV times that used local time would show other hours.
        qputenv("TZ", "Pacific/Chatham");
        tzset();
    }

    void lastPass()
    {
        // The newest pass starts at 8 d: the frame 16 minutes before it is another pass, the
        // 15-minute gap inside it is not a break.
        const qint64 base = utcMs("2026-12-01T00:00:00.000Z");
        std::vector<qint64> times{base, base + 8 * Day - 16 * Minute};
        for (int i = 0; i <= 5; ++i)
            times.insert(times.end(), {base + 8 * Day + i * Minute, base + 8 * Day + (20 + i) * Minute});
        PlotArchive store;
        for (const qint64 time : times)
            store.archive->addFrame(plotFrame(time, Family::EpsDebug, {{1, 3.3}}));
        QString error;
        const std::optional<PlotRange::Span> span = PlotRange::compute(PlotRange::Kind::LastPass, *store.archive, &error);
        QVERIFY2(span, qPrintable(error));
        QCOMPARE(span->fromMs, base + 8 * Day);
        QCOMPARE(span->toMs, base + 8 * Day + 25 * Minute + 1);
    }

    void spikesSurviveEveryZoomAndNewFrames_data()
    {
        QTest::addColumn<qint64>("stepMs");
        QTest::newRow("5.5 hours: slices read from frames") << qint64(1000);
        QTest::newRow("139 days: slices read from the summary") << 10 * Minute;
    }

    void spikesSurviveEveryZoomAndNewFrames()
    {
        QFETCH(qint64, stepMs);
        PlotArchive store;
        const qint64 start = utcMs("2026-12-06T00:00:13.000Z");
        constexpr int Frames = 20000;
        constexpr int SpikeAt = 12345;
        constexpr int DipAt = 777;
        for (int i = 0; i < Frames; ++i) {
            const double value = i == SpikeAt ? 99.0 : i == DipAt ? -99.0 : 3.0 + (i % 7) * 0.01;
            store.archive->addFrame(plotFrame(start + i * stepMs, Family::EpsDebug, {{1, value}}));
        }
        const qint64 end = start + Frames * stepMs;
        PlotSeriesCache cache(*store.archive);
        constexpr int Columns = 500;

        const PlotSeriesCache::Points all = cache.points(1, start, end, Columns);
        QVERIFY2(all.error.isEmpty(), qPrintable(all.error));
        QVERIFY(all.points.size() <= 4 * Columns);
        QCOMPARE(extremes(all.points), std::make_pair(-99.0, 99.0));

        // A wide zoom is served from the cached slices, a narrow one from exact pixel columns.
        const PlotSeriesCache::Points wide = cache.points(1, start + 5000 * stepMs, end - 1000 * stepMs, Columns);
        QCOMPARE(extremes(wide.points).second, 99.0);

        const qint64 spikeTime = start + SpikeAt * stepMs;
        const PlotSeriesCache::Points narrow = cache.points(1, spikeTime - 50 * stepMs, spikeTime + 50 * stepMs, Columns);
        QCOMPARE(extremes(narrow.points).second, 99.0);

        // A live frame at the end, and an imported one inside slices already cached.
        for (const auto &[time, value] : {std::pair{end - stepMs / 2, 555.0}, {start + 3000 * stepMs + 1, -555.0}}) {
            store.archive->addFrame(plotFrame(time, Family::EpsDebug, {{1, value}}));
            cache.frameArchived(time);
        }
        QCOMPARE(extremes(cache.points(1, start, end, Columns).points), std::make_pair(-555.0, 555.0));
    }

    void csvOfShownChannels()
    {
        PlotArchive store;
        const qint64 t = utcMs("2026-12-06T18:25:09.123Z");
        store.archive->addFrame(plotFrame(t - 1, Family::EpsDebug, {{1, 9.0}}));           // before the span
        store.archive->addFrame(plotFrame(t, Family::EpsDebug, {{1, 3.3}, {14, 120.5}, {2, 5.0}}));
        store.archive->addFrame(plotFrame(t + 877, Family::ComHousekeeping, {{54, -71.0}}));
        store.archive->addFrame(plotFrame(t + 1000, Family::AdcsMeasurement, {{80, 0.5}})); // no shown channel
        store.archive->addFrame(plotFrame(t + 2000, Family::EpsDebug, {{1, 0.1}}));
        store.archive->addFrame(plotFrame(t + 3000, Family::EpsDebug, {{1, 7.0}}));         // at the span's end

        QBuffer out;
        out.open(QIODevice::WriteOnly);
        // Channel 15 has no value in the span: no column for it.
        const QString error = PlotCsvExport::write(*store.archive, {54, 14, 1, 15}, t, t + 3000, out);
        QVERIFY2(error.isEmpty(), qPrintable(error));
        QCOMPARE(QString::fromUtf8(out.data()),
                 QStringLiteral("rx_time,packet_type,sat_time,1 Bus Voltage [V],14 SPB A Curr [mA],54 RSSI [dB]\n"
                                "2026-12-06T18:25:09.123Z,EPS debug data,2026-12-06 18:25:09,3.3,120.5,\n"
                                "2026-12-06T18:25:10.000Z,COM housekeeping,,,,-71\n"
                                "2026-12-06T18:25:11.123Z,EPS debug data,2026-12-06 18:25:09,0.1,,\n"));
    }
};

QTEST_GUILESS_MAIN(PlotDataTest)
#include "tst_plots_data.moc"
