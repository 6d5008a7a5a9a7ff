// telemetry-sink: a collection endpoint for demos. Listens on 127.0.0.1, answers every POST with
// "201 Created" and an empty body, and prints each received form as one line of decoded fields.
//   telemetry-sink [--port N]      (default 8080; 0 picks a free port)
#include "upload/FormFields.h"
#include "upload/HttpRequestParser.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QTcpServer>
#include <QTcpSocket>

#include <cstdio>

namespace {

// Field values come from the network: control characters are shown, never sent to the terminal.
QString printable(const QString &text)
{
    QString out;
    for (const QChar c : text) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7F || (c.unicode() >= 0x80 && c.unicode() <= 0x9F))
            out += QStringLiteral("\\x%1").arg(c.unicode(), 2, 16, QLatin1Char('0'));
        else
            out += c;
    }
    return out;
}

void answer(QTcpSocket *socket, QByteArrayView statusLine)
{
    socket->write("HTTP/1.1 " + statusLine.toByteArray() +
                  "\r\nContent-Length: 0\r\nConnection: close\r\n\r\n");
    socket->disconnectFromHost();
}

void serve(QTcpSocket *socket)
{
    QByteArray buffer;
    QObject::connect(socket, &QTcpSocket::readyRead, socket, [socket, buffer]() mutable {
        buffer += socket->readAll();
        const HttpParseResult parsed = parseHttpRequest(buffer);
        if (parsed.status == HttpParseResult::Status::Incomplete)
            return;
        QObject::disconnect(socket, &QTcpSocket::readyRead, nullptr, nullptr);
        if (parsed.status == HttpParseResult::Status::Malformed) {
            std::fprintf(stderr, "telemetry-sink: bad request: %s\n", qPrintable(parsed.error));
            answer(socket, "400 Bad Request");
            return;
        }
        if (parsed.request.method != "POST") {
            answer(socket, "405 Method Not Allowed");
            return;
        }
        QStringList fields;
        for (const auto &[name, value] : decodeFormFields(parsed.request.body))
            fields << printable(name) + u'=' + printable(value);
        std::printf("%s\n", qPrintable(fields.join(QStringLiteral(" | "))));
        std::fflush(stdout);
        answer(socket, "201 Created");
    });
    QObject::connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("telemetry-sink"));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Collection endpoint for demos: answers each POST on 127.0.0.1 with 201 Created and "
        "prints the received form fields, one line per upload."));
    parser.addHelpOption();
    parser.addOption({QStringLiteral("port"), QStringLiteral("TCP port (default 8080, 0: any free port)."),
                      QStringLiteral("N"), QStringLiteral("8080")});
    parser.process(app);

    bool ok = false;
    const uint port = parser.value(QStringLiteral("port")).toUInt(&ok);
    if (!ok || port > 65535) {
        std::fprintf(stderr, "telemetry-sink: --port needs a number from 0 to 65535\n");
        return 2;
    }

    QTcpServer server;
    if (!server.listen(QHostAddress::LocalHost, quint16(port))) {
        std::fprintf(stderr, "telemetry-sink: cannot listen on 127.0.0.1:%u: %s\n", port,
                     qPrintable(server.errorString()));
        return 1;
    }
    QObject::connect(&server, &QTcpServer::newConnection, &server, [&server] {
        while (QTcpSocket *socket = server.nextPendingConnection())
            serve(socket);
    });
    std::printf("listening on 127.0.0.1:%u\n", unsigned(server.serverPort()));
    std::fflush(stdout);
    return app.exec();
}
