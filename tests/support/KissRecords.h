#pragma once

#include <QByteArray>
#include <QList>

// The records of a KISS byte stream, unescaped: written here from the framing rules (FEND
// 0xC0 between records, FESC 0xDB + 0xDC/0xDD for 0xC0/0xDB) so that tests can check the
// product's capture file without trusting its own reader.
inline QList<QByteArray> kissRecords(const QByteArray &stream)
{
    QList<QByteArray> records;
    QByteArray current;
    bool escaped = false;
    for (const char c : stream) {
        const auto byte = quint8(c);
        if (byte == 0xC0) {
            if (!current.isEmpty())
                records << current;
            current.clear();
        } else if (escaped) {
            current += byte == 0xDC ? char(0xC0) : byte == 0xDD ? char(0xDB) : c;
        } else if (byte != 0xDB) {
            current += c;
        }
        escaped = !escaped && byte == 0xDB;
    }
    return records;
}
