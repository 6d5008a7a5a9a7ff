#pragma once

#include "app/StartupError.h"

#include <QString>

#include <optional>

// The station's settings from online_conf.ini, read once at start-up by the Station.
// Values are kept exactly as written (trimmed of blanks); nothing here validates them.
struct Configuration
{
    QString port;       // PORT: host ":" port of the packet engine
    QString server;     // SERVER: upload URL
    QString mycall;     // MYCALL
    QString qthLat;     // QTH_LAT
    QString qthLong;    // QTH_LONG
    QString imageDir;   // IMAGE_PATH, or the program directory followed by "/"
    // SCREENSHOT: set only by a SCREENSHOT line; absent leaves the button as designed (shown).
    std::optional<bool> screenshotButtonVisible;
};

struct ConfigurationReadResult
{
    Configuration configuration; // values stored before a failing line stay set
    std::optional<StartupError> error;
};

// Reads the file at path into a copy of initial. Accepts CR LF and LF line ends; the bytes
// are taken as Latin-1 (the keys are ASCII and values are carried through unchanged).
ConfigurationReadResult readConfiguration(const QString &path, const Configuration &initial);
