#pragma once

#include <QString>

#include <cstdint>
#include <functional>
#include <optional>
#include <span>

// The three readers every telemetry field goes through, and the byte-range conversion behind
// two of them. Called by the family decoders. They read only the current frame (index 0 is
// position 1, as FrameBytes::current() gives it): a field that reaches past the frame's end,
// or past position 512, is a failing step and yields no value, never an earlier frame's bytes.

using FrameView = std::span<const std::uint8_t>;

// The text BytesToNumber shows when its start index is negative or above its end index.
QString bytesToNumberMessage();
using MessageSink = std::function<void(const QString &text)>;

// Converts entries start..end of an array whose entry 1 is entries[0] (upper bound:
// entries.size()), least significant entry first. An end below 1 is replaced by the upper bound
// and written back. Without the unsigned flag the last entry of a range of two or more counts
// as signed. A negative start or a start above the end hands the message to showMessage and
// gives -1; an index outside the array, or beyond what a 16-bit loop counter holds, gives 0.
double BytesToNumber(std::span<const std::uint8_t> entries, std::int32_t start,
                     std::int32_t &end, bool isUnsigned, const MessageSink &showMessage = {});

// Little-endian signed 16-bit field at position, position + 1.
std::optional<std::int16_t> ReadInt16(FrameView frame, int position);
// Little-endian unsigned 32-bit field at position .. position + 3: 0..4294967295.
std::optional<std::uint32_t> ReadUInt32(FrameView frame, int position);
// One byte, two's complement: 0x80 is -128, 0xFF is -1.
std::optional<std::int16_t> ReadSByte(FrameView frame, int position);
