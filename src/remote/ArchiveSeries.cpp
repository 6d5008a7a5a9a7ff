#include "remote/ArchiveSeries.h"

#include "store/TelemetryArchive.h"

#include <limits>

SeriesAnswer ArchiveSeries::series(int channel, qint64 fromMs, qint64 toMs, int maxPoints) const
{
    // The archive's range is half-open and its slices span the range asked for: narrow an
    // open-ended request to what the archive holds so the slices fall on the values.
    QString error;
    const auto range = m_archive.timeRange(&error);
    if (!range)
        return {{}, error};
    const qint64 from = std::max(fromMs, range->first);
    const qint64 last = std::min(toMs, range->second);
    if (from > last)
        return {};
    const qint64 to = last < std::numeric_limits<qint64>::max() ? last + 1 : last;

    const TelemetryArchive::Series slices = m_archive.series(channel, from, to, std::max(1, maxPoints / 2));
    SeriesAnswer answer{{}, slices.error};
    answer.points.reserve(slices.buckets.size() * 2);
    for (const TelemetryArchive::Bucket &bucket : slices.buckets) {
        answer.points.push_back({bucket.firstMs, bucket.minimum});
        if (bucket.maximum != bucket.minimum)
            answer.points.push_back({bucket.firstMs, bucket.maximum});
    }
    return answer;
}
