#pragma once

#include "decode/TelemetryHistory.h"

#include <QByteArray>
#include <QString>
#include <QtGlobal>

#include <array>
#include <bitset>
#include <optional>

// One satellite frame as the archive keeps it: what the Station hands to TelemetryArchive::addFrame
// for every satellite frame, and what the archive's readers give back (history refill, export).
struct ArchivedFrame
{
    using Values = std::array<double, TelemetryHistory::ChannelCount + 1>; // by channel number
    using Present = std::bitset<TelemetryHistory::ChannelCount + 1>;

    qint64 rxTimeMs = 0;           // reception time, ms since 1970 UTC
    QByteArray frame;              // the frame bytes (forEachFrame fills them, latest does not)
    QString packetType;            // "EPS debug data", ...
    QString satTime;               // EPS debug data only, else ""
    std::optional<Family> family;  // the family whose decoder ran; none: no values
    Present present;               // channels the frame carried a value for
    Values values{};               // by channel number; only `present` ones mean anything
};
