#pragma once

#include <QByteArray>
#include <QByteArrayView>

// KISS framing of the capture file: the one escaper in the program. The capture file writer and
// the sample-capture generator use it; capture-file decoding undoes it.
namespace Kiss {

constexpr char FEND = char(0xC0);
constexpr char FESC = char(0xDB);
constexpr char TFEND = char(0xDC);
constexpr char TFESC = char(0xDD);
constexpr char TimeRecordCommand = 0x09;

// Appends FEND, data with FESC -> FESC TFESC and FEND -> FESC TFEND, FEND.
void appendFrameRecord(QByteArray &out, QByteArrayView data);
// Appends FEND, 0x09, text unescaped (a time text holds no special byte), FEND.
void appendTimeRecord(QByteArray &out, QByteArrayView text);

} // namespace Kiss
