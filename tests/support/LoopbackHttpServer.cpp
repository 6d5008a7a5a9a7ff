#include "LoopbackHttpServer.h"

#include <QSslSocket>
#include <QTimer>

LoopbackHttpServer::LoopbackHttpServer(QObject *parent) : QTcpServer(parent) {}

bool LoopbackHttpServer::start()
{
    return listen(QHostAddress::LocalHost, 0);
}

QString LoopbackHttpServer::url(const QString &path) const
{
    return QStringLiteral("%1://127.0.0.1:%2%3")
        .arg(m_certificate.isNull() ? QStringLiteral("http") : QStringLiteral("https"))
        .arg(serverPort())
        .arg(path);
}

void LoopbackHttpServer::useTls(const QSslCertificate &certificate, const QSslKey &key)
{
    m_certificate = certificate;
    m_key = key;
}

void LoopbackHttpServer::incomingConnection(qintptr descriptor)
{
    ++m_connections;
    QTcpSocket *socket = nullptr;
    if (m_certificate.isNull()) {
        socket = new QTcpSocket(this);
        socket->setSocketDescriptor(descriptor);
    } else {
        auto *tls = new QSslSocket(this);
        tls->setSocketDescriptor(descriptor);
        tls->setLocalCertificate(m_certificate);
        tls->setPrivateKey(m_key);
        tls->setPeerVerifyMode(QSslSocket::VerifyNone);
        tls->startServerEncryption();
        socket = tls;
    }
    socket->setProperty("buffer", QByteArray());
    connect(socket, &QTcpSocket::readyRead, this, [this, socket] { onReadyRead(socket); });
    connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
}

void LoopbackHttpServer::onReadyRead(QTcpSocket *socket)
{
    QByteArray buffer = socket->property("buffer").toByteArray() + socket->readAll();
    // A keep-alive client may have sent its next request already: serve each whole one.
    for (;;) {
        const HttpParseResult parsed = parseHttpRequest(buffer);
        if (parsed.status == HttpParseResult::Status::Incomplete)
            break;
        if (parsed.status == HttpParseResult::Status::Malformed) {
            answer(socket, {400, "Bad Request", {}});
            return;
        }
        buffer.remove(0, parsed.consumed);
        m_requests.append(parsed.request);
        const Answer next = m_nextAnswers.isEmpty() ? m_answer : m_nextAnswers.takeFirst();
        if (!next.respond)
            m_held.append(socket);
        else if (next.delayMs > 0)
            QTimer::singleShot(next.delayMs, socket, [this, socket, next] { answer(socket, next); });
        else
            answer(socket, next);
    }
    socket->setProperty("buffer", buffer);
}

void LoopbackHttpServer::answerHeldRequests()
{
    Answer answer = m_answer;
    answer.respond = true;
    for (const QPointer<QTcpSocket> &socket : std::exchange(m_held, {})) {
        if (socket)
            this->answer(socket, answer);
    }
}

void LoopbackHttpServer::answer(QTcpSocket *socket, const Answer &answer)
{
    QByteArray text = "HTTP/1.1 " + QByteArray::number(answer.status) + ' ' + answer.reason + "\r\n";
    for (const auto &[name, value] : answer.headers)
        text += name + ": " + value + "\r\n";
    const bool close = !m_keepAlive || answer.cutShort;
    text += "Content-Length: " + QByteArray::number(answer.body.size() + (answer.cutShort ? 1000 : 0)) + "\r\n";
    text += close ? "Connection: close\r\n\r\n" : "\r\n";
    socket->write(text + answer.body);
    if (close)
        socket->disconnectFromHost();
}
