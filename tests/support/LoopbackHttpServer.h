#pragma once

#include "upload/HttpRequestParser.h"

#include <QList>
#include <QPair>
#include <QPointer>
#include <QSslCertificate>
#include <QSslKey>
#include <QTcpServer>
#include <QTcpSocket>

// A real HTTP (or, with a certificate, HTTPS) server on 127.0.0.1 for upload tests: records every
// request it parses and answers each with a configurable status and headers, or holds the
// answer back (a server that never answers, or one that answers when the test says so).
class LoopbackHttpServer : public QTcpServer
{
    Q_OBJECT
public:
    struct Answer
    {
        int status = 201;
        QByteArray reason = "Created";
        QList<QPair<QByteArray, QByteArray>> headers;
        bool respond = true; // false: keep the connection open without a word
    };

    explicit LoopbackHttpServer(QObject *parent = nullptr);

    bool start(); // listens on a free loopback port
    QString url(const QString &path = QStringLiteral("/telemetry")) const;
    void setAnswer(const Answer &answer) { m_answer = answer; }
    void useTls(const QSslCertificate &certificate, const QSslKey &key);

    const QList<HttpRequest> &requests() const { return m_requests; }
    void answerHeldRequests(); // sends the configured answer to every held connection

protected:
    void incomingConnection(qintptr descriptor) override;

private:
    void onReadyRead(QTcpSocket *socket);
    void answer(QTcpSocket *socket, const Answer &answer);

    Answer m_answer;
    QSslCertificate m_certificate;
    QSslKey m_key;
    QList<HttpRequest> m_requests;
    QList<QPointer<QTcpSocket>> m_held;
};
