#pragma once

#include "store/StoreWrite.h"

#include <QString>

#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <utility>
#include <vector>

// Commits the station database's buffered writes on a thread of its own, through a connection of
// its own to the same file, so the station's thread never waits for SQLite while frames arrive.
// One batch at a time: the writer hands one over, the thread commits it in one transaction and
// hands it back with the result.
class StoreStatements;

class StoreCommitThread
{
public:
    struct Job
    {
        StoreWriteBatch batch;
        qint64 storedWaiting = 0; // waiting entries in the database before this batch
        qint64 maxWaiting = 0;    // the oldest waiting entries beyond this are dropped
    };

    struct Done
    {
        StoreWriteBatch batch;    // given back on failure, to be written again later
        QString error;            // "" when the batch is in the database
        // On success, what the writer still tracks of the batch (its writes are freed here, off
        // the station's thread): the (rx time, hash) of each queue entry added, the entries ended.
        std::vector<std::pair<qint64, qint64>> enqueued;
        std::vector<qint64> ended;
        qint64 waitingDelta = 0;  // waiting entries added minus ended
        qint64 dropped = 0;       // waiting entries dropped over the limit
    };

    // `finished` runs on the commit thread after each batch; the writer posts itself a call.
    StoreCommitThread(const QString &filePath, int busyTimeoutMs, std::function<void()> finished);
    ~StoreCommitThread(); // lets the current batch finish, then closes the connection

    bool isBusy() const;
    void submit(Job &&job);            // only while not busy
    std::optional<Done> takeDone();    // the finished batch, if one waits
    Done waitDone();                   // blocks until the submitted batch is finished

private:
    void run();
    Done commit(Job &job);

    QString m_filePath;
    int m_busyTimeoutMs;
    std::function<void()> m_finished;
    QString m_connectionName;
    std::unique_ptr<StoreStatements> m_statements; // the commit thread's, like the connection

    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    std::optional<Job> m_job;   // submitted, not yet taken by the thread
    bool m_working = false;     // the thread holds a job
    std::optional<Done> m_done; // finished, not yet taken by the writer
    bool m_stopping = false;
    std::thread m_thread;       // last: starts after the members it uses
};
