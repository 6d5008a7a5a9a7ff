#pragma once

#include <QByteArray>
#include <QHash>
#include <QTcpServer>
#include <QUrlQuery>

#include <functional>

class QTcpSocket;
class QTimer;

// A small read-only HTTP/1.1 server with hard bounds: request header size, URL length,
// concurrent connections and the time a client may take for each request. Answers GET and HEAD
// only; a bearer token, when set, guards every path. The remote view gives it a handler that
// turns a path and query into a response; everything about the wire stays here.
class RemoteHttpServer : public QTcpServer
{
    Q_OBJECT
public:
    struct Limits
    {
        qsizetype maxHeaderBytes = 8 * 1024; // request line and headers, with the blank line
        qsizetype maxTargetBytes = 2048;     // path and query as sent
        int maxConnections = 32;             // more are answered 503 and closed
        int requestTimeoutMs = 15000;        // from connect or the previous answer to a whole request
    };

    struct Response
    {
        int status = 200;
        QByteArray contentType = "application/json";
        QByteArray body;
    };

    using Handler = std::function<Response(const QString &path, const QUrlQuery &query)>;

    explicit RemoteHttpServer(Handler handler, QObject *parent = nullptr);
    ~RemoteHttpServer() override;

    void setLimits(const Limits &limits) { m_limits = limits; }
    const Limits &limits() const { return m_limits; }
    // Empty: no token asked for.
    void setToken(const QByteArray &token) { m_token = token; }
    int connectionCount() const { return int(m_connections.size()); }

    static QByteArray reasonPhrase(int status);
    static Response errorResponse(int status, const QString &message);

protected:
    void incomingConnection(qintptr descriptor) override;

private:
    struct Connection
    {
        QByteArray buffer; // never more than maxHeaderBytes
        QTimer *deadline = nullptr;
        bool closing = false;
    };

    void readRequests(QTcpSocket *socket);
    // False when the connection is to be closed after this answer.
    bool answer(QTcpSocket *socket, const QByteArray &header);
    bool authorized(const QByteArray &authorization) const;
    void send(QTcpSocket *socket, const Response &response, bool withBody, bool keepOpen,
              const QByteArray &extraHeaders = {});
    void refuse(QTcpSocket *socket, int status, const QString &message, const QByteArray &extraHeaders = {});
    void dropConnection(QTcpSocket *socket);

    Handler m_handler;
    Limits m_limits;
    QByteArray m_token;
    QHash<QTcpSocket *, Connection> m_connections;
};
