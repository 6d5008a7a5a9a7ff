#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QHostAddress>
#include <QList>
#include <QObject>
#include <QString>
#include <QTcpServer>

#include <memory>
#include <vector>

// The packet-engine side of the AGW TCP interface, for demos and tests: answers "G" with a
// port list, toggles raw monitoring with each "k", and plays capture frames as "K" records to
// each monitoring client at a set rate. agw-replay's main() owns one; tests drive it directly.
class AgwReplayServer : public QObject
{
    Q_OBJECT
public:
    struct Options
    {
        double rate = 1.0;     // frames per second per client; 0 = as fast as the socket takes them
        bool loop = false;     // start again after the last frame
        bool split = false;    // cut records across several writes
        bool coalesce = false; // put several records into one write
    };
    // Records per write with coalesce.
    static constexpr int CoalesceCount = 3;

    AgwReplayServer(QList<QByteArray> frames, Options options, QObject *parent = nullptr);
    ~AgwReplayServer() override;

    bool listen(const QHostAddress &address, quint16 port);
    QString errorString() const { return m_server.errorString(); }
    QHostAddress serverAddress() const { return m_server.serverAddress(); }
    quint16 serverPort() const { return m_server.serverPort(); }

    // The "G" reply: one port, its text ending in a NUL that the length counts.
    static QByteArray portInfoRecord();
    // A "K" record for one capture frame (KISS command byte, AX.25 frame), calls filled in.
    static QByteArray rawFrameRecord(QByteArrayView frame);
    // "CALL-SSID" of a 7-byte AX.25 address field; empty when it is too short.
    static QByteArray callsignText(QByteArrayView address);
    // How one batch of records goes onto the socket: joined when coalescing, cut when splitting.
    static QList<QByteArray> writesFor(const QList<QByteArray> &records, bool split, bool coalesce);

signals:
    // Every client that turned monitoring on has been sent the last frame and no client is
    // still playing (never with loop).
    void allClientsDone();
    // Connections and requests, for the operator.
    void event(const QString &text);

private:
    struct Client;

    void onNewConnection();
    void onReadyRead(Client &client);
    void onBytesWritten(Client &client);
    void onDisconnected(Client &client);
    void handleRequest(Client &client, const QByteArray &record);
    void sendNextFrames(Client &client);
    void queue(Client &client, const QList<QByteArray> &writes);
    void flush(Client &client);
    bool isPlaying(const Client &client) const;
    void checkAllDone();

    QTcpServer m_server;
    QList<QByteArray> m_frames;
    Options m_options;
    std::vector<std::unique_ptr<Client>> m_clients;
    bool m_anyClientDone = false;
    bool m_allDoneAnnounced = false;
};
