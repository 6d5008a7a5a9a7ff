#include "app/ImportCommand.h"

#include "app/CaptureImport.h"
#include "app/CaptureInput.h"
#include "app/CommandDatabase.h"

#include <QCommandLineParser>
#include <QFile>

namespace {

const char *const HelpText =
    "Usage: halvora1 import [--station-dir DIR] FILE.kss...\n"
    "Adds the satellite frames of capture files to the station's telemetry archive, with the\n"
    "reception times of their time records (this program's, or the 8-byte millisecond record\n"
    "other ground-station tools write before the frame). A frame already archived (same\n"
    "reception time and bytes) is not added twice; a frame without a time record is skipped.\n"
    "FILE may be - for stdin, or a pipe. One summary line per file; a damaged spot is reported\n"
    "on stderr as\n"
    "  FILE: offset N: M bytes skipped (reason)\n"
    "Safe while the station runs.\n"
    "\n"
    "Options:\n"
    "  --station-dir DIR  The station directory (default: the station's own).\n"
    "  -h, --help         Displays this help.\n";

void printSummary(std::FILE *out, const QString &path, const CaptureImport::Summary &summary)
{
    std::fprintf(out, "%s\n", qPrintable(summary.line(path)));
}

} // namespace

int runImportCommand(const QStringList &arguments, std::FILE *out, std::FILE *err)
{
    QCommandLineParser parser;
    addStationDirOption(parser);
    parser.addPositionalArgument(QStringLiteral("files"), QStringLiteral("Capture files."),
                                 QStringLiteral("FILE.kss..."));
    if (const std::optional<int> status = parseCommandLine(parser, "import", arguments, HelpText, true, out, err))
        return *status;
    const QStringList files = parser.positionalArguments();

    CommandDatabase database;
    if (!database.open("import", parser, CommandDatabase::Mode::CreateIfMissing, err))
        return 1;

    int status = 0;
    for (const QString &path : files) {
        QFile file;
        if (const QString reason = openCaptureInput(path, file); !reason.isEmpty()) {
            std::fprintf(err, "halvora1 import: cannot read %s: %s\n", qPrintable(path),
                         qPrintable(reason));
            status = 1;
            continue;
        }
        CaptureImport import(file, database.database());
        CaptureImport::Status step = CaptureImport::Status::Running;
        while (step == CaptureImport::Status::Running || step == CaptureImport::Status::Damaged) {
            step = import.step();
            if (step == CaptureImport::Status::Damaged)
                printCaptureDamage(err, path, import.damage());
        }
        printSummary(out, path, import.summary());
        std::fflush(out);
        if (step == CaptureImport::Status::Failed) {
            std::fprintf(err, "halvora1 import: %s: %s\n", qPrintable(path),
                         qPrintable(import.error()));
            status = 1;
        }
    }
    return status;
}
