// The Plots window on an archive of 1,000,000 frames (one every 10 s, 116 days; the four
// families in turn, as in bench_store, or EPS debug data only with --eps-only): one
// channel over all time drawn from a cold start (a fresh connection, as when the window opens
// on a station just started), zoom and pan redrawn (wide spans from the cached slices, narrow
// ones from the archive), the memory the window adds and the database's bytes per frame.
// Budgets: all time < 200 ms; zoom or pan < 50 ms; the window adds < 100 MB.
#include "display/PlotRange.h"
#include "display/gui/PlotChartView.h"
#include "display/gui/PlotWindow.h"
#include "store/ArchiveSchema.h"
#include "store/StationDatabase.h"
#include "store/TelemetryArchive.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstring>
#include <memory>

namespace {

constexpr int FrameCount = 1'000'000;
constexpr qint64 FirstMs = 1'700'000'000'000;
constexpr qint64 StepMs = 10'000;
bool epsOnly = false; // every frame carries the plotted channel: four times the rows to read

struct MillionFrames
{
    QTemporaryDir directory;
    StationDatabase database;
    std::unique_ptr<TelemetryArchive> archive;
};

MillionFrames &millionFrames()
{
    static MillionFrames *store = [] {
        auto *made = new MillionFrames;
        made->database.open(made->directory.path());
        made->archive = std::make_unique<TelemetryArchive>(made->database);
        for (int i = 0; i < FrameCount; ++i) {
            const ArchiveSchema::FamilyTable &table = ArchiveSchema::FamilyTables[epsOnly ? 0 : std::size_t(i % 4)];
            ArchivedFrame frame;
            frame.packetType = QStringLiteral("EPS debug data");
            frame.satTime = QStringLiteral("2026-12-06 18:25:09");
            frame.family = table.family;
            frame.frame = QByteArray(143, 'x');
            frame.rxTimeMs = FirstMs + qint64(i) * StepMs;
            std::memcpy(frame.frame.data(), &i, sizeof i);
            for (int channel = table.firstChannel; channel <= table.lastChannel; ++channel) {
                frame.present.set(std::size_t(channel));
                frame.values[std::size_t(channel)] = std::sin(i * 0.001 + channel) * 10 + (i % 99991 == 0 ? 50 : 0);
            }
            made->archive->addFrame(frame);
            if (i % 5000 == 4999)
                made->database.flush();
        }
        made->database.flush();
        return made;
    }();
    return *store;
}

double residentMegabytes()
{
    QFile statm(QStringLiteral("/proc/self/statm"));
    if (!statm.open(QIODevice::ReadOnly))
        return 0;
    const QList<QByteArray> fields = statm.readLine(64).split(' ');
    return fields.size() > 1 ? fields[1].toDouble() * 4096 / 1e6 : 0;
}

// The database file and its write-ahead log.
double databaseBytes(const QString &directory)
{
    const QString file = QDir(directory).filePath(QLatin1String(StationDatabase::FileName));
    return double(QFileInfo(file).size() + QFileInfo(file + QStringLiteral("-wal")).size());
}

// A new window on a new connection, channel 16 over all time, painted: the first plot a user
// waits for.
void plotAllTimeCold(benchmark::State &state)
{
    MillionFrames &store = millionFrames();
    const double before = residentMegabytes();
    double added = 0;
    for (auto _ : state) {
        state.PauseTiming();
        StationDatabase database;
        database.open(store.directory.path());
        TelemetryArchive archive(database);
        state.ResumeTiming();
        PlotWindow window(archive);
        window.resize(1200, 700);
        window.setChannelShown(16, true);
        window.setRange(PlotRange::Kind::All);
        window.show();
        benchmark::DoNotOptimize(window.chartView()->grab());
        added = std::max(added, residentMegabytes() - before);
    }
    state.counters["windowAddsMB"] = added;
    state.counters["dbBytesPerFrame"] = databaseBytes(store.directory.path()) / FrameCount;
}
BENCHMARK(plotAllTimeCold)->Unit(benchmark::kMillisecond)->Iterations(5);

// Zoom or pan of a shown window, painted. Arg: the visible share of all time, in thousandths
// (wide spans come from the cache, narrow ones from the archive).
void zoomAndPan(benchmark::State &state)
{
    MillionFrames &store = millionFrames();
    PlotWindow window(*store.archive);
    window.resize(1200, 700);
    window.show();
    window.setRange(PlotRange::Kind::All);
    window.setChannelShown(16, true);
    const qint64 all = qint64(FrameCount) * StepMs;
    const qint64 width = all * state.range(0) / 1000;
    qint64 from = FirstMs;
    for (auto _ : state) {
        from += width / 7; // a pan step; wraps at the end
        if (from + width > FirstMs + all)
            from = FirstMs;
        window.setSpan(from, from + width);
        benchmark::DoNotOptimize(window.chartView()->grab());
    }
}
BENCHMARK(zoomAndPan)->ArgName("permille")->Arg(500)->Arg(100)->Arg(50)->Arg(5)->Unit(benchmark::kMillisecond);

// The archive's own min/max query over all time, the floor of a cold plot. Arg: slices.
void archiveSeriesAllTime(benchmark::State &state)
{
    MillionFrames &store = millionFrames();
    const auto range = store.archive->timeRange();
    for (auto _ : state) {
        const auto series = store.archive->series(16, range->first, range->second + 1, int(state.range(0)));
        benchmark::DoNotOptimize(series.buckets.size());
    }
}
BENCHMARK(archiveSeriesAllTime)->ArgName("slices")->Arg(1000)->Arg(65536)->Unit(benchmark::kMillisecond);

// "Last pass" on a continuous archive: the longest walk back (capped at 24 h).
void lastPassRange(benchmark::State &state)
{
    MillionFrames &store = millionFrames();
    for (auto _ : state)
        benchmark::DoNotOptimize(PlotRange::compute(PlotRange::Kind::LastPass, *store.archive));
}
BENCHMARK(lastPassRange)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    for (int i = 1; i < argc; ++i)
        epsOnly = epsOnly || qstrcmp(argv[i], "--eps-only") == 0;
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
