// The station database: frames/s of archiving and queueing satellite frames with the writes
// batched (commit every `batch` frames, as one event-loop turn would), and the start-up work with
// 1,000,000 archived frames: opening the file (with and without the quick check) and refilling
// the newest 2000 records of every family (and the file's bytes per frame, archive only).
// Also a plot series of one channel over all time, 1000 pixel columns, and a whole Station's
// start on that directory (the newest 100,000 of the frames wait for upload) to its first frame.
// Budgets: intake with the database >= 30,000 frames/s; start-up < 0.5 s; plot < 200 ms.
#include "app/Station.h"
#include "QtBenchmarkMain.h"
#include "link/AgwProtocol.h"
#include "store/StationDatabase.h"
#include "store/TelemetryArchive.h"
#include "store/UploadQueueStore.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <memory>

namespace {

constexpr Family Families[] = {Family::EpsDebug, Family::ComHousekeeping, Family::AdcsMeasurement, Family::CdhsBeacon};
constexpr int FamilyRanges[][2] = {{1, 48}, {51, 58}, {78, 97}, {59, 62}};

// A decoded satellite frame of the k-th family in turn, with random bytes and values.
ArchivedFrame benchFrame(qint64 rxTimeMs, int k)
{
    QRandomGenerator random(quint32(k + 1));
    const int kind = k % 4;
    ArchivedFrame frame;
    frame.rxTimeMs = rxTimeMs;
    frame.frame.resize(kind == 0 ? 143 : 80);
    for (char &byte : frame.frame)
        byte = char(random.bounded(256));
    frame.packetType = QStringLiteral("EPS debug data");
    if (kind == 0)
        frame.satTime = QStringLiteral("2026-12-06 18:25:09");
    frame.family = Families[kind];
    for (int channel = FamilyRanges[kind][0]; channel <= FamilyRanges[kind][1]; ++channel) {
        frame.present.set(std::size_t(channel));
        frame.values[std::size_t(channel)] = random.generateDouble() * 100;
    }
    return frame;
}

void addFrameAndEnqueue(benchmark::State &state)
{
    const int batch = int(state.range(0));
    QTemporaryDir dir;
    StationDatabase database;
    if (!database.open(dir.path()).ok) {
        state.SkipWithError("cannot open the database");
        return;
    }
    TelemetryArchive archive(database);
    UploadQueueStore queue(database);
    std::vector<ArchivedFrame> frames;
    for (int k = 0; k < 1000; ++k)
        frames.push_back(benchFrame(0, k));
    const QByteArray body(320, 'b');
    qint64 rxTimeMs = 1'700'000'000'000;
    int inBatch = 0;
    for (auto _ : state) {
        ArchivedFrame &frame = frames[std::size_t(rxTimeMs % 1000)];
        frame.rxTimeMs = ++rxTimeMs;
        archive.addFrame(frame);
        queue.enqueue(frame.rxTimeMs, frame.frame, body);
        if (++inBatch == batch) {
            database.flush();
            inBatch = 0;
        }
    }
    database.flush();
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(addFrameAndEnqueue)->Arg(1)->Arg(10)->Arg(100)->Unit(benchmark::kMicrosecond);

// One database of a million archived frames (a quarter per family), built once.
const QString &millionFrameDirectory()
{
    static std::unique_ptr<QTemporaryDir> dir;
    static QString path;
    if (dir)
        return path;
    dir = std::make_unique<QTemporaryDir>();
    path = dir->path();
    StationDatabase database;
    database.open(path);
    TelemetryArchive archive(database);
    UploadQueueStore queue(database);
    std::vector<ArchivedFrame> frames;
    for (int k = 0; k < 1000; ++k)
        frames.push_back(benchFrame(0, k));
    constexpr int Frames = 1'000'000;
    constexpr int Waiting = 100'000;
    for (int i = 0; i < Frames; ++i) {
        ArchivedFrame &frame = frames[std::size_t(i % 1000)];
        frame.rxTimeMs = 1'700'000'000'000 + qint64(i) * 10'000; // one frame per 10 s: 116 days
        frame.frame[0] = char(i);
        frame.frame[1] = char(i >> 8);
        frame.frame[2] = char(i >> 16);
        archive.addFrame(frame);
        if (i >= Frames - Waiting)
            queue.enqueue(frame.rxTimeMs, frame.frame, QByteArray(400, 'x'));
        if (i % 5000 == 4999)
            database.flush();
    }
    database.flush();
    return path;
}

void startUpRefill(benchmark::State &state)
{
    const QString &path = millionFrameDirectory();
    StationDatabase::Options options;
    options.quickCheckMaxBytes = state.range(0) != 0 ? -1 : 0;
    for (auto _ : state) {
        StationDatabase database;
        if (!database.open(path, options).ok) {
            state.SkipWithError("cannot open the database");
            return;
        }
        TelemetryArchive archive(database);
        std::size_t records = 0;
        for (const Family family : Families)
            records += archive.latest(family, 2000).frames.size();
        benchmark::DoNotOptimize(records);
    }
    const QFileInfo file(QDir(path).filePath(QLatin1String(StationDatabase::FileName)));
    state.counters["bytesPerFrame"] = double(file.size()) / 1e6;
}
BENCHMARK(startUpRefill)->ArgName("quickCheck")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

void plotSeriesAllTime(benchmark::State &state)
{
    StationDatabase database;
    if (!database.open(millionFrameDirectory()).ok) {
        state.SkipWithError("cannot open the database");
        return;
    }
    TelemetryArchive archive(database);
    const auto range = archive.timeRange();
    for (auto _ : state) {
        const TelemetryArchive::Series series = archive.series(3, range->first, range->second + 1, 1000);
        benchmark::DoNotOptimize(series.buckets.size());
    }
}
BENCHMARK(plotSeriesAllTime)->Unit(benchmark::kMillisecond);

void stationStart(benchmark::State &state)
{
    const QString &path = millionFrameDirectory();
    QFile config(QDir(path).filePath(QStringLiteral("online_conf.ini")));
    if (!config.open(QIODevice::WriteOnly) ||
        config.write("PORT=127.0.0.1:9\r\nMYCALL=BENCH\r\nSERVER=http://127.0.0.1:9/\r\n") < 0) {
        state.SkipWithError("cannot write online_conf.ini");
        return;
    }
    config.close();
    // A COM housekeeping frame as the packet engine hands it over.
    QByteArray frame = QByteArray::fromHex("00B0A472968E4062B0A4729640407703F00106001900050015");
    frame.resize(46, '\0');
    const QByteArray record = AgwProtocol::header(AgwProtocol::KindRawFrame, std::uint32_t(frame.size())) + frame;
    StationOptions options;
    options.programDir = path;
    options.uploadAllowed = false; // the figure is the start, not the upload of the backlog
    qint64 waiting = 0;
    for (auto _ : state) {
        auto station = std::make_unique<Station>(options);
        station->start();
        if (station->startupError()) {
            state.SkipWithError("the station did not start");
            return;
        }
        station->handleRecord(record);
        state.PauseTiming(); // its exit is not part of the start
        waiting = station->waitingUploads();
        station.reset();
        state.ResumeTiming();
    }
    state.counters["waiting"] = double(waiting);
}
BENCHMARK(stationStart)->Unit(benchmark::kMillisecond);

} // namespace

HALVORA_QT_BENCHMARK_MAIN()
