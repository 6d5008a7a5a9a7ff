// What the remote view costs. metrics/status/...: building one answer with every family's
// history full (98 channels; budget for /metrics < 10 ms). intake: frames/s of the Station's
// intake alone and while a client on another thread polls the page's API and scrapes /metrics
// over loopback (budget: < 5% fewer frames/s at one poll round a second).
#include "BenchFrames.h"
#include "QtBenchmarkMain.h"

#include "app/Station.h"
#include "link/AgwProtocol.h"
#include "remote/RemoteView.h"

#include <QCoreApplication>
#include <QFile>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QThread>

#include <benchmark/benchmark.h>

#include <atomic>
#include <thread>

namespace {

std::vector<QByteArray> agwRecords(BenchFrames::Mix mix, int count)
{
    std::vector<QByteArray> records;
    for (const QByteArray &data : BenchFrames::frames(mix, count))
        records.push_back(AgwProtocol::header(AgwProtocol::KindRawFrame, std::uint32_t(data.size())) + data);
    return records;
}

// A started headless Station whose link stays quiet, every family's history full.
struct FullStation
{
    QTemporaryDir dir;
    std::unique_ptr<Station> station;

    FullStation()
    {
        QTcpServer closed;
        closed.listen(QHostAddress::LocalHost);
        const quint16 port = closed.serverPort();
        closed.close();
        QFile config(dir.filePath(QStringLiteral("online_conf.ini")));
        if (config.open(QIODevice::WriteOnly))
            config.write("PORT=127.0.0.1:" + QByteArray::number(port) +
                         "\r\nMYCALL=BENCH\r\nSERVER=http://127.0.0.1:9/\r\n"); // SERVER is required
        config.close();
        StationOptions options;
        options.programDir = dir.path();
        options.uploadAllowed = false;
        station = std::make_unique<Station>(options);
        station->start();
        for (const QByteArray &record : agwRecords(BenchFrames::Mix::Mixed, 20000))
            station->handleRecord(record);
    }
};

void answer(benchmark::State &state, const char *path, const char *query)
{
    FullStation full;
    if (full.station->startupError()) {
        state.SkipWithError("the station did not start");
        return;
    }
    RemoteView view(*full.station);
    qint64 bytes = 0;
    for (auto _ : state) {
        const RemoteHttpServer::Response response = view.respond(QString::fromLatin1(path), QUrlQuery(QString::fromLatin1(query)));
        bytes = response.body.size();
        benchmark::DoNotOptimize(response.body.data());
    }
    state.counters["bytes"] = double(bytes);
}

// One poll round of the page plus a scrape, on a blocking socket of the calling thread.
bool pollRound(QTcpSocket &socket)
{
    static const QByteArray targets[] = {"/api/v1/status", "/api/v1/channels", "/api/v1/log?limit=50",
                                         "/api/v1/series?channel=1&points=800", "/metrics"};
    for (const QByteArray &target : targets) {
        socket.write("GET " + target + " HTTP/1.1\r\nHost: bench\r\n\r\n");
        QByteArray buffer;
        qsizetype need = -1;
        while (need < 0 || buffer.size() < need) {
            if (!socket.waitForReadyRead(5000))
                return false;
            buffer += socket.readAll();
            const qsizetype end = buffer.indexOf("\r\n\r\n");
            const qsizetype at = buffer.indexOf("Content-Length: ");
            if (need < 0 && end >= 0 && at >= 0)
                need = end + 4 + buffer.mid(at + 16, buffer.indexOf('\r', at) - at - 16).toLongLong();
        }
    }
    return true;
}

void intake(benchmark::State &state)
{
    const int pollIntervalMs = int(state.range(0)); // 0: no remote view at all
    FullStation full;
    if (full.station->startupError()) {
        state.SkipWithError("the station did not start");
        return;
    }
    RemoteView view(*full.station);
    if (pollIntervalMs > 0 && view.listen(QHostAddress::LocalHost, 0, {})) {
        state.SkipWithError("cannot listen");
        return;
    }
    std::atomic<bool> stop = false;
    std::atomic<int> rounds = 0;
    std::atomic<bool> finished = false;
    std::thread client;
    if (pollIntervalMs > 0) {
        client = std::thread([&, port = view.serverPort()] {
            QTcpSocket socket;
            socket.connectToHost(QHostAddress::LocalHost, port);
            if (socket.waitForConnected(5000)) {
                while (!stop && pollRound(socket)) {
                    ++rounds;
                    QThread::msleep(ulong(pollIntervalMs));
                }
            }
            finished = true;
        });
    }

    const std::vector<QByteArray> records = agwRecords(BenchFrames::Mix::EpsDebugOnly, 10000);
    std::size_t next = 0;
    for (auto _ : state) {
        full.station->handleRecord(records[next]);
        next = next + 1 == records.size() ? 0 : next + 1;
        // The station's event loop: where the view's sockets are served between frames.
        if (next % 64 == 0)
            QCoreApplication::processEvents();
    }
    stop = true;
    // The client may wait for an answer that only this thread's event loop can give.
    while (client.joinable() && !finished)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    if (client.joinable())
        client.join();
    state.counters["frames/s"] = benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
    state.counters["poll rounds"] = double(rounds.load());
}

} // namespace

BENCHMARK_CAPTURE(answer, metrics, "/metrics", "")->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(answer, status, "/api/v1/status", "")->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(answer, channels, "/api/v1/channels", "")->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(answer, log50, "/api/v1/log", "limit=50")->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(answer, series800, "/api/v1/series", "channel=1&points=800")->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(answer, page, "/", "")->Unit(benchmark::kMicrosecond);
// Poll interval in ms; 0 = no remote view. 1000 is the page's own pace, 100 a tenfold load.
BENCHMARK(intake)->Arg(0)->Arg(1000)->Arg(100)->MinTime(3.0)->UseRealTime();

HALVORA_QT_BENCHMARK_MAIN()
