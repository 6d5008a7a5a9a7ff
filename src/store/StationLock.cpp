#include "store/StationLock.h"

#include <QDir>

StationLock::StationLock(const QString &directory)
    : m_directory(directory), m_lock(QDir(directory).filePath(QLatin1String(FileName)))
{
    // Never stale by age: a station runs for months. Only a holder that is gone frees it.
    m_lock.setStaleLockTime(0);
}

QString StationLock::tryLock()
{
    if (m_lock.isLocked() || m_lock.tryLock(0))
        return {};
    const QString directory = QDir::toNativeSeparators(QDir(m_directory).absolutePath());
    switch (m_lock.error()) {
    case QLockFile::LockFailedError: {
        qint64 pid = 0;
        QString host;
        QString application;
        if (m_lock.getLockInfo(&pid, &host, &application))
            return QStringLiteral("Another station runs on the station directory %1 (%2, process %3 on %4).")
                .arg(directory, application.isEmpty() ? QStringLiteral("halvora1") : application)
                .arg(pid)
                .arg(host);
        return QStringLiteral("Another station runs on the station directory %1.").arg(directory);
    }
    case QLockFile::PermissionError:
        return QStringLiteral("The lock file %1 cannot be created in the station directory %2: permission denied.")
            .arg(QLatin1String(FileName), directory);
    case QLockFile::NoError:
    case QLockFile::UnknownError:
        break;
    }
    return QStringLiteral("The lock file %1 in the station directory %2 cannot be taken.")
        .arg(QLatin1String(FileName), directory);
}

void StationLock::unlock()
{
    m_lock.unlock();
}
