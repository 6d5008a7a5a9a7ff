#pragma once

#include "remote/RemoteSources.h"

#include <span>
#include <vector>

// Thins a time-ordered series for a plot of limited width: the time range is cut into
// maxPoints / 2 equal buckets and each keeps its lowest and highest value in time order, so
// spikes survive. Used by the remote view's series endpoint over the in-memory history.
std::vector<SeriesPoint> decimateMinMax(std::span<const SeriesPoint> points, int maxPoints);
