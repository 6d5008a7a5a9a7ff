#pragma once

#include "decode/CaptureFileReader.h"
#include "decode/FrameBytes.h"
#include "decode/TelemetryHistory.h"

#include <QByteArrayView>
#include <QString>

#include <cstdint>
#include <string>

// Turns the records of one capture file into CSV rows, one per decoded value of every
// satellite frame of the four decoded families, in file order. Each satellite frame goes
// through the Station's own decoding (FrameBytes, then decodeSatelliteFrame into a history).
// Used by `halvora1 decode`, which owns the files and the output stream.
class CaptureCsvWriter
{
public:
    static constexpr std::string_view Header =
        "rx_time,packet_type,sat_time,channel,caption,unit,value\n";

    // content must outlive the writer; history collects the decoded records (it may be shared
    // by the files of one run).
    CaptureCsvWriter(QByteArrayView content, TelemetryHistory &history);

    // Reads the next record and appends to out the rows it completes. Returns false at the end
    // of the content or where the content is damaged; the rows of every frame before that point
    // have been appended by then.
    bool step(std::string &out);

    bool damaged() const { return m_damaged; }
    qsizetype errorOffset() const { return m_reader.errorOffset(); }
    QString errorText() const { return m_reader.errorText(); }
    std::int64_t satelliteFrames() const { return m_satelliteFrames; }

private:
    void writeFrame(std::string &out, QByteArrayView rxTime);

    CaptureFileReader m_reader;
    CaptureFileReader::Record m_record;
    TelemetryHistory &m_history;
    FrameBytes m_frame;
    // A satellite frame of this program's files waits for the time record that follows it.
    bool m_frameWaitsForTime = false;
    // Other tools' files put an 8-byte millisecond record before the frame it belongs to.
    QByteArray m_timeForNextFrame;
    bool m_hasTimeForNextFrame = false;
    std::string m_prefix; // rx_time,packet_type,sat_time of the frame being written
    bool m_damaged = false;
    std::int64_t m_satelliteFrames = 0;
};
