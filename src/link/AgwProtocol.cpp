#include "link/AgwProtocol.h"

namespace AgwProtocol {

QByteArray header(char dataKind, std::uint32_t dataLength)
{
    QByteArray bytes(HeaderSize, '\0');
    bytes[DataKindOffset] = dataKind;
    for (int i = 0; i < 4; ++i)
        bytes[LengthOffset + i] = char((dataLength >> (8 * i)) & 0xFF);
    return bytes;
}

std::uint32_t dataLength(QByteArrayView record)
{
    std::uint32_t length = 0;
    for (int i = 3; i >= 0; --i)
        length = (length << 8) | std::uint8_t(record[LengthOffset + i]);
    return length;
}

RecordAssembler::Status RecordAssembler::next(QByteArray &record)
{
    const qsizetype available = m_buffer.size() - m_readPos;
    if (available < HeaderSize)
        return Status::NeedMoreData;
    const QByteArrayView pending(m_buffer.constData() + m_readPos, available);
    const std::uint32_t length = dataLength(pending);
    if (length > MaxDataLength) {
        m_oversizeLength = length;
        return Status::OversizeRecord;
    }
    const qsizetype total = HeaderSize + qsizetype(length);
    if (available < total)
        return Status::NeedMoreData;
    record = QByteArray(pending.data(), total);
    m_readPos += total;
    // Compact once the consumed part dominates, so the buffer never grows with the stream.
    if (m_readPos == m_buffer.size()) {
        m_buffer.clear();
        m_readPos = 0;
    } else if (m_readPos > 64 * 1024) {
        m_buffer.remove(0, m_readPos);
        m_readPos = 0;
    }
    return Status::Record;
}

void RecordAssembler::clear()
{
    m_buffer.clear();
    m_readPos = 0;
    m_oversizeLength = 0;
}

} // namespace AgwProtocol
