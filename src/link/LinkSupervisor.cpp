#include "link/LinkSupervisor.h"

LinkSupervisor::LinkSupervisor(QObject *parent) : QObject(parent)
{
    connect(&m_client, &AgwClient::connected, this, &LinkSupervisor::handleConnected);
    connect(&m_client, &AgwClient::recordReceived, this, &LinkSupervisor::recordReceived);
    connect(&m_client, &AgwClient::errorOccurred, this, [this](int number, const QString &text) {
        reportFailure(number, QStringLiteral("Winsock Error \"%1\" occured: %2").arg(number).arg(text));
    });
    connect(&m_client, &AgwClient::closedByPeer, this, [this] {
        reportFailure(ClosedByPeer,
                      QStringLiteral("AGW connection closed by the packet engine, retrying every %1 s")
                          .arg(m_retryIntervalMs / 1000.0));
    });
    connect(&m_client, &AgwClient::protocolError, this,
            [this](const QString &message) { reportFailure(ProtocolFailure, message); });
}

void LinkSupervisor::setRetryInterval(int milliseconds)
{
    m_retryIntervalMs = milliseconds;
    m_client.setRetryInterval(milliseconds);
}

void LinkSupervisor::open(const QString &host, quint16 port)
{
    m_client.setRemote(host, port);
    emit logMessage(QStringLiteral("Winsock RemoteHost: ") + m_client.remoteHost());
    emit logMessage(QStringLiteral("Winsock RemotePort: ") + QString::number(m_client.remotePort()));
    m_startRequestsPending = true;
    m_client.connectToEngine();
}

void LinkSupervisor::reconnect()
{
    if (m_client.state() == AgwClient::Connected) {
        m_client.sendStartRequests();
    } else if (m_client.state() == AgwClient::Closed && !m_client.remoteHost().isEmpty()) {
        m_startRequestsPending = true;
        m_client.connectToEngine();
    }
}

void LinkSupervisor::handleConnected()
{
    ++m_connections;
    emit logMessage(QStringLiteral("AGW winsock connection made"));
    // A good connection ends the run of failures: the next one is news again.
    m_lastFailure = NoFailure;
    if (m_startRequestsPending) {
        m_client.sendStartRequests();
        m_startRequestsPending = false;
    }
}

void LinkSupervisor::reportFailure(int kind, const QString &message)
{
    if (kind != m_lastFailure)
        emit logMessage(message);
    m_lastFailure = kind;
    m_startRequestsPending = true;
}
