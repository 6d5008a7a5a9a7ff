#include "decode/CaptureFileReader.h"

#include <QDateTime>
#include <QIODevice>

#include <cstring>

namespace {
constexpr char FEND = char(0xC0);
constexpr char FESC = char(0xDB);
constexpr char TFEND = char(0xDC);
constexpr char TFESC = char(0xDD);
constexpr char TimeCommand = 0x09;
constexpr qsizetype TimeTextLength = 27;
} // namespace

CaptureFileReader::CaptureFileReader(QIODevice &device) : m_device(&device) {}

bool CaptureFileReader::refill()
{
    m_windowOffset += m_window.size();
    m_window = {};
    m_pos = 0;
    if (!m_device)
        return false;
    m_chunk.resize(ChunkSize);
    const qint64 read = m_device->read(m_chunk.data(), ChunkSize);
    if (read < 0) {
        m_readError = m_device->errorString();
        return false;
    }
    m_window = QByteArrayView(m_chunk.constData(), read);
    return read > 0;
}

void CaptureFileReader::openRecord(Record &record, qint64 fendOffset)
{
    m_recordOffset = fendOffset;
    record.offset = fendOffset;
    record.data.resize(0); // keeps the capacity: records are read one after the other
    m_state = State::InRecord;
}

void CaptureFileReader::startSkipping(qint64 from, qint64 fault, const QString &reason)
{
    m_damage = {from, 0, fault, reason};
    m_state = State::Skipping;
}

CaptureFileReader::Status CaptureFileReader::finishRecord(Record &record)
{
    m_state = State::AfterRecord;
    record.kind = Kind::Frame;
    if (!record.data.isEmpty() && record.data.front() == TimeCommand) {
        if (record.data.size() == 1 + TimeTextLength && record.data.endsWith(" UTC")) {
            record.kind = Kind::TimeText;
            record.data.remove(0, 1);
        } else if (record.data.size() == 1 + 8) {
            record.kind = Kind::TimeMilliseconds;
            record.data.remove(0, 1);
        }
    }
    return Status::Record;
}

CaptureFileReader::Status CaptureFileReader::finishInput(const Record &record)
{
    const State state = m_state;
    m_state = State::Finished;
    if (!m_readError.isEmpty())
        return Status::ReadError;
    const qint64 end = inputOffset(m_pos);
    switch (state) {
    case State::InRecord:
        // An opening FEND as the last byte loses nothing.
        if (record.data.isEmpty())
            return Status::End;
        [[fallthrough]];
    case State::AfterEscape:
        m_damage = {m_recordOffset + 1, end - (m_recordOffset + 1), end,
                    QStringLiteral("truncated record at end of file")};
        return Status::Damaged;
    case State::Skipping:
        m_damage.length = end - m_damage.offset;
        return Status::Damaged;
    case State::BeforeFirstRecord:
    case State::AfterRecord:
    case State::Finished:
        break;
    }
    return Status::End;
}

CaptureFileReader::Status CaptureFileReader::next(Record &record)
{
    for (;;) {
        if (m_state == State::Finished)
            return m_readError.isEmpty() ? Status::End : Status::ReadError;
        if (m_pos >= m_window.size() && !refill())
            return finishInput(record);
        const char *const bytes = m_window.data();
        const qsizetype size = m_window.size();

        switch (m_state) {
        case State::BeforeFirstRecord:
            if (bytes[m_pos] == FEND) {
                openRecord(record, inputOffset(m_pos));
                ++m_pos;
            } else {
                startSkipping(inputOffset(m_pos), inputOffset(m_pos),
                              QStringLiteral("bytes outside a record"));
            }
            break;
        case State::AfterRecord:
            // Our files put two FENDs between records, other tools one: then the closing
            // FEND is shared and opens the next record.
            if (bytes[m_pos] == FEND) {
                openRecord(record, inputOffset(m_pos));
                ++m_pos;
            } else {
                openRecord(record, inputOffset(m_pos) - 1);
            }
            break;
        case State::InRecord: {
            // Copy the run up to the next special byte in one go.
            qsizetype run = m_pos;
            while (run < size && bytes[run] != FEND && bytes[run] != FESC)
                ++run;
            const qsizetype room = MaxRecordLength - record.data.size();
            if (run - m_pos > room) {
                startSkipping(m_recordOffset + 1, inputOffset(m_pos + room),
                              QStringLiteral("record longer than %1 bytes").arg(MaxRecordLength));
                m_pos += room;
                break;
            }
            record.data.append(bytes + m_pos, run - m_pos);
            m_pos = run;
            if (m_pos == size)
                break;
            ++m_pos;
            if (bytes[run] == FEND)
                return finishRecord(record);
            m_state = State::AfterEscape;
            break;
        }
        case State::AfterEscape: {
            const char escaped = bytes[m_pos];
            if (escaped != TFEND && escaped != TFESC) {
                // Not consumed: a FEND here ends the damage at once.
                startSkipping(m_recordOffset + 1, inputOffset(m_pos) - 1,
                              QStringLiteral("invalid escape"));
            } else if (record.data.size() == MaxRecordLength) {
                startSkipping(m_recordOffset + 1, inputOffset(m_pos) - 1,
                              QStringLiteral("record longer than %1 bytes").arg(MaxRecordLength));
            } else {
                record.data.append(escaped == TFEND ? FEND : FESC);
                m_state = State::InRecord;
                ++m_pos;
            }
            break;
        }
        case State::Skipping: {
            const void *fend = std::memchr(bytes + m_pos, FEND, std::size_t(size - m_pos));
            if (!fend) {
                m_pos = size;
                break;
            }
            m_pos = static_cast<const char *>(fend) - bytes;
            m_damage.length = inputOffset(m_pos) - m_damage.offset;
            ++m_pos;
            m_state = State::AfterRecord;
            return Status::Damaged;
        }
        case State::Finished:
            break;
        }
    }
}

QString CaptureFileReader::millisecondsToText(QByteArrayView eightBytes)
{
    qint64 ms = 0;
    for (qsizetype i = 0; i < 8 && i < eightBytes.size(); ++i)
        ms = qint64((quint64(ms) << 8) | quint8(eightBytes[i]));
    const QDateTime utc = QDateTime::fromMSecsSinceEpoch(ms, Qt::UTC);
    return utc.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz")) + QStringLiteral(" UTC");
}
