#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>

#include <optional>

// The one-shot diagnostic report: title and version, the activity log, the raw-frame lines and
// a verbatim copy of the configuration file. Built as bytes here and written whole by write();
// the Station's "write debug file" menu event calls both.
namespace DebugReport {

// MYCALL "_" ddmmyyyy "_" hhmm (UTC) ".txt".
QString fileName(const QString &mycall, const QDateTime &utc);

// Every item is followed by CR LF, also one that already ends in a line break. Texts are
// written as 8-bit Latin-1, the encoding the configuration reader assumes.
QByteArray build(const QString &activityLogText, const QString &rawFrameText,
                 const QByteArray &configurationBytes);

// Writes to a temporary file beside path and renames it into place, so a failure never leaves
// a half-written report. Returns the reason on failure.
std::optional<QString> write(const QString &path, const QByteArray &bytes);

} // namespace DebugReport
