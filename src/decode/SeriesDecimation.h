#pragma once

#include <QtGlobal>

#include <span>
#include <vector>

// Min/max decimation of a time series for plotting: per pixel column over [from, to] it keeps
// the first, lowest, highest and last point, so a plot of a million points draws a few per
// column and still shows every spike. Pure functions; called by the plot code with points
// read from the archive.
namespace SeriesDecimation {

struct Point
{
    qint64 timeMs = 0;
    double value = 0;
};

// One pixel column that holds at least one point; the four members index the input points.
struct Column
{
    int column = 0; // 0 .. columnCount - 1
    qsizetype first = 0;
    qsizetype minimum = 0; // the earliest of equal lowest values
    qsizetype maximum = 0; // the earliest of equal highest values
    qsizetype last = 0;
};

// points sorted by time. [from, to] (both in ms, inclusive) is split into columnCount columns
// of equal width; a point on the edge between two columns belongs to the later one, a point at
// to to the last. Points outside [from, to] and NaN values are left out; columns without a
// point are not returned. Returns the columns in order; empty if from > to or columnCount < 1.
std::vector<Column> decimate(std::span<const Point> points, qint64 from, qint64 to,
                             int columnCount);

// The kept points of columns in time order, each point once: the polyline to draw.
std::vector<Point> polyline(std::span<const Point> points, const std::vector<Column> &columns);

} // namespace SeriesDecimation
