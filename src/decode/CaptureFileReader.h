#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

// Walks the records of a KISS capture file: this program's own files (frame records, each
// satellite frame followed by a 27-character time record) and those of other ground-station
// tools (an 8-byte millisecond time record before the frame, FENDs possibly shared between
// records). Used by offline decoding and by the packet-engine simulator.
class CaptureFileReader
{
public:
    enum class Kind {
        Frame,           // KISS command byte and AX.25 frame
        TimeText,        // 0x09 + "yyyy-MM-dd HH:nn:ss.zzz UTC" after its frame
        TimeMilliseconds // 0x09 + 8-byte big-endian ms since 1970 UTC, before its frame
    };
    struct Record
    {
        Kind kind = Kind::Frame;
        QByteArray data;       // unescaped record data (for time records: without the 0x09)
        qsizetype offset = 0;  // file offset of the opening FEND
    };
    enum class Status { Record, End, Damaged };

    explicit CaptureFileReader(QByteArrayView content) : m_content(content) {}

    Status next(Record &record);
    // For Damaged: what is wrong, and at which byte offset.
    QString errorText() const { return m_error; }
    qsizetype errorOffset() const { return m_errorOffset; }

    // The text form of a millisecond time record: "yyyy-MM-dd HH:nn:ss.zzz UTC".
    static QString millisecondsToText(QByteArrayView eightBytes);

private:
    Status damaged(qsizetype offset, const QString &what);

    QByteArrayView m_content;
    qsizetype m_pos = 0;
    QString m_error;
    qsizetype m_errorOffset = -1;
};
