#pragma once

#include <QByteArray>
#include <QByteArrayView>

#include <cstdint>
#include <optional>

// The AGW Packet Engine record layout as this client uses it: a 36-byte header (little-endian
// numbers) followed by the data its length field gives. Used by AgwClient and by the simulator.
namespace AgwProtocol {

constexpr int HeaderSize = 36;
constexpr int DataKindOffset = 4;
constexpr int FromCallOffset = 8;  // callsigns as zero-padded ASCII text
constexpr int ToCallOffset = 18;
constexpr int CallsignSize = 10;
constexpr int LengthOffset = 28;
// A record longer than this is not something a packet engine sends: treat it as a broken stream.
constexpr std::uint32_t MaxDataLength = 64 * 1024;

constexpr char KindRawFrame = 'K';
constexpr char KindPortInfo = 'G';
constexpr char KindRawMonitoring = 'k';

// A 36-byte header of zeros with the given data kind and data length.
QByteArray header(char dataKind, std::uint32_t dataLength = 0);
std::uint32_t dataLength(QByteArrayView record); // record must hold a whole header

// Cuts whole records out of a TCP byte stream, whatever the batches look like.
class RecordAssembler
{
public:
    enum class Status { Record, NeedMoreData, OversizeRecord };

    void append(QByteArrayView bytes) { m_buffer.append(bytes.data(), bytes.size()); }
    // Takes the next whole record (header and data) into record.
    Status next(QByteArray &record);
    std::uint32_t oversizeLength() const { return m_oversizeLength; }
    void clear();

private:
    QByteArray m_buffer;
    qsizetype m_readPos = 0;
    std::uint32_t m_oversizeLength = 0;
};

} // namespace AgwProtocol
