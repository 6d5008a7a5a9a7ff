#pragma once

#include <QFileSystemWatcher>
#include <QObject>
#include <QString>
#include <QTimer>

// Notices changes to the configuration file made while the station runs, by the Settings dialog
// or by another program. Watches the file and its directory: an atomic save replaces the file,
// which ends a watch on the file alone. A burst of changes is reported once, after it settles.
// Owned by the Station, which re-reads and applies the file on fileChanged.
class ConfigurationWatcher : public QObject
{
    Q_OBJECT
public:
    static constexpr int DefaultSettleMs = 200;

    explicit ConfigurationWatcher(QObject *parent = nullptr);

    // Starts watching path; a watch of an earlier path ends.
    void watch(const QString &path);
    void setSettleInterval(int milliseconds) { m_settle.setInterval(milliseconds); }
    QString path() const { return m_path; }

signals:
    void fileChanged();

private:
    void handleDirectoryChange();
    void rewatchFile();

    QFileSystemWatcher m_watcher;
    QTimer m_settle;
    QString m_path;
    QByteArray m_lastContent; // as last reported, so an unchanged file is not reported again
};
