#include "support/AgwLoopbackServer.h"

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
