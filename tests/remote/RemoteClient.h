#pragma once

#include <QDeadlineTimer>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTcpSocket>
#include <QTest>

// A plain loopback HTTP client for the remote view's tests: sends bytes exactly as given and
// reads the response until the server closes the connection.
struct RemoteReply
{
    int status = 0; // 0: no whole header arrived
    QByteArray headers; // from the status line to the last header's CR LF
    QByteArray body;

    QJsonObject json() const { return QJsonDocument::fromJson(body).object(); }
};

inline RemoteReply exchange(quint16 port, const QByteArray &request)
{
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, port);
    socket.write(request);
    QByteArray received;
    const QDeadlineTimer deadline(5000);
    while (socket.state() != QAbstractSocket::UnconnectedState && !deadline.hasExpired()) {
        QTest::qWait(5); // the server answers on this same event loop
        received += socket.readAll();
    }
    RemoteReply reply;
    const qsizetype headerEnd = received.indexOf("\r\n\r\n");
    if (headerEnd >= 0) {
        reply.status = received.mid(9, 3).toInt();
        reply.headers = received.left(headerEnd + 2);
        reply.body = received.mid(headerEnd + 4);
    }
    return reply;
}

inline RemoteReply get(quint16 port, const QByteArray &target)
{
    return exchange(port, "GET " + target + " HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n");
}
