#include "support/HeadlessStation.h"

#include <QDir>
#include <QFile>


HeadlessStation::HeadlessStation(QString stationDir) : m_stationDir(std::move(stationDir)) {}


bool HeadlessStation::writeConfiguration(const QString &agwHostPort, const QString &mycall)
{
    return writeFile(QDir(m_stationDir).filePath(QStringLiteral("online_conf.ini")),
                     QStringLiteral("PORT=%1\r\nSERVER=http://127.0.0.1:9/telemetry\r\n"
                                    "MYCALL=%2\r\nQTH_LAT=52.52\r\nQTH_LONG=13.40\r\n")
                         .arg(agwHostPort, mycall)
                         .toLatin1());
}

bool HeadlessStation::start(const QStringList &extraArguments)
{
    m_process.setWorkingDirectory(m_stationDir);
    m_process.start(builtProgram(QStringLiteral("halvora1")),
                    QStringList{QStringLiteral("--headless"), QStringLiteral("--station-dir"),
                                m_stationDir} +
                        extraArguments);
    return m_process.waitForStarted(10000);
}

bool HeadlessStation::stop()
{
    if (m_process.state() == QProcess::NotRunning)
        return false;
    m_process.terminate();
    if (!m_process.waitForFinished(20000))
        return false;
    output();
    return m_process.exitStatus() == QProcess::NormalExit && m_process.exitCode() == 0;
}

QByteArray HeadlessStation::output()
{
    m_output += m_process.readAllStandardOutput();
    return m_output;
}

QByteArray HeadlessStation::errorOutput()
{
    m_errorOutput += m_process.readAllStandardError();
    return m_errorOutput;
}

QStringList HeadlessStation::outputLines()
{
    return QString::fromUtf8(output()).split(u'\n', Qt::SkipEmptyParts);
}

QString HeadlessStation::capturePath() const
{
    const QStringList files =
        QDir(m_stationDir).entryList({QStringLiteral("*.kss")}, QDir::Files, QDir::Name);
    return files.size() == 1 ? QDir(m_stationDir).filePath(files.front()) : QString();
}

QList<CaptureFileReader::Record> HeadlessStation::captureRecords() const
{
    const QString path = capturePath();
    return path.isEmpty() ? QList<CaptureFileReader::Record>{} : readCaptureRecords(path);
}

QList<CaptureFileReader::Record> readCaptureRecords(const QString &path)
{
    const QByteArray content = readFile(path);
    CaptureFileReader reader(content);
    QList<CaptureFileReader::Record> records;
    CaptureFileReader::Record record;
    for (;;) {
        const CaptureFileReader::Status status = reader.next(record);
        if (status == CaptureFileReader::Status::End)
            return records;
        if (status == CaptureFileReader::Status::Damaged)
            return {};
        records.append(record);
    }
}

int HeadlessStation::captureFrameCount() const
{
    int count = 0;
    for (const CaptureFileReader::Record &record : captureRecords())
        count += record.kind == CaptureFileReader::Kind::Frame ? 1 : 0;
    return count;
}
