#pragma once

#include <QString>
#include <QtGlobal>

#include <vector>

// Tick marks of a UTC time axis: round steps (seconds to weeks) and labels that show just
// enough of the date and time to tell the ticks apart. The plot view labels its time axis with
// them, because Qt's date-time axis only knows local time.
namespace PlotTimeTicks {

struct Tick
{
    qint64 timeMs = 0; // ms since 1970 UTC
    QString label;     // "18:25", "12-06 18:25", "2026-12-06", ...
};

// At most maxTicks ticks on [fromMs, toMs], at multiples of the smallest round step that
// keeps within the limit. Empty when toMs <= fromMs or maxTicks < 1.
std::vector<Tick> ticks(qint64 fromMs, qint64 toMs, int maxTicks);

// "2026-12-06 18:25:09.123 UTC": a point in time for the hover read-out.
QString readOut(qint64 timeMs);

} // namespace PlotTimeTicks
