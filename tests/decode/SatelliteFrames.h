#pragma once

#include "link/AgwProtocol.h"
#include "support/Programs.h"
#include "support/StationHarness.h"

#include <QByteArray>

#include <memory>

// Record data of satellite frames for the decoding tests: KISS command byte, the satellite's
// addresses and UI control, a PID byte (position 17), then the packet from position 18 on;
// and a Station to send them to.
namespace SatelliteFrames {

inline const QByteArray Prefix = QByteArray::fromHex("00B0A472968E4062B0A4729640407703F0");

inline const QByteArray EpsDebugGroups = QByteArray::fromHex("0006007A02030076");
inline const QByteArray ComGroups = QByteArray::fromHex("0106001900050015");
inline const QByteArray AdcsGroups = QByteArray::fromHex("020600600262205C");
inline const QByteArray CdhsGroups = QByteArray::fromHex("020600220200201E");
inline const QByteArray EpsBeaconGroups = QByteArray::fromHex("0206007A02032076");

// Full lengths (positions) of the decoded families' frames.
constexpr int EpsDebugLength = 143;
constexpr int ComLength = 46;
constexpr int AdcsLength = 117;
constexpr int CdhsLength = 41;

// A satellite frame of length positions with groups at 18..25, zeros after them.
inline QByteArray frameOf(const QByteArray &groups, int length)
{
    QByteArray data = Prefix + groups;
    data.resize(length, '\0');
    return data;
}

// Bytes from hex text at a 1-based position.
inline void put(QByteArray &data, int position, const char *hex)
{
    const QByteArray bytes = QByteArray::fromHex(hex);
    data.replace(position - 1, bytes.size(), bytes);
}

inline void putInt16(QByteArray &data, int position, int value)
{
    data[position - 1] = char(value & 0xFF);
    data[position] = char((value >> 8) & 0xFF);
}

// A started Station with upload off whose link points at a loopback port nothing listens on.
inline std::unique_ptr<StationHarness> startQuietStation()
{
    const quint16 port = freeLoopbackPort();
    StationOptions options;
    options.uploadAllowed = false;
    auto harness = std::make_unique<StationHarness>(
        "PORT=127.0.0.1:" + QByteArray::number(port) + "\r\nMYCALL=N0CALL\r\nSERVER=http://127.0.0.1:9/\r\n",
        options);
    harness->station->start();
    return harness;
}

// The frame as one whole raw-frame record of the packet engine.
inline void arrive(Station &station, const QByteArray &data)
{
    station.handleRecord(
        AgwProtocol::header(AgwProtocol::KindRawFrame, std::uint32_t(data.size())) + data);
}

} // namespace SatelliteFrames
