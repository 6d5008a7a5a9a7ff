#include "app/StationDirectory.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace {

const QString AppFolder = QStringLiteral("halvora1");

QString userLocation(QStandardPaths::StandardLocation location)
{
    return QDir(QStandardPaths::writableLocation(location)).filePath(AppFolder);
}

} // namespace

QString StationDirectory::configurationFile() const
{
    return QDir(configDir).filePath(QLatin1String(ConfigurationFileName));
}

QString StationDirectory::description() const
{
    switch (kind) {
    case Kind::Explicit:
        return QStringLiteral("Station directory (--station-dir): %1").arg(dataDir);
    case Kind::Portable:
        return QStringLiteral("Station directory (portable, %1 beside the program): %2")
            .arg(QLatin1String(ConfigurationFileName), dataDir);
    case Kind::PerUser:
        break;
    }
    return QStringLiteral("Per-user station: configuration %1, data %2, screenshots %3")
        .arg(configurationFile(), dataDir, pictureDir);
}

StationDirectory StationDirectory::resolve(const QString &explicitDir, const QString &programDir)
{
    StationDirectory directory;
    QString single;
    if (!explicitDir.isEmpty()) {
        directory.kind = Kind::Explicit;
        single = QDir(explicitDir).absolutePath();
    } else if (!programDir.isEmpty() &&
               QFileInfo(QDir(programDir).filePath(QLatin1String(ConfigurationFileName))).isFile()) {
        directory.kind = Kind::Portable;
        single = QDir(programDir).absolutePath();
    }
    if (!single.isEmpty()) {
        directory.configDir = directory.dataDir = directory.pictureDir = single;
        return directory;
    }
    directory.kind = Kind::PerUser;
    directory.configDir = userLocation(QStandardPaths::GenericConfigLocation);
    directory.dataDir = userLocation(QStandardPaths::GenericDataLocation);
    directory.pictureDir = userLocation(QStandardPaths::PicturesLocation);
    return directory;
}
