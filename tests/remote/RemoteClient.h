#pragma once

#include <QDeadlineTimer>
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
inline RemoteReply readReply(QTcpSocket &socket)
{
    RemoteReply reply;
    bool headerDone = false;
    const QDeadlineTimer deadline(5000);
    while (!deadline.hasExpired()) {
        while (!headerDone && socket.canReadLine()) {
            const QByteArray line = socket.readLine();
            headerDone = line == "\r\n";
            if (headerDone)
                reply.status = reply.headers.mid(9, 3).toInt();
            else
                reply.headers += line;
        }
        const qint64 length = reply.header("Content-Length").toLongLong();
        if (headerDone && socket.bytesAvailable() >= length) {
            reply.body = socket.read(length);
            break;
        }
        if (socket.state() != QAbstractSocket::ConnectedState && socket.bytesAvailable() == 0)
            break;
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

inline RemoteReply get(quint16 port, const QByteArray &target)
{
    return exchange(port, "GET " + target + " HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n");
}
