#include "decode/SeriesDecimation.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>

namespace SeriesDecimation {

namespace {

// The column of an offset into a range of width ms (offset < width; width 0 stands for 2^64, the
// whole qint64 range). Exact in integers unless offset * columnCount passes 2^64 (a range of
// centuries split into many columns).
int columnOf(quint64 offset, quint64 width, int columnCount)
{
    const quint64 count = quint64(columnCount);
    if (width != 0 && offset <= std::numeric_limits<quint64>::max() / count)
        return int(offset * count / width);
    using Real = long double;
    const Real range = width == 0 ? 18446744073709551616.0L : Real(width);
    return int(std::min(Real(offset) * Real(count) / range, Real(count - 1)));
}

} // namespace

std::vector<Column> decimate(std::span<const Point> points, qint64 from, qint64 to,
                             int columnCount)
{
    std::vector<Column> columns;
    if (from > to || columnCount < 1)
        return columns;
    const quint64 width = quint64(to) - quint64(from) + 1; // 0 only for the whole qint64 range
    const auto before = [](const Point &point, qint64 time) { return point.timeMs < time; };
    auto it = std::lower_bound(points.begin(), points.end(), from, before);

    for (; it != points.end() && it->timeMs <= to; ++it) {
        if (std::isnan(it->value))
            continue;
        const qsizetype index = it - points.begin();
        const quint64 offset = quint64(it->timeMs) - quint64(from);
        const int column = columnOf(offset, width, columnCount);
        if (columns.empty() || columns.back().column != column) {
            columns.push_back({column, index, index, index, index});
            continue;
        }
        Column &current = columns.back();
        current.last = index;
        if (it->value < points[std::size_t(current.minimum)].value)
            current.minimum = index;
        if (it->value > points[std::size_t(current.maximum)].value)
            current.maximum = index;
    }
    return columns;
}

std::vector<Point> polyline(std::span<const Point> points, const std::vector<Column> &columns)
{
    std::vector<Point> line;
    line.reserve(columns.size() * 4);
    for (const Column &column : columns) {
        std::array<qsizetype, 4> kept{column.first, column.minimum, column.maximum, column.last};
        std::sort(kept.begin(), kept.end());
        const auto end = std::unique(kept.begin(), kept.end());
        for (auto index = kept.begin(); index != end; ++index)
            line.push_back(points[std::size_t(*index)]);
    }
    return line;
}

} // namespace SeriesDecimation
