#pragma once

#include "app/StartupError.h"

#include <QString>

#include <optional>

// The station's settings from online_conf.ini, read once at start-up by the Station.
// Values are kept exactly as written (trimmed of blanks and tabs); readConfiguration validates
// nothing, the required values are checked by missingRequiredValue.
struct Configuration
{
    QString port;       // PORT: host ":" port of the packet engine (see PortAddress)
    QString server;     // SERVER: upload URL
    QString mycall;     // MYCALL
    QString qthLat;     // QTH_LAT
    QString qthLong;    // QTH_LONG
    QString imageDir;   // IMAGE_PATH, or the program directory followed by "/"
    // SCREENSHOT: set only by a SCREENSHOT line; absent leaves the button as designed (shown).
    std::optional<bool> screenshotButtonVisible;
    // Optional keys: UPLOAD_QUEUE_LIMIT (frames kept waiting), HTTP (ADDR:PORT of the remote
    // view) and HTTP_TOKEN (bearer token it requires).
    QString uploadQueueLimit;
    QString httpAddress;
    QString httpToken;
};

struct ConfigurationReadResult
{
    Configuration configuration; // values stored before a failing line stay set
    std::optional<StartupError> error;
};

// Reads the file at path into a copy of initial. Accepts CR LF and LF line ends, UTF-8 (or
// Latin-1 when the bytes are not valid UTF-8) and a leading byte-order mark.
ConfigurationReadResult readConfiguration(const QString &path, const Configuration &initial);

// The first of SERVER and MYCALL that is empty, as the start-up error that names it: an empty
// SERVER would fail every upload and an empty MYCALL would name files "_date.kss".
std::optional<StartupError> missingRequiredValue(const Configuration &config);
