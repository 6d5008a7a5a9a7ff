#include "app/DecodeCommand.h"

#include "app/CaptureInput.h"
#include "decode/CaptureCsvWriter.h"

#include <QCommandLineParser>
#include <QFile>

#include <string>

namespace {

constexpr std::size_t FlushThreshold = 1 << 16;

const char *const HelpText =
    "Usage: halvora1 decode [options] FILE.kss...\n"
    "Decodes capture files and writes CSV to stdout, one row per decoded value:\n"
    "  rx_time,packet_type,sat_time,channel,caption,unit,value\n"
    "Both time-record forms are read: this program's (the time text after its frame) and the\n"
    "8-byte millisecond record before the frame that other ground-station tools write.\n"
    "FILE may be - for stdin, or a pipe. A damaged spot is reported on stderr as\n"
    "  FILE: offset N: M bytes skipped (reason)\n"
    "and decoding goes on from the next frame end.\n"
    "\n"
    "Options:\n"
    "  -h, --help  Displays this help.\n";

bool writeAll(std::FILE *out, std::string &buffer)
{
    const bool ok = std::fwrite(buffer.data(), 1, buffer.size(), out) == buffer.size();
    buffer.clear();
    return ok;
}

} // namespace

int runDecodeCommand(const QStringList &arguments, std::FILE *out, std::FILE *err)
{
    QCommandLineParser parser;
    parser.addHelpOption();
    parser.addPositionalArgument(QStringLiteral("files"), QStringLiteral("Capture files."),
                                 QStringLiteral("FILE.kss..."));
    QStringList withProgram = arguments;
    withProgram.prepend(QStringLiteral("halvora1 decode"));
    if (!parser.parse(withProgram)) {
        std::fprintf(err, "halvora1 decode: %s\nTry 'halvora1 decode --help'.\n",
                     qPrintable(parser.errorText()));
        return 2;
    }
    if (parser.isSet(QStringLiteral("help"))) {
        std::fputs(HelpText, out);
        return 0;
    }
    const QStringList files = parser.positionalArguments();
    if (files.isEmpty()) {
        std::fprintf(err, "halvora1 decode: no capture file given\nTry 'halvora1 decode --help'.\n");
        return 2;
    }

    int status = 0;
    std::string buffer;
    buffer.reserve(2 * FlushThreshold);
    buffer.append(CaptureCsvWriter::Header);
    bool written = true;
    TelemetryHistory history;

    for (const QString &path : files) {
        QFile file;
        if (const QString reason = openCaptureInput(path, file); !reason.isEmpty()) {
            std::fprintf(err, "halvora1 decode: cannot read %s: %s\n", qPrintable(path),
                         qPrintable(reason));
            status = 1;
            continue;
        }
        CaptureCsvWriter writer(file, history);
        for (;;) {
            const CaptureFileReader::Status step = writer.step(buffer);
            if (buffer.size() >= FlushThreshold)
                written = writeAll(out, buffer) && written;
            if (step == CaptureFileReader::Status::Damaged) {
                // The rows before the damage go out first, so the two streams stay in order.
                written = writeAll(out, buffer) && written;
                std::fflush(out);
                printCaptureDamage(err, path, writer.damage());
            } else if (step == CaptureFileReader::Status::ReadError) {
                std::fprintf(err, "halvora1 decode: cannot read %s: %s\n", qPrintable(path),
                             qPrintable(writer.readError()));
                status = 1;
                break;
            } else if (step == CaptureFileReader::Status::End) {
                break;
            }
        }
    }
    written = writeAll(out, buffer) && written;
    if (std::fflush(out) != 0 || !written) {
        std::fprintf(err, "halvora1 decode: error writing the output\n");
        status = 1;
    }
    return status;
}
