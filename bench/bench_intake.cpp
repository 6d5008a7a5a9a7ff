// The Station's intake of one satellite frame, as handleRecord runs it (capture file,
// hex text, classification, decoding, box refresh, archive, ...), headless, every family's
// history already full with 2000 records. The event loop turns every 256 frames, as between
// socket reads, so the station database's batched commits are part of the figure. Upload off,
// or on with the server down (every satellite frame archived and queued).
// Budgets: >= 50,000 frames/s upload off; >= 30,000 frames/s and >= half of the intake before
// the station database with every frame queued.
#include "BenchFrames.h"
#include "QtBenchmarkMain.h"

#include "app/Station.h"
#include "link/AgwProtocol.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QFile>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTimer>

#include <benchmark/benchmark.h>

namespace {

using BenchFrames::Mix;

enum class Upload { Off, Queued };

constexpr int FramesPerEventLoopTurn = 256;

// Lets the event loop run for a while, so timers that are due (the database's batch) fire.
void runEventLoop(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

std::vector<QByteArray> agwRecords(Mix mix, int count)
{
    std::vector<QByteArray> records;
    for (const QByteArray &data : BenchFrames::frames(mix, count))
        records.push_back(AgwProtocol::header(AgwProtocol::KindRawFrame, std::uint32_t(data.size())) + data);
    return records;
}

void intake(benchmark::State &state, Mix mix, Upload upload)
{
    QTemporaryDir dir;
    QTcpServer closed; // a port nothing listens on: the link stays quiet
    closed.listen(QHostAddress::LocalHost);
    const quint16 port = closed.serverPort();
    closed.close();
    QFile config(dir.filePath(QStringLiteral("online_conf.ini")));
    if (!config.open(QIODevice::WriteOnly)) {
        state.SkipWithError("cannot write online_conf.ini");
        return;
    }
    config.write("PORT=127.0.0.1:" + QByteArray::number(port) + "\r\nMYCALL=BENCH\r\nSERVER=http://127.0.0.1:9/\r\n");
    config.close();

    StationOptions options;
    options.programDir = dir.path();
    options.uploadAllowed = upload == Upload::Queued; // the server's port 9 is closed: all wait
    Station station(options);
    station.start();
    if (station.startupError()) {
        state.SkipWithError("the station did not start");
        return;
    }

    // Full histories: 2000 records of every decoded family.
    const std::vector<QByteArray> fill = agwRecords(Mix::Mixed, 20000);
    for (const QByteArray &record : fill)
        station.handleRecord(record);
    runEventLoop(300); // the filling frames' batch is committed before the timing starts

    // Each iteration takes 50,000 frames and ends when they are all in the database, so the
    // figure is the end-to-end rate, not the rate of filling a buffer.
    constexpr int FramesPerIteration = 50000;
    const std::vector<QByteArray> records = agwRecords(mix, FramesPerIteration);
    for (auto _ : state) {
        for (int i = 0; i < FramesPerIteration; ++i) {
            station.handleRecord(records[std::size_t(i)]);
            if ((i + 1) % FramesPerEventLoopTurn == 0)
                QCoreApplication::processEvents();
        }
        station.store().flush();
    }
    if (upload == Upload::Queued)
        state.counters["waiting"] = double(station.store().statistics().waiting);
    state.SetItemsProcessed(state.iterations() * FramesPerIteration);
    state.counters["frames/s"] =
        benchmark::Counter(double(state.iterations() * FramesPerIteration), benchmark::Counter::kIsRate);
}

} // namespace

BENCHMARK_CAPTURE(intake, eps_debug_only, Mix::EpsDebugOnly, Upload::Off)->MinTime(3.0)->UseRealTime();
BENCHMARK_CAPTURE(intake, mixed, Mix::Mixed, Upload::Off)->MinTime(3.0)->UseRealTime();
BENCHMARK_CAPTURE(intake, eps_debug_only_queued, Mix::EpsDebugOnly, Upload::Queued)->MinTime(3.0)->UseRealTime();
BENCHMARK_CAPTURE(intake, mixed_queued, Mix::Mixed, Upload::Queued)->MinTime(3.0)->UseRealTime();

HALVORA_QT_BENCHMARK_MAIN()
