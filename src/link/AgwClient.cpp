#include "link/AgwClient.h"

#include <QLoggingCategory>

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

Q_LOGGING_CATEGORY(lcLink, "halvora.link")

namespace {

struct WinsockError
{
    int number;
    const char *description;
};

WinsockError toWinsock(QAbstractSocket::SocketError error)
{
    switch (error) {
    case QAbstractSocket::ConnectionRefusedError:
        return {10061, "Connection is forcefully rejected"};
    case QAbstractSocket::HostNotFoundError:
        return {11001, "Authoritative answer: Host not found"};
    case QAbstractSocket::SocketTimeoutError:
        return {10060, "Connection timed out"};
    case QAbstractSocket::RemoteHostClosedError:
        return {10054, "The connection is reset by remote side"};
    default:
        return {10053, "Connection is aborted due to timeout or other failure"};
    }
}

} // namespace

AgwClient::AgwClient(QObject *parent) : QObject(parent)
{
    m_retryTimer.setSingleShot(true);
    m_retryTimer.setInterval(10000);
    m_connectTimer.setSingleShot(true);
    m_connectTimer.setInterval(30000);

    connect(&m_socket, &QTcpSocket::connected, this, [this] {
        m_connectTimer.stop();
        keepObserverOfConnection();
        m_assembler.clear();
        m_monitoringRequested = false;
        emit connected();
    });
    connect(&m_socket, &QTcpSocket::readyRead, this, &AgwClient::onReadyRead);
    connect(&m_socket, &QTcpSocket::errorOccurred, this, &AgwClient::onSocketError);
    connect(&m_socket, &QTcpSocket::disconnected, this, [this] {
        // A close by the packet engine without an error (rare: Qt usually reports
        // RemoteHostClosedError first, which lands in onSocketError).
        if (m_retryEnabled && !m_abortingOnPurpose && !m_retryTimer.isActive()) {
            emit closedByPeer();
            m_retryTimer.start();
        }
    });
    connect(&m_connectTimer, &QTimer::timeout, this, [this] {
        abortSocket();
        emit errorOccurred(10060, QStringLiteral("Connection timed out"));
        fail();
    });
    connect(&m_retryTimer, &QTimer::timeout, this, &AgwClient::connectToEngine);
}

AgwClient::~AgwClient()
{
    m_retryEnabled = false;
    m_socket.disconnect(this);
    m_socket.abort();
    dropObserverOfConnection();
}

void AgwClient::setRemote(const QString &host, quint16 port)
{
    m_host = host;
    m_port = port;
}

void AgwClient::connectToEngine()
{
    m_retryTimer.stop();
    if (m_socket.state() != QAbstractSocket::UnconnectedState)
        abortSocket();
    m_assembler.clear();
    m_monitoringRequested = false;
    m_retryEnabled = true;
    m_connectTimer.start();
    m_socket.connectToHost(m_host, m_port);
}

void AgwClient::abortSocket()
{
    m_abortingOnPurpose = true;
    m_socket.abort();
    m_abortingOnPurpose = false;
    dropObserverOfConnection();
}

void AgwClient::keepObserverOfConnection()
{
    // Qt reports a reset (RST) and an orderly close (FIN) alike and closes its descriptor before
    // telling us. A duplicate keeps the connection's kernel state readable: after a FIN it is
    // CLOSE_WAIT, after a reset CLOSE.
    dropObserverOfConnection();
    m_observerFd = ::dup(int(m_socket.socketDescriptor()));
}

void AgwClient::dropObserverOfConnection()
{
    if (m_observerFd >= 0)
        ::close(m_observerFd);
    m_observerFd = -1;
}

bool AgwClient::peerResetConnection() const
{
    if (m_observerFd < 0)
        return false;
    tcp_info info{};
    socklen_t size = sizeof info;
    if (::getsockopt(m_observerFd, IPPROTO_TCP, TCP_INFO, &info, &size) != 0)
        return false;
    return info.tcpi_state == TCP_CLOSE;
}

void AgwClient::close()
{
    m_retryEnabled = false;
    m_retryTimer.stop();
    m_connectTimer.stop();
    abortSocket();
}

int AgwClient::state() const
{
    switch (m_socket.state()) {
    case QAbstractSocket::UnconnectedState:
        return Closed;
    case QAbstractSocket::HostLookupState:
        return ResolvingHost;
    case QAbstractSocket::ConnectingState:
        return Connecting;
    case QAbstractSocket::ConnectedState:
        return Connected;
    case QAbstractSocket::ClosingState:
        return Closing;
    default:
        return Connecting;
    }
}

void AgwClient::sendStartRequests()
{
    if (state() != Connected)
        return;
    m_socket.write(AgwProtocol::header(AgwProtocol::KindPortInfo));
    if (!m_monitoringRequested) {
        m_socket.write(AgwProtocol::header(AgwProtocol::KindRawMonitoring));
        m_monitoringRequested = true;
    }
}

void AgwClient::onReadyRead()
{
    m_assembler.append(m_socket.readAll());
    QByteArray record;
    for (;;) {
        switch (m_assembler.next(record)) {
        case AgwProtocol::RecordAssembler::Status::NeedMoreData:
            return;
        case AgwProtocol::RecordAssembler::Status::Record:
            emit recordReceived(record);
            // A handler may have closed the link; leftover bytes belong to the old connection.
            if (m_socket.state() != QAbstractSocket::ConnectedState)
                return;
            break;
        case AgwProtocol::RecordAssembler::Status::OversizeRecord:
            qCWarning(lcLink) << "oversize record" << m_assembler.oversizeLength();
            emit protocolError(
                QStringLiteral("AGW protocol error: record length %1 exceeds %2 bytes, link closed")
                    .arg(m_assembler.oversizeLength())
                    .arg(AgwProtocol::MaxDataLength));
            abortSocket();
            fail();
            return;
        }
    }
}

void AgwClient::onSocketError(QAbstractSocket::SocketError error)
{
    m_connectTimer.stop();
    if (!m_retryEnabled || m_abortingOnPurpose)
        return; // closed on purpose
    if (error == QAbstractSocket::RemoteHostClosedError && !peerResetConnection()) {
        abortSocket();
        emit closedByPeer();
        fail();
        return;
    }
    const WinsockError mapped = toWinsock(error);
    qCDebug(lcLink) << "socket error" << error << m_socket.errorString();
    abortSocket();
    emit errorOccurred(mapped.number, QString::fromLatin1(mapped.description));
    fail();
}

void AgwClient::fail()
{
    m_assembler.clear();
    if (m_retryEnabled)
        m_retryTimer.start();
}
