#include "decode/CaptureCsvWriter.h"

#include "decode/FrameDecoder.h"
#include "telemetry/ChannelTable.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstring>

namespace {

bool needsQuotes(std::string_view field)
{
    return field.find_first_of(",\"\r\n") != std::string_view::npos ||
           (!field.empty() && (field.front() == ' ' || field.back() == ' '));
}

// RFC 4180 quoting, also for a field with a leading or trailing blank (caption " ") so that
// readers which trim unquoted fields keep it.
void appendQuoted(std::string &out, std::string_view field)
{
    if (!needsQuotes(field)) {
        out.append(field);
        return;
    }
    out.push_back('"');
    for (const char c : field) {
        if (c == '"')
            out.push_back('"');
        out.push_back(c);
    }
    out.push_back('"');
}

// ",channel,caption,unit," for every channel, built once.
const std::array<std::string, TelemetryHistory::ChannelCount + 1> &channelColumns()
{
    static const auto columns = [] {
        std::array<std::string, TelemetryHistory::ChannelCount + 1> result;
        for (int channel = 1; channel <= TelemetryHistory::ChannelCount; ++channel) {
            const ChannelTable::Row *row = ChannelTable::find(channel);
            std::string &text = result[std::size_t(channel)];
            text = ',' + std::to_string(channel) + ',';
            appendQuoted(text, row ? row->caption : "");
            text.push_back(',');
            appendQuoted(text, row ? row->unit : "");
            text.push_back(',');
        }
        return result;
    }();
    return columns;
}

const std::string &typeColumn(PacketType type)
{
    static const auto names = [] {
        std::array<std::string, PacketTypeCount> result;
        for (std::size_t i = 0; i < result.size(); ++i) {
            result[i] = ',';
            appendQuoted(result[i], packetTypeName(PacketType(i)).toStdString());
            result[i].push_back(',');
        }
        return result;
    }();
    return names[std::size_t(type)];
}

// Copies with fixed-size moves the compiler keeps inline.
char *copyShort(char *to, std::string_view from)
{
    const char *src = from.data();
    std::size_t n = from.size();
    for (; n >= 8; n -= 8, src += 8, to += 8)
        std::memcpy(to, src, 8);
    if (n & 4) {
        std::memcpy(to, src, 4);
        to += 4;
        src += 4;
    }
    if (n & 2) {
        std::memcpy(to, src, 2);
        to += 2;
        src += 2;
    }
    if (n & 1)
        *to++ = *src;
    return to;
}

std::size_t maxColumnLength()
{
    static const std::size_t length = [] {
        std::size_t longest = 0;
        for (const std::string &column : channelColumns())
            longest = std::max(longest, column.size());
        return longest;
    }();
    return length;
}

constexpr std::size_t MaxValueLength = 32; // "-2.2250738585072014e-308" is 24

// The shortest text that reads back to the same double. Whole numbers (every value of the
// uncalibrated families) are written as plain integers: "1000000", not "1e+06".
char *formatValue(char *first, char *last, double value)
{
    if (value == std::trunc(value) && std::fabs(value) < 9007199254740992.0 /* 2^53 */ &&
        !(value == 0 && std::signbit(value)))
        return std::to_chars(first, last, static_cast<long long>(value)).ptr;
    return std::to_chars(first, last, value).ptr;
}

} // namespace

CaptureCsvWriter::CaptureCsvWriter(QIODevice &input, TelemetryHistory &history)
    : m_reader(input), m_history(history)
{
}

CaptureFileReader::Status CaptureCsvWriter::step(std::string &out)
{
    switch (m_reader.next()) {
    case TimedFrameReader::Status::Frame:
        writeFrame(out);
        return CaptureFileReader::Status::Record;
    case TimedFrameReader::Status::Damaged:
        return CaptureFileReader::Status::Damaged;
    case TimedFrameReader::Status::ReadError:
        return CaptureFileReader::Status::ReadError;
    case TimedFrameReader::Status::End:
        break;
    }
    return CaptureFileReader::Status::End;
}

void CaptureCsvWriter::appendField(std::string &out, std::string_view field)
{
    appendQuoted(out, field);
}

void CaptureCsvWriter::appendValue(std::string &out, double value)
{
    char text[MaxValueLength];
    out.append(text, std::size_t(formatValue(text, text + MaxValueLength, value) - text));
}

void CaptureCsvWriter::writeFrame(std::string &out)
{
    const QByteArrayView rxTime = m_reader.timeText();
    const FrameDecodeResult result =
        decodeSatelliteFrame(m_reader.frame().current(), QString::fromLatin1(rxTime), m_history);
    if (!result.family)
        return;
    const TelemetryHistory::Record &record = *m_history.latest(*result.family);

    // rx_time,packet_type,sat_time: the same for every row of the frame.
    m_prefix.clear();
    appendQuoted(m_prefix, std::string_view(rxTime.data(), std::size_t(rxTime.size())));
    m_prefix += typeColumn(result.type);
    if (result.satTimeStored) {
        for (const QChar c : record.satTime) // digits, "/", ":" and a blank only
            m_prefix.push_back(char(c.unicode()));
    }
    appendRows(out, m_prefix, result.stored, record.values, firstDecodedChannel(*result.family),
               lastDecodedChannel(*result.family));
}

void CaptureCsvWriter::appendRows(std::string &out, std::string_view prefix,
                                  const ChannelSet &stored, std::span<const double> values,
                                  int first, int last)
{
    // Room for every row of the frame at once, then plain stores. Appending piece by piece
    // took twice as long: glibc's AVX-512 memcpy, called for each short piece right after the
    // byte stores of the formatting, stalls on them.
    const auto &columns = channelColumns();
    const std::size_t start = out.size();
    out.resize(start + std::size_t(last - first + 1) *
                           (prefix.size() + maxColumnLength() + MaxValueLength + 1));
    char *p = out.data() + start;
    for (int channel = first; channel <= last; ++channel) {
        if (!stored.test(std::size_t(channel)))
            continue;
        p = copyShort(p, prefix);
        p = copyShort(p, columns[std::size_t(channel)]);
        p = formatValue(p, p + MaxValueLength, values[std::size_t(channel)]);
        *p++ = '\n';
    }
    out.resize(std::size_t(p - out.data()));
}
