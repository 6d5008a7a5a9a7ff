#pragma once

#include "decode/TelemetryHistory.h"

#include <QString>

#include <array>

// Where each telemetry family's decoded values live in the archive: its table and the range of
// channels that have a column there (column "c<channel>"). Read by the migrations and the archive.
namespace ArchiveSchema {

struct FamilyTable
{
    Family family;
    const char *table;
    int firstChannel;
    int lastChannel;
};

// The channels each family decoder fills.
inline constexpr std::array<FamilyTable, 4> FamilyTables{{
    {Family::EpsDebug, "eps_debug", 1, 48},
    {Family::ComHousekeeping, "com_housekeeping", 51, 58},
    {Family::CdhsBeacon, "cdhs_beacon", 59, 62},
    {Family::AdcsMeasurement, "adcs_measurement", 78, 97},
}};

inline const FamilyTable &tableOf(Family family)
{
    return FamilyTables[std::size_t(family)];
}

// The table holding the channel's column; nullptr for a channel no decoder fills.
inline const FamilyTable *tableOfChannel(int channel)
{
    for (const FamilyTable &table : FamilyTables) {
        if (channel >= table.firstChannel && channel <= table.lastChannel)
            return &table;
    }
    return nullptr;
}

inline QString columnOf(int channel)
{
    return QStringLiteral("c%1").arg(channel);
}

// "c1, c2, ..., c48" for the family's channels, each prefixed with `prefix`.
inline QString columnList(const FamilyTable &table, const QString &prefix = {})
{
    QString list;
    for (int channel = table.firstChannel; channel <= table.lastChannel; ++channel) {
        if (!list.isEmpty())
            list += QStringLiteral(", ");
        list += prefix + columnOf(channel);
    }
    return list;
}

} // namespace ArchiveSchema
