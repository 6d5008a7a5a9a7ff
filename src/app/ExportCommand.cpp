#include "app/ExportCommand.h"

#include "app/ArchivedFrameBuilder.h"
#include "app/CommandDatabase.h"
#include "decode/CaptureCsvWriter.h"
#include "store/ArchiveQueries.h"
#include "store/ArchiveSchema.h"
#include "store/TelemetryArchive.h"
#include "telemetry/ChannelTable.h"

#include <QCommandLineParser>
#include <QDateTime>
#include <QRegularExpression>

#include <limits>
#include <string>
#include <vector>

namespace {

constexpr std::size_t FlushThreshold = 1 << 16;
constexpr qint64 MsPerDay = 86400000;

const char *const HelpText =
    "Usage: halvora1 export [--station-dir DIR] [--from TIME] [--to TIME] [--channels LIST] [--long]\n"
    "Writes the station's telemetry archive as CSV to stdout, one row per archived satellite\n"
    "frame in reception order: rx_time,packet_type,sat_time, then one column per channel that\n"
    "has a value in the selected frames, headed \"N caption [unit]\".\n"
    "\n"
    "Options:\n"
    "  --station-dir DIR  The station directory (default: the station's own).\n"
    "  --from TIME        Frames received at or after TIME (ISO 8601 date or date-time, UTC).\n"
    "  --to TIME          Frames received up to TIME; a date includes that whole day.\n"
    "  --channels LIST    Only these channels, e.g. 12,14,30-35.\n"
    "  --long             One row per value, as 'halvora1 decode' writes.\n"
    "  -h, --help         Displays this help.\n";

// TIME as ms since 1970 UTC: a date (its midnight) or a date-time without an offset is UTC.
// `*wholeDay` tells a date from a date-time.
std::optional<qint64> parseTime(const QString &text, bool *wholeDay)
{
    if (const QDate date = QDate::fromString(text, Qt::ISODate); date.isValid() && text.size() == 10) {
        *wholeDay = true;
        return QDateTime(date, QTime(0, 0), Qt::UTC).toMSecsSinceEpoch();
    }
    *wholeDay = false;
    QDateTime time = QDateTime::fromString(text, Qt::ISODateWithMs);
    if (!time.isValid() || !text.contains(u'T'))
        return std::nullopt;
    if (time.timeSpec() == Qt::LocalTime)
        time = QDateTime(time.date(), time.time(), Qt::UTC);
    return time.toMSecsSinceEpoch();
}

// "12,14,30-35" as a channel set; an error text for a malformed list or a channel the table
// does not know.
ChannelSet parseChannels(const QString &text, QString *error)
{
    static const QRegularExpression item(QStringLiteral("^\\s*(\\d{1,4})\\s*(?:-\\s*(\\d{1,4})\\s*)?$"));
    ChannelSet channels;
    for (const QString &part : text.split(u',')) {
        const QRegularExpressionMatch match = item.match(part);
        if (!match.hasMatch()) {
            *error = QStringLiteral("bad channel list '%1': expected numbers and ranges like 12,14,30-35").arg(text);
            return {};
        }
        const int first = match.captured(1).toInt();
        const int last = match.capturedLength(2) > 0 ? match.captured(2).toInt() : first;
        if (last < first) {
            *error = QStringLiteral("bad channel range '%1'").arg(part.trimmed());
            return {};
        }
        for (int channel = first; channel <= last; ++channel) {
            if (!ChannelTable::find(channel) && !ArchiveSchema::tableOfChannel(channel)) {
                *error = QStringLiteral("unknown channel %1").arg(channel);
                return {};
            }
            channels.set(std::size_t(channel));
        }
    }
    return channels;
}

// The reception-time texts of the frames: the date part is worked out once per day.
class TimeTexts
{
public:
    // "2026-12-06T18:25:09.123Z"
    void appendIso(std::string &out, qint64 ms) { append(out, ms, 'T', "Z"); }
    // "2026-12-06 18:25:09.123 UTC", as `halvora1 decode` writes it
    void appendDecodeText(std::string &out, qint64 ms) { append(out, ms, ' ', " UTC"); }

private:
    void append(std::string &out, qint64 ms, char separator, const char *suffix)
    {
        const qint64 day = ms >= 0 ? ms / MsPerDay : (ms - MsPerDay + 1) / MsPerDay;
        if (day != m_day || m_date.empty()) {
            m_day = day;
            m_date = QDateTime::fromMSecsSinceEpoch(day * MsPerDay, Qt::UTC)
                         .date()
                         .toString(Qt::ISODate)
                         .toStdString();
        }
        qint64 rest = ms - day * MsPerDay;
        const int milliseconds = int(rest % 1000);
        rest /= 1000;
        char text[13] = {separator, 0, 0, ':', 0, 0, ':', 0, 0, '.', 0, 0, 0};
        const int parts[] = {int(rest / 3600), int(rest / 60 % 60), int(rest % 60)};
        for (int i = 0; i < 3; ++i) {
            text[1 + 3 * i] = char('0' + parts[i] / 10);
            text[2 + 3 * i] = char('0' + parts[i] % 10);
        }
        text[10] = char('0' + milliseconds / 100);
        text[11] = char('0' + milliseconds / 10 % 10);
        text[12] = char('0' + milliseconds % 10);
        out += m_date;
        out.append(text, sizeof text);
        out += suffix;
    }

    qint64 m_day = 0;
    std::string m_date;
};

struct ExportRequest
{
    qint64 fromMs = std::numeric_limits<qint64>::min();
    qint64 toMs = std::numeric_limits<qint64>::max(); // exclusive
    ChannelSet channels;                               // selected ones
    bool longFormat = false;
};

class CsvExport
{
public:
    CsvExport(std::FILE *out, const ExportRequest &request) : m_out(out), m_request(request)
    {
        m_buffer.reserve(2 * FlushThreshold);
    }

    // The channels (of the selected ones) holding a value in the selected frames.
    QString findColumns(StationDatabase &database)
    {
        QString error;
        m_columnsWithValues = channelsWithValues(database, m_request.channels, m_request.fromMs,
                                                 m_request.toMs, &error);
        return error;
    }

    QString write(TelemetryArchive &archive)
    {
        writeHeader();
        const QString error = archive.forEachFrame(m_request.fromMs, m_request.toMs,
                                                   [this](const ArchivedFrame &frame) {
            if (frame.packetType.isEmpty())
                return true; // known only from the upload queue, never archived
            if (m_request.longFormat)
                writeLongRows(frame);
            else
                writeRow(frame);
            return m_buffer.size() < FlushThreshold || flush();
        });
        flush();
        return error;
    }

    bool failed() const { return m_failed; }

private:
    void writeHeader()
    {
        if (m_request.longFormat) {
            m_buffer.append(CaptureCsvWriter::Header);
            return;
        }
        m_buffer += "rx_time,packet_type,sat_time";
        for (int channel = 1; channel <= TelemetryHistory::ChannelCount; ++channel) {
            if (!m_columnsWithValues.test(std::size_t(channel)))
                continue;
            // "N caption [unit]"; CDHS channels have neither a caption nor a unit.
            std::string title = std::to_string(channel);
            if (const QString caption = ChannelTable::captionOf(channel); !caption.isEmpty())
                title += ' ' + caption.toStdString();
            if (const QString unit = ChannelTable::unitOf(channel); !unit.isEmpty())
                title += " [" + unit.toStdString() + ']';
            m_buffer.push_back(',');
            CaptureCsvWriter::appendField(m_buffer, title);
        }
        m_buffer.push_back('\n');
    }

    void appendTypeAndSatTime(const ArchivedFrame &frame)
    {
        m_buffer.push_back(',');
        CaptureCsvWriter::appendField(m_buffer, frame.packetType.toStdString());
        m_buffer.push_back(',');
        CaptureCsvWriter::appendField(m_buffer, frame.satTime.toStdString());
    }

    void writeRow(const ArchivedFrame &frame)
    {
        m_times.appendIso(m_buffer, frame.rxTimeMs);
        appendTypeAndSatTime(frame);
        for (int channel = 1; channel <= TelemetryHistory::ChannelCount; ++channel) {
            if (!m_columnsWithValues.test(std::size_t(channel)))
                continue;
            m_buffer.push_back(',');
            if (frame.present.test(std::size_t(channel)))
                CaptureCsvWriter::appendValue(m_buffer, frame.values[std::size_t(channel)]);
        }
        m_buffer.push_back('\n');
    }

    void writeLongRows(const ArchivedFrame &frame)
    {
        if (!frame.family)
            return;
        const std::size_t start = m_buffer.size();
        m_times.appendDecodeText(m_buffer, frame.rxTimeMs);
        appendTypeAndSatTime(frame);
        const std::string prefix = m_buffer.substr(start);
        m_buffer.resize(start);
        CaptureCsvWriter::appendRows(m_buffer, prefix, frame.present & m_request.channels,
                                     frame.values, firstDecodedChannel(*frame.family),
                                     lastDecodedChannel(*frame.family));
    }

    bool flush()
    {
        if (std::fwrite(m_buffer.data(), 1, m_buffer.size(), m_out) != m_buffer.size())
            m_failed = true;
        m_buffer.clear();
        return !m_failed; // stops reading the archive once the output is gone
    }

    std::FILE *m_out;
    const ExportRequest &m_request;
    ChannelSet m_columnsWithValues;
    std::string m_buffer;
    TimeTexts m_times;
    bool m_failed = false;
};

} // namespace

int runExportCommand(const QStringList &arguments, std::FILE *out, std::FILE *err)
{
    QCommandLineParser parser;
    addStationDirOption(parser);
    const QCommandLineOption from(QStringLiteral("from"), QStringLiteral("First time."), QStringLiteral("TIME"));
    const QCommandLineOption to(QStringLiteral("to"), QStringLiteral("Last time."), QStringLiteral("TIME"));
    const QCommandLineOption channels(QStringLiteral("channels"), QStringLiteral("Channels."), QStringLiteral("LIST"));
    const QCommandLineOption longFormat(QStringLiteral("long"), QStringLiteral("Long format."));
    parser.addOptions({from, to, channels, longFormat});
    if (const std::optional<int> status = parseCommandLine(parser, "export", arguments, HelpText, false, out, err))
        return *status;

    ExportRequest request;
    request.longFormat = parser.isSet(longFormat);
    bool wholeDay = false;
    if (parser.isSet(from)) {
        const std::optional<qint64> time = parseTime(parser.value(from), &wholeDay);
        if (!time)
            return commandUsageError(err, "export", QStringLiteral("bad --from time '%1': expected an ISO 8601 date or date-time in UTC").arg(parser.value(from)));
        request.fromMs = *time;
    }
    if (parser.isSet(to)) {
        const std::optional<qint64> time = parseTime(parser.value(to), &wholeDay);
        if (!time)
            return commandUsageError(err, "export", QStringLiteral("bad --to time '%1': expected an ISO 8601 date or date-time in UTC").arg(parser.value(to)));
        request.toMs = *time + (wholeDay ? MsPerDay : 1);
    }
    if (parser.isSet(channels)) {
        QString error;
        request.channels = parseChannels(parser.value(channels), &error);
        if (!error.isEmpty())
            return commandUsageError(err, "export", error);
    } else {
        request.channels.set();
    }

    CommandDatabase database;
    if (!database.open("export", parser, CommandDatabase::Mode::Existing, err))
        return 2;
    TelemetryArchive archive(database.database());
    CsvExport csv(out, request);
    QString error = request.longFormat ? QString() : csv.findColumns(database.database());
    if (error.isEmpty())
        error = csv.write(archive);
    if (!error.isEmpty()) {
        std::fprintf(err, "halvora1 export: cannot read the archive: %s\n", qPrintable(error));
        return 2;
    }
    if (std::fflush(out) != 0 || csv.failed()) {
        std::fprintf(err, "halvora1 export: error writing the output\n");
        return 1;
    }
    return 0;
}
