// The telemetry archive: the family tables cover exactly what the decoders fill, the latest
// records come back for the history, frames come back in reception order within a range, and
// the per-pixel series keeps every minimum and maximum, from the frame rows or the summary.
#include "StoreTesting.h"

#include "decode/FrameDecoder.h"
#include "store/ArchiveSchema.h"
#include "store/ArchiveSummary.h"
#include "store/SchemaMigrations.h"
#include "store/TelemetryArchive.h"

#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <limits>
#include <vector>

using Samples = QList<QPair<qint64, double>>; // (rx time, channel 3 value)

namespace {

constexpr qint64 Hour = 60 * 60 * 1000;
constexpr qint64 Day = 24 * Hour;
constexpr qint64 Midnight = 1796515200000; // 2026-12-06 00:00 UTC

// A value every 10 minutes (7 minutes past) over [fromMs, toMs), and extremes at `spikes`.
Samples everyTenMinutes(qint64 fromMs, qint64 toMs, const Samples &spikes = {})
{
    Samples samples = spikes;
    for (qint64 t = fromMs + 7 * 60 * 1000; t < toMs; t += 10 * 60 * 1000)
        samples << qMakePair(t, double(t / 600000 * 37 % 101) - 50);
    return samples;
}

// Archives each sample as an EPS frame carrying it on channel 3 (seeds 1, 2, ...).
void archiveSamples(TelemetryArchive &archive, const Samples &samples)
{
    int seed = 0;
    for (const auto &[rx, value] : samples)
        archive.addFrame(epsFrame(rx, ++seed, value));
}

// The first ms of slice `index` of `buckets` over [fromMs, toMs).
qint64 sliceStart(qint64 fromMs, qint64 toMs, int buckets, int index)
{
    return fromMs + (qint64(index) * (toMs - fromMs) + buckets - 1) / buckets;
}

bool sameSeries(const TelemetryArchive::Series &a, const TelemetryArchive::Series &b)
{
    return std::equal(a.buckets.begin(), a.buckets.end(), b.buckets.begin(), b.buckets.end(), [](auto &x, auto &y) {
        return x.index == y.index && x.minimum == y.minimum && x.maximum == y.maximum && x.count == y.count;
    });
}

} // namespace

class TestTelemetryArchive : public QObject
{
    Q_OBJECT
private slots:
    void familyTablesMatchTheDecoders()
    {
        for (const ArchiveSchema::FamilyTable &table : ArchiveSchema::FamilyTables) {
            QCOMPARE(table.firstChannel, firstDecodedChannel(table.family));
            QCOMPARE(table.lastChannel, lastDecodedChannel(table.family));
            QCOMPARE(&ArchiveSchema::tableOf(table.family), &table);
        }
    }

    void latestRecordsOfAFamily()
    {
        QTemporaryDir dir;
        StationDatabase database;
        QVERIFY(database.open(dir.path()).ok);
        TelemetryArchive archive(database);
        for (int i = 0; i < 10; ++i)
            archive.addFrame(epsFrame(1000 + i, i, i * 0.5));
        ArchivedFrame com;
        com.rxTimeMs = 2000;
        com.frame = frameBytes(99);
        com.packetType = QStringLiteral("COM housekeeping");
        com.family = Family::ComHousekeeping;
        com.present.set(51);
        com.values[51] = 3.5;
        com.values[52] = 99; // not carried: must not come back
        archive.addFrame(com);

        const TelemetryArchive::Records eps = archive.latest(Family::EpsDebug, 4);
        QVERIFY(eps.error.isEmpty());
        QCOMPARE(eps.frames.size(), std::size_t(4));
        for (int k = 0; k < 4; ++k) {
            const ArchivedFrame &frame = eps.frames[std::size_t(k)];
            QCOMPARE(frame.rxTimeMs, 1006 + k); // oldest first
            QCOMPARE(frame.values[3], (6 + k) * 0.5);
            QCOMPARE(frame.values[1], 7.25);
            QVERIFY(frame.present.test(3) && !frame.present.test(4));
            QCOMPARE(frame.satTime, epsFrame(0, 6 + k, 0).satTime);
            QCOMPARE(frame.family, std::optional<Family>(Family::EpsDebug));
        }
        const TelemetryArchive::Records coms = archive.latest(Family::ComHousekeeping, 2000);
        QCOMPARE(coms.frames.size(), std::size_t(1));
        QCOMPARE(coms.frames[0].values[51], 3.5);
        QVERIFY(!coms.frames[0].present.test(52));
        QCOMPARE(archive.latest(Family::AdcsMeasurement, 2000).frames.size(), std::size_t(0));
        QCOMPARE(archive.timeRange(), (std::optional<std::pair<qint64, qint64>>({1000, 2000})));
    }

    void framesInReceptionOrder()
    {
        QTemporaryDir dir;
        StationDatabase database;
        QVERIFY(database.open(dir.path()).ok);
        TelemetryArchive archive(database);
        // Imported out of order; one frame only named (no decoder).
        for (const qint64 rx : {500, 100, 300, 200, 400})
            archive.addFrame(epsFrame(rx, int(rx), double(rx)));
        ArchivedFrame beacon;
        beacon.rxTimeMs = 250;
        beacon.frame = frameBytes(7);
        beacon.packetType = QStringLiteral("COM beacon");
        archive.addFrame(beacon);

        QList<qint64> seen;
        const QString error = archive.forEachFrame(200, 500, [&](const ArchivedFrame &frame) {
            seen << frame.rxTimeMs;
            if (frame.rxTimeMs == 250) {
                expectOnlyNamed(frame);
            } else {
                expectEpsValues(frame);
            }
            return true;
        });
        QCOMPARE(error, QString());
        QCOMPARE(seen, (QList<qint64>{200, 250, 300, 400}));

        seen.clear();
        archive.forEachFrame(0, 1000, [&](const ArchivedFrame &frame) {
            seen << frame.rxTimeMs;
            return seen.size() < 2;
        });
        QCOMPARE(seen, (QList<qint64>{100, 200}));
    }

    void seriesKeepsEveryExtreme_data()
    {
        QTest::addColumn<Samples>("samples");
        QTest::addColumn<qint64>("from");
        QTest::addColumn<qint64>("to");
        QTest::addColumn<int>("buckets");
        QTest::addColumn<qint64>("summaryBucketMs"); // 0: the frame rows are read
        Samples flatWithSpike;
        for (int i = 0; i < 1000; ++i)
            flatWithSpike << qMakePair(qint64(i * 10), i == 537 ? 1e6 : 1.0);
        QTest::newRow("one spike among 1000") << flatWithSpike << qint64(0) << qint64(10000) << 7 << qint64(0);
        Samples dip = flatWithSpike;
        dip[537].second = -1e6;
        QTest::newRow("one dip among 1000") << dip << qint64(0) << qint64(10000) << 7 << qint64(0);
        Samples sawtooth;
        for (int i = 0; i < 300; ++i)
            sawtooth << qMakePair(qint64(i), double((i * 37) % 101) - 50);
        QTest::newRow("more buckets than frames") << sawtooth << qint64(0) << qint64(300) << 1000 << qint64(0);
        QTest::newRow("one frame per bucket") << sawtooth << qint64(0) << qint64(300) << 300 << qint64(0);
        QTest::newRow("range cuts both ends") << sawtooth << qint64(17) << qint64(250) << 9 << qint64(0);
        QTest::newRow("range edges are frames")
            << Samples{{0, -5}, {99, 2}, {100, 9}} << qint64(0) << qint64(100) << 2 << qint64(0);

        // Long ranges: an extreme a moment after a column's start lies in a summary bucket that
        // began in the column before, and is drawn there.
        const qint64 monthFrom = Midnight + 1234567;
        const qint64 monthTo = monthFrom + 30 * Day;
        const qint64 late = sliceStart(monthFrom, monthTo, 7, 3) + 1;
        QTest::newRow("a month: hour buckets")
            << everyTenMinutes(monthFrom - Day, monthTo + Day, {{late, 1e6}, {late + 1, -1e6}}) << monthFrom << monthTo
            << 7 << Hour;
        const qint64 daysFrom = Midnight + 777;
        const qint64 daysTo = daysFrom + 2 * Day;
        const qint64 lateInFine = sliceStart(daysFrom, daysTo, 50, 21) + 1;
        QTest::newRow("two days: 10-minute buckets")
            << everyTenMinutes(daysFrom - Day, daysTo + Day, {{lateInFine, 1e6}}) << daysFrom << daysTo << 50
            << 10 * 60 * 1000LL;
        QTest::newRow("whole aligned hours: exact")
            << everyTenMinutes(Midnight, Midnight + 30 * Day, {{Midnight + 5 * Day + 1, 1e6}}) << Midnight
            << Midnight + 30 * Day << 720 << Hour;
        const qint64 dayTo = daysFrom + Day;
        QTest::newRow("a day: frame rows")
            << everyTenMinutes(daysFrom, dayTo, {{sliceStart(daysFrom, dayTo, 200, 77) + 1, 1e6}}) << daysFrom
            << dayTo << 200 << qint64(0);
    }

    void seriesKeepsEveryExtreme()
    {
        QFETCH(Samples, samples);
        QFETCH(qint64, from);
        QFETCH(qint64, to);
        QFETCH(int, buckets);
        QFETCH(qint64, summaryBucketMs);
        QTemporaryDir dir;
        StationDatabase database;
        QVERIFY(database.open(dir.path()).ok);
        TelemetryArchive archive(database);
        archiveSamples(archive, samples);
        const TelemetryArchive::Series series = archive.series(3, from, to, buckets);
        QVERIFY2(series.error.isEmpty(), qPrintable(series.error));

        // Each sample in range lies in exactly the bucket whose time slice holds it (a sample in
        // a whole summary bucket: the slice holding the bucket's start), and the bucket's
        // extremes are those of its samples.
        const auto drawnAt = [&](qint64 rx) {
            if (summaryBucketMs == 0)
                return rx;
            const qint64 start = ArchiveSummary::bucketStart(rx, summaryBucketMs);
            const bool whole = start >= from && start + summaryBucketMs <= ArchiveSummary::bucketStart(to, summaryBucketMs);
            return whole ? start : rx;
        };
        qint64 total = 0;
        for (std::size_t b = 0; b < series.buckets.size(); ++b) {
            const TelemetryArchive::Bucket &bucket = series.buckets[b];
            // Slice k starts at the first ms t with (t - from) * buckets / (to - from) >= k.
            const qint64 end = from + (qint64(bucket.index + 1) * (to - from) + buckets - 1) / buckets;
            double minimum = std::numeric_limits<double>::infinity();
            double maximum = -minimum;
            qint64 count = 0;
            for (const auto &[rx, value] : samples) {
                if (drawnAt(rx) >= bucket.firstMs && drawnAt(rx) < end && rx >= from && rx < to) {
                    minimum = std::min(minimum, value);
                    maximum = std::max(maximum, value);
                    ++count;
                }
            }
            QCOMPARE(bucket.count, count);
            QCOMPARE(bucket.minimum, minimum);
            QCOMPARE(bucket.maximum, maximum);
            QVERIFY(b == 0 || bucket.index > series.buckets[b - 1].index);
            total += count;
        }
        qint64 inRange = 0;
        double overallMin = std::numeric_limits<double>::infinity();
        double overallMax = -overallMin;
        for (const auto &[rx, value] : samples) {
            if (rx >= from && rx < to) {
                ++inRange;
                overallMin = std::min(overallMin, value);
                overallMax = std::max(overallMax, value);
            }
        }
        QCOMPARE(total, inRange);
        const auto [lowest, highest] = std::minmax_element(
            series.buckets.begin(), series.buckets.end(),
            [](const auto &a, const auto &b) { return a.minimum < b.minimum; });
        QCOMPARE(lowest->minimum, overallMin);
        QCOMPARE(std::max_element(series.buckets.begin(), series.buckets.end(),
                                  [](const auto &a, const auto &b) { return a.maximum < b.maximum; })
                     ->maximum,
                 overallMax);
        Q_UNUSED(highest);
    }

    void olderArchiveGetsItsSummary()
    {
        QTemporaryDir dir;
        const qint64 to = Midnight + 20 * Day;
        const Samples samples = everyTenMinutes(Midnight, to, {{Midnight + 3 * Day + 1, -1e6}});
        TelemetryArchive::Series before;
        {
            StationDatabase database;
            QVERIFY(database.open(dir.path()).ok);
            TelemetryArchive archive(database);
            archiveSamples(archive, samples);
            before = archive.series(3, Midnight, to, 5);
            QCOMPARE(before.buckets.size(), std::size_t(5));
        }
        {
            // The archive as the version before the summary left it.
            RawConnection raw(dir.path());
            QCOMPARE(raw.exec(QStringLiteral("DROP TABLE channel_summary")), QString());
            QCOMPARE(raw.exec(QStringLiteral("PRAGMA user_version = 2")), QString());
        }
        StationDatabase database;
        QVERIFY(database.open(dir.path()).ok);
        {
            RawConnection raw(dir.path());
            QCOMPARE(raw.number(QStringLiteral("PRAGMA user_version")), qint64(SchemaMigrations::CurrentVersion));
            // Channels 1..3 in 480 hours and 2880 ten-minute buckets.
            QCOMPARE(raw.number(QStringLiteral("SELECT COUNT(*) FROM channel_summary")), 3 * (480 + 2880));
        }
        TelemetryArchive archive(database);
        QVERIFY(sameSeries(archive.series(3, Midnight, to, 5), before));
        // A frame archived again is not counted again.
        archive.addFrame(epsFrame(samples[0].first, 1, samples[0].second));
        QVERIFY(sameSeries(archive.series(3, Midnight, to, 5), before));
    }

    void retriedCommitCountsOnce()
    {
        QTemporaryDir dir;
        StationDatabase database;
        QVERIFY(database.open(dir.path()).ok);
        TelemetryArchive archive(database);
        RawConnection other(dir.path());
        // The second frame's row is refused: the commit fails after the first one was summed.
        QCOMPARE(other.exec(QStringLiteral("CREATE TRIGGER refuse BEFORE INSERT ON eps_debug WHEN NEW.rx_time_ms = %1 "
                                           "BEGIN SELECT RAISE(ABORT, 'refused'); END").arg(Midnight + 2)),
                 QString());
        archive.addFrame(epsFrame(Midnight + 1, 1, 5.0));
        archive.addFrame(epsFrame(Midnight + 2, 2, 6.0));
        QVERIFY(!database.flush());
        QCOMPARE(other.exec(QStringLiteral("DROP TRIGGER refuse")), QString());
        QVERIFY(database.flush());
        const TelemetryArchive::Series series = archive.series(3, Midnight, Midnight + Day, 1);
        QCOMPARE(series.buckets.size(), std::size_t(1));
        QCOMPARE(series.buckets[0].count, 2);
        QCOMPARE(other.number(QStringLiteral("SELECT SUM(frames) FROM channel_summary WHERE channel = 3")), 2 * 2);
    }

    void seriesOfAnUnarchivedChannel()
    {
        QTemporaryDir dir;
        StationDatabase database;
        QVERIFY(database.open(dir.path()).ok);
        QVERIFY(TelemetryArchive(database).series(49, 0, 100, 10).error.contains(u"49"));
        QVERIFY(!TelemetryArchive(database).series(3, 100, 100, 10).error.isEmpty());
    }

private:
    static void expectOnlyNamed(const ArchivedFrame &frame)
    {
        QVERIFY(!frame.family);
        QVERIFY(frame.present.none());
        QCOMPARE(frame.packetType, QStringLiteral("COM beacon"));
        QCOMPARE(frame.frame, frameBytes(7));
    }
    static void expectEpsValues(const ArchivedFrame &frame)
    {
        QCOMPARE(frame.family, std::optional<Family>(Family::EpsDebug));
        QCOMPARE(frame.values[3], double(frame.rxTimeMs));
        QCOMPARE(frame.frame, frameBytes(int(frame.rxTimeMs)));
        QCOMPARE(frame.packetType, QStringLiteral("EPS debug data"));
    }
};

QTEST_GUILESS_MAIN(TestTelemetryArchive)
#include "tst_telemetry_archive.moc"
