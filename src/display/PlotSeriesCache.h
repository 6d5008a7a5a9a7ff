#pragma once

#include "decode/SeriesDecimation.h"
#include "store/TelemetryArchive.h"

#include <QString>

#include <map>
#include <vector>

// The points a plot draws for one channel over a time span: the minimum and maximum of every
// pixel column, so no spike is lost. Keeps, per channel, the archive's whole time range at a
// fine resolution, so zoom and pan over wide spans are served from memory; narrow spans are
// read from the archive. Owned by the plot window; told when frames were archived.
class PlotSeriesCache
{
public:
    // Slices kept per channel over the archive's whole time range (2.6 MB a channel): fine
    // enough that only spans of a few thousand frames go back to the archive.
    static constexpr int CachedSlices = 65536;
    // Slices this share of a summary bucket or wider are rounded up to whole buckets.
    static constexpr qint64 SummarySliceShare = 8;

    struct Points
    {
        std::vector<SeriesDecimation::Point> points; // time order, at most 4 per column
        QString error;
    };

    explicit PlotSeriesCache(TelemetryArchive &archive);

    // The channel's points over [fromMs, toMs) for a plot `columns` pixels wide.
    Points points(int channel, qint64 fromMs, qint64 toMs, int columns);

    // A frame received at rxTimeMs was archived: later reads include it.
    void frameArchived(qint64 rxTimeMs);
    void clear() { m_channels.clear(); }

    // Read from the archive so far (for the tests and the benchmark: cache hits add nothing).
    int archiveReads() const { return m_archiveReads; }

private:
    struct Channel
    {
        qint64 fromMs = 0;     // start of slice 0
        qint64 sliceMs = 1;    // width of every slice
        qint64 coveredTo = 0;  // slices before this time are complete
        qint64 newestRead = 0; // the newest frame time announced when the slices were read
        std::vector<TelemetryArchive::Bucket> slices; // only those holding a value, in order
    };

    QString build(int channel, Channel &cache);
    QString extend(int channel, Channel &cache, qint64 untilMs);
    Points fromArchive(int channel, qint64 fromMs, qint64 toMs, int columns);

    TelemetryArchive &m_archive;
    std::map<int, Channel> m_channels;
    qint64 m_newestMs = 0;           // newest frame announced (or seen at build)
    bool m_haveNewest = false;
    int m_archiveReads = 0;
};
