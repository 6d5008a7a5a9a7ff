// `halvora1 decode` of a large capture file to CSV: 1,000,000 frames written the way the
// Station writes them (a time record after each satellite frame), CSV to /dev/null.
// Budget: >= 200,000 frames/s.
#include "BenchFrames.h"

#include "app/DecodeCommand.h"
#include "link/Kiss.h"

#include <QFile>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <cstdio>

namespace {

using BenchFrames::Mix;
constexpr int FrameCount = 1'000'000;

QString writeCapture(const QTemporaryDir &dir, Mix mix)
{
    const QString path = dir.filePath(mix == Mix::Mixed ? QStringLiteral("mixed.kss")
                                                        : QStringLiteral("eps.kss"));
    QByteArray content;
    int millisecond = 0;
    for (const QByteArray &data : BenchFrames::frames(mix, FrameCount)) {
        Kiss::appendFrameRecord(content, data);
        if (data.startsWith(BenchFrames::SatellitePrefix)) {
            millisecond = (millisecond + 137) % 60000;
            const QByteArray text = QStringLiteral("2014-08-02 13:05:%1.%2 UTC")
                                        .arg(millisecond / 1000, 2, 10, QLatin1Char('0'))
                                        .arg(millisecond % 1000, 3, 10, QLatin1Char('0'))
                                        .toLatin1();
            Kiss::appendTimeRecord(content, text);
        }
    }
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(content) != content.size())
        return QString();
    return path;
}

void decode(benchmark::State &state, Mix mix)
{
    QTemporaryDir dir;
    const QString path = writeCapture(dir, mix);
    std::FILE *devNull = std::fopen("/dev/null", "w");
    if (path.isEmpty() || !devNull) {
        state.SkipWithError("cannot write the capture file");
        return;
    }
    for (auto _ : state) {
        if (runDecodeCommand({path}, devNull, stderr) != 0)
            state.SkipWithError("decode failed");
    }
    std::fclose(devNull);
    state.SetItemsProcessed(state.iterations() * FrameCount);
    state.SetBytesProcessed(state.iterations() * QFile(path).size());
    state.counters["frames/s"] = benchmark::Counter(double(state.iterations()) * FrameCount,
                                                    benchmark::Counter::kIsRate);
}

} // namespace

BENCHMARK_CAPTURE(decode, mixed, Mix::Mixed)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();
BENCHMARK_CAPTURE(decode, eps_debug_only, Mix::EpsDebugOnly)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

BENCHMARK_MAIN();
