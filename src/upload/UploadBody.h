#pragma once

#include <QString>
#include <QStringView>

// The form body that reports one satellite frame to the collection server. A plain builder:
// the Station calls it for every satellite frame with its configuration, one clock reading and
// the frame's hex text, and keeps the result until the next frame.

struct UploadStation
{
    QStringView mycall;  // MYCALL
    QStringView qthLat;  // QTH_LAT
    QStringView qthLong; // QTH_LONG
};

// timestamp: a 23-character "yyyy-MM-dd HH:mm:ss.zzz" reading; frameHex: "B0 A4 ... 03 ".
QString buildUploadBody(const UploadStation &station, QStringView timestamp, QStringView frameHex);

// "&", "=", "%", "+" and control characters as %XX; everything else unchanged, so a callsign
// can neither add form fields nor break the one it sits in.
QString encodeFormValue(QStringView value);
