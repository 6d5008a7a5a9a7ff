#include "app/CaptureImport.h"

#include "app/ArchivedFrameBuilder.h"
#include "decode/FrameDecoder.h"
#include "store/ArchiveQueries.h"
#include "store/StationDatabase.h"

#include <QDate>
#include <QFileDevice>

#include <algorithm>
#include <string_view>

namespace {

constexpr qint64 JulianDayOfEpoch = 2440588; // 1970-01-01
constexpr qint64 MsPerDay = 86400000;

// The number at text[from, from + digits), or -1 when a character there is not a digit.
int digitsAt(QByteArrayView text, qsizetype from, int digits)
{
    int value = 0;
    for (qsizetype i = from; i < from + digits; ++i) {
        const char c = text[i];
        if (c < '0' || c > '9')
            return -1;
        value = value * 10 + (c - '0');
    }
    return value;
}

} // namespace

std::optional<qint64> receptionTimeFromText(QByteArrayView text)
{
    // yyyy-MM-dd HH:nn:ss.zzz UTC
    if (text.size() != 27 || text[4] != '-' || text[7] != '-' || text[10] != ' ' ||
        text[13] != ':' || text[16] != ':' || text[19] != '.' || std::string_view(text.data() + 23, 4) != " UTC")
        return std::nullopt;
    const int year = digitsAt(text, 0, 4), month = digitsAt(text, 5, 2), day = digitsAt(text, 8, 2);
    const int hour = digitsAt(text, 11, 2), minute = digitsAt(text, 14, 2);
    const int second = digitsAt(text, 17, 2), ms = digitsAt(text, 20, 3);
    if (year < 0 || month < 0 || day < 0 || hour < 0 || hour > 23 || minute < 0 || minute > 59 ||
        second < 0 || second > 59 || ms < 0)
        return std::nullopt;
    const QDate date(year, month, day);
    if (!date.isValid())
        return std::nullopt;
    return (date.toJulianDay() - JulianDayOfEpoch) * MsPerDay +
           ((hour * 60 + minute) * 60 + second) * qint64(1000) + ms;
}

CaptureImport::CaptureImport(QIODevice &input, StationDatabase &database)
    : m_input(input), m_database(database), m_archive(database), m_reader(input)
{
    if (const auto *file = qobject_cast<QFileDevice *>(&input); file && !input.isSequential())
        m_totalBytes = file->size();
    m_batch.reserve(BatchSize);
}

qint64 CaptureImport::bytesRead() const
{
    return m_input.isSequential() ? 0 : m_input.pos();
}

CaptureImport::Status CaptureImport::step(int maxFrames)
{
    if (m_done)
        return m_error.isEmpty() ? Status::Finished : Status::Failed;
    for (int frames = 0; frames < maxFrames; ++frames) {
        switch (m_reader.next()) {
        case TimedFrameReader::Status::Frame:
            take();
            if (m_batch.size() >= BatchSize && !commitBatch()) {
                m_done = true;
                return Status::Failed;
            }
            break;
        case TimedFrameReader::Status::Damaged:
            ++m_summary.damagedSpans;
            return Status::Damaged;
        case TimedFrameReader::Status::ReadError:
            m_error = QStringLiteral("cannot read it: %1").arg(m_reader.readError());
            commitBatch(); // what was read before stays
            m_done = true;
            return Status::Failed;
        case TimedFrameReader::Status::End:
            m_done = true;
            return commitBatch() ? Status::Finished : Status::Failed;
        }
    }
    return Status::Running;
}

QString CaptureImport::cancel()
{
    if (!m_done) {
        m_done = true;
        commitBatch();
    }
    return m_error;
}

void CaptureImport::take()
{
    // Decoded as the live station decodes, so the history's record is the one it would keep.
    const std::optional<qint64> rxTimeMs = receptionTimeFromText(m_reader.timeText());
    if (!rxTimeMs) {
        ++m_summary.withoutTime;
        return;
    }
    const FrameDecodeResult result = decodeSatelliteFrame(
        m_reader.frame().current(), QString::fromLatin1(m_reader.timeText()), m_history);
    m_batch.push_back(archivedFrameFrom(*rxTimeMs, m_reader.frameData(), result, m_history));
}

bool CaptureImport::commitBatch()
{
    if (m_batch.empty())
        return true;
    const auto [earliest, latest] = std::minmax_element(
        m_batch.begin(), m_batch.end(),
        [](const ArchivedFrame &a, const ArchivedFrame &b) { return a.rxTimeMs < b.rxTimeMs; });
    const qint64 fromMs = earliest->rxTimeMs;
    const qint64 toMs = latest->rxTimeMs;
    QString error;
    const qint64 before = countArchivedFrames(m_database, fromMs, toMs, &error);
    if (before >= 0) {
        for (const ArchivedFrame &frame : m_batch)
            m_archive.addFrame(frame);
    }
    const qint64 after = before < 0 ? -1 : countArchivedFrames(m_database, fromMs, toMs, &error);
    if (after < 0) {
        if (m_error.isEmpty())
            m_error = QStringLiteral("cannot write to the station database: %1").arg(error);
        m_batch.clear();
        return false;
    }
    const qint64 added = std::clamp<qint64>(after - before, 0, qint64(m_batch.size()));
    m_summary.imported += added;
    m_summary.alreadyPresent += qint64(m_batch.size()) - added;
    m_batch.clear();
    return true;
}

QString CaptureImport::Summary::line(const QString &path) const
{
    return QStringLiteral("%1: %2 frames imported, %3 already present, %4 frames without a time "
                          "record, %5 damaged spans")
        .arg(path)
        .arg(imported)
        .arg(alreadyPresent)
        .arg(withoutTime)
        .arg(damagedSpans);
}
