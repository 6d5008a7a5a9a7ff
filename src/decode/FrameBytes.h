#pragma once

#include <QByteArrayView>
#include <QString>

#include <array>
#include <cstdint>
#include <span>

// The latest raw frame as the decoders see it: positions 1..512, position 1 the modem's KISS
// command byte, 2..8 destination, 9..15 source, 16 control. Filled by the frame intake; read
// by classification, the decoders and the upload body. Positions past the current frame keep an
// earlier frame's bytes, but current() only ever exposes this frame's.
class FrameBytes
{
public:
    static constexpr int Capacity = 512;

    // Copies the record's data field (KISS command byte first); a longer one keeps its first 512.
    void assign(QByteArrayView data);

    // Number of positions the current frame fills (0..512).
    int length() const { return m_length; }
    // Position p, 1-based, 1 <= p <= 512 (may be a stale byte beyond length()).
    std::uint8_t at(int position) const { return m_bytes[std::size_t(position - 1)]; }
    // The current frame only: index 0 is position 1.
    std::span<const std::uint8_t> current() const { return {m_bytes.data(), std::size_t(m_length)}; }

private:
    std::array<std::uint8_t, Capacity> m_bytes{};
    int m_length = 0;
};

// The upper-case hex digit of a nibble (0..15).
constexpr char16_t hexDigit(unsigned nibble) { return u"0123456789ABCDEF"[nibble & 0x0F]; }
// Two upper-case hex digits.
QString ByteToHex(std::uint8_t byte);
// Positions 2..length of the frame, each as two hex digits and a blank ("" for length <= 1).
QString buildFrameHex(const FrameBytes &frame);
