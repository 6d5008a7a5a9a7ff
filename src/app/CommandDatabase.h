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

    // "" when open; else what failed and why.
    QString open(const QString &dataDir, Mode mode);
    // A damaged file was moved aside on opening (for stderr); "" normally.
    QString notice() const { return m_notice; }
    StationDatabase &database() { return m_database; }

private:
    StationDatabase m_database;
    QString m_notice;
};

// Adds --station-dir DIR to a command's parser.
void addStationDirOption(QCommandLineParser &parser);
// The data folder of the station directory the parser's --station-dir (or the default) names.
QString commandDataDir(const QCommandLineParser &parser);
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
