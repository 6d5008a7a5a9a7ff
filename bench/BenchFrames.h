#pragma once

#include <QByteArray>
#include <QRandomGenerator>

#include <vector>

// Record data (KISS command byte + AX.25 frame) of the kinds a station hears, with random
// payload bytes: the four decoded families, the named-only types and a foreign station.
namespace BenchFrames {

enum class Mix { EpsDebugOnly, Mixed };

inline const QByteArray SatellitePrefix = QByteArray::fromHex("00B0A472968E4062B0A4729640407703F0");
inline const QByteArray ForeignPrefix = QByteArray::fromHex("00A8A4A6A6404060AE6E8A96A2406103F0");

struct Kind
{
    const char *groups; // hex of positions 18..25; nullptr for a foreign frame
    int length;         // positions
};

// One of each, cycled by the mixed stream.
inline const Kind Kinds[] = {
    {"0006007A02030076", 143}, // EPS debug data
    {"0106001900050015", 46},  // COM housekeeping
    {"020600600262205C", 117}, // ADCS measurements
    {"020600220200201E", 41},  // CDHS beacon
    {"0206006E0201206A", 80},  // ADCS beacon
    {"0206007A02032076", 80},  // EPS beacon
    {"0206001D02022019", 80},  // COM beacon
    {"0506000000000000", 200}, // CAMERA data
    {"0306000000000000", 60},  // telemetry on request
    {nullptr, 60},             // another station
};

inline QByteArray frame(const Kind &kind, QRandomGenerator &random)
{
    QByteArray data(kind.length, '\0');
    for (char &byte : data)
        byte = char(random.bounded(256));
    const QByteArray head = kind.groups ? SatellitePrefix + QByteArray::fromHex(kind.groups)
                                        : ForeignPrefix;
    data.replace(0, head.size(), head);
    return data;
}

// count frames: every kind in turn, or EPS debug data only.
inline std::vector<QByteArray> frames(Mix mix, int count, quint32 seed = 1)
{
    QRandomGenerator random(seed);
    std::vector<QByteArray> result;
    result.reserve(std::size_t(count));
    constexpr int kinds = int(sizeof Kinds / sizeof Kinds[0]);
    for (int i = 0; i < count; ++i)
        result.push_back(frame(Kinds[mix == Mix::Mixed ? i % kinds : 0], random));
    return result;
}

} // namespace BenchFrames
