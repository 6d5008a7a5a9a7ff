#pragma once

#include <QString>

#include <optional>

// The commented online_conf.ini a first start writes for the user to edit: the example that
// the package installs, with SERVER and MYCALL left empty so that the station refuses to run
// until they are filled in. Called at a first start, when the per-user file is missing.

QString configurationTemplateText();

// Creates path (and its directory) with the template; an existing file is never replaced.
// Returns what failed and why, or nothing on success.
std::optional<QString> writeConfigurationTemplate(const QString &path);
