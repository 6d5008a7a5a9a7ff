#pragma once

#include <QFile>
#include <QProcess>
#include <QStringList>
#include <QTcpServer>

// Programs of this build and whole files, for tests that run the programs.

// A program of this build (halvora1, agw-replay, make-sample, telemetry-sink).
inline QString builtProgram(const QString &name)
{
    return qEnvironmentVariable("HALVORA_BIN_DIR") + u'/' + name;
}

struct ProgramRun
{
    int exitCode = -1; // -1: crashed or never finished
    QByteArray out;
    QByteArray err;
};

// Runs a program of this build to its end, in this process's environment unless one is given.
inline ProgramRun runProgram(const QString &name, const QStringList &arguments,
                             const QProcessEnvironment &environment = QProcessEnvironment::systemEnvironment())
{
    QProcess process;
    process.setProcessEnvironment(environment);
    process.start(builtProgram(name), arguments);
    if (!process.waitForFinished(60000) || process.exitStatus() != QProcess::NormalExit)
        return {};
    return {process.exitCode(), process.readAllStandardOutput(), process.readAllStandardError()};
}

// Writes a whole file; false when it cannot be written.
inline bool writeFile(const QString &path, const QByteArray &content)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(content) == content.size();
}

inline QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// A process that is killed when it goes out of scope still running.
class ScopedProcess : public QProcess
{
public:
    ~ScopedProcess() override
    {
        if (state() != NotRunning) {
            kill();
            waitForFinished(5000);
        }
    }
};

// A TCP port on 127.0.0.1 that was free a moment ago, for programs that cannot pick their own.
inline quint16 freeLoopbackPort()
{
    QTcpServer server;
    return server.listen(QHostAddress::LocalHost, 0) ? server.serverPort() : 0;
}
