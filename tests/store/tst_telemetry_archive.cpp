// The telemetry archive's per-pixel series keeps every minimum and maximum, from the frame rows
// or the summary, also when the summary is built for an older archive or a commit is retried;
// series that cannot be drawn are refused.
// (Every decoded value archived, in reception order: tst_commands' export; the latest records:
// tst_station_database.)
#include "StoreTesting.h"

#include "store/ArchiveSummary.h"
#include "store/SchemaMigrations.h"
#include "store/TelemetryArchive.h"

#include <QTest>

#include <map>

using Samples = QList<QPair<qint64, double>>; // (rx time, channel 3 value)

namespace {

constexpr qint64 Minute = 60 * 1000;
constexpr qint64 Hour = 60 * Minute;
constexpr qint64 Day = 24 * Hour;
constexpr qint64 Midnight = 1796515200000; // 2026-12-06 00:00 UTC

// A value every 10 minutes (7 minutes past) over [fromMs, toMs), and extremes at `spikes`.
Samples everyTenMinutes(qint64 fromMs, qint64 toMs, const Samples &spikes = {})
{
    Samples samples = spikes;
    for (qint64 t = fromMs + 7 * Minute; t < toMs; t += 10 * Minute)
        samples << qMakePair(t, double(t / (10 * Minute) * 37 % 101) - 50);
    return samples;
}

// Archives each sample as an EPS frame carrying it on channel 3 (seeds 1, 2, ...).
void archiveSamples(StationDatabase &database, const Samples &samples)
{
    TelemetryArchive archive(database);
    int seed = 0;
    for (const auto &[rx, value] : samples)
        archive.addFrame(epsFrame(rx, ++seed, value));
}

// The first ms of slice `index` of `buckets` over [fromMs, toMs).
qint64 sliceStart(qint64 fromMs, qint64 toMs, int buckets, int index)
{
    return fromMs + (qint64(index) * (toMs - fromMs) + buckets - 1) / buckets;
}

// One "index@first: minimum..maximum xcount" line per bucket.
QString text(const std::vector<TelemetryArchive::Bucket> &buckets)
{
    QString text;
    for (const TelemetryArchive::Bucket &b : buckets)
        text += QStringLiteral("%1@%2: %3..%4 x%5\n").arg(b.index).arg(b.firstMs).arg(b.minimum).arg(b.maximum).arg(b.count);
    return text;
}

} // namespace

class TestTelemetryArchive : public QObject
{
    Q_OBJECT
private slots:
    void seriesKeepsEveryExtreme_data()
    {
        QTest::addColumn<Samples>("samples");
        QTest::addColumn<qint64>("from");
        QTest::addColumn<qint64>("to");
        QTest::addColumn<int>("buckets");
        QTest::addColumn<qint64>("summaryBucketMs"); // 0: the frame rows are read
        const auto row = [](const char *name, const Samples &samples, qint64 from, qint64 to, int buckets,
                            qint64 summaryBucketMs = 0) {
            QTest::newRow(name) << samples << from << to << buckets << summaryBucketMs;
        };
        Samples sawtooth;
        for (int i = 0; i < 300; ++i)
            sawtooth << qMakePair(qint64(i), double((i * 37) % 101) - 50);
        row("range cuts both ends", sawtooth, 17, 250, 9);

        // Long ranges: an extreme a moment after a column's start lies in a summary bucket that
        // began in the column before, and is drawn there.
        const qint64 month = Midnight + 1234567;
        const qint64 late = sliceStart(month, month + 30 * Day, 7, 3) + 1;
        row("a month: hour buckets", everyTenMinutes(month - Day, month + 31 * Day, {{late, 1e6}, {late + 1, -1e6}}),
            month, month + 30 * Day, 7, Hour);
        // A column per summary bucket: each column's extremes are the bucket's own.
        row("whole aligned hours: exact", everyTenMinutes(Midnight, Midnight + 30 * Day, {{Midnight + 5 * Day + 1, 1e6}}),
            Midnight, Midnight + 30 * Day, 720, Hour);
    }

    void seriesKeepsEveryExtreme()
    {
        QFETCH(Samples, samples);
        QFETCH(qint64, from);
        QFETCH(qint64, to);
        QFETCH(int, buckets);
        QFETCH(qint64, summaryBucketMs);
        TempStore s;
        archiveSamples(s.database, samples);
        const TelemetryArchive::Series series = TelemetryArchive(s.database).series(3, from, to, buckets);
        QVERIFY2(series.error.isEmpty(), qPrintable(series.error));

        // Each sample in range lies in exactly the bucket whose time slice holds it (a sample in
        // a whole summary bucket: the slice holding the bucket's start), and the bucket's
        // extremes are those of its samples.
        std::map<int, TelemetryArchive::Bucket> expected;
        for (const auto &[rx, value] : samples) {
            if (rx < from || rx >= to)
                continue;
            qint64 drawnAt = rx;
            if (summaryBucketMs > 0) {
                const qint64 start = ArchiveSummary::bucketStart(rx, summaryBucketMs);
                if (start >= from && start + summaryBucketMs <= ArchiveSummary::bucketStart(to, summaryBucketMs))
                    drawnAt = start;
            }
            const int index = int((drawnAt - from) * buckets / (to - from));
            const auto [it, first] = expected.try_emplace(index, TelemetryArchive::Bucket{
                index, sliceStart(from, to, buckets, index), value, value, 0});
            it->second.minimum = std::min(it->second.minimum, value);
            it->second.maximum = std::max(it->second.maximum, value);
            ++it->second.count;
        }
        std::vector<TelemetryArchive::Bucket> want;
        for (const auto &[index, bucket] : expected)
            want.push_back(bucket);
        QCOMPARE(text(series.buckets), text(want));
    }

    void olderArchiveGetsItsSummary()
    {
        TempStore s;
        const qint64 to = Midnight + 20 * Day;
        const Samples samples = everyTenMinutes(Midnight, to, {{Midnight + 3 * Day + 1, -1e6}});
        archiveSamples(s.database, samples);
        const QString before = text(TelemetryArchive(s.database).series(3, Midnight, to, 5).buckets);
        QCOMPARE(before.count(u'\n'), 5);
        s.database.close();

        // The archive as the version before the summary left it.
        RawConnection raw(s.dir.path());
        QCOMPARE(raw.exec(QStringLiteral("DROP TABLE channel_summary")), QString());
        QCOMPARE(raw.exec(QStringLiteral("PRAGMA user_version = 2")), QString());
        QVERIFY(s.database.open(s.dir.path()).ok);
        QCOMPARE(raw.number(QStringLiteral("PRAGMA user_version")), qint64(SchemaMigrations::CurrentVersion));
        // Channels 1..3 in 480 hours and 2880 ten-minute buckets.
        QCOMPARE(raw.number(QStringLiteral("SELECT COUNT(*) FROM channel_summary")), 3 * (480 + 2880));
        TelemetryArchive archive(s.database);
        QCOMPARE(text(archive.series(3, Midnight, to, 5).buckets), before);
        // A frame archived again is not counted again.
        archive.addFrame(epsFrame(samples[0].first, 1, samples[0].second));
        QCOMPARE(text(archive.series(3, Midnight, to, 5).buckets), before);
    }

    void retriedCommitCountsOnce()
    {
        TempStore s;
        TelemetryArchive archive(s.database);
        RawConnection other(s.dir.path());
        // The second frame's row is refused: the commit fails after the first one was summed.
        QCOMPARE(other.exec(QStringLiteral("CREATE TRIGGER refuse BEFORE INSERT ON eps_debug WHEN NEW.rx_time_ms = %1 "
                                           "BEGIN SELECT RAISE(ABORT, 'refused'); END").arg(Midnight + 2)),
                 QString());
        archive.addFrame(epsFrame(Midnight + 1, 1, 5.0));
        archive.addFrame(epsFrame(Midnight + 2, 2, 6.0));
        QVERIFY(!s.database.flush());
        QCOMPARE(other.exec(QStringLiteral("DROP TRIGGER refuse")), QString());
        QVERIFY(s.database.flush());
        // Both frames once in each summary bucket size.
        QCOMPARE(other.number(QStringLiteral("SELECT SUM(frames) FROM channel_summary WHERE channel = 3")), 2 * 2);
        // Series nobody can draw are refused, not divided by zero or read from a missing table.
        QVERIFY(archive.series(49, 0, 100, 10).error.contains(u"49"));
        QVERIFY(!archive.series(3, 100, 100, 10).error.isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestTelemetryArchive)
#include "tst_telemetry_archive.moc"
