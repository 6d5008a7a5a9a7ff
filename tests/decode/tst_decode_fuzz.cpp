// Thousands of random and truncated satellite frames through the Station after a long frame has
// filled every position: its bytes must not show in a shorter frame's values. Each frame is
// also decoded from a buffer of exactly its size, so the sanitizer build catches any read past it.
#include "decode/FrameDecoder.h"
#include "decode/SatelliteFrames.h"
#include "support/KissRecords.h"

#include <QRandomGenerator>
#include <QTest>

#include <vector>

using namespace SatelliteFrames;

namespace {

constexpr int FrameCount = 5000;

QByteArray randomFrame(QRandomGenerator &random)
{
    // The decoded families, then the types that are only named: EPS, ADCS and COM beacons, camera.
    static const QByteArray groups[] = {EpsDebugGroups, ComGroups, AdcsGroups, CdhsGroups, EpsBeaconGroups,
                                        QByteArray::fromHex("0206006E0201206A"),
                                        QByteArray::fromHex("0206001D02022019"), QByteArray::fromHex("0506")};
    const int kind = random.bounded(9);
    // Mostly short and truncated frames, some longer than the 512 positions kept.
    const int length = random.bounded(4) == 0 ? 16 + random.bounded(600) : 16 + random.bounded(150);
    QByteArray data(length, '\0');
    for (char &byte : data)
        byte = char(random.bounded(256));
    const QByteArray head = Prefix + (kind < 8 ? groups[kind] : QByteArray());
    data.replace(0, qMin(head.size(), data.size()), head.left(data.size()));
    return data;
}

} // namespace

class TestDecodeFuzz : public QObject
{
    Q_OBJECT
private slots:

    void randomFramesThroughStation()
    {
        const auto harness = startQuietStation();
        Station &station = *harness->station;

        // A long frame leaves 0x55 in every position: no later, shorter frame may decode it.
        QByteArray longFrame = frameOf(EpsDebugGroups, 512);
        longFrame.replace(25, 512 - 25, QByteArray(512 - 25, char(0x55)));
        arrive(station, longFrame);

        QList<QByteArray> fed{longFrame};
        TelemetryHistory ownBuffers; // the same frames decoded from buffers of their own size
        QRandomGenerator random(20140802);
        for (int n = 0; n < FrameCount; ++n) {
            const QByteArray data = randomFrame(random);
            fed << data;
            arrive(station, data);
            const QString hex = station.intake().frameHex();
            const int kept = int(qMin<qsizetype>(data.size(), 512));
            QCOMPARE(hex.size(), 3 * (kept - 1)); // positions 2..kept, "XX " each
            const std::vector<std::uint8_t> own(data.begin(), data.begin() + kept); // as the Station keeps it
            const std::optional<Family> family = decodeSatelliteFrame(own, QString(), ownBuffers).family;
            QVERIFY2(!family || station.history().latest(*family)->values == ownBuffers.latest(*family)->values,
                     qPrintable(QStringLiteral("frame %1").arg(n)));
        }
        QCOMPARE(station.intake().satelliteFrameCount(), FrameCount + 1);
        // Each decoded frame stored once, none lost (the long frame is the first EPS record).
        for (int f = 0; f < 4; ++f)
            QCOMPARE(station.history().count(Family(f)), ownBuffers.count(Family(f)) + (f == 0 ? 1 : 0));

        // The capture file holds every frame whole (also past 512 bytes), each followed by its
        // time record, and nothing else.
        const QList<QByteArray> records = kissRecords(harness->captureBytes());
        QCOMPARE(records.size(), 2 * fed.size());
        for (qsizetype i = 0; i < fed.size(); ++i) {
            QCOMPARE(records[2 * i], fed[i]);
            QCOMPARE(records[2 * i + 1], "\x09" "2014-08-02 13:05:09.123 UTC");
        }
    }

    void endlessStreamKeepsMemoryBounded()
    {
        // More frames than any list keeps: the lists stop growing, the history keeps the newest.
        const auto harness = startQuietStation();
        Station &station = *harness->station;
        const QByteArray foreign = QByteArray::fromHex("00A8A4A6A6404060AE6E8A96A2406103F0");
        QByteArray com = frameOf(ComGroups, ComLength);
        const int frames = int(FrameIntake::MaxRawFrameLines) + 10;
        for (int n = 0; n < frames; ++n) {
            putInt16(com, 26, n / 4 + 1); // channel 51 counts the COM frames
            arrive(station, n % 4 == 0 ? com : foreign);
        }
        const int comFrames = (frames + 3) / 4;
        const TelemetryHistory &history = station.history();
        QCOMPARE(station.intake().rawFrameLines().size(), FrameIntake::MaxRawFrameLines);
        QCOMPARE(history.count(Family::ComHousekeeping), comFrames);
        QCOMPARE(history.storedCount(Family::ComHousekeeping), 2000);
        QCOMPARE(history.stored(Family::ComHousekeeping, 0).values[51], double(comFrames - 1999));
        QCOMPARE(history.latest(Family::ComHousekeeping)->values[51], double(comFrames));
    }
};

QTEST_GUILESS_MAIN(TestDecodeFuzz)
#include "tst_decode_fuzz.moc"
