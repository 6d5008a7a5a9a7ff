#include "store/TelemetryArchive.h"

#include "store/ArchiveSchema.h"
#include "store/ArchiveSummary.h"
#include "store/StationDatabase.h"

#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

#include <algorithm>
#include <vector>

namespace {

// Fills the family's channel values from `query`, whose columns from `firstColumn` on are the
// family's channels in order; NULL columns stay absent.
void readValues(const QSqlQuery &query, const ArchiveSchema::FamilyTable &table, int firstColumn, ArchivedFrame &frame)
{
    frame.family = table.family;
    for (int channel = table.firstChannel; channel <= table.lastChannel; ++channel) {
        const QVariant value = query.value(firstColumn + channel - table.firstChannel);
        if (value.isNull())
            continue;
        frame.values[std::size_t(channel)] = value.toDouble();
        frame.present.set(std::size_t(channel));
    }
}

// One family table's rows of a time range, in the order of the frames query (reception time,
// then id), stepped alongside it: the decoded values of a frame are the row with its id. Each
// row reads only its own family's columns, a fraction of a join over all four tables.
class FamilyRows
{
public:
    FamilyRows(const QSqlDatabase &connection, const ArchiveSchema::FamilyTable &table)
        : m_query(connection), m_table(&table)
    {
    }

    QString start(qint64 fromMs, qint64 toMs)
    {
        m_query.setForwardOnly(true);
        m_query.prepare(QStringLiteral("SELECT rx_time_ms, frame_id, %2 FROM %1 "
                                       "WHERE rx_time_ms >= ? AND rx_time_ms < ? ORDER BY rx_time_ms, frame_id")
                            .arg(QLatin1String(m_table->table), ArchiveSchema::columnList(*m_table)));
        m_query.addBindValue(fromMs);
        m_query.addBindValue(toMs);
        if (!m_query.exec())
            return m_query.lastError().text();
        advance();
        return {};
    }

    // Reads this table's values of frame (rxMs, id) into `frame` when it has a row for it.
    // Rows ordered before the frame (left without a frame) are passed over.
    bool fill(qint64 rxMs, qint64 id, ArchivedFrame &frame)
    {
        while (m_atRow && (m_rxMs < rxMs || (m_rxMs == rxMs && m_id < id)))
            advance();
        if (!m_atRow || m_rxMs != rxMs || m_id != id)
            return false;
        readValues(m_query, *m_table, 2, frame);
        advance();
        return true;
    }

    QString error() const
    {
        return m_query.lastError().type() == QSqlError::NoError ? QString() : m_query.lastError().text();
    }

private:
    void advance()
    {
        m_atRow = m_query.next();
        if (m_atRow) {
            m_rxMs = m_query.value(0).toLongLong();
            m_id = m_query.value(1).toLongLong();
        }
    }

    QSqlQuery m_query;
    const ArchiveSchema::FamilyTable *m_table;
    bool m_atRow = false;
    qint64 m_rxMs = 0;
    qint64 m_id = 0;
};

QString notOpen()
{
    return QStringLiteral("the station database is not open");
}

} // namespace

TelemetryArchive::TelemetryArchive(StationDatabase &database) : m_database(database)
{
}

void TelemetryArchive::addFrame(const ArchivedFrame &frame)
{
    if (m_database.isOpen())
        m_database.writer().addFrame(frame);
}

TelemetryArchive::Records TelemetryArchive::latest(Family family, int count)
{
    Records records;
    if (!m_database.isOpen()) {
        records.error = notOpen();
        return records;
    }
    m_database.flush();
    const ArchiveSchema::FamilyTable &table = ArchiveSchema::tableOf(family);
    QSqlQuery query(m_database.connection());
    query.setForwardOnly(true);
    query.prepare(QStringLiteral("SELECT t.rx_time_ms, f.packet_type, f.sat_time, %2 FROM %1 t "
                                 "JOIN frames f ON f.id = t.frame_id "
                                 "ORDER BY t.rx_time_ms DESC, t.frame_id DESC LIMIT ?")
                      .arg(QLatin1String(table.table), ArchiveSchema::columnList(table, QStringLiteral("t."))));
    query.addBindValue(qMax(0, count));
    if (!query.exec()) {
        records.error = query.lastError().text();
        return records;
    }
    while (query.next()) {
        ArchivedFrame &frame = records.frames.emplace_back();
        frame.rxTimeMs = query.value(0).toLongLong();
        frame.packetType = query.value(1).toString();
        frame.satTime = query.value(2).toString();
        readValues(query, table, 3, frame);
    }
    std::reverse(records.frames.begin(), records.frames.end());
    return records;
}

QString TelemetryArchive::forEachFrame(qint64 fromMs, qint64 toMs, const std::function<bool(const ArchivedFrame &)> &visit)
{
    if (!m_database.isOpen())
        return notOpen();
    m_database.flush();
    // The frames first: while this statement is open, the family tables' statements read the
    // same snapshot of a database that a station may be writing.
    QSqlQuery frames(m_database.connection());
    frames.setForwardOnly(true);
    frames.prepare(QStringLiteral("SELECT rx_time_ms, id, frame, packet_type, sat_time FROM frames "
                                  "WHERE rx_time_ms >= ? AND rx_time_ms < ? ORDER BY rx_time_ms, id"));
    frames.addBindValue(fromMs);
    frames.addBindValue(toMs);
    if (!frames.exec())
        return frames.lastError().text();
    std::vector<FamilyRows> families;
    families.reserve(ArchiveSchema::FamilyTables.size());
    for (const ArchiveSchema::FamilyTable &table : ArchiveSchema::FamilyTables) {
        FamilyRows &rows = families.emplace_back(m_database.connection(), table);
        if (const QString error = rows.start(fromMs, toMs); !error.isEmpty())
            return error;
    }
    while (frames.next()) {
        ArchivedFrame frame;
        frame.rxTimeMs = frames.value(0).toLongLong();
        const qint64 id = frames.value(1).toLongLong();
        frame.frame = frames.value(2).toByteArray();
        frame.packetType = frames.value(3).toString();
        frame.satTime = frames.value(4).toString();
        for (FamilyRows &rows : families) {
            if (rows.fill(frame.rxTimeMs, id, frame))
                break; // a frame has a row in at most one family table
        }
        if (!visit(frame))
            break;
    }
    if (frames.lastError().type() != QSqlError::NoError)
        return frames.lastError().text();
    for (const FamilyRows &rows : families) {
        if (const QString error = rows.error(); !error.isEmpty())
            return error;
    }
    return {};
}

TelemetryArchive::Series TelemetryArchive::series(int channel, qint64 fromMs, qint64 toMs, int buckets)
{
    Series series;
    const ArchiveSchema::FamilyTable *table = ArchiveSchema::tableOfChannel(channel);
    if (!m_database.isOpen())
        series.error = notOpen();
    else if (!table)
        series.error = QStringLiteral("channel %1 is not archived").arg(channel);
    else if (toMs <= fromMs || buckets <= 0)
        series.error = QStringLiteral("an empty time range or no buckets");
    if (!series.error.isEmpty())
        return series;
    m_database.flush();
    // Wide slices read whole summary buckets between the first and the last bucket start inside
    // the range, and the frame rows of the partial buckets at both ends; narrow ones read only
    // frame rows. Each part lands in the slice where its time (a frame's reception, a bucket's
    // start) falls; the parts are read in time order, so a slice they share is merged at the end.
    const qint64 spanMs = ArchiveSummary::spanFor(fromMs, toMs, buckets);
    qint64 wholeFrom = toMs;
    qint64 wholeTo = toMs;
    if (spanMs > 0) {
        wholeFrom = std::min(toMs, ArchiveSummary::bucketStart(fromMs + spanMs - 1, spanMs));
        wholeTo = std::max(wholeFrom, ArchiveSummary::bucketStart(toMs, spanMs));
    }
    const Slicing slicing{fromMs, toMs - fromMs, buckets};
    series.error = readFrameSlices(*table, channel, slicing, fromMs, wholeFrom, series.buckets);
    if (series.error.isEmpty() && wholeTo > wholeFrom)
        series.error = readSummarySlices(spanMs, channel, slicing, wholeFrom, wholeTo, series.buckets);
    if (series.error.isEmpty())
        series.error = readFrameSlices(*table, channel, slicing, wholeTo, toMs, series.buckets);
    return series;
}

QString TelemetryArchive::readFrameSlices(const ArchiveSchema::FamilyTable &table, int channel, const Slicing &slicing,
                                          qint64 fromMs, qint64 toMs, std::vector<Bucket> &buckets)
{
    if (toMs <= fromMs)
        return {};
    // Integer arithmetic in the database: (rx - from) * buckets stays far inside 64 bits for any
    // plausible range and pixel count.
    const QString column = ArchiveSchema::columnOf(channel);
    QSqlQuery query(m_database.connection());
    query.setForwardOnly(true);
    query.prepare(QStringLiteral("SELECT (rx_time_ms - ?) * ? / ? AS slice, MIN(%2), MAX(%2), COUNT(%2) FROM %1 "
                                 "WHERE rx_time_ms >= ? AND rx_time_ms < ? AND %2 IS NOT NULL "
                                 "GROUP BY slice ORDER BY slice")
                      .arg(QLatin1String(table.table), column));
    for (const QVariant &value : {QVariant(slicing.fromMs), QVariant(qint64(slicing.count)), QVariant(slicing.spanMs),
                                  QVariant(fromMs), QVariant(toMs)})
        query.addBindValue(value);
    return appendSlices(query, slicing, buckets);
}

QString TelemetryArchive::readSummarySlices(qint64 bucketMs, int channel, const Slicing &slicing, qint64 fromMs,
                                            qint64 toMs, std::vector<Bucket> &buckets)
{
    // In key order, one row per bucket: no grouping in the database.
    QSqlQuery query(m_database.connection());
    query.setForwardOnly(true);
    query.prepare(QStringLiteral("SELECT (start_ms - ?) * ? / ?, minimum, maximum, frames FROM %1 "
                                 "WHERE span_ms = ? AND channel = ? AND start_ms >= ? AND start_ms < ? "
                                 "ORDER BY start_ms")
                      .arg(QLatin1String(ArchiveSummary::Table)));
    for (const QVariant &value : {QVariant(slicing.fromMs), QVariant(qint64(slicing.count)), QVariant(slicing.spanMs),
                                  QVariant(bucketMs), QVariant(channel), QVariant(fromMs), QVariant(toMs)})
        query.addBindValue(value);
    return appendSlices(query, slicing, buckets);
}

QString TelemetryArchive::appendSlices(QSqlQuery &query, const Slicing &slicing, std::vector<Bucket> &buckets)
{
    if (!query.exec())
        return query.lastError().text();
    while (query.next()) {
        const int index = query.value(0).toInt();
        const double minimum = query.value(1).toDouble();
        const double maximum = query.value(2).toDouble();
        const qint64 count = query.value(3).toLongLong();
        if (!buckets.empty() && buckets.back().index == index) {
            Bucket &bucket = buckets.back();
            bucket.minimum = std::min(bucket.minimum, minimum);
            bucket.maximum = std::max(bucket.maximum, maximum);
            bucket.count += count;
            continue;
        }
        // firstMs: the first ms that maps to the slice.
        buckets.push_back({index, slicing.fromMs + (qint64(index) * slicing.spanMs + slicing.count - 1) / slicing.count,
                           minimum, maximum, count});
    }
    return query.lastError().type() == QSqlError::NoError ? QString() : query.lastError().text();
}

std::optional<std::pair<qint64, qint64>> TelemetryArchive::timeRange(QString *error)
{
    if (!m_database.isOpen()) {
        if (error)
            *error = notOpen();
        return std::nullopt;
    }
    m_database.flush();
    QSqlQuery query(m_database.connection());
    // Two subqueries: each is one step to an end of the time index, where MIN and MAX side by
    // side would scan all of it.
    if (!query.exec(QStringLiteral("SELECT (SELECT MIN(rx_time_ms) FROM frames), (SELECT MAX(rx_time_ms) FROM frames)"))
        || !query.next()) {
        if (error)
            *error = query.lastError().text();
        return std::nullopt;
    }
    if (query.value(0).isNull())
        return std::nullopt;
    return std::make_pair(query.value(0).toLongLong(), query.value(1).toLongLong());
}
