#include "app/ConfigurationWatcher.h"

#include <QFileInfo>

namespace {

// Size, modification time and inode-like identity are enough to tell a rewritten file from an
// unrelated change in the same directory (another file created or removed there).
QByteArray stampOf(const QString &path)
{
    const QFileInfo info(path);
    if (!info.exists())
        return QByteArrayLiteral("missing");
    return QByteArray::number(info.size()) + ' ' +
           QByteArray::number(info.lastModified().toMSecsSinceEpoch()) + ' ' +
           QByteArray::number(info.metadataChangeTime().toMSecsSinceEpoch());
}

} // namespace

ConfigurationWatcher::ConfigurationWatcher(QObject *parent) : QObject(parent)
{
    m_settle.setSingleShot(true);
    m_settle.setInterval(DefaultSettleMs);
    connect(&m_settle, &QTimer::timeout, this, [this] {
        rewatchFile();
        const QByteArray stamp = stampOf(m_path);
        if (stamp == m_lastStamp)
            return;
        m_lastStamp = stamp;
        emit fileChanged();
    });
    connect(&m_watcher, &QFileSystemWatcher::fileChanged, this, [this] { m_settle.start(); });
    connect(&m_watcher, &QFileSystemWatcher::directoryChanged, this,
            &ConfigurationWatcher::handleDirectoryChange);
}

void ConfigurationWatcher::watch(const QString &path)
{
    if (!m_watcher.files().isEmpty())
        m_watcher.removePaths(m_watcher.files());
    if (!m_watcher.directories().isEmpty())
        m_watcher.removePaths(m_watcher.directories());
    m_path = QFileInfo(path).absoluteFilePath();
    m_lastStamp = stampOf(m_path);
    m_watcher.addPath(QFileInfo(m_path).absolutePath());
    rewatchFile();
}

void ConfigurationWatcher::handleDirectoryChange()
{
    // Only a change that touches the watched file counts; the stamp check after settling
    // drops the rest.
    m_settle.start();
}

void ConfigurationWatcher::rewatchFile()
{
    // A replaced file is a new file: the old watch went with the old one.
    if (QFileInfo::exists(m_path) && !m_watcher.files().contains(m_path))
        m_watcher.addPath(m_path);
}
