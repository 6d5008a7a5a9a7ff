#pragma once

#include <QCoreApplication>

#include <benchmark/benchmark.h>

// The main() of a benchmark that needs an event loop's application object (sockets, timers,
// Qt SQL's driver loading). One line per benchmark file: HALVORA_QT_BENCHMARK_MAIN()
#define HALVORA_QT_BENCHMARK_MAIN()                                                               \
    int main(int argc, char **argv)                                                               \
    {                                                                                             \
        QCoreApplication app(argc, argv);                                                         \
        benchmark::Initialize(&argc, argv);                                                       \
        benchmark::RunSpecifiedBenchmarks();                                                      \
        benchmark::Shutdown();                                                                    \
        return 0;                                                                                 \
    }
