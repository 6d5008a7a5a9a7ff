#include "display/PlotCsvExport.h"

#include "decode/CaptureCsvWriter.h"

#include "store/TelemetryArchive.h"
#include "telemetry/ChannelTable.h"

#include <QDateTime>
#include <QIODevice>
#include <QTimeZone>

#include <algorithm>
#include <string>

namespace PlotCsvExport {

namespace {

constexpr qsizetype FlushBytes = 64 * 1024;

// The decode command's CSV pieces, so the plots write values exactly as `halvora1 export` does.
void appendField(std::string &out, const QString &text)
{
    CaptureCsvWriter::appendField(out, text.toStdString());
}

void appendValue(std::string &out, double value)
{
    CaptureCsvWriter::appendValue(out, value);
}

bool carriesAny(const ArchivedFrame &frame, const std::vector<int> &channels)
{
    return std::any_of(channels.begin(), channels.end(),
                       [&](int channel) { return frame.present.test(std::size_t(channel)); });
}

} // namespace

QString columnTitle(int channel)
{
    QString title = QString::number(channel) + u' ' + ChannelTable::captionOf(channel);
    const QString unit = ChannelTable::unitOf(channel);
    if (!unit.isEmpty())
        title += QStringLiteral(" [%1]").arg(unit);
    return title;
}

QString isoTime(qint64 timeMs)
{
    return QDateTime::fromMSecsSinceEpoch(timeMs, QTimeZone::utc())
        .toString(QStringLiteral("yyyy-MM-dd'T'HH:mm:ss.zzz'Z'"));
}

QString write(TelemetryArchive &archive, const std::vector<int> &channels, qint64 fromMs, qint64 toMs,
              QIODevice &out)
{
    std::vector<int> wanted;
    for (const int channel : channels) {
        if (channel >= 0 && channel <= ChannelTable::LastChannel)
            wanted.push_back(channel);
    }
    std::sort(wanted.begin(), wanted.end());
    wanted.erase(std::unique(wanted.begin(), wanted.end()), wanted.end());

    // First pass: which channels have a value in the span, so no column stays empty.
    ArchivedFrame::Present seen;
    QString error = archive.forEachFrame(fromMs, toMs, [&](const ArchivedFrame &frame) {
        seen |= frame.present;
        return true;
    });
    if (!error.isEmpty())
        return error;
    std::erase_if(wanted, [&](int channel) { return !seen.test(std::size_t(channel)); });

    std::string buffer = "rx_time,packet_type,sat_time";
    for (const int channel : wanted) {
        buffer += ',';
        appendField(buffer, columnTitle(channel));
    }
    buffer += '\n';

    QString writeError;
    const auto flush = [&] {
        if (out.write(buffer.data(), qint64(buffer.size())) != qint64(buffer.size()))
            writeError = QStringLiteral("cannot write the CSV file: %1").arg(out.errorString());
        buffer.clear();
        return writeError.isEmpty();
    };
    error = archive.forEachFrame(fromMs, toMs, [&](const ArchivedFrame &frame) {
        if (!carriesAny(frame, wanted))
            return true;
        buffer += isoTime(frame.rxTimeMs).toStdString();
        buffer += ',';
        appendField(buffer, frame.packetType);
        buffer += ',';
        appendField(buffer, frame.satTime);
        for (const int channel : wanted) {
            buffer += ',';
            if (frame.present.test(std::size_t(channel)))
                appendValue(buffer, frame.values[std::size_t(channel)]);
        }
        buffer += '\n';
        return qsizetype(buffer.size()) < FlushBytes || flush();
    });
    if (!error.isEmpty())
        return error;
    if (!writeError.isEmpty())
        return writeError;
    flush();
    return writeError;
}

} // namespace PlotCsvExport
