#pragma once

#include "link/AgwProtocol.h"

#include <QObject>
#include <QTcpSocket>
#include <QTimer>

// The TCP link to the packet engine. Cuts the stream into whole records, sends the start
// requests ("k" only once per connection: it is a toggle in every packet engine), and after an
// error or a close by the peer tries again at a fixed interval. Owned by the Station, which
// logs what it reports.
class AgwClient : public QObject
{
    Q_OBJECT
public:
    // Socket states numbered as the link indicator and the start requests know them.
    enum State : int {
        Closed = 0,
        ResolvingHost = 4,
        Connecting = 6,
        Connected = 7,
        Closing = 8,
    };

    explicit AgwClient(QObject *parent = nullptr);
    ~AgwClient() override;

    void setRetryInterval(int milliseconds) { m_retryTimer.setInterval(milliseconds); }
    void setConnectTimeout(int milliseconds) { m_connectTimer.setInterval(milliseconds); }

    void setRemote(const QString &host, quint16 port);
    QString remoteHost() const { return m_host; }
    quint16 remotePort() const { return m_port; }

    // Closes whatever is open and starts a new connection attempt.
    void connectToEngine();
    void close();
    int state() const;
    bool isRetryPending() const { return m_retryTimer.isActive(); }

    // "G", then "k" unless this connection has already had it. Only while connected.
    void sendStartRequests();

signals:
    void connected();
    void recordReceived(const QByteArray &record);
    // Socket failures, with the Winsock number and text the activity log shows.
    void errorOccurred(int number, const QString &description);
    void closedByPeer();
    void protocolError(const QString &message);

private:
    void onReadyRead();
    void onSocketError(QAbstractSocket::SocketError error);
    void fail();
    void abortSocket();
    void keepObserverOfConnection();
    void dropObserverOfConnection();
    bool peerResetConnection() const;

    QTimer m_retryTimer;
    QTimer m_connectTimer;
    QTcpSocket m_socket; // after the timers: its teardown must not find them gone
    AgwProtocol::RecordAssembler m_assembler;
    QString m_host;
    quint16 m_port = 0;
    bool m_monitoringRequested = false;
    bool m_retryEnabled = false;
    bool m_abortingOnPurpose = false;
    int m_observerFd = -1; // duplicate of the connected socket, to tell a reset from a close
};
