#pragma once

#include "decode/CaptureFileReader.h"
#include "support/Programs.h"

#include <QByteArray>
#include <QList>
#include <QProcess>
#include <QString>
#include <QStringList>

// A `halvora1 --headless` process with a station directory of its own, for end-to-end tests:
// writes online_conf.ini, starts the program, collects its stdout and reads back its capture
// file. A process still running when the station goes is killed.
class HeadlessStation
{
public:
    explicit HeadlessStation(QString stationDir);

    // PORT=<agwHostPort>; SERVER points at a closed loopback port (tests run with --no-upload).
    bool writeConfiguration(const QString &agwHostPort, const QString &mycall = QStringLiteral("TEST"));
    bool start(const QStringList &extraArguments = {QStringLiteral("--no-upload")});
    // SIGTERM (the Exit path), then wait; true when the program exited by itself with code 0.
    bool stop();

    QProcess &process() { return m_process; }
    QByteArray output();                 // stdout so far
    QByteArray errorOutput();            // stderr so far
    QStringList outputLines();           // stdout so far, split at line ends

    QString capturePath() const;         // the one *.kss in the station directory, or empty
    QList<CaptureFileReader::Record> captureRecords() const; // empty when unreadable or damaged
    int captureFrameCount() const;

private:
    QString m_stationDir;
    ScopedProcess m_process;
    QByteArray m_output;
    QByteArray m_errorOutput;
};

// The records of a capture file; empty when it cannot be read or is damaged (for example while
// its last record is still being written).
QList<CaptureFileReader::Record> readCaptureRecords(const QString &path);
