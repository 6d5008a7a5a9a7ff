#include "decode/CaptureFileReader.h"

#include <QDateTime>

namespace {
constexpr char FEND = char(0xC0);
constexpr char FESC = char(0xDB);
constexpr char TFEND = char(0xDC);
constexpr char TFESC = char(0xDD);
constexpr char TimeCommand = 0x09;
constexpr qsizetype TimeTextLength = 27;
} // namespace

CaptureFileReader::Status CaptureFileReader::damaged(qsizetype offset, const QString &what)
{
    m_errorOffset = offset;
    m_error = what;
    m_pos = m_content.size();
    return Status::Damaged;
}

CaptureFileReader::Status CaptureFileReader::next(Record &record)
{
    const qsizetype size = m_content.size();
    if (m_errorOffset >= 0)
        return Status::Damaged;
    // Between records: our files put two FENDs there, other tools one. Bytes outside a record
    // are not allowed.
    if (m_pos >= size)
        return Status::End;
    if (m_content[m_pos] != FEND)
        return damaged(m_pos, QStringLiteral("expected a record start (0xC0)"));

    const qsizetype start = m_pos;
    record.offset = start;
    record.data.resize(0); // keeps the capacity: records are read one after the other
    const char *const bytes = m_content.data();
    qsizetype i = start + 1;
    for (;;) {
        // Copy the run up to the next special byte in one go.
        qsizetype run = i;
        while (run < size && bytes[run] != FEND && bytes[run] != FESC)
            ++run;
        record.data.append(bytes + i, run - i);
        i = run;
        if (i >= size)
            return damaged(start, QStringLiteral("record not closed before the end of the file"));
        if (bytes[i] == FEND)
            break;
        // FESC
        if (i + 1 >= size)
            return damaged(i, QStringLiteral("escape byte at the end of the file"));
        const char escaped = bytes[i + 1];
        if (escaped == TFEND)
            record.data.append(FEND);
        else if (escaped == TFESC)
            record.data.append(FESC);
        else
            return damaged(i, QStringLiteral("invalid escape sequence"));
        i += 2;
    }
    // i is the closing FEND. If another record follows without its own opening FEND, this
    // closing FEND is shared and opens it.
    m_pos = (i + 1 < size && m_content[i + 1] != FEND) ? i : i + 1;

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

QString CaptureFileReader::millisecondsToText(QByteArrayView eightBytes)
{
    qint64 ms = 0;
    for (qsizetype i = 0; i < 8 && i < eightBytes.size(); ++i)
        ms = qint64((quint64(ms) << 8) | quint8(eightBytes[i]));
    const QDateTime utc = QDateTime::fromMSecsSinceEpoch(ms, Qt::UTC);
    return utc.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz")) + QStringLiteral(" UTC");
}
