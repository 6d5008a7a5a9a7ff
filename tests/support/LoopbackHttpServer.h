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
// request it parses and answers each with a configurable status, headers and body, or misbehaves
// the way real servers do (never answers, answers late, cuts the response short). With keep-alive
// on it serves many requests per connection, as a production server would.
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
        QByteArray body = {};
        bool cutShort = false; // announces 1000 bytes more than it sends, then closes
        int delayMs = 0; // a slow server: answers this long after the request
    };

    explicit LoopbackHttpServer(QObject *parent = nullptr);

    bool start(); // listens on a free loopback port
    QString url(const QString &path = QStringLiteral("/telemetry")) const;
    void setAnswer(const Answer &answer) { m_answer = answer; }
    // Answers that differ from the configured one for the next requests, in order.
    void queueAnswers(const QList<Answer> &answers) { m_nextAnswers += answers; }
    void setKeepAlive(bool keepAlive) { m_keepAlive = keepAlive; }
    void useTls(const QSslCertificate &certificate, const QSslKey &key);

    const QList<HttpRequest> &requests() const { return m_requests; }
    int connectionCount() const { return m_connections; }
    void answerHeldRequests(); // sends the configured answer to every held connection

protected:
    void incomingConnection(qintptr descriptor) override;

private:
    void onReadyRead(QTcpSocket *socket);
    void answer(QTcpSocket *socket, const Answer &answer);

    Answer m_answer;
    QList<Answer> m_nextAnswers;
    bool m_keepAlive = false;
    int m_connections = 0;
    QSslCertificate m_certificate;
    QSslKey m_key;
    QList<HttpRequest> m_requests;
    QList<QPointer<QTcpSocket>> m_held;
};
