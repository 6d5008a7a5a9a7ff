// The Station's intake of one satellite frame, as handleRecord runs it (capture file,
// hex text, classification, decoding, box refresh, ...), headless, upload off, every family's
// history already full with 2000 records. Budget: >= 50,000 frames/s.
#include "BenchFrames.h"

#include "app/Station.h"
#include "link/AgwProtocol.h"

#include <QCoreApplication>
#include <QFile>
#include <QTcpServer>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

namespace {

using BenchFrames::Mix;

std::vector<QByteArray> agwRecords(Mix mix, int count)
{
    std::vector<QByteArray> records;
    for (const QByteArray &data : BenchFrames::frames(mix, count))
        records.push_back(AgwProtocol::header(AgwProtocol::KindRawFrame, std::uint32_t(data.size())) + data);
    return records;
}

void intake(benchmark::State &state, Mix mix)
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
    options.uploadAllowed = false;
    Station station(options);
    station.start();

    // Full histories: 2000 records of every decoded family.
    const std::vector<QByteArray> fill = agwRecords(Mix::Mixed, 20000);
    for (const QByteArray &record : fill)
        station.handleRecord(record);

    const std::vector<QByteArray> records = agwRecords(mix, 10000);
    std::size_t next = 0;
    for (auto _ : state) {
        station.handleRecord(records[next]);
        next = next + 1 == records.size() ? 0 : next + 1;
    }
    state.SetItemsProcessed(state.iterations());
    state.counters["frames/s"] =
        benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
}

} // namespace

BENCHMARK_CAPTURE(intake, eps_debug_only, Mix::EpsDebugOnly)->MinTime(2.0)->UseRealTime();
BENCHMARK_CAPTURE(intake, mixed, Mix::Mixed)->MinTime(2.0)->UseRealTime();

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
