// `halvora1 import` and `halvora1 export`: frames/s over a capture of 200,000 satellite frames
// (the mixed stream of BenchFrames, foreign frames left out), imported into an empty station
// database, then exported as CSV (wide and long) to /dev/null; and the archive's reader alone.
// Budgets: import >= 100,000 frames/s; export >= 200,000 frames/s.
#include "BenchFrames.h"
#include "QtBenchmarkMain.h"
#include "app/ExportCommand.h"
#include "app/ImportCommand.h"
#include "link/Kiss.h"
#include "store/StationDatabase.h"
#include "store/TelemetryArchive.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <cstdio>
#include <limits>
#include <memory>

namespace {

constexpr int FrameCount = 200000;

// A capture file of this program's form: every frame, a time record after each satellite one.
QString benchCapture(const QString &directory)
{
    const QString path = QDir(directory).filePath(QStringLiteral("bench.kss"));
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return {};
    qint64 rxMs = QDateTime(QDate(2026, 12, 6), QTime(0, 0), Qt::UTC).toMSecsSinceEpoch();
    QByteArray out;
    int satellite = 0;
    for (const QByteArray &frame : BenchFrames::frames(BenchFrames::Mix::Mixed, FrameCount * 10 / 9 + 9)) {
        if (!frame.startsWith(BenchFrames::SatellitePrefix))
            continue;
        QByteArray records;
        Kiss::appendFrameRecord(records, frame);
        rxMs += 250;
        Kiss::appendTimeRecord(records, QDateTime::fromMSecsSinceEpoch(rxMs, Qt::UTC)
                                            .toString(QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz"))
                                            .toLatin1() + " UTC");
        out += records;
        if (out.size() > (1 << 20)) {
            file.write(out);
            out.clear();
        }
        if (++satellite == FrameCount)
            break;
    }
    file.write(out);
    return path;
}

struct Fixture
{
    QTemporaryDir dir;
    QString capture;
};

Fixture &fixture()
{
    static Fixture shared;
    if (shared.capture.isEmpty())
        shared.capture = benchCapture(shared.dir.path());
    return shared;
}

void importCapture(benchmark::State &state)
{
    for (auto _ : state) {
        state.PauseTiming();
        auto station = std::make_unique<QTemporaryDir>();
        std::FILE *sink = std::fopen("/dev/null", "w");
        state.ResumeTiming();
        const int status = runImportCommand({QStringLiteral("--station-dir"), station->path(), fixture().capture},
                                            sink, stderr);
        state.PauseTiming();
        std::fclose(sink);
        if (status != 0)
            state.SkipWithError("import failed");
        station.reset();
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * FrameCount);
}
// Wall time: the database's commits run on a thread of their own.
BENCHMARK(importCapture)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

// The capture imported once, for the readers.
const QString &importedStation()
{
    static const QString station = [] {
        const QString directory = fixture().dir.filePath(QStringLiteral("station"));
        std::FILE *sink = std::fopen("/dev/null", "w");
        runImportCommand({QStringLiteral("--station-dir"), directory, fixture().capture}, sink, stderr);
        std::fclose(sink);
        return directory;
    }();
    return station;
}

// The archive's reader alone, visiting every frame: the ceiling of the export's rate.
void readArchive(benchmark::State &state)
{
    StationDatabase database;
    if (!database.open(importedStation()).ok) {
        state.SkipWithError("cannot open the database");
        return;
    }
    TelemetryArchive archive(database);
    for (auto _ : state) {
        qint64 frames = 0;
        archive.forEachFrame(0, std::numeric_limits<qint64>::max(), [&frames](const ArchivedFrame &) {
            ++frames;
            return true;
        });
        benchmark::DoNotOptimize(frames);
    }
    state.SetItemsProcessed(state.iterations() * FrameCount);
}
BENCHMARK(readArchive)->Unit(benchmark::kMillisecond)->Iterations(3);

void exportArchive(benchmark::State &state)
{
    const QString &station = importedStation();
    QStringList arguments{QStringLiteral("--station-dir"), station};
    if (state.range(0) == 1)
        arguments << QStringLiteral("--long");
    for (auto _ : state) {
        std::FILE *sink = std::fopen("/dev/null", "w");
        if (runExportCommand(arguments, sink, stderr) != 0)
            state.SkipWithError("export failed");
        std::fclose(sink);
    }
    state.SetItemsProcessed(state.iterations() * FrameCount);
}
BENCHMARK(exportArchive)->ArgName("long")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->Iterations(3);

} // namespace

HALVORA_QT_BENCHMARK_MAIN()
