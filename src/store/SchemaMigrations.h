#pragma once

#include <QSqlDatabase>
#include <QString>

// The station database's schema and the steps from each older version to the current one.
// StationDatabase runs them when it opens a file; tests build older versions by hand.
namespace SchemaMigrations {

inline constexpr int CurrentVersion = 3;

// Brings a database of `fromVersion` (0 = empty file) to CurrentVersion, each step in its own
// transaction together with the new version number. "" on success, else what failed.
QString migrate(QSqlDatabase &db, int fromVersion);

} // namespace SchemaMigrations
