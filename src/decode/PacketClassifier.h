#pragma once

#include "decode/FieldReaders.h"
#include "decode/TelemetryHistory.h"

#include <QString>
#include <QStringView>

#include <array>
#include <optional>

// Names a satellite frame by the eight bytes after its AX.25 header (positions 18..25), as
// the frame's hex text shows them, and says which family decoder, if any, belongs to the name.
// Used by the frame decoder, for the live Station and the offline decoder alike.

enum class PacketType {
    TelemetryOnRequest, // matches no test
    EpsDebugData,
    AdcsMeasurements,
    ComHousekeeping,
    CdhsBeacon,
    AdcsBeacon,
    EpsBeacon,
    ComBeacon,
    CameraData,
};
constexpr int PacketTypeCount = int(PacketType::CameraData) + 1;

// "EPS debug data", "Telemetry on request", ...
QString packetTypeName(PacketType type);
// The family whose decoder runs for the type; none for the types that are only named.
std::optional<Family> decodedFamily(PacketType type);

// HeaderHex1 (FrameHex characters 49..59, positions 18..21) or HeaderHex2 (characters 61..71,
// positions 22..25): up to 11 characters, fewer or none where the hex text is shorter.
struct HeaderHex
{
    std::array<char16_t, 11> chars{};
    int length = 0;
    QStringView view() const { return {chars.data(), length}; }
};
HeaderHex headerHex1(FrameView frame);
HeaderHex headerHex2(FrameView frame);

// The eight tests, each on its own and in order; exact, case-sensitive text comparison.
PacketType classify(QStringView headerHex1, QStringView headerHex2);

// True when positions 2..16 hold the satellite's addresses and UI control byte.
bool isSatelliteFrame(FrameView frame);
