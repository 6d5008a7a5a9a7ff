#include "support/StationDir.h"

#include "link/AgwProtocol.h"

#include <QFile>

StationDir::StationDir()
{
    m_clock.set(QDate(2026, 12, 5), QTime(13, 5, 9, 123));
}

void StationDir::writeConfig(const QByteArray &content) const
{
    QFile file(filePath(QStringLiteral("online_conf.ini")));
    if (file.open(QIODevice::WriteOnly))
        file.write(content);
}

StationOptions StationDir::options() const
{
    StationOptions options;
    options.programDir = path();
    options.workingDir = path();
    options.timeSource = &m_clock;
    return options;
}

QByteArray rawFrameRecord(const QByteArray &data)
{
    return AgwProtocol::header(AgwProtocol::KindRawFrame, std::uint32_t(data.size())) + data;
}

QByteArray satelliteFrameRecord(const QByteArray &payload)
{
    static const QByteArray addresses =
        QByteArray::fromHex("00B0A472968E4062B0A47296404077" "03F0");
    return rawFrameRecord(addresses + payload);
}
