#include "decode/PacketClassifier.h"

#include "decode/FrameBytes.h"

#include <algorithm>

namespace {

struct Test
{
    const char16_t *header1;
    const char16_t *header2; // nullptr: header 1's first five characters decide alone
    PacketType type;
};

constexpr Test Tests[] = {
    {u"00 06 00 7A", u"02 03 00 76", PacketType::EpsDebugData},
    {u"02 06 00 60", u"02 62 20 5C", PacketType::AdcsMeasurements},
    {u"01 06 00 19", u"00 05 00 15", PacketType::ComHousekeeping},
    {u"02 06 00 22", u"02 00 20 1E", PacketType::CdhsBeacon},
    {u"02 06 00 6E", u"02 01 20 6A", PacketType::AdcsBeacon},
    {u"02 06 00 7A", u"02 03 20 76", PacketType::EpsBeacon},
    {u"02 06 00 1D", u"02 02 20 19", PacketType::ComBeacon},
    {u"05 06", nullptr, PacketType::CameraData},
};

// Destination XR9KG-1, source XR9K-11 (last address), control UI.
constexpr std::uint8_t SatelliteAddress[] = {0xB0, 0xA4, 0x72, 0x96, 0x8E, 0x40, 0x62, 0xB0,
                                             0xA4, 0x72, 0x96, 0x40, 0x40, 0x77, 0x03};


// FrameHex characters from firstChar (0-based) on, at most 11, clipped to the hex text: the
// byte at position k occupies characters 3k - 6 and 3k - 5 (0-based), its blank 3k - 4.
HeaderHex headerHexFrom(FrameView frame, int firstChar)
{
    const int hexLength =
        3 * std::max(0, std::min<int>(int(frame.size()), FrameBytes::Capacity) - 1);
    HeaderHex header;
    for (int c = firstChar; c < firstChar + 11 && c < hexLength; ++c) {
        const std::uint8_t byte = frame[std::size_t(c / 3 + 1)];
        const int digit = c % 3;
        header.chars[std::size_t(header.length++)] =
            digit == 0 ? hexDigit(byte >> 4) : digit == 1 ? hexDigit(byte) : u' ';
    }
    return header;
}

} // namespace

QString packetTypeName(PacketType type)
{
    switch (type) {
    case PacketType::TelemetryOnRequest:
        return QStringLiteral("Telemetry on request");
    case PacketType::EpsDebugData:
        return QStringLiteral("EPS debug data");
    case PacketType::AdcsMeasurements:
        return QStringLiteral("ADCS measurements");
    case PacketType::ComHousekeeping:
        return QStringLiteral("COM housekeeping");
    case PacketType::CdhsBeacon:
        return QStringLiteral("CDHS beacon");
    case PacketType::AdcsBeacon:
        return QStringLiteral("ADCS beacon");
    case PacketType::EpsBeacon:
        return QStringLiteral("EPS beacon");
    case PacketType::ComBeacon:
        return QStringLiteral("COM beacon");
    case PacketType::CameraData:
        return QStringLiteral("CAMERA data");
    }
    return QString();
}

std::optional<Family> decodedFamily(PacketType type)
{
    switch (type) {
    case PacketType::EpsDebugData:
        return Family::EpsDebug;
    case PacketType::AdcsMeasurements:
        return Family::AdcsMeasurement;
    case PacketType::ComHousekeeping:
        return Family::ComHousekeeping;
    case PacketType::CdhsBeacon:
        return Family::CdhsBeacon;
    default:
        return std::nullopt;
    }
}

HeaderHex headerHex1(FrameView frame)
{
    return headerHexFrom(frame, 48);
}

HeaderHex headerHex2(FrameView frame)
{
    return headerHexFrom(frame, 60);
}

PacketType classify(QStringView header1, QStringView header2)
{
    PacketType type = PacketType::TelemetryOnRequest;
    for (const Test &test : Tests) {
        const bool matches = test.header2
                                 ? header1 == QStringView(test.header1) &&
                                       header2 == QStringView(test.header2)
                                 : header1.left(5) == QStringView(test.header1);
        if (matches)
            type = test.type;
    }
    return type;
}

bool isSatelliteFrame(FrameView frame)
{
    return frame.size() >= 16 &&
           std::equal(std::begin(SatelliteAddress), std::end(SatelliteAddress), frame.begin() + 1);
}
