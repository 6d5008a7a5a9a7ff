// The telemetry archive: the family tables cover exactly what the decoders fill, the latest
// records come back for the history, frames come back in reception order within a range, and
// the per-pixel series keeps every minimum and maximum.
#include "StoreTesting.h"

#include "decode/FrameDecoder.h"
#include "store/ArchiveSchema.h"
#include "store/TelemetryArchive.h"

#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <limits>
#include <vector>

using Samples = QList<QPair<qint64, double>>; // (rx time, channel 3 value)

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
        Samples flatWithSpike;
        for (int i = 0; i < 1000; ++i)
            flatWithSpike << qMakePair(qint64(i * 10), i == 537 ? 1e6 : 1.0);
        QTest::newRow("one spike among 1000") << flatWithSpike << qint64(0) << qint64(10000) << 7;
        Samples dip = flatWithSpike;
        dip[537].second = -1e6;
        QTest::newRow("one dip among 1000") << dip << qint64(0) << qint64(10000) << 7;
        Samples sawtooth;
        for (int i = 0; i < 300; ++i)
            sawtooth << qMakePair(qint64(i), double((i * 37) % 101) - 50);
        QTest::newRow("more buckets than frames") << sawtooth << qint64(0) << qint64(300) << 1000;
        QTest::newRow("one frame per bucket") << sawtooth << qint64(0) << qint64(300) << 300;
        QTest::newRow("range cuts both ends") << sawtooth << qint64(17) << qint64(250) << 9;
        QTest::newRow("range edges are frames")
            << Samples{{0, -5}, {99, 2}, {100, 9}} << qint64(0) << qint64(100) << 2;
    }

    void seriesKeepsEveryExtreme()
    {
        QFETCH(Samples, samples);
        QFETCH(qint64, from);
        QFETCH(qint64, to);
        QFETCH(int, buckets);
        QTemporaryDir dir;
        StationDatabase database;
        QVERIFY(database.open(dir.path()).ok);
        TelemetryArchive archive(database);
        int seed = 0;
        for (const auto &[rx, value] : samples)
            archive.addFrame(epsFrame(rx, ++seed, value));
        const TelemetryArchive::Series series = archive.series(3, from, to, buckets);
        QVERIFY2(series.error.isEmpty(), qPrintable(series.error));

        // Each sample in range lies in exactly the bucket whose time slice holds it, and the
        // bucket's extremes are those of its samples.
        qint64 total = 0;
        for (std::size_t b = 0; b < series.buckets.size(); ++b) {
            const TelemetryArchive::Bucket &bucket = series.buckets[b];
            // Slice k starts at the first ms t with (t - from) * buckets / (to - from) >= k.
            const qint64 end = from + (qint64(bucket.index + 1) * (to - from) + buckets - 1) / buckets;
            double minimum = std::numeric_limits<double>::infinity();
            double maximum = -minimum;
            qint64 count = 0;
            for (const auto &[rx, value] : samples) {
                if (rx >= bucket.firstMs && rx < end && rx >= from && rx < to) {
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
