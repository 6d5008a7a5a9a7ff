#pragma once

#include <QByteArray>
#include <QStringList>

#include <cstdio>

// Runs a command's run*Command function in this process with temporary files for its output
// and error streams, as main() would with stdout and stderr.
struct CommandRun
{
    int status = -1;
    QByteArray out;
    QByteArray err;
};

using CommandFunction = int (*)(const QStringList &, std::FILE *, std::FILE *);

inline QByteArray readBack(std::FILE *file)
{
    QByteArray content;
    std::fflush(file);
    std::rewind(file);
    char chunk[65536];
    for (std::size_t n; (n = std::fread(chunk, 1, sizeof chunk, file)) > 0;)
        content.append(chunk, qsizetype(n));
    std::fclose(file);
    return content;
}

inline CommandRun runCommand(CommandFunction command, const QStringList &arguments)
{
    std::FILE *out = std::tmpfile();
    std::FILE *err = std::tmpfile();
    if (!out || !err)
        return {};
    CommandRun run;
    run.status = command(arguments, out, err);
    run.out = readBack(out);
    run.err = readBack(err);
    return run;
}
