#pragma once

#include <QDate>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

// The pieces of the screenshot that are not pixels: the bitmap's name, the converter's command
// line and the log line. The Station's screenshot event uses them; the window saves the bitmap.
namespace Screenshot {

// Saves the client area as a BMP file at the given path; returns the reason on failure.
using SaveBitmap = std::function<std::optional<QString>(const QString &path)>;

constexpr const char *ConverterProgram = "nconvert";

// imageDir is a plain prefix: no separator is added after it.
QString fileName(const QString &imageDir, const QDate &localDate);

// Crops to the group boxes and the chart, 256-colour PNG, grey background transparent, and
// deletes the bitmap afterwards.
QStringList converterArguments(const QString &bitmapPath);

// The PNG name (every "bmp" replaced by "png") and " converted and saved", CR LF.
QString logLine(const QString &bitmapPath);

} // namespace Screenshot
