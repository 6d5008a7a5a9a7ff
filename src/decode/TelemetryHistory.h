#pragma once

#include <QString>

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

// The decoded telemetry of the four families, newest 2000 records each (the oldest is dropped
// when a family is full), and a counter per family that counts every accepted frame. Written by
// the family decoders, read by the channel refresh and the chart. Owned by the Station.

enum class Family { EpsDebug, ComHousekeeping, CdhsBeacon, AdcsMeasurement };

class TelemetryHistory
{
public:
    static constexpr int Capacity = 2000;
    static constexpr int ChannelCount = 98;

    struct Record
    {
        QString rxTime;  // FrameTimeText of the frame ("" for ADCS measurements)
        QString satTime; // EPS debug data only
        std::array<double, ChannelCount + 1> values{}; // by channel number; 0 = not filled
    };

    // The family whose record holds a channel's value: 1..50 EPS, 51..58 COM, 59..77 CDHS,
    // 78..98 ADCS; none for anything else.
    static std::optional<Family> familyOf(int channel);
    // Whether the family's record has a place for the channel (CDHS: 59..62 only).
    static bool hasPlace(Family family, int channel);

    TelemetryHistory();

    // Counts the frame and returns a fresh, zeroed record to fill (the oldest is dropped if full).
    Record &append(Family family);

    std::int32_t count(Family family) const { return m_tables[index(family)].counter; }
    int storedCount(Family family) const;
    // Stored record k, 0 = oldest kept, storedCount - 1 = latest.
    const Record &stored(Family family, int k) const;
    const Record *latest(Family family) const;

private:
    struct Table
    {
        std::vector<Record> ring; // grows to Capacity, then reused
        int head = 0;             // index of the oldest record once the ring is full
        std::int32_t counter = 0;
    };
    static std::size_t index(Family family) { return std::size_t(family); }

    std::array<Table, 4> m_tables;
};
