// Thousands of random and truncated satellite frames: through the Station after a long frame
// has filled every position, and straight into the decoder from buffers of exactly the frame's
// size, so the sanitizer build catches any read past the frame.
#include "decode/FrameDecoder.h"
#include "decode/SatelliteFrames.h"
#include "support/KissRecords.h"

#include <QRandomGenerator>
#include <QTest>

#include <vector>

using namespace SatelliteFrames;

namespace {

constexpr int FrameCount = 5000;

struct Field
{
    int channel;
    int position;
    int width;
};

// The fields of each family, written out here rather than taken from the decoder.
std::vector<Field> fieldsOf(Family family)
{
    std::vector<Field> fields;
    switch (family) {
    case Family::EpsDebug:
        for (int c = 1; c <= 48; ++c)
            fields.push_back({c, 24 + 2 * c, 2});
        break;
    case Family::ComHousekeeping:
        fields = {{51, 26, 2}, {52, 28, 2}, {53, 30, 2}, {54, 32, 1},
                  {55, 34, 1}, {56, 35, 4}, {57, 39, 4}, {58, 43, 4}};
        break;
    case Family::CdhsBeacon:
        for (int k = 0; k < 4; ++k)
            fields.push_back({59 + k, 26 + 4 * k, 4});
        break;
    case Family::AdcsMeasurement:
        for (int k = 0; k < 20; ++k)
            fields.push_back({78 + k, 78 + 2 * k, 2});
        break;
    }
    return fields;
}

QByteArray randomFrame(QRandomGenerator &random)
{
    static const QByteArray groups[] = {EpsDebugGroups, ComGroups, AdcsGroups, CdhsGroups,
                                        EpsBeaconGroups, QByteArray::fromHex("0506")};
    const int kind = random.bounded(7);
    // Mostly short and truncated frames, some longer than the 512 positions kept.
    const int length = random.bounded(4) == 0 ? 16 + random.bounded(600) : 16 + random.bounded(150);
    QByteArray data(length, '\0');
    for (char &byte : data)
        byte = char(random.bounded(256));
    QByteArray head = Prefix + (kind < 6 ? groups[kind] : QByteArray());
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
        int decodedFrames = 1;
        QRandomGenerator random(20140802);
        for (int n = 0; n < FrameCount; ++n) {
            const QByteArray data = randomFrame(random);
            fed << data;
            std::array<std::int32_t, 4> before{};
            for (int f = 0; f < 4; ++f)
                before[std::size_t(f)] = station.history().count(Family(f));
            arrive(station, data);
            for (const QByteArray &groups : {EpsDebugGroups, ComGroups, AdcsGroups, CdhsGroups})
                decodedFrames += data.startsWith(Prefix + groups) ? 1 : 0;

            const QString hex = station.intake().frameHex();
            QCOMPARE(station.intake().headerLines().back(),
                     hex.mid(48, 11) + QStringLiteral(" | ") + hex.mid(60, 11));
            const int kept = int(qMin<qsizetype>(data.size(), 512));
            QCOMPARE(hex.size(), 3 * (kept - 1)); // positions 2..kept, "XX " each
            for (int f = 0; f < 4; ++f) {
                const Family family = Family(f);
                if (station.history().count(family) == before[std::size_t(f)])
                    continue;
                const TelemetryHistory::Record &record = *station.history().latest(family);
                for (const Field &field : fieldsOf(family)) {
                    const double value = record.values[std::size_t(field.channel)];
                    if (field.position + field.width - 1 > kept) {
                        QVERIFY2(value == 0, qPrintable(QStringLiteral("frame %1 (%2 bytes), channel %3")
                                                            .arg(n).arg(data.size()).arg(field.channel)));
                    }
                }
            }
        }
        QCOMPARE(station.intake().satelliteFrameCount(), FrameCount + 1);
        int counted = 0;
        for (int f = 0; f < 4; ++f)
            counted += station.history().count(Family(f));
        QCOMPARE(counted, decodedFrames);

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
        // More frames than any list keeps: the lists and the history stop growing.
        const auto harness = startQuietStation();
        Station &station = *harness->station;
        const QByteArray foreign = QByteArray::fromHex("00A8A4A6A6404060AE6E8A96A2406103F0");
        const int frames = int(FrameIntake::MaxRawFrameLines) + 10;
        for (int n = 0; n < frames; ++n)
            arrive(station, n % 4 == 0 ? frameOf(ComGroups, ComLength) : foreign);
        QCOMPARE(station.intake().rawFrameLines().size(), FrameIntake::MaxRawFrameLines);
        QCOMPARE(station.intake().satelliteFrameCount(), (frames + 3) / 4);
        QCOMPARE(station.history().count(Family::ComHousekeeping), (frames + 3) / 4);
        QCOMPARE(station.history().storedCount(Family::ComHousekeeping), 2000);
    }

    void randomFramesIntoExactBuffers()
    {
        QRandomGenerator random(5122026);
        TelemetryHistory history;
        int decoded = 0;
        for (int n = 0; n < FrameCount; ++n) {
            const QByteArray data = randomFrame(random);
            for (int length : {int(data.size()), random.bounded(int(data.size()) + 1)}) {
                const std::vector<std::uint8_t> frame(data.begin(), data.begin() + length);
                if (decodeSatelliteFrame(frame, QString(), history).family)
                    ++decoded;
            }
        }
        QVERIFY(decoded > FrameCount / 2);
    }

};

QTEST_GUILESS_MAIN(TestDecodeFuzz)
#include "tst_decode_fuzz.moc"
