#include "app/QueueCommand.h"

#include "app/CommandDatabase.h"
#include "store/UploadQueueStore.h"

#include <QCommandLineParser>

namespace {

const char *const HelpText =
    "Usage: halvora1 queue [--station-dir DIR] [--retry-rejected]\n"
    "Prints the upload queue of the station database: waiting, rejected and delivered frames\n"
    "and the reception time of the oldest waiting one. Safe while the station runs.\n"
    "\n"
    "Options:\n"
    "  --station-dir DIR  The station directory (default: the station's own).\n"
    "  --retry-rejected   Puts every rejected frame back to waiting.\n"
    "  -h, --help         Displays this help.\n";

} // namespace

int runQueueCommand(const QStringList &arguments, std::FILE *out, std::FILE *err)
{
    QCommandLineParser parser;
    addStationDirOption(parser);
    const QCommandLineOption retryRejected(QStringLiteral("retry-rejected"),
                                           QStringLiteral("Puts rejected frames back to waiting."));
    parser.addOption(retryRejected);
    if (const std::optional<int> status = parseCommandLine(parser, "queue", arguments, HelpText, false, out, err))
        return *status;

    CommandDatabase database;
    if (!database.open("queue", parser, CommandDatabase::Mode::Existing, err))
        return 1;
    UploadQueueStore queue(database.database());

    if (parser.isSet(retryRejected)) {
        QString error;
        const qint64 retried = queue.retryRejected(&error);
        if (retried < 0) {
            std::fprintf(err, "halvora1 queue: cannot put rejected frames back: %s\n",
                         qPrintable(error));
            return 1;
        }
        std::fprintf(out, "%lld rejected frames put back to waiting\n",
                     static_cast<long long>(retried));
    }

    const UploadQueueStore::Statistics statistics = queue.statistics();
    if (!statistics.error.isEmpty()) {
        std::fprintf(err, "halvora1 queue: cannot read the upload queue: %s\n",
                     qPrintable(statistics.error));
        return 1;
    }
    std::fprintf(out, "waiting: %lld\nrejected: %lld\ndelivered: %lld\noldest waiting: %s\n",
                 static_cast<long long>(statistics.waiting),
                 static_cast<long long>(statistics.rejected),
                 static_cast<long long>(statistics.delivered),
                 statistics.oldestWaitingRxTimeMs
                     ? qPrintable(isoTimeText(*statistics.oldestWaitingRxTimeMs))
                     : "none");
    return 0;
}
