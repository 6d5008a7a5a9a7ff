#include "app/CommandDatabase.h"

#include "app/StationDirectory.h"
#include "store/StationLock.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>

bool CommandDatabase::open(const char *command, const QCommandLineParser &parser, Mode mode,
                           std::FILE *err)
{
    const QString dataDir = StationDirectory::resolve(parser.value(QStringLiteral("station-dir")),
                                                      QCoreApplication::applicationDirPath())
                                .dataDir;
    QString notice;
    const QString error = openIn(dataDir, mode, &notice);
    for (const QString &line : {notice, error}) {
        if (!line.isEmpty())
            std::fprintf(err, "halvora1 %s: %s\n", command, qPrintable(line));
    }
    return error.isEmpty();
}

QString CommandDatabase::openIn(const QString &dataDir, Mode mode, QString *notice)
{
    const QString path = QDir(dataDir).filePath(QLatin1String(StationDatabase::FileName));
    if (mode == Mode::Existing && !QFileInfo::exists(path))
        return QStringLiteral("no station database at %1: the file does not exist").arg(path);
    if (mode == Mode::CreateIfMissing && !QDir().mkpath(dataDir))
        return QStringLiteral("cannot create the station directory %1").arg(dataDir);
    StationDatabase::Options options;
    // The commands write in large batches and flush themselves; give a busy station more time.
    options.busyTimeoutMs = 10000;
    // A running station holds the lock: a damaged file is its to move aside, not ours.
    options.moveDamagedAside = StationLock(dataDir).tryLock().isEmpty();
    const StationDatabase::OpenResult result = m_database.open(dataDir, options);
    *notice = result.notice;
    if (!result.ok)
        return QStringLiteral("cannot open the station database %1: %2").arg(path, result.error);
    return {};
}

void addStationDirOption(QCommandLineParser &parser)
{
    parser.addOption({QStringLiteral("station-dir"),
                      QStringLiteral("The station directory (default: the station's own)."),
                      QStringLiteral("DIR")});
}

int commandUsageError(std::FILE *err, const char *command, const QString &text)
{
    std::fprintf(err, "halvora1 %s: %s\nTry 'halvora1 %s --help'.\n", command, qPrintable(text),
                 command);
    return 2;
}

std::optional<int> parseCommandLine(QCommandLineParser &parser, const char *command,
                                    const QStringList &arguments, const char *helpText,
                                    bool takesFiles, std::FILE *out, std::FILE *err)
{
    const QCommandLineOption help = parser.addHelpOption();
    QStringList withProgram = arguments;
    withProgram.prepend(QStringLiteral("halvora1 ") + QLatin1String(command));
    if (!parser.parse(withProgram))
        return commandUsageError(err, command, parser.errorText());
    if (parser.isSet(help)) {
        std::fputs(helpText, out);
        return 0;
    }
    if (!takesFiles && !parser.positionalArguments().isEmpty())
        return commandUsageError(err, command, QStringLiteral("unexpected argument '%1'")
                                                   .arg(parser.positionalArguments().constFirst()));
    if (takesFiles && parser.positionalArguments().isEmpty())
        return commandUsageError(err, command, QStringLiteral("no capture file given"));
    return std::nullopt;
}

QString isoTimeText(qint64 msSinceEpoch)
{
    return QDateTime::fromMSecsSinceEpoch(msSinceEpoch, Qt::UTC).toString(Qt::ISODateWithMs);
}
