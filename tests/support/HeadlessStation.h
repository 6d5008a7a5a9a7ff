#pragma once

#include "decode/CaptureFileReader.h"
#include "support/Programs.h"

#include <QDir>

// The records of a capture file; empty when it cannot be read or is damaged (for example while
// its last record is still being written).
inline QList<CaptureFileReader::Record> readCaptureRecords(const QString &path)
{
    const QByteArray content = readFile(path);
    CaptureFileReader reader(content);
    QList<CaptureFileReader::Record> records;
    for (CaptureFileReader::Record record;;) {
        const CaptureFileReader::Status status = reader.next(record);
        if (status != CaptureFileReader::Status::Record)
            return status == CaptureFileReader::Status::End ? records : QList<CaptureFileReader::Record>{};
        records.append(record);
    }
}

// A `halvora1 --headless` process with a station directory of its own, for end-to-end tests:
// writes online_conf.ini, starts the program, collects its output and reads back its capture
// file. A process still running when the station goes is killed.
class HeadlessStation
{
public:
    explicit HeadlessStation(const QString &stationDir) : m_dir(stationDir) {}

    // PORT=<agwHostPort>; SERVER=<serverUrl>, by default a closed loopback port (for --no-upload).
    bool writeConfiguration(const QString &agwHostPort,
                            const QString &serverUrl = QStringLiteral("http://127.0.0.1:9/telemetry"))
    {
        return writeFile(m_dir.filePath(QStringLiteral("online_conf.ini")),
                         QStringLiteral("PORT=%1\r\nSERVER=%2\r\nMYCALL=TEST\r\n"
                                        "QTH_LAT=52.52\r\nQTH_LONG=13.40\r\n")
                             .arg(agwHostPort, serverUrl)
                             .toLatin1());
    }
    // With "allow data transfer" ticked: frames are queued and sent to SERVER.
    bool startUploading() { return launch({}); }
    bool start() { return launch({QStringLiteral("--no-upload")}); }
    // SIGTERM (the Exit path), then wait; true when the program exited by itself with code 0.
    bool stop()
    {
        m_process.terminate();
        const bool exited = m_process.waitForFinished(20000);
        output();
        return exited && m_process.exitStatus() == QProcess::NormalExit && m_process.exitCode() == 0;
    }

    QProcess &process() { return m_process; }
    QByteArray output() { return m_output += m_process.readAllStandardOutput(); }
    QByteArray errorOutput() { return m_errorOutput += m_process.readAllStandardError(); }
    QStringList outputLines() { return QString::fromUtf8(output()).split(u'\n', Qt::SkipEmptyParts); }

    // The records of the one capture file in the station directory.
    QList<CaptureFileReader::Record> captureRecords() const
    {
        const QStringList files = m_dir.entryList({QStringLiteral("*.kss")}, QDir::Files);
        return files.size() == 1 ? readCaptureRecords(m_dir.filePath(files.front()))
                                 : QList<CaptureFileReader::Record>{};
    }
    // The same in brief: each frame record in hex, "time" for a time record, "?" for others.
    QStringList captureSummary() const
    {
        QStringList summary;
        for (const CaptureFileReader::Record &record : captureRecords()) {
            if (record.kind == CaptureFileReader::Kind::Frame)
                summary << QString::fromLatin1(record.data.toHex(' '));
            else
                summary << (record.kind == CaptureFileReader::Kind::TimeText ? "time" : "?");
        }
        return summary;
    }

private:
    bool launch(const QStringList &extraArguments)
    {
        m_process.setWorkingDirectory(m_dir.path());
        m_process.start(builtProgram(QStringLiteral("halvora1")),
                        QStringList{QStringLiteral("--headless"), QStringLiteral("--station-dir"), m_dir.path()} +
                            extraArguments);
        return m_process.waitForStarted(10000);
    }

    QDir m_dir;
    ScopedProcess m_process;
    QByteArray m_output;
    QByteArray m_errorOutput;
};
