#include "remote/SeriesDecimation.h"

std::vector<SeriesPoint> decimateMinMax(std::span<const SeriesPoint> points, int maxPoints)
{
    if (maxPoints < 2 || points.size() <= std::size_t(maxPoints))
        return {points.begin(), points.end()};

    const qint64 first = points.front().timeMs;
    const qint64 span = points.back().timeMs - first + 1;
    const qint64 buckets = maxPoints / 2;
    std::vector<SeriesPoint> result;
    result.reserve(std::size_t(maxPoints));

    std::size_t i = 0;
    while (i < points.size()) {
        const qint64 bucket = (points[i].timeMs - first) * buckets / span;
        std::size_t low = i, high = i;
        for (++i; i < points.size() && (points[i].timeMs - first) * buckets / span == bucket; ++i) {
            if (points[i].value < points[low].value)
                low = i;
            if (points[i].value > points[high].value)
                high = i;
        }
        result.push_back(points[std::min(low, high)]);
        if (low != high)
            result.push_back(points[std::max(low, high)]);
    }
    return result;
}
