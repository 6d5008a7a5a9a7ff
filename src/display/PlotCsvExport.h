#pragma once

#include <QString>
#include <QtGlobal>

#include <vector>

class QIODevice;
class TelemetryArchive;

// Writes what a plot shows as CSV in the archive's export format: one row per archived frame
// of the span that carries a value of a plotted channel, in reception order; rx_time (ISO 8601
// UTC with ms), packet_type, sat_time, then one column per plotted channel that has a value.
// Called by the plot window's "Export CSV..." action.
namespace PlotCsvExport {

// "12 Battery voltage [V]": the channel number, its caption and, if it has one, its unit.
QString columnTitle(int channel);

// "2026-12-06T18:25:09.123Z"
QString isoTime(qint64 timeMs);

// Writes the frames with fromMs <= rx time < toMs. "" on success, else what failed.
QString write(TelemetryArchive &archive, const std::vector<int> &channels, qint64 fromMs, qint64 toMs,
              QIODevice &out);

} // namespace PlotCsvExport
