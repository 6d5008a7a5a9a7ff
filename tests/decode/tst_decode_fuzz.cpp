// Thousands of random and truncated satellite frames: through the Station after a long frame
// has filled every position, and straight into the decoder from buffers of exactly the frame's
// size, so the sanitizer build catches any read past the frame; random capture files too.
#include "decode/CaptureCsvWriter.h"
#include "decode/FrameDecoder.h"
#include "decode/SatelliteFrames.h"

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
    bool isSigned;
};

// The fields of each family, written out here rather than taken from the decoder.
std::vector<Field> fieldsOf(Family family)
{
    std::vector<Field> fields;
    switch (family) {
    case Family::EpsDebug:
        for (int c = 1; c <= 48; ++c)
            fields.push_back({c, 24 + 2 * c, 2, true});
        break;
    case Family::ComHousekeeping:
        fields = {{51, 26, 2, true}, {52, 28, 2, true}, {53, 30, 2, true}, {54, 32, 1, true},
                  {55, 34, 1, true}, {56, 35, 4, false}, {57, 39, 4, false}, {58, 43, 4, false}};
        break;
    case Family::CdhsBeacon:
        for (int k = 0; k < 4; ++k)
            fields.push_back({59 + k, 26 + 4 * k, 4, false});
        break;
    case Family::AdcsMeasurement:
        for (int k = 0; k < 20; ++k)
            fields.push_back({78 + k, 78 + 2 * k, 2, true});
        break;
    }
    return fields;
}

double readField(const QByteArray &data, const Field &field)
{
    quint64 value = 0;
    for (int i = field.width - 1; i >= 0; --i)
        value = (value << 8) | quint8(data[field.position - 1 + i]);
    if (field.isSigned && (value >> (8 * field.width - 1)))
        return double(qint64(value) - (qint64(1) << (8 * field.width)));
    return double(value);
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

        QRandomGenerator random(20140802);
        for (int n = 0; n < FrameCount; ++n) {
            const QByteArray data = randomFrame(random);
            std::array<std::int32_t, 4> before{};
            for (int f = 0; f < 4; ++f)
                before[std::size_t(f)] = station.history().count(Family(f));
            arrive(station, data);

            const QString hex = station.frameHex();
            QCOMPARE(station.headerLines().back(),
                     hex.mid(48, 11) + QStringLiteral(" | ") + hex.mid(60, 11));
            const int kept = int(qMin<qsizetype>(data.size(), 512));
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
                    } else if (family != Family::EpsDebug) {
                        QCOMPARE(value, readField(data, field));
                    }
                }
            }
        }
        QCOMPARE(station.rxPackets(), FrameCount + 1);
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

    void randomCaptureFiles()
    {
        // Byte soup rich in FEND, FESC and time-record commands: decode what is there, never crash.
        QRandomGenerator random(42);
        const char alphabet[] = {char(0xC0), char(0xDB), char(0xDC), char(0xDD), 0x09, 0x00, 0x06};
        TelemetryHistory history;
        for (int n = 0; n < 2000; ++n) {
            QByteArray content;
            const int records = random.bounded(6);
            for (int r = 0; r < records; ++r) {
                QByteArray frame = randomFrame(random);
                for (char &byte : frame) {
                    if (random.bounded(8) == 0)
                        byte = alphabet[random.bounded(int(sizeof alphabet))];
                }
                content += char(0xC0) + frame + char(0xC0);
            }
            content.truncate(random.bounded(int(content.size()) + 1));
            const std::vector<char> exact(content.begin(), content.end());
            CaptureCsvWriter writer(QByteArrayView(exact.data(), qsizetype(exact.size())), history);
            std::string out;
            int steps = 0;
            while (writer.step(out))
                QVERIFY(++steps <= int(exact.size()) + 1);
        }
    }

};

QTEST_GUILESS_MAIN(TestDecodeFuzz)
#include "tst_decode_fuzz.moc"
