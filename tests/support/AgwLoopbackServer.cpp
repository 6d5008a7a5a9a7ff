#include "support/AgwLoopbackServer.h"

#include <sys/socket.h>

#include "link/AgwProtocol.h"

AgwLoopbackServer::AgwLoopbackServer()
{
    m_server.listen(QHostAddress::LocalHost, 0);
    m_port = m_server.serverPort();
    connect(&m_server, &QTcpServer::newConnection, this, [this] {
        while (QTcpSocket *socket = m_server.nextPendingConnection()) {
            if (m_client)
                m_client->deleteLater();
            m_client = socket;
            m_received.clear();
            ++m_connections;
            connect(socket, &QTcpSocket::readyRead, this,
                    [this, socket] { m_received += socket->readAll(); });
        }
    });
}

bool AgwLoopbackServer::listenAgain()
{
    return m_server.listen(QHostAddress::LocalHost, m_port);
}

void AgwLoopbackServer::send(const QByteArray &bytes)
{
    if (!m_client)
        return;
    m_client->write(bytes);
    m_client->flush();
}

void AgwLoopbackServer::resetClient()
{
    if (!m_client)
        return;
    // A zero linger time makes close() send a reset instead of an orderly FIN.
    const linger abortive{1, 0};
    ::setsockopt(int(m_client->socketDescriptor()), SOL_SOCKET, SO_LINGER, &abortive, sizeof abortive);
    m_client->abort();
    m_client->deleteLater();
    m_client = nullptr;
}

void AgwLoopbackServer::closeClient()
{
    if (m_client) {
        m_client->disconnectFromHost();
        m_client->deleteLater();
        m_client = nullptr;
    }
}

QByteArray AgwLoopbackServer::rawFrameRecord(const QByteArray &data)
{
    return AgwProtocol::header(AgwProtocol::KindRawFrame, std::uint32_t(data.size())) + data;
}
