#include "remote/RemoteHttpServer.h"

#include "upload/HttpRequestParser.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QTcpSocket>
#include <QTimer>
#include <QUrl>

namespace {

// Equal length and content without an early exit, so the answer time does not leak the token.
bool sameBytes(QByteArrayView a, QByteArrayView b)
{
    if (a.size() != b.size())
        return false;
    unsigned char difference = 0;
    for (qsizetype i = 0; i < a.size(); ++i)
        difference |= static_cast<unsigned char>(a[i] ^ b[i]);
    return difference == 0;
}

} // namespace

RemoteHttpServer::RemoteHttpServer(Handler handler, QObject *parent)
    : QTcpServer(parent), m_handler(std::move(handler))
{
}

RemoteHttpServer::~RemoteHttpServer()
{
    // The sockets are children and go with the server; their signals must not reach a half-gone map.
    for (auto it = m_connections.keyBegin(); it != m_connections.keyEnd(); ++it)
        (*it)->disconnect(this);
}

QByteArray RemoteHttpServer::reasonPhrase(int status)
{
    switch (status) {
    case 200: return "OK";
    case 400: return "Bad Request";
    case 401: return "Unauthorized";
    case 404: return "Not Found";
    case 405: return "Method Not Allowed";
    case 408: return "Request Timeout";
    case 414: return "URI Too Long";
    case 431: return "Request Header Fields Too Large";
    case 500: return "Internal Server Error";
    case 503: return "Service Unavailable";
    default: return "Error";
    }
}

RemoteHttpServer::Response RemoteHttpServer::errorResponse(int status, const QString &message)
{
    const QJsonObject error{{QStringLiteral("status"), status}, {QStringLiteral("error"), message}};
    return {status, "application/json", QJsonDocument(error).toJson(QJsonDocument::Compact) + '\n'};
}

void RemoteHttpServer::incomingConnection(qintptr descriptor)
{
    auto *socket = new QTcpSocket(this);
    if (!socket->setSocketDescriptor(descriptor)) {
        delete socket;
        return;
    }
    if (m_connections.size() >= m_limits.maxConnections) {
        // Said in a few bytes that fit the socket buffer; the peer cannot hold this one open.
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        send(socket, errorResponse(503, QStringLiteral("too many connections")), true, false);
        QTimer::singleShot(1000, socket, [socket] { socket->abort(); });
        return;
    }

    Connection &connection = m_connections[socket];
    connection.deadline = new QTimer(socket);
    connection.deadline->setSingleShot(true);
    connection.deadline->start(m_limits.requestTimeoutMs);
    connect(connection.deadline, &QTimer::timeout, this, [this, socket] { dropConnection(socket); });
    connect(socket, &QTcpSocket::readyRead, this, [this, socket] { readRequests(socket); });
    // A client that reads slowly gets its next answer only when the last one has left.
    connect(socket, &QTcpSocket::bytesWritten, this, [this, socket] {
        if (socket->bytesToWrite() == 0)
            readRequests(socket);
    });
    connect(socket, &QTcpSocket::disconnected, this, [this, socket] {
        m_connections.remove(socket);
        socket->deleteLater();
    });
}

void RemoteHttpServer::readRequests(QTcpSocket *socket)
{
    const auto it = m_connections.find(socket);
    if (it == m_connections.end() || it->closing)
        return;
    Connection &connection = *it;

    while (socket->bytesToWrite() == 0) {
        // Never more than one header's worth in memory, whatever the client sends.
        const qsizetype room = m_limits.maxHeaderBytes - connection.buffer.size();
        if (room > 0 && socket->bytesAvailable() > 0)
            connection.buffer += socket->read(room);

        const qsizetype headerEnd = connection.buffer.indexOf("\r\n\r\n");
        if (headerEnd < 0) {
            if (connection.buffer.size() >= m_limits.maxHeaderBytes) {
                refuse(socket, 431, QStringLiteral("request header longer than %1 bytes")
                                        .arg(m_limits.maxHeaderBytes));
            }
            return;
        }
        const QByteArray header = connection.buffer.left(headerEnd + 4);
        connection.buffer.remove(0, headerEnd + 4);
        if (!answer(socket, header))
            return;
        connection.deadline->start(m_limits.requestTimeoutMs);
    }
}

bool RemoteHttpServer::answer(QTcpSocket *socket, const QByteArray &header)
{
    const HttpParseResult parsed = parseHttpRequest(header);
    if (parsed.status == HttpParseResult::Status::Malformed) {
        refuse(socket, 400, parsed.error);
        return false;
    }
    const QByteArray method = header.left(header.indexOf(' '));
    if (parsed.status == HttpParseResult::Status::Incomplete) {
        // The header announced a body. Nothing served takes one, so it is not read.
        if (method == "GET" || method == "HEAD")
            refuse(socket, 400, QStringLiteral("a request body is not accepted"));
        else
            refuse(socket, 405, QStringLiteral("the remote view is read-only"), "Allow: GET, HEAD\r\n");
        return false;
    }
    const HttpRequest &request = parsed.request;

    if (!authorized(request.header("Authorization"))) {
        refuse(socket, 401, QStringLiteral("a valid bearer token is required"),
               "WWW-Authenticate: Bearer realm=\"halvora1\", Basic realm=\"halvora1\"\r\n");
        return false;
    }
    if (request.target.size() > m_limits.maxTargetBytes) {
        refuse(socket, 414, QStringLiteral("request target longer than %1 bytes").arg(m_limits.maxTargetBytes));
        return false;
    }
    if (request.method != "GET" && request.method != "HEAD") {
        refuse(socket, 405, QStringLiteral("the remote view is read-only"), "Allow: GET, HEAD\r\n");
        return false;
    }
    if (!request.target.startsWith('/')) {
        refuse(socket, 400, QStringLiteral("the request target must be a path"));
        return false;
    }
    const QUrl url(QString::fromLatin1(request.target), QUrl::StrictMode);
    if (!url.isValid()) {
        refuse(socket, 400, QStringLiteral("the request target is not a valid URL path"));
        return false;
    }

    const QByteArray connectionHeader = request.header("Connection").toLower();
    const bool keepOpen = request.version == "HTTP/1.1" ? connectionHeader != "close"
                                                        : connectionHeader == "keep-alive";
    send(socket, m_handler(url.path(), QUrlQuery(url)), request.method == "GET", keepOpen);
    if (!keepOpen)
        m_connections[socket].closing = true;
    return keepOpen;
}

bool RemoteHttpServer::authorized(const QByteArray &authorization) const
{
    if (m_token.isEmpty())
        return true;
    if (authorization.startsWith("Bearer "))
        return sameBytes(authorization.mid(7).trimmed(), m_token);
    // Browsers ask for Basic credentials by themselves; the token is the password, any user name.
    if (authorization.startsWith("Basic ")) {
        const QByteArray credentials = QByteArray::fromBase64(authorization.mid(6).trimmed());
        const qsizetype colon = credentials.indexOf(':');
        return colon >= 0 && sameBytes(QByteArrayView(credentials).sliced(colon + 1), m_token);
    }
    return false;
}

void RemoteHttpServer::send(QTcpSocket *socket, const Response &response, bool withBody,
                            bool keepOpen, const QByteArray &extraHeaders)
{
    QByteArray head = "HTTP/1.1 " + QByteArray::number(response.status) + ' ' +
                      reasonPhrase(response.status) + "\r\nContent-Type: " + response.contentType +
                      "\r\nContent-Length: " + QByteArray::number(response.body.size()) +
                      "\r\nCache-Control: no-store\r\nX-Content-Type-Options: nosniff\r\n" + extraHeaders;
    if (!keepOpen)
        head += "Connection: close\r\n";
    head += "\r\n";
    socket->write(head);
    if (withBody)
        socket->write(response.body);
    if (!keepOpen)
        socket->disconnectFromHost();
}

void RemoteHttpServer::refuse(QTcpSocket *socket, int status, const QString &message,
                              const QByteArray &extraHeaders)
{
    m_connections[socket].closing = true;
    send(socket, errorResponse(status, message), true, false, extraHeaders);
    // The rest of what the client sent is not read; a client that will not take the answer is cut.
    QTimer::singleShot(1000, socket, [socket] { socket->abort(); });
}

void RemoteHttpServer::dropConnection(QTcpSocket *socket)
{
    if (m_connections.contains(socket))
        socket->abort();
}
