#pragma once

#include <QString>

// Where the station's files live: the configuration, the data (capture files, database,
// debug files) and the screenshots. main() resolves it once from the command line and hands it
// to the Station and to the database commands; `--help` prints its description.
struct StationDirectory
{
    enum class Kind {
        Explicit, // --station-dir DIR: everything in DIR
        Portable, // online_conf.ini beside the executable: everything there
        PerUser   // the user's configuration, data and pictures locations
    };

    static constexpr char ConfigurationFileName[] = "online_conf.ini";

    Kind kind = Kind::Explicit;
    QString configDir;
    QString dataDir;
    QString pictureDir;

    QString configurationFile() const;
    // One line for `--help`: which rule applies and where the files are.
    QString description() const;

    // explicitDir: the value of --station-dir ("" when not given); programDir: the
    // executable's directory. The per-user paths come from QStandardPaths.
    static StationDirectory resolve(const QString &explicitDir, const QString &programDir);
};
