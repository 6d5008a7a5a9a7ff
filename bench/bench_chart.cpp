// Cost of the chart work the intake does after every satellite frame, with full histories.
#include "decode/TelemetryHistory.h"
#include "display/ChannelChart.h"

#include <benchmark/benchmark.h>

static void BM_DrawAfterFrame(benchmark::State &state)
{
    TelemetryHistory history;
    for (int i = 0; i < TelemetryHistory::Capacity; ++i)
        history.append(Family::EpsDebug).rxTime = QStringLiteral("2026-12-05 14:05:09.123 UTC");
    ChannelChart chart(history);
    const QString caption = QStringLiteral("Batt A Temp");
    const QString unit = QStringLiteral("C");
    for (auto _ : state) {
        chart.draw(19, caption, unit);
        benchmark::DoNotOptimize(chart.rowCount());
    }
}
BENCHMARK(BM_DrawAfterFrame);

static void BM_ReadAllRows(benchmark::State &state)
{
    TelemetryHistory history;
    for (int i = 0; i < TelemetryHistory::Capacity; ++i)
        history.append(Family::EpsDebug).rxTime = QStringLiteral("2026-12-05 14:05:09.123 UTC");
    ChannelChart chart(history);
    chart.draw(19, QStringLiteral("Batt A Temp"), QStringLiteral("C"));
    for (auto _ : state) {
        double sum = 0;
        for (int i = 0; i < chart.rowCount(); ++i)
            sum += chart.value(i);
        benchmark::DoNotOptimize(sum);
    }
}
BENCHMARK(BM_ReadAllRows);

BENCHMARK_MAIN();
