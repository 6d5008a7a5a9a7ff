// halvora1: the Halvora-1 ground station. See README.md for the command line.
#include "app/ConfigurationTemplate.h"
#include "app/DecodeCommand.h"
#include "app/ExitSignals.h"
#include "app/ExportCommand.h"
#include "app/ImportCommand.h"
#include "app/QueueCommand.h"
#include "app/StationDirectory.h"
#include "app/gui/SettingsDialog.h"
#include "app/ConfigurationWriter.h"
#include "app/HeadlessRunner.h"
#include "app/Station.h"
#include "app/gui/MainWindow.h"
#include "remote/StationRemoteView.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QFileInfo>
#include <QScreen>

#include <cstdio>
#include <memory>

namespace {

struct Options
{
    bool headless = false;
    bool noUpload = false;
    QString stationDir;
    QString httpAddress; // --http ADDR:PORT; empty: the configuration's HTTP key, if any
};

StationDirectory stationDirectoryFrom(const Options &options)
{
    return StationDirectory::resolve(options.stationDir, QCoreApplication::applicationDirPath());
}

StationOptions stationOptionsFrom(const Options &options)
{
    const StationDirectory where = stationDirectoryFrom(options);
    if (where.kind == StationDirectory::Kind::PerUser) {
        // The per-user folders may not exist yet on a first start.
        for (const QString &dir : {where.configDir, where.dataDir, where.pictureDir})
            QDir().mkpath(dir);
    }
    StationOptions stationOptions;
    stationOptions.programDir = QDir(where.dataDir).absolutePath();
    stationOptions.configDir = QDir(where.configDir).absolutePath();
    stationOptions.pictureDir = QDir(where.pictureDir).absolutePath();
    stationOptions.uploadAllowed = !options.noUpload;
    return stationOptions;
}

// In the per-user case a missing configuration is a first start, not an error.
bool isFirstStart(const Options &options)
{
    const StationDirectory where = stationDirectoryFrom(options);
    return where.kind == StationDirectory::Kind::PerUser &&
           !QFileInfo::exists(where.configurationFile());
}

// The read-only remote view, when --http or the configuration's HTTP key asks for one. Nothing
// listens otherwise. An address that cannot be served is a start-up error of the configuration.
std::optional<QString> startRemoteView(Station &station, const Options &options,
                                       std::unique_ptr<StationRemoteView> &view)
{
    const QString address =
        options.httpAddress.isEmpty() ? station.configuration().httpAddress : options.httpAddress;
    if (address.isEmpty() || station.startupError())
        return std::nullopt;
    view = std::make_unique<StationRemoteView>(station);
    if (auto error = view->listen(address, station.configuration().httpToken)) {
        view.reset();
        return QStringLiteral("remote view on %1: %2").arg(address, *error);
    }
    station.report(QStringLiteral("Remote view on http://%1/").arg(address));
    return std::nullopt;
}

int runHeadless(const Options &options, int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    if (isFirstStart(options)) {
        const QString path = stationDirectoryFrom(options).configurationFile();
        QDir().mkpath(QFileInfo(path).absolutePath());
        if (const auto error = writeConfigurationTemplate(path)) {
            std::fprintf(stderr, "halvora1: cannot write %s: %s\n", qPrintable(path), qPrintable(*error));
            return 74;
        }
        std::fprintf(stderr, "halvora1: first start: wrote a commented configuration to %s; "
                             "fill in PORT, SERVER and MYCALL there and start again\n",
                     qPrintable(path));
        return 78;
    }
    Station station(stationOptionsFrom(options));
    HeadlessRunner runner(station);
    runner.installSignalHandlers();
    station.start();
    // A station that cannot start says why on stderr and ends, so a service manager sees it.
    if (const auto &error = station.startupError()) {
        station.exit();
        return error->exitStatus();
    }
    std::unique_ptr<StationRemoteView> remoteView;
    if (const auto error = startRemoteView(station, options, remoteView)) {
        std::fprintf(stderr, "halvora1: %s\n", qPrintable(*error));
        station.exit();
        return 78;
    }
    return app.exec();
}

int runWindow(const Options &options, int argc, char **argv)
{
    QApplication app(argc, argv);
    if (isFirstStart(options)) {
        // First start: the Settings dialog with the template's defaults, before the station
        // reads the file.
        const QString path = stationDirectoryFrom(options).configurationFile();
        QDir().mkpath(QFileInfo(path).absolutePath());
        writeConfigurationTemplate(path);
        SettingsDialog first(Configuration{}, [path](const ConfigurationValues &values) {
            return writeConfigurationValues(path, values);
        });
        first.exec();
    }
    Station station(stationOptionsFrom(options));
    MainWindow window(station);
    // Before start-up: a signal that comes early still takes the Exit path.
    ExitSignals exitSignals;
    QObject::connect(&exitSignals, &ExitSignals::exitRequested, &window, &MainWindow::exitStation);
    exitSignals.install();
    // The start-up sequence runs as the window loads, before it takes input.
    station.start();
    if (const QScreen *screen = window.screen()) {
        const QRect frame = window.frameGeometry();
        window.move(screen->availableGeometry().center() - QPoint(frame.width(), frame.height()) / 2);
    }
    window.show();
    std::unique_ptr<StationRemoteView> remoteView;
    if (const auto error = startRemoteView(station, options, remoteView))
        station.report(QStringLiteral("Remote view not started: ") + *error);
    return app.exec();
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
    // The station database's readers and writers: Qt SQL loads its driver through an application.
    if (arguments.size() > 1 && (arguments.at(1) == u"queue" || arguments.at(1) == u"import" ||
                                 arguments.at(1) == u"export")) {
        QCoreApplication app(argc, argv);
        const auto command = arguments.at(1) == u"queue"    ? runQueueCommand
                             : arguments.at(1) == u"import" ? runImportCommand
                                                            : runExportCommand;
        return command(arguments.mid(2), stdout, stderr);
    }

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Halvora-1 ground station: receives AX.25 frames from an AGW packet engine, decodes the "
        "satellite's telemetry and uploads it.\n\n"
        "  halvora1 [--headless] [--station-dir DIR] [--no-upload] [--http ADDR:PORT]\n"
        "  halvora1 decode FILE.kss...   capture files to CSV (see 'halvora1 decode --help')\n"
        "  halvora1 import [--station-dir DIR] FILE.kss...   capture files into the archive\n"
        "  halvora1 export [--station-dir DIR] [--from TIME] [--to TIME] [--channels LIST] [--long]\n"
        "  halvora1 queue [--station-dir DIR] [--retry-rejected]   the upload queue\n\n"
        "Station directory: --station-dir DIR; else the executable's directory when it holds\n"
        "online_conf.ini; else ~/.config/halvora1/online_conf.ini with data in\n"
        "~/.local/share/halvora1/ and screenshots in ~/Pictures/halvora1/."));
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addOption({QStringLiteral("headless"),
                      QStringLiteral("Run without a window; log and status line go to stdout.")});
    parser.addOption({QStringLiteral("station-dir"),
                      QStringLiteral("Program directory with online_conf.ini; capture and debug "
                                     "files are written there (default: the executable's)."),
                      QStringLiteral("DIR")});
    parser.addOption({QStringLiteral("http"),
                      QStringLiteral("Serve the read-only remote view (web page, JSON API, "
                                     "Prometheus metrics) on ADDR:PORT, e.g. 127.0.0.1:8080."),
                      QStringLiteral("ADDR:PORT")});
    parser.addOption({QStringLiteral("no-upload"),
                      QStringLiteral("Start with \"allow data transfer\" unticked.")});
    if (!parser.parse(arguments)) {
        std::fprintf(stderr, "halvora1: %s\nTry 'halvora1 --help'.\n",
                     qPrintable(parser.errorText()));
        return 2;
    }
    if (parser.isSet(QStringLiteral("help"))) {
        // Parsed before any application object exists, so the usage line lacks the name.
        std::printf("%s", qPrintable(parser.helpText().replace(
                              QStringLiteral("<executable_name>"), QStringLiteral("halvora1"))));
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
    options.httpAddress = parser.value(QStringLiteral("http"));
    if (!options.headless && qEnvironmentVariableIsEmpty("DISPLAY") &&
        qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") &&
        qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        std::fprintf(stderr, "halvora1: no display found; run 'halvora1 --headless' instead\n");
        return 2;
    }
    return options.headless ? runHeadless(options, argc, argv) : runWindow(options, argc, argv);
}
