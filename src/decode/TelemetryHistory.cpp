#include "decode/TelemetryHistory.h"

#include <limits>

std::optional<Family> TelemetryHistory::familyOf(int channel)
{
    if (channel >= 1 && channel <= 50)
        return Family::EpsDebug;
    if (channel >= 51 && channel <= 58)
        return Family::ComHousekeeping;
    if (channel >= 59 && channel <= 77)
        return Family::CdhsBeacon;
    if (channel >= 78 && channel <= 98)
        return Family::AdcsMeasurement;
    return std::nullopt;
}

bool TelemetryHistory::hasPlace(Family family, int channel)
{
    switch (family) {
    case Family::EpsDebug:
        return channel >= 0 && channel <= 50;
    case Family::ComHousekeeping:
        return channel >= 51 && channel <= 58;
    case Family::CdhsBeacon:
        return channel >= 59 && channel <= 62;
    case Family::AdcsMeasurement:
        return channel >= 78 && channel <= 98;
    }
    return false;
}

TelemetryHistory::TelemetryHistory()
{
    for (Table &table : m_tables)
        table.ring.reserve(Capacity);
}

TelemetryHistory::Record &TelemetryHistory::append(Family family)
{
    Table &table = m_tables[index(family)];
    if (table.counter < std::numeric_limits<std::int32_t>::max())
        ++table.counter;
    if (int(table.ring.size()) < Capacity) {
        table.ring.emplace_back();
        return table.ring.back();
    }
    Record &slot = table.ring[std::size_t(table.head)];
    table.head = (table.head + 1) % Capacity;
    slot = Record{};
    return slot;
}

int TelemetryHistory::storedCount(Family family) const
{
    return int(m_tables[index(family)].ring.size());
}

const TelemetryHistory::Record &TelemetryHistory::stored(Family family, int k) const
{
    const Table &table = m_tables[index(family)];
    return table.ring[std::size_t((table.head + k) % int(table.ring.size()))];
}

const TelemetryHistory::Record *TelemetryHistory::latest(Family family) const
{
    const int n = storedCount(family);
    return n == 0 ? nullptr : &stored(family, n - 1);
}
