#pragma once

#include <QObject>

#include <cstdio>

class Station;

// Runs a Station without a window: prints each activity-log entry and each new status line to
// stdout, message boxes to stderr, and on SIGINT or SIGTERM takes the Exit path and quits with 0.
// Used by main() for --headless and by the end-to-end tests.
class HeadlessRunner : public QObject
{
    Q_OBJECT
public:
    HeadlessRunner(Station &station, std::FILE *out = stdout, std::FILE *err = stderr);
    ~HeadlessRunner() override;

    // Routes SIGINT and SIGTERM into the event loop (call once per process).
    void installSignalHandlers();

private:
    void shutDown();
    void reportQueue();

    Station &m_station;
    std::FILE *m_out;
    std::FILE *m_err;
    qint64 m_reportedWaiting = 0;
};
