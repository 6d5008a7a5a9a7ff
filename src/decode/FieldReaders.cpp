#include "decode/FieldReaders.h"

#include "decode/FrameBytes.h"

#include <algorithm>

namespace {

// Whether positions position .. position + width - 1 all lie in the current frame.
bool inFrame(FrameView frame, int position, int width)
{
    const int last = std::min<int>(int(frame.size()), FrameBytes::Capacity);
    return position >= 1 && position <= last - width + 1;
}

} // namespace

QString bytesToNumberMessage()
{
    return QStringLiteral("Start record can not be greater then End record...!");
}

double BytesToNumber(std::span<const std::uint8_t> entries, std::int32_t start,
                     std::int32_t &end, bool isUnsigned, const MessageSink &showMessage)
{
    const std::int32_t upper = std::int32_t(std::min<std::size_t>(entries.size(), INT32_MAX));
    if (end < 1)
        end = upper;
    if (start < 0 || start > end) {
        if (showMessage)
            showMessage(bytesToNumberMessage());
        return -1;
    }
    // Past the argument check every failure gives 0: a 16-bit loop counter cannot count
    // beyond 32767, and every index must lie in 1..upper.
    if (start > 32766 || end > 32767 || start < 1 || end > upper)
        return 0;

    double result = entries[std::size_t(start - 1)];
    double multiplier = 1;
    for (std::int32_t i = start + 1; i <= end; ++i) {
        multiplier *= 256;
        double term = entries[std::size_t(i - 1)];
        if (i == end && !isUnsigned && term > 127)
            term -= 256;
        result += term * multiplier;
    }
    return result;
}

std::optional<std::int16_t> ReadInt16(FrameView frame, int position)
{
    if (!inFrame(frame, position, 2))
        return std::nullopt;
    const std::uint8_t scratch[2] = {frame[std::size_t(position - 1)], frame[std::size_t(position)]};
    std::int32_t end = 2;
    return std::int16_t(BytesToNumber(scratch, 1, end, false));
}

std::optional<std::uint32_t> ReadUInt32(FrameView frame, int position)
{
    if (!inFrame(frame, position, 4))
        return std::nullopt;
    std::uint8_t scratch[4];
    std::copy_n(frame.begin() + (position - 1), 4, scratch);
    std::int32_t end = 4;
    return std::uint32_t(BytesToNumber(scratch, 1, end, true));
}

std::optional<std::int16_t> ReadSByte(FrameView frame, int position)
{
    if (!inFrame(frame, position, 1))
        return std::nullopt;
    return std::int16_t(std::int8_t(frame[std::size_t(position - 1)]));
}
