// agw-replay: a packet engine simulator. Serves the frame records of capture files over the AGW
// TCP interface so the station can be run and tested without a radio.
#include "AgwReplayServer.h"
#include "ReplayCapture.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

#include <cstdio>

namespace {

void printLine(std::FILE *stream, const QString &text)
{
    std::fprintf(stream, "%s\n", qPrintable(text));
    std::fflush(stream);
}

// The bundled sample: next to the build tree first, then where this build's sources lie.
QString defaultSample()
{
    const QString beside = QDir(QCoreApplication::applicationDirPath())
                               .filePath(QStringLiteral("../../samples/halvora1-sample.kss"));
    return QFileInfo::exists(beside) ? QDir::cleanPath(beside) : QStringLiteral(AGW_REPLAY_SAMPLE);
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("agw-replay"));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Packet engine simulator: plays the frame records of KISS capture files as raw frames "
        "(\"K\" records) to AGW clients that switch monitoring on with \"k\".\n\n"
        "  agw-replay [--listen ADDR] [--port N] [--rate F] [--loop] [--exit-when-done]\n"
        "             [--split] [--coalesce] [FILE.kss ...]"));
    parser.addHelpOption();
    parser.addOption({QStringLiteral("listen"), QStringLiteral("Address to listen on (default 127.0.0.1)."),
                      QStringLiteral("ADDR"), QStringLiteral("127.0.0.1")});
    parser.addOption({QStringLiteral("port"),
                      QStringLiteral("TCP port (default 8000; 0 picks a free one)."),
                      QStringLiteral("N"), QStringLiteral("8000")});
    parser.addOption({QStringLiteral("rate"),
                      QStringLiteral("Frames per second (default 1; 0 = as fast as the socket takes them)."),
                      QStringLiteral("F"), QStringLiteral("1")});
    parser.addOption({QStringLiteral("loop"), QStringLiteral("Start again after the last frame.")});
    parser.addOption({QStringLiteral("exit-when-done"),
                      QStringLiteral("Exit once the last frame has gone to the last client.")});
    parser.addOption({QStringLiteral("split"), QStringLiteral("Cut each record across several writes.")});
    parser.addOption({QStringLiteral("coalesce"), QStringLiteral("Put several records into one write.")});
    parser.addPositionalArgument(QStringLiteral("FILE.kss"),
                                 QStringLiteral("Capture files (default: the bundled sample)."));
    parser.process(app);

    const QHostAddress address(parser.value(QStringLiteral("listen")));
    if (address.isNull()) {
        printLine(stderr, QStringLiteral("agw-replay: not an IP address: %1")
                              .arg(parser.value(QStringLiteral("listen"))));
        return 2;
    }
    bool ok = false;
    const uint port = parser.value(QStringLiteral("port")).toUInt(&ok);
    if (!ok || port > 65535) {
        printLine(stderr, QStringLiteral("agw-replay: not a TCP port: %1")
                              .arg(parser.value(QStringLiteral("port"))));
        return 2;
    }
    AgwReplayServer::Options options;
    options.rate = parser.value(QStringLiteral("rate")).toDouble(&ok);
    if (!ok || !(options.rate >= 0) || options.rate > 1e6) {
        printLine(stderr, QStringLiteral("agw-replay: the rate must be a number from 0 to 1000000: %1")
                              .arg(parser.value(QStringLiteral("rate"))));
        return 2;
    }
    options.loop = parser.isSet(QStringLiteral("loop"));
    options.split = parser.isSet(QStringLiteral("split"));
    options.coalesce = parser.isSet(QStringLiteral("coalesce"));

    QStringList files = parser.positionalArguments();
    if (files.isEmpty())
        files << defaultSample();
    QList<QByteArray> frames;
    for (const QString &file : files) {
        const ReplayCapture::Loaded loaded = ReplayCapture::load(file);
        if (!loaded.error.isEmpty()) {
            printLine(stderr, QStringLiteral("agw-replay: ") + loaded.error);
            return 1;
        }
        frames += loaded.frames;
    }

    AgwReplayServer server(frames, options);
    QObject::connect(&server, &AgwReplayServer::event, &app,
                     [](const QString &text) { printLine(stdout, text); });
    if (parser.isSet(QStringLiteral("exit-when-done"))) {
        QObject::connect(&server, &AgwReplayServer::allClientsDone, &app, [] {
            printLine(stdout, QStringLiteral("all frames sent"));
            QCoreApplication::quit();
        });
    }
    if (!server.listen(address, quint16(port))) {
        printLine(stderr, QStringLiteral("agw-replay: cannot listen on %1:%2: %3")
                              .arg(address.toString())
                              .arg(port)
                              .arg(server.errorString()));
        return 1;
    }
    printLine(stdout, QStringLiteral("listening on %1:%2")
                          .arg(server.serverAddress().toString())
                          .arg(server.serverPort()));
    printLine(stdout, QStringLiteral("%1 frames from %2").arg(frames.size()).arg(files.join(u", ")));
    return app.exec();
}
