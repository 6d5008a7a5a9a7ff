#pragma once

#include <QStringView>

// Checks of single setting values as the user types them, for the Settings dialog. Pure
// functions over the text as written; the file keeps that text unchanged.

// Letters and digits, one part or two joined by "/" (a portable suffix such as "DL0TST/P"),
// at most 12 characters.
bool isValidCallsign(QStringView text);

// An absolute http or https URL with a host.
bool isValidServerUrl(QStringView text);

// Decimal degrees ("48.137", "-11.5"), -90..90 and -180..180.
bool isValidLatitude(QStringView text);
bool isValidLongitude(QStringView text);

// A PORT value that parsePortValue accepts, with a host.
bool isValidPortValue(QStringView text);
