// Draining a backlog of queued frames to a loopback collection server that answers 201 over a
// kept-alive connection: uploads per second through the whole upload controller, from an
// in-memory queue and from the station database's queue (writes batched as the Station does).
// Budget: >= 500 uploads/s.
#include "store/StationDatabase.h"
#include "QtBenchmarkMain.h"
#include "store/UploadQueueStore.h"
#include "support/LoopbackHttpServer.h"
#include "MemoryUploadQueue.h"
#include "upload/UploadController.h"

#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QEventLoop>
#include <QTemporaryDir>

#include <memory>

namespace {

constexpr int Backlog = 100000;

QByteArray uploadBody(int i)
{
    return "noradID=48263&source=XR1ABC&timestamp=2014-08-02T13:05:09.123Z&frame=B0 A4 72 96 8E 40 62 "
           "B0 A4 72 96 40 40 77 03 01 02 03 04 " +
           QByteArray::number(i) + "&locator=longLat&longitude=-4.5&latitude=52.01&tncPort=0";
}

// The queue under test and what it stands on.
struct BenchQueue
{
    QTemporaryDir dir;
    StationDatabase database;
    std::unique_ptr<UploadQueue> queue;
    MemoryUploadQueue *memory = nullptr;
    QString error;
};

enum class Queue { Memory, Database };

std::unique_ptr<BenchQueue> makeQueue(Queue kind)
{
    auto made = std::make_unique<BenchQueue>();
    if (kind == Queue::Memory) {
        auto memory = std::make_unique<MemoryUploadQueue>();
        made->memory = memory.get();
        made->queue = std::move(memory);
    } else {
        StationDatabase::Options options;
        options.writer.batchDelayMs = 100; // as the Station opens it
        if (const auto opened = made->database.open(made->dir.path(), options); !opened.ok)
            made->error = opened.error;
        made->queue = std::make_unique<UploadQueueStore>(made->database);
    }
    for (int i = 0; i < Backlog && made->error.isEmpty(); ++i)
        made->queue->enqueue(i, QByteArray::number(i), uploadBody(i));
    if (kind == Queue::Database && !made->database.flush())
        made->error = QStringLiteral("the backlog cannot be written");
    return made;
}

void drain(benchmark::State &state, Queue kind)
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
        const std::unique_ptr<BenchQueue> made = makeQueue(kind);
        if (!made->error.isEmpty()) {
            state.SkipWithError(qPrintable(made->error));
            return;
        }
        UploadQueue &queue = *made->queue;
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
        const qint64 delivered = Backlog - queue.waitingCount();
        if (delivered != Backlog || (made->memory && made->memory->delivered().size() != Backlog))
            state.SkipWithError("not every frame was delivered");
        uploads += delivered;
        state.ResumeTiming();
    }
    state.counters["uploads/s"] = benchmark::Counter(double(uploads), benchmark::Counter::kIsRate);
    state.counters["connections"] = server.connectionCount();
}

} // namespace

BENCHMARK_CAPTURE(drain, memory, Queue::Memory)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(drain, database, Queue::Database)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

HALVORA_QT_BENCHMARK_MAIN()
