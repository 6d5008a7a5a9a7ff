#include "display/PlotSeriesCache.h"

#include "store/ArchiveSummary.h"

#include <algorithm>

namespace {

// Two points per slice (its minimum, then its maximum) at the slice's first ms: decimation
// then keeps both, so the column draws from the lowest to the highest value.
void appendExtremes(std::vector<SeriesDecimation::Point> &points, const TelemetryArchive::Bucket &slice)
{
    points.push_back({slice.firstMs, slice.minimum});
    if (slice.maximum != slice.minimum)
        points.push_back({slice.firstMs, slice.maximum});
}

} // namespace

PlotSeriesCache::PlotSeriesCache(TelemetryArchive &archive) : m_archive(archive)
{
}

PlotSeriesCache::Points PlotSeriesCache::points(int channel, qint64 fromMs, qint64 toMs, int columns)
{
    Points result;
    if (toMs <= fromMs || columns < 1)
        return result;
    auto found = m_channels.find(channel);
    if (found == m_channels.end()) {
        Channel cache;
        result.error = build(channel, cache);
        if (!result.error.isEmpty())
            return result;
        found = m_channels.emplace(channel, std::move(cache)).first;
    }
    Channel &cache = found->second;
    if (m_haveNewest && m_newestMs > cache.newestRead) {
        result.error = extend(channel, cache, m_newestMs + 1);
        if (!result.error.isEmpty())
            return result;
    }
    // Too few cached slices per pixel column: the archive gives the exact columns.
    if ((toMs - fromMs) / cache.sliceMs < columns || cache.slices.empty())
        return cache.slices.empty() ? result : fromArchive(channel, fromMs, toMs, columns);

    const auto byTime = [](const TelemetryArchive::Bucket &slice, qint64 time) { return slice.firstMs < time; };
    // The slice that starts before fromMs still holds frames inside the span.
    auto first = std::lower_bound(cache.slices.begin(), cache.slices.end(), fromMs, byTime);
    if (first != cache.slices.begin() && std::prev(first)->firstMs + cache.sliceMs > fromMs)
        --first;
    const auto last = std::lower_bound(first, cache.slices.end(), toMs, byTime);
    std::vector<SeriesDecimation::Point> inSpan;
    inSpan.reserve(std::size_t(2 * (last - first)));
    for (auto slice = first; slice != last; ++slice)
        appendExtremes(inSpan, *slice);
    for (SeriesDecimation::Point &point : inSpan)
        point.timeMs = std::max(point.timeMs, fromMs);
    const auto kept = SeriesDecimation::decimate(inSpan, fromMs, toMs - 1, columns);
    result.points = SeriesDecimation::polyline(inSpan, kept);
    return result;
}

void PlotSeriesCache::frameArchived(qint64 rxTimeMs)
{
    // A frame older than what the caches hold complete (an import): they are rebuilt.
    for (const auto &[channel, cache] : m_channels) {
        if (rxTimeMs < cache.coveredTo) {
            m_channels.clear();
            break;
        }
    }
    if (!m_haveNewest || rxTimeMs > m_newestMs)
        m_newestMs = rxTimeMs;
    m_haveNewest = true;
}

QString PlotSeriesCache::build(int channel, Channel &cache)
{
    QString error;
    const auto range = m_archive.timeRange(&error);
    if (!range)
        return error;
    const qint64 wanted = std::max<qint64>(1, (range->second + 1 - range->first + CachedSlices - 1) / CachedSlices);
    // Slices of whole summary buckets that start at bucket starts are read from the archive's
    // summary, exactly: used from an eighth of a fine bucket on (an archive of about four weeks),
    // so the cache gets at most eight times coarser. Shorter archives read their frames.
    const auto &buckets = ArchiveSummary::BucketSpansMs;
    const qint64 bucket = wanted >= buckets.back() ? buckets.back()
        : wanted * SummarySliceShare >= buckets.front() ? buckets.front()
                                                       : 1;
    cache.fromMs = ArchiveSummary::bucketStart(range->first, bucket);
    cache.sliceMs = (wanted + bucket - 1) / bucket * bucket;
    cache.coveredTo = cache.fromMs;
    if (!m_haveNewest || range->second > m_newestMs)
        m_newestMs = range->second;
    m_haveNewest = true;
    return extend(channel, cache, range->second + 1);
}

QString PlotSeriesCache::extend(int channel, Channel &cache, qint64 untilMs)
{
    // Whole slices from coveredTo on; the newest one may still fill, so it is read again
    // next time.
    const qint64 count = (untilMs - cache.coveredTo + cache.sliceMs - 1) / cache.sliceMs;
    if (count <= 0)
        return {};
    if ((cache.coveredTo - cache.fromMs) / cache.sliceMs + count > 2 * CachedSlices) {
        // The archive grew far beyond the range the slices were sized for: start afresh.
        Channel fresh;
        const QString error = build(channel, fresh);
        if (error.isEmpty())
            cache = std::move(fresh);
        return error;
    }
    ++m_archiveReads;
    const qint64 from = cache.coveredTo;
    TelemetryArchive::Series tail = m_archive.series(channel, from, from + count * cache.sliceMs, int(count));
    if (!tail.error.isEmpty())
        return tail.error;
    while (!cache.slices.empty() && cache.slices.back().firstMs >= from)
        cache.slices.pop_back();
    cache.slices.insert(cache.slices.end(), tail.buckets.begin(), tail.buckets.end());
    cache.coveredTo = from + (count - 1) * cache.sliceMs;
    cache.newestRead = m_newestMs;
    return {};
}

PlotSeriesCache::Points PlotSeriesCache::fromArchive(int channel, qint64 fromMs, qint64 toMs, int columns)
{
    Points result;
    ++m_archiveReads;
    const TelemetryArchive::Series series = m_archive.series(channel, fromMs, toMs, columns);
    result.error = series.error;
    result.points.reserve(2 * series.buckets.size());
    for (const TelemetryArchive::Bucket &column : series.buckets)
        appendExtremes(result.points, column);
    return result;
}
