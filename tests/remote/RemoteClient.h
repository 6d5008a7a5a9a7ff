#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTcpSocket>
#include <QTest>

// A plain loopback HTTP client for the remote view's tests: sends bytes exactly as given and
// reads one response (status, headers, Content-Length body) until the server closes.
struct RemoteReply
{
    int status = 0; // 0: no status line arrived
    QByteArray headers;
    QByteArray body;

    QJsonObject json() const { return QJsonDocument::fromJson(body).object(); }
    QByteArray header(const QByteArray &name) const
    {
        for (const QByteArray &line : headers.split('\n')) { // lines end in CR LF
            if (line.toLower().startsWith(name.toLower() + ':'))
                return line.mid(name.size() + 1).trimmed();
        }
        return {};
    }
};

// Reads the next response from a connected socket, and not a byte of the one after it.
inline RemoteReply readReply(QTcpSocket &socket, int timeoutMs = 5000)
{
    RemoteReply reply;
    QElapsedTimer timer;
    timer.start();
    bool headerDone = false;
    qsizetype bodyLength = 0;
    while (timer.elapsed() < timeoutMs) {
        while (!headerDone && socket.canReadLine()) {
            const QByteArray line = socket.readLine();
            if (line == "\r\n") {
                headerDone = true;
                reply.status = reply.headers.mid(9, 3).toInt();
                bodyLength = reply.header("Content-Length").toLongLong();
            } else {
                reply.headers += line;
            }
        }
        if (headerDone && socket.bytesAvailable() >= bodyLength) {
            reply.body = socket.read(bodyLength);
            return reply;
        }
        if (socket.state() != QAbstractSocket::ConnectedState && socket.bytesAvailable() == 0)
            return reply;
        QTest::qWait(5); // the server answers on this same event loop
    }
    return reply;
}

inline RemoteReply exchange(quint16 port, const QByteArray &request)
{
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, port);
    if (!socket.waitForConnected(3000))
        return {};
    socket.write(request);
    return readReply(socket);
}

inline RemoteReply get(quint16 port, const QByteArray &target, const QByteArray &extraHeaders = {})
{
    return exchange(port, "GET " + target + " HTTP/1.1\r\nHost: 127.0.0.1\r\n" + extraHeaders + "\r\n");
}
