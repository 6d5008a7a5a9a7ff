#include "display/PlotTimeTicks.h"

#include <QDateTime>
#include <QTimeZone>

#include <array>

namespace PlotTimeTicks {

namespace {

constexpr qint64 Second = 1000;
constexpr qint64 Minute = 60 * Second;
constexpr qint64 Hour = 60 * Minute;
constexpr qint64 Day = 24 * Hour;

constexpr std::array<qint64, 22> Steps{
    1,          10,         100,        Second,     2 * Second,  5 * Second, 10 * Second, 15 * Second,
    30 * Second, Minute,    2 * Minute, 5 * Minute, 10 * Minute, 15 * Minute, 30 * Minute, Hour,
    2 * Hour,   3 * Hour,   6 * Hour,   12 * Hour,  Day,         7 * Day};

QString format(qint64 step, qint64 span)
{
    if (step < Second)
        return QStringLiteral("HH:mm:ss.zzz");
    if (step < Minute)
        return span < Day ? QStringLiteral("HH:mm:ss") : QStringLiteral("MM-dd HH:mm:ss");
    if (step < Day)
        return span < Day ? QStringLiteral("HH:mm") : QStringLiteral("MM-dd HH:mm");
    return QStringLiteral("yyyy-MM-dd");
}

} // namespace

std::vector<Tick> ticks(qint64 fromMs, qint64 toMs, int maxTicks)
{
    std::vector<Tick> result;
    if (toMs <= fromMs || maxTicks < 1)
        return result;
    const qint64 span = toMs - fromMs;
    qint64 step = Steps.back();
    for (const qint64 candidate : Steps) {
        if (span / candidate < maxTicks) {
            step = candidate;
            break;
        }
    }
    // Beyond weeks: whole multiples of a week.
    while (span / step >= maxTicks)
        step *= 2;
    const QString pattern = format(step, span);
    // First multiple of step at or after fromMs (floor division also for times before 1970).
    qint64 first = fromMs / step * step;
    if (first < fromMs)
        first += step;
    for (qint64 t = first; t <= toMs; t += step)
        result.push_back({t, QDateTime::fromMSecsSinceEpoch(t, QTimeZone::utc()).toString(pattern)});
    return result;
}

QString readOut(qint64 timeMs)
{
    return QDateTime::fromMSecsSinceEpoch(timeMs, QTimeZone::utc()).toString(QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz"))
        + QStringLiteral(" UTC");
}

} // namespace PlotTimeTicks
