#include "app/ConfigurationWatcher.h"

#include "app/ConfigurationText.h"

#include <QFile>
#include <QFileInfo>

namespace {

// What the file holds (bounded like the reader), to tell a rewritten file from an unrelated
// change in the same directory, such as a debug file or screenshot being created there.
QByteArray contentOf(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QByteArrayLiteral("\0missing");
    return file.read(MaxConfigurationFileSize + 1);
}

} // namespace

ConfigurationWatcher::ConfigurationWatcher(QObject *parent) : QObject(parent)
{
    m_settle.setSingleShot(true);
    m_settle.setInterval(DefaultSettleMs);
    connect(&m_settle, &QTimer::timeout, this, [this] {
        rewatchFile();
        const QByteArray content = contentOf(m_path);
        if (content == m_lastContent)
            return;
        m_lastContent = content;
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
    m_lastContent = contentOf(m_path);
    m_watcher.addPath(QFileInfo(m_path).absolutePath());
    rewatchFile();
}

void ConfigurationWatcher::handleDirectoryChange()
{
    // Only a change that touches the watched file counts; the content check after settling
    // drops the rest.
    m_settle.start();
}

void ConfigurationWatcher::rewatchFile()
{
    // A replaced file is a new file: the old watch went with the old one.
    if (QFileInfo::exists(m_path) && !m_watcher.files().contains(m_path))
        m_watcher.addPath(m_path);
}
