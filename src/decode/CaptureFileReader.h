#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

class QIODevice;

// Walks the records of a KISS capture file, ours (time text after a satellite frame) or other
// tools' (8-byte millisecond record before the frame, shared FENDs), reading it in chunks so
// memory stays bounded; a damaged spot is reported as a skipped span and reading goes on at
// the next FEND. Used by offline decoding, agw-replay and tests.
class CaptureFileReader
{
public:
    static constexpr qsizetype ChunkSize = 64 * 1024;
    // Longest record data (unescaped, KISS command byte included); a longer record is damage.
    static constexpr qsizetype MaxRecordLength = 64 * 1024;

    enum class Kind {
        Frame,           // KISS command byte and AX.25 frame
        TimeText,        // 0x09 + "yyyy-MM-dd HH:nn:ss.zzz UTC" after its frame
        TimeMilliseconds // 0x09 + 8-byte big-endian ms since 1970 UTC, before its frame
    };
    struct Record
    {
        Kind kind = Kind::Frame;
        QByteArray data;    // unescaped record data (for time records: without the 0x09)
        qint64 offset = 0;  // input offset of the opening FEND
    };
    // Bytes that reached no record. Delimiters are not counted: the span ends before the FEND
    // at which reading resumes (or at the end of the input).
    struct Damage
    {
        qint64 offset = 0;      // first skipped byte
        qint64 length = 0;      // bytes skipped
        qint64 faultOffset = 0; // the byte that broke the record (a bad escape, the first byte
                                // past the length limit, the end of the input)
        QString reason;
    };
    enum class Status {
        Record,   // record holds the next record
        Damaged,  // damage() describes a skipped span; call next() again to go on
        End,      // the whole input has been read
        ReadError // the input could not be read (readError()); nothing follows
    };

    // Reads device from its current position until a read gives no byte (the end of a file,
    // pipe or buffer). The device must be open and outlive the reader.
    explicit CaptureFileReader(QIODevice &device);
    // Reads content held in memory, which must outlive the reader.
    explicit CaptureFileReader(QByteArrayView content) : m_window(content) {}

    Status next(Record &record);
    const Damage &damage() const { return m_damage; }
    QString readError() const { return m_readError; }

    // The text form of a millisecond time record: "yyyy-MM-dd HH:nn:ss.zzz UTC".
    static QString millisecondsToText(QByteArrayView eightBytes);

private:
    enum class State { BeforeFirstRecord, AfterRecord, InRecord, AfterEscape, Skipping, Finished };

    bool refill();
    qint64 inputOffset(qsizetype windowPosition) const { return m_windowOffset + windowPosition; }
    void openRecord(Record &record, qint64 fendOffset);
    void startSkipping(qint64 from, qint64 fault, const QString &reason);
    Status finishRecord(Record &record);
    Status finishInput(const Record &record);

    QIODevice *m_device = nullptr;
    QByteArray m_chunk;        // the device's bytes being read
    QByteArrayView m_window;   // m_chunk, or the whole content of the in-memory form
    qsizetype m_pos = 0;       // next byte of m_window
    qint64 m_windowOffset = 0; // input offset of m_window[0]
    State m_state = State::BeforeFirstRecord;
    qint64 m_recordOffset = 0; // opening FEND of the record being read
    Damage m_damage;
    QString m_readError;
};
