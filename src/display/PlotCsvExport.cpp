#include "display/PlotCsvExport.h"

#include "store/TelemetryArchive.h"
#include "telemetry/ChannelTable.h"

#include <QDateTime>
#include <QIODevice>
#include <QTimeZone>

#include <algorithm>
#include <charconv>
#include <cmath>

namespace PlotCsvExport {

namespace {

constexpr qsizetype FlushBytes = 64 * 1024;

// A field in double quotes when it holds a comma, a quote or a line break.
void appendField(QByteArray &out, const QString &text)
{
    const QByteArray utf8 = text.toUtf8();
    if (!utf8.contains(',') && !utf8.contains('"') && !utf8.contains('\n') && !utf8.contains('\r')) {
        out += utf8;
        return;
    }
    out += '"';
    for (const char c : utf8) {
        if (c == '"')
            out += '"';
        out += c;
    }
    out += '"';
}

// The shortest text that reads back to the same double, whole numbers as plain integers, the
// way the decode command prints values.
void appendValue(QByteArray &out, double value)
{
    char text[32];
    char *end;
    if (value == std::trunc(value) && std::fabs(value) < 9007199254740992.0 /* 2^53 */ &&
        !(value == 0 && std::signbit(value)))
        end = std::to_chars(text, text + sizeof text, static_cast<long long>(value)).ptr;
    else
        end = std::to_chars(text, text + sizeof text, value).ptr;
    out.append(text, end - text);
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

    QByteArray buffer = "rx_time,packet_type,sat_time";
    for (const int channel : wanted) {
        buffer += ',';
        appendField(buffer, columnTitle(channel));
    }
    buffer += '\n';

    QString writeError;
    const auto flush = [&] {
        if (out.write(buffer) != buffer.size())
            writeError = QStringLiteral("cannot write the CSV file: %1").arg(out.errorString());
        buffer.clear();
        return writeError.isEmpty();
    };
    error = archive.forEachFrame(fromMs, toMs, [&](const ArchivedFrame &frame) {
        if (!carriesAny(frame, wanted))
            return true;
        buffer += isoTime(frame.rxTimeMs).toLatin1();
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
        return buffer.size() < FlushBytes || flush();
    });
    if (!error.isEmpty())
        return error;
    if (!writeError.isEmpty())
        return writeError;
    flush();
    return writeError;
}

} // namespace PlotCsvExport
