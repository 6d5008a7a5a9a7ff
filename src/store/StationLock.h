#pragma once

#include <QLockFile>
#include <QString>

// The lock file halvora1.lock in the station directory: one station per directory, so two never
// upload the same queue. A lock left by a crashed station (its process is gone) is taken over.
// main() takes it before the Station starts and holds it for the run.
class StationLock
{
public:
    static constexpr char FileName[] = "halvora1.lock";

    explicit StationLock(const QString &directory);

    // "" when this process holds the lock now; else why not, naming the directory and the
    // process that holds it.
    QString tryLock();
    void unlock();
    bool isLocked() const { return m_lock.isLocked(); }

private:
    QString m_directory;
    QLockFile m_lock;
};
