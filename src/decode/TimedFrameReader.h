#pragma once

#include "decode/CaptureFileReader.h"
#include "decode/FrameBytes.h"

#include <QByteArray>
#include <QByteArrayView>

// The satellite frames of a capture file, each paired with its time record: this program's
// (time text after the frame) or other tools' (8-byte millisecond record before it). Reads the
// file as a stream through CaptureFileReader. Used by `halvora1 decode` (CaptureCsvWriter) and
// the capture import, so both pair frames and times the same way.
class TimedFrameReader
{
public:
    enum class Status {
        Frame,    // frame() and timeText() hold the next satellite frame
        Damaged,  // damage() describes a skipped span; call next() again to go on
        End,      // the whole input has been read
        ReadError // the input could not be read (readError()); nothing follows
    };

    // input (open, read from its current position) must outlive the reader.
    explicit TimedFrameReader(QIODevice &input) : m_reader(input) {}

    Status next();

    // The frame as the decoders see it (at most its first 512 positions).
    const FrameBytes &frame() const { return m_frame; }
    // The whole record data (KISS command byte first), as the archive keeps it.
    QByteArrayView frameData() const { return m_frameData; }
    // "yyyy-MM-dd HH:nn:ss.zzz UTC"; empty when the frame has no time record.
    QByteArrayView timeText() const { return m_time; }

    const CaptureFileReader::Damage &damage() const { return m_reader.damage(); }
    QString readError() const { return m_reader.readError(); }

private:
    Status giveWaitingFrame(QByteArrayView time);

    CaptureFileReader m_reader;
    CaptureFileReader::Record m_record;
    CaptureFileReader::Status m_recordStatus = CaptureFileReader::Status::End;
    // The last record read still has to be handled: a waiting frame went out before it.
    bool m_recordPending = false;
    FrameBytes m_frame;
    QByteArray m_frameData;
    QByteArray m_time;
    // A satellite frame of this program's files waits for the time record that follows it.
    bool m_frameWaitsForTime = false;
    // Other tools' files put an 8-byte millisecond record before the frame it belongs to.
    QByteArray m_timeForNextFrame;
    bool m_hasTimeForNextFrame = false;
};
