#pragma once

#include "link/AgwClient.h"

#include <QObject>
#include <QString>

// Keeps the station's link to the packet engine up: opens it, sends the start requests once a
// connection is made, retries after failures (see AgwClient) and reports each new kind of
// failure once, so a modem program that stays away for hours does not bury the log.
// Owned by the Station, which shows its messages in the activity log.
class LinkSupervisor : public QObject
{
    Q_OBJECT
public:
    explicit LinkSupervisor(QObject *parent = nullptr);

    void setRetryInterval(int milliseconds);
    void setConnectTimeout(int milliseconds) { m_client.setConnectTimeout(milliseconds); }

    // Logs the address and starts the first connection attempt.
    void open(const QString &host, quint16 port);
    // "Connect AGW": on a live link the start requests again ("k" only if not yet sent); a
    // closed link is opened again and its connect event sends them.
    void reconnect();
    void close() { m_client.close(); }

    int state() const { return m_client.state(); }
    bool isUp() const { return m_client.state() != AgwClient::Closed; }
    QString remoteHost() const { return m_client.remoteHost(); }
    quint16 remotePort() const { return m_client.remotePort(); }
    // Connections made after the first one of this run.
    qint64 reconnectCount() const { return m_connections > 0 ? m_connections - 1 : 0; }

signals:
    void recordReceived(const QByteArray &record);
    void logMessage(const QString &message);

private:
    enum : int { NoFailure = 0, ClosedByPeer = -1, ProtocolFailure = -2 };

    void handleConnected();
    void reportFailure(int kind, const QString &message);

    AgwClient m_client;
    int m_retryIntervalMs = 10000;
    bool m_startRequestsPending = true;
    int m_lastFailure = NoFailure; // Winsock number, or one of the kinds above
    qint64 m_connections = 0;
};
