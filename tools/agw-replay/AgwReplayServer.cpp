#include "AgwReplayServer.h"

#include "link/AgwProtocol.h"

#include <QTcpSocket>
#include <QTimer>

#include <algorithm>
#include <array>
#include <climits>

namespace {

constexpr int AddressSize = 7;
// Piece sizes for split writes: the first cut leaves only the port byte, the second ends inside
// the length field, so a client must hold partial headers as well as partial data.
constexpr std::array<qsizetype, 3> FirstPieces{1, 29, 9};
constexpr qsizetype LaterPiece = 50;

} // namespace

struct AgwReplayServer::Client
{
    QTcpSocket *socket = nullptr;
    QString peer;
    AgwProtocol::RecordAssembler assembler;
    bool monitoring = false;
    qsizetype nextFrame = 0;
    bool lastFrameQueued = false;
    QList<QByteArray> pending; // writes not yet handed to the socket
    QTimer timer;
};

AgwReplayServer::AgwReplayServer(QList<QByteArray> frames, Options options, QObject *parent)
    : QObject(parent), m_frames(std::move(frames)), m_options(options)
{
    connect(&m_server, &QTcpServer::newConnection, this, &AgwReplayServer::onNewConnection);
}

AgwReplayServer::~AgwReplayServer()
{
    for (const auto &client : m_clients)
        client->socket->disconnect(this);
}

bool AgwReplayServer::listen(const QHostAddress &address, quint16 port)
{
    return m_server.listen(address, port);
}

QByteArray AgwReplayServer::portInfoRecord()
{
    // Exactly 29 characters before the NUL that the length counts: the station logs that many,
    // so the whole description shows and the NUL stays out of the log.
    const QByteArray text("1;Port1 Halvora-1 AGW replay;", 30);
    return AgwProtocol::header(AgwProtocol::KindPortInfo, std::uint32_t(text.size())) + text;
}

QByteArray AgwReplayServer::callsignText(QByteArrayView address)
{
    if (address.size() < AddressSize)
        return {};
    QByteArray call;
    for (qsizetype i = 0; i < 6; ++i) {
        const char c = char(quint8(address[i]) >> 1);
        if (c == ' ')
            break;
        call.append(c > ' ' && c < 0x7F ? c : '?');
    }
    const int ssid = (quint8(address[6]) >> 1) & 0x0F;
    if (ssid != 0)
        call += '-' + QByteArray::number(ssid);
    return call;
}

QByteArray AgwReplayServer::rawFrameRecord(QByteArrayView frame)
{
    QByteArray record = AgwProtocol::header(AgwProtocol::KindRawFrame, std::uint32_t(frame.size()));
    // Data byte 0 is the KISS command byte; the destination address follows, then the source.
    if (frame.size() >= 1 + 2 * AddressSize) {
        const QByteArray to = callsignText(frame.sliced(1, AddressSize));
        const QByteArray from = callsignText(frame.sliced(1 + AddressSize, AddressSize));
        // At most nine characters each, so the field stays NUL-terminated.
        record.replace(AgwProtocol::FromCallOffset, from.size(), from);
        record.replace(AgwProtocol::ToCallOffset, to.size(), to);
    }
    record.append(frame.data(), frame.size());
    return record;
}

QList<QByteArray> AgwReplayServer::writesFor(const QList<QByteArray> &records, bool split,
                                             bool coalesce)
{
    QList<QByteArray> blobs;
    if (coalesce) {
        for (qsizetype i = 0; i < records.size(); i += CoalesceCount) {
            QByteArray joined;
            for (qsizetype j = i; j < std::min<qsizetype>(i + CoalesceCount, records.size()); ++j)
                joined += records[j];
            blobs.append(joined);
        }
    } else {
        blobs = records;
    }
    if (!split)
        return blobs;

    QList<QByteArray> pieces;
    for (const QByteArray &blob : blobs) {
        qsizetype pos = 0;
        for (std::size_t n = 0; pos < blob.size(); ++n) {
            const qsizetype size = n < FirstPieces.size() ? FirstPieces[n] : LaterPiece;
            pieces.append(blob.mid(pos, size));
            pos += size;
        }
    }
    return pieces;
}

void AgwReplayServer::onNewConnection()
{
    while (QTcpSocket *socket = m_server.nextPendingConnection()) {
        auto client = std::make_unique<Client>();
        Client *c = client.get();
        c->socket = socket;
        c->peer = socket->peerAddress().toString() + u':' + QString::number(socket->peerPort());
        // Each write should leave as its own segment, or split writes would merge again.
        socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
        const double framesPerTick = m_options.coalesce ? CoalesceCount : 1;
        if (m_options.rate > 0) {
            const double interval = framesPerTick * 1000.0 / m_options.rate;
            c->timer.setInterval(int(std::clamp(interval, 1.0, double(INT_MAX / 2))));
        }
        connect(&c->timer, &QTimer::timeout, this, [this, c] { sendNextFrames(*c); });
        connect(socket, &QTcpSocket::readyRead, this, [this, c] { onReadyRead(*c); });
        connect(socket, &QTcpSocket::bytesWritten, this, [this, c] { onBytesWritten(*c); });
        connect(socket, &QTcpSocket::disconnected, this, [this, c] { onDisconnected(*c); });
        m_clients.push_back(std::move(client));
        emit event(QStringLiteral("client %1 connected").arg(c->peer));
    }
}

void AgwReplayServer::onReadyRead(Client &client)
{
    client.assembler.append(client.socket->readAll());
    QByteArray record;
    for (;;) {
        switch (client.assembler.next(record)) {
        case AgwProtocol::RecordAssembler::Status::Record:
            handleRequest(client, record);
            continue;
        case AgwProtocol::RecordAssembler::Status::NeedMoreData:
            return;
        case AgwProtocol::RecordAssembler::Status::OversizeRecord:
            emit event(QStringLiteral("client %1 sent a record of %2 bytes; closing it")
                           .arg(client.peer)
                           .arg(client.assembler.oversizeLength()));
            client.socket->disconnectFromHost();
            return;
        }
    }
}

void AgwReplayServer::handleRequest(Client &client, const QByteArray &record)
{
    const char kind = record[AgwProtocol::DataKindOffset];
    if (kind == AgwProtocol::KindPortInfo) {
        queue(client, writesFor({portInfoRecord()}, m_options.split, false));
    } else if (kind == AgwProtocol::KindRawMonitoring) {
        // A toggle, as in real packet engines: the second "k" switches monitoring off again.
        client.monitoring = !client.monitoring;
        emit event(QStringLiteral("client %1 raw monitoring %2")
                       .arg(client.peer, client.monitoring ? u"on" : u"off"));
        if (!client.monitoring) {
            client.timer.stop();
            return;
        }
        sendNextFrames(client);
        if (m_options.rate > 0 && !client.lastFrameQueued)
            client.timer.start();
    }
    // Every other request is ignored, as a packet engine ignores what it does not offer.
}

void AgwReplayServer::sendNextFrames(Client &client)
{
    if (!client.monitoring || client.lastFrameQueued)
        return;
    if (m_frames.isEmpty()) {
        client.lastFrameQueued = true;
        return;
    }
    const int count = m_options.coalesce ? CoalesceCount : 1;
    QList<QByteArray> records;
    while (records.size() < count && !client.lastFrameQueued) {
        records.append(rawFrameRecord(m_frames[client.nextFrame]));
        if (++client.nextFrame == m_frames.size()) {
            client.nextFrame = 0;
            if (!m_options.loop) {
                client.lastFrameQueued = true;
                client.timer.stop();
            }
        }
    }
    queue(client, writesFor(records, m_options.split, m_options.coalesce));
}

void AgwReplayServer::queue(Client &client, const QList<QByteArray> &writes)
{
    client.pending.append(writes);
    flush(client);
}

void AgwReplayServer::flush(Client &client)
{
    if (m_options.split) {
        // One piece at a time: the next only once the socket has passed the previous one on.
        if (client.socket->bytesToWrite() == 0 && !client.pending.isEmpty())
            client.socket->write(client.pending.takeFirst());
        return;
    }
    for (const QByteArray &bytes : std::as_const(client.pending))
        client.socket->write(bytes);
    client.pending.clear();
}

void AgwReplayServer::onBytesWritten(Client &client)
{
    if (client.socket->bytesToWrite() > 0)
        return;
    flush(client);
    if (!client.pending.isEmpty() || client.socket->bytesToWrite() > 0)
        return;
    if (m_options.rate <= 0)
        sendNextFrames(client);
    checkAllDone();
}

void AgwReplayServer::onDisconnected(Client &client)
{
    emit event(QStringLiteral("client %1 disconnected").arg(client.peer));
    client.monitoring = false;
    client.timer.stop();
    QTcpSocket *socket = client.socket;
    socket->disconnect(this);
    // Removed later: this may run inside one of the client's own handlers.
    QTimer::singleShot(0, this, [this, socket] {
        std::erase_if(m_clients, [socket](const auto &c) { return c->socket == socket; });
        socket->deleteLater();
    });
    checkAllDone();
}

bool AgwReplayServer::isPlaying(const Client &client) const
{
    const bool allSent = client.lastFrameQueued && client.pending.isEmpty() &&
                         client.socket->bytesToWrite() == 0;
    return client.monitoring && !allSent;
}

void AgwReplayServer::checkAllDone()
{
    for (const auto &client : m_clients) {
        if (client->lastFrameQueued && client->pending.isEmpty() &&
            client->socket->bytesToWrite() == 0)
            m_anyClientDone = true;
    }
    if (!m_anyClientDone || m_allDoneAnnounced)
        return;
    for (const auto &client : m_clients) {
        if (isPlaying(*client))
            return;
    }
    m_allDoneAnnounced = true;
    emit allClientsDone();
}
