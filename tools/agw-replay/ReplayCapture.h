#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

// The frame records of a capture file, in file order, as agw-replay plays them (time records
// are left out). Called by agw-replay's main() and by its tests.
namespace ReplayCapture {

struct Loaded
{
    QList<QByteArray> frames; // KISS command byte and AX.25 frame, unescaped
    QString error;            // empty on success; names the file, the frame and the byte offset
};

Loaded load(const QString &path);

} // namespace ReplayCapture
