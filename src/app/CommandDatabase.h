#pragma once

#include "store/StationDatabase.h"

#include <QString>

#include <cstdio>
#include <optional>

class QCommandLineParser;

// The station database as the command-line readers and writers (`halvora1 queue`, `import`,
// `export`) open it: in the station directory's data folder, beside a running station (they
// never take the station lock), and with the parts of the command line they share.
class CommandDatabase
{
public:
    enum class Mode {
        Existing,       // a missing database is an error (readers)
        CreateIfMissing // import creates it
    };

    // Opens the database of the station directory the parser's --station-dir (or the default)
    // names. On err, as "halvora1 COMMAND: ...": what failed and why (then false), or that a
    // damaged file was moved aside.
    bool open(const char *command, const QCommandLineParser &parser, Mode mode, std::FILE *err);
    StationDatabase &database() { return m_database; }

private:
    QString openIn(const QString &dataDir, Mode mode, QString *notice);

    StationDatabase m_database;
};

// Adds --station-dir DIR to a command's parser.
void addStationDirOption(QCommandLineParser &parser);
// Prints "halvora1 COMMAND: text" and the hint to --help on err; returns 2.
int commandUsageError(std::FILE *err, const char *command, const QString &text);
// Parses "halvora1 COMMAND" + arguments (with the help option added). Returns the exit status
// when the command ends here: 0 after printing helpText on out for --help, 2 after printing a
// usage error on err (also for a file argument given to a command that takes none).
std::optional<int> parseCommandLine(QCommandLineParser &parser, const char *command,
                                    const QStringList &arguments, const char *helpText,
                                    bool takesFiles, std::FILE *out, std::FILE *err);
// "2026-12-06T18:25:09.123Z".
QString isoTimeText(qint64 msSinceEpoch);
