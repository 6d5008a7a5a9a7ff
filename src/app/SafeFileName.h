#pragma once

#include <QString>
#include <QStringView>

// Makes MYCALL safe as part of a file name (capture and debug files): "/", "\", "..", control
// characters and NUL become "_", so the file always lands in the station directory. Called by
// the Station; the upload and the debug report keep the callsign as written.
QString safeFileNamePart(QStringView text);
