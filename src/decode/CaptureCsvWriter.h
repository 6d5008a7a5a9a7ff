#pragma once

#include "decode/FrameDecoder.h"
#include "decode/TimedFrameReader.h"
#include "decode/TelemetryHistory.h"

#include <QByteArrayView>
#include <QString>

#include <span>
#include <string>
#include <string_view>

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

    // The pieces of the format, for other writers of decoded values (the archive's export):
    // one CSV field, quoted when it must be;
    static void appendField(std::string &out, std::string_view field);
    // a value as the shortest text that reads back to the same double;
    static void appendValue(std::string &out, double value);
    // one row per channel first..last in `stored`: prefix (rx_time,packet_type,sat_time), then
    // channel,caption,unit,value; `values` by channel number.
    static void appendRows(std::string &out, std::string_view prefix, const ChannelSet &stored,
                           std::span<const double> values, int first, int last);

private:
    void writeFrame(std::string &out);

    TimedFrameReader m_reader;
    TelemetryHistory &m_history;
    std::string m_prefix; // rx_time,packet_type,sat_time of the frame being written
};
