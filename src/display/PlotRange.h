#pragma once

#include <QString>
#include <QtGlobal>

#include <optional>

class TelemetryArchive;

// The preset time ranges of the plot window and how each is found in the archive. The plot
// window calls it when a range is chosen and when new frames arrive.
namespace PlotRange {

enum class Kind { LastPass, Last24Hours, Last7Days, All };

// A pass ends where the archive has no frame for longer than this.
constexpr qint64 PassGapMs = 15 * 60 * 1000;
// A run longer than this is no pass (a test feed or a continuous recording): "last pass" shows
// its newest 24 hours, so finding it stays a few look-ups.
constexpr qint64 MaxPassMs = 24 * 60 * 60 * 1000;

struct Span
{
    qint64 fromMs = 0; // inclusive
    qint64 toMs = 0;   // exclusive
};

// The button text of a range: "Last pass", "Last 24 h", "Last 7 days", "All".
QString title(Kind kind);

// The span of `kind` in the archive. The relative ranges end just after the newest frame (not
// at the wall clock), so a quiet station still shows its last data. None when the archive is
// empty or cannot be read (`error` tells which, "" when it is just empty).
std::optional<Span> compute(Kind kind, TelemetryArchive &archive, QString *error = nullptr);

} // namespace PlotRange
