#pragma once

#include "decode/CaptureFileReader.h"
#include "decode/FrameBytes.h"
#include "decode/TelemetryHistory.h"

#include <QByteArrayView>
#include <QString>

#include <string>

// Turns the records of one capture file into CSV rows, one per decoded value of every
// satellite frame of the four decoded families, in file order, reading the file as a stream.
// Each satellite frame goes through the Station's own decoding (FrameBytes, then
// decodeSatelliteFrame into a history). Used by `halvora1 decode`, which owns the files and
// the output stream.
class CaptureCsvWriter
{
public:
    static constexpr std::string_view Header =
        "rx_time,packet_type,sat_time,channel,caption,unit,value\n";

    // input (open, read from its current position) must outlive the writer; history collects
    // the decoded records (it may be shared by the files of one run).
    CaptureCsvWriter(QIODevice &input, TelemetryHistory &history);

    // Reads the next record or damaged span and appends to out the rows it completes. Returns
    // Record or Damaged (damage() tells what was skipped) while there is more to read, End or
    // ReadError (readError()) when the input is done; the rows of every frame read by then
    // have been appended.
    CaptureFileReader::Status step(std::string &out);

    const CaptureFileReader::Damage &damage() const { return m_reader.damage(); }
    QString readError() const { return m_reader.readError(); }

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
};
