#include "display/PlotRange.h"

#include "store/TelemetryArchive.h"

namespace PlotRange {

QString title(Kind kind)
{
    switch (kind) {
    case Kind::LastPass:
        return QStringLiteral("Last pass");
    case Kind::Last24Hours:
        return QStringLiteral("Last 24 h");
    case Kind::Last7Days:
        return QStringLiteral("Last 7 days");
    case Kind::All:
        break;
    }
    return QStringLiteral("All");
}

namespace {

// The first frame of the newest run of frames without a gap over PassGapMs. Walks back one gap
// window at a time, reading one frame per step (the earliest in the window), so a long
// continuous run costs one indexed look-up per 15 minutes (at most 96), not one row per frame.
std::optional<qint64> passStart(TelemetryArchive &archive, qint64 newestMs, QString *error)
{
    qint64 start = newestMs;
    const qint64 limit = newestMs + 1 - MaxPassMs;
    for (;;) {
        std::optional<qint64> earliest;
        const QString failure = archive.forEachFrame(start - PassGapMs, start, [&](const ArchivedFrame &frame) {
            earliest = frame.rxTimeMs;
            return false;
        });
        if (!failure.isEmpty()) {
            if (error)
                *error = failure;
            return std::nullopt;
        }
        if (!earliest)
            return start;
        start = *earliest;
        if (start <= limit)
            return limit;
    }
}

} // namespace

std::optional<Span> compute(Kind kind, TelemetryArchive &archive, QString *error)
{
    if (error)
        error->clear();
    const auto range = archive.timeRange(error);
    if (!range)
        return std::nullopt;
    const qint64 end = range->second + 1;
    constexpr qint64 Day = 24 * 60 * 60 * 1000;
    switch (kind) {
    case Kind::LastPass: {
        const std::optional<qint64> start = passStart(archive, range->second, error);
        if (!start)
            return std::nullopt;
        return Span{*start, end};
    }
    case Kind::Last24Hours:
        return Span{end - Day, end};
    case Kind::Last7Days:
        return Span{end - 7 * Day, end};
    case Kind::All:
        break;
    }
    return Span{range->first, end};
}

} // namespace PlotRange
