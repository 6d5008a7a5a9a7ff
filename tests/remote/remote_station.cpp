// A headless station with its remote view on a free loopback port, for the end-to-end test
// until halvora1 itself takes --http. Usage: remote_station STATION_DIR [TOKEN]
// Prints "remote view on port N" once it listens; runs until killed.
#include "app/HeadlessRunner.h"
#include "app/Station.h"
#include "remote/RemoteView.h"

#include <QCoreApplication>

#include <cstdio>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList arguments = app.arguments();
    if (arguments.size() < 2) {
        std::fputs("usage: remote_station STATION_DIR [TOKEN]\n", stderr);
        return 2;
    }
    StationOptions options;
    options.programDir = arguments[1];
    options.workingDir = arguments[1];
    options.uploadAllowed = false;
    Station station(options);
    HeadlessRunner runner(station);
    runner.installSignalHandlers();
    station.start();

    RemoteView view(station);
    if (const auto error = view.listen(QHostAddress::LocalHost, 0, arguments.value(2))) {
        std::fprintf(stderr, "%s\n", qPrintable(*error));
        return 1;
    }
    std::printf("remote view on port %u\n", unsigned(view.serverPort()));
    std::fflush(stdout);
    return app.exec();
}
