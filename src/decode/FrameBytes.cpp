#include "decode/FrameBytes.h"

#include <algorithm>
#include <cstring>

void FrameBytes::assign(QByteArrayView data)
{
    m_length = int(std::min<qsizetype>(data.size(), Capacity));
    if (m_length > 0)
        std::memcpy(m_bytes.data(), data.data(), std::size_t(m_length));
}

QString ByteToHex(std::uint8_t byte)
{
    const QChar digits[2] = {QChar(hexDigit(byte >> 4)), QChar(hexDigit(byte))};
    return QString(digits, 2);
}

QString buildFrameHex(const FrameBytes &frame)
{
    const int count = std::max(0, frame.length() - 1);
    QString hex(count * 3, Qt::Uninitialized);
    QChar *out = hex.data();
    for (int position = 2; position <= frame.length(); ++position) {
        const std::uint8_t byte = frame.at(position);
        *out++ = QChar(hexDigit(byte >> 4));
        *out++ = QChar(hexDigit(byte));
        *out++ = QChar(u' ');
    }
    return hex;
}
