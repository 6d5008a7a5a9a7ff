#include "LoopbackHttpServer.h"

#include <QSslSocket>

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
    const HttpParseResult parsed = parseHttpRequest(buffer);
    if (parsed.status == HttpParseResult::Status::Incomplete) {
        socket->setProperty("buffer", buffer);
        return;
    }
    socket->setProperty("buffer", QByteArray());
    if (parsed.status == HttpParseResult::Status::Malformed) {
        answer(socket, Answer{400, "Bad Request", {}, true});
        return;
    }
    m_requests.append(parsed.request);
    if (m_answer.respond)
        answer(socket, m_answer);
    else
        m_held.append(socket);
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
    text += "Content-Length: 0\r\nConnection: close\r\n\r\n";
    socket->write(text);
    socket->disconnectFromHost();
}
