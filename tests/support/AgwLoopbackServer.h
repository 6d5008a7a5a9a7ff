#pragma once

#include <QByteArray>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>

// A scripted packet engine on 127.0.0.1 for tests: accepts one client at a time, keeps every
// byte the client sent, and writes whatever bytes the test hands it, cut as the test wants.
class AgwLoopbackServer : public QObject
{
    Q_OBJECT
public:
    AgwLoopbackServer();

    quint16 port() const { return m_server.serverPort(); }
    QString portValue() const { return QStringLiteral("127.0.0.1:%1").arg(port()); }

    int connectionCount() const { return m_connections; }
    // Everything the current client has sent so far.
    QByteArray received() const { return m_received; }

    // One write of exactly these bytes.
    void send(const QByteArray &bytes);
    void closeClient();
    void resetClient(); // the connection ends with a TCP reset
    void stopListening() { m_server.close(); }
    bool listenAgain();

    // A whole "K" record around the given data (KISS command byte + AX.25 frame).
    static QByteArray rawFrameRecord(const QByteArray &data);

private:
    QTcpServer m_server;
    QPointer<QTcpSocket> m_client;
    QByteArray m_received;
    int m_connections = 0;
    quint16 m_port = 0;
};
