// Draining a backlog of queued frames to a loopback collection server that answers 201 over a
// kept-alive connection: uploads per second through the whole upload controller.
#include "support/LoopbackHttpServer.h"
#include "support/MemoryUploadQueue.h"
#include "upload/UploadController.h"

#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QEventLoop>

namespace {

constexpr int Backlog = 100000;

QByteArray uploadBody(int i)
{
    return "noradID=48263&source=XR1ABC&timestamp=2014-08-02T13:05:09.123Z&frame=B0 A4 72 96 8E 40 62 "
           "B0 A4 72 96 40 40 77 03 01 02 03 04 " +
           QByteArray::number(i) + "&locator=longLat&longitude=-4.5&latitude=52.01&tncPort=0";
}

void drain(benchmark::State &state)
{
    LoopbackHttpServer server;
    server.setKeepAlive(true);
    if (!server.start()) {
        state.SkipWithError("loopback server did not start");
        return;
    }
    qint64 uploads = 0;
    for (auto _ : state) {
        state.PauseTiming();
        MemoryUploadQueue queue;
        for (int i = 0; i < Backlog; ++i)
            queue.enqueue(i, QByteArray::number(i), uploadBody(i));
        UploadController controller(queue);
        controller.setServer(server.url());
        QEventLoop loop;
        QObject::connect(&controller, &UploadController::queueStateChanged, &loop, [&] {
            if (queue.waitingCount() == 0 || controller.nextTryMs())
                loop.quit();
        });
        state.ResumeTiming();

        controller.frameQueued();
        loop.exec();

        state.PauseTiming();
        if (queue.delivered().size() != Backlog)
            state.SkipWithError("not every frame was delivered");
        uploads += queue.delivered().size();
        state.ResumeTiming();
    }
    state.counters["uploads/s"] = benchmark::Counter(double(uploads), benchmark::Counter::kIsRate);
    state.counters["connections"] = server.connectionCount();
}

} // namespace

BENCHMARK(drain)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
