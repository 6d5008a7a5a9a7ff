#pragma once

#include <QList>
#include <QString>

#include <optional>
#include <utility>

// Changes values in online_conf.ini for the Settings dialog: every other byte of the file stays
// as it was (comments, unknown lines, key order, CR LF or LF line ends, encoding).

using ConfigurationValues = QList<std::pair<QString, QString>>; // key, new value

// The text with each listed key's value replaced on every line that sets it; keys that no line
// sets are appended, with the line end the text already uses (CR LF for a text without any).
QString updateConfigurationText(const QString &text, const ConfigurationValues &values);

// Applies the values to the file at path (created when missing) and replaces it atomically.
// Returns what failed and why, or nothing on success. A value with a line break is refused,
// since it would add a line to the file.
std::optional<QString> writeConfigurationValues(const QString &path,
                                                const ConfigurationValues &values);
