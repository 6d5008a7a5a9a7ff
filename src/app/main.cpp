// halvora1: the Halvora-1 ground station. See README.md for the command line.
#include "app/DecodeCommand.h"
#include "app/HeadlessRunner.h"
#include "app/Station.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QDir>

#include <cstdio>
#include <memory>

namespace {

struct Options
{
    bool headless = false;
    bool noUpload = false;
    QString stationDir;
};

int runStation(const Options &options, int argc, char **argv)
{
    std::unique_ptr<QCoreApplication> app;
    // The window is not built yet: the Station runs headless either way.
    app = std::make_unique<QCoreApplication>(argc, argv);
    if (!options.headless)
        std::fprintf(stderr, "halvora1: the window is not built yet; running headless\n");

    StationOptions stationOptions;
    stationOptions.programDir = options.stationDir.isEmpty()
                                    ? QCoreApplication::applicationDirPath()
                                    : QDir(options.stationDir).absolutePath();
    stationOptions.uploadAllowed = !options.noUpload;
    Station station(stationOptions);
    HeadlessRunner runner(station);
    runner.installSignalHandlers();
    station.Form_Load();
    return app->exec();
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication::setApplicationName(QStringLiteral("halvora1"));
    QCoreApplication::setApplicationVersion(QStringLiteral(HALVORA_VERSION));

    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);

    // Offline decoding of capture files: a command of its own, with no station and no event loop.
    if (arguments.size() > 1 && arguments.at(1) == u"decode")
        return runDecodeCommand(arguments.mid(2), stdout, stderr);

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Halvora-1 ground station: receives AX.25 frames from an AGW packet engine, decodes the "
        "satellite's telemetry and uploads it.\n\n"
        "  halvora1 [--headless] [--station-dir DIR] [--no-upload]\n"
        "  halvora1 decode FILE.kss...   capture files to CSV (see 'halvora1 decode --help')"));
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addOption({QStringLiteral("headless"),
                      QStringLiteral("Run without a window; log and status line go to stdout.")});
    parser.addOption({QStringLiteral("station-dir"),
                      QStringLiteral("Program directory with online_conf.ini; capture and debug "
                                     "files are written there (default: the executable's)."),
                      QStringLiteral("DIR")});
    parser.addOption({QStringLiteral("no-upload"),
                      QStringLiteral("Start with \"allow data transfer\" unticked.")});
    if (!parser.parse(arguments)) {
        std::fprintf(stderr, "halvora1: %s\nTry 'halvora1 --help'.\n",
                     qPrintable(parser.errorText()));
        return 2;
    }
    if (parser.isSet(QStringLiteral("help"))) {
        std::printf("%s", qPrintable(parser.helpText()));
        return 0;
    }
    if (parser.isSet(QStringLiteral("version"))) {
        std::printf("halvora1 %s\n", HALVORA_VERSION);
        return 0;
    }
    if (!parser.positionalArguments().isEmpty()) {
        std::fprintf(stderr, "halvora1: unexpected argument '%s'\nTry 'halvora1 --help'.\n",
                     qPrintable(parser.positionalArguments().first()));
        return 2;
    }

    Options options;
    options.headless = parser.isSet(QStringLiteral("headless"));
    options.noUpload = parser.isSet(QStringLiteral("no-upload"));
    options.stationDir = parser.value(QStringLiteral("station-dir"));
    return runStation(options, argc, argv);
}
