#include "store/ArchiveSummary.h"

#include "store/ArchiveSchema.h"
#include "store/SqliteDialect.h"

#include <QSqlError>
#include <QVariant>

#include <vector>

namespace {

// Rows read by fill() between two writes: keeps its memory to a few hundred buckets.
constexpr int FillBatchRows = 20000;

} // namespace

ArchiveSummary::ArchiveSummary(const QSqlDatabase &db) : m_db(db), m_merge(db)
{
}

void ArchiveSummary::add(Family family, qint64 rxTimeMs, const ArchivedFrame::Present &present,
                         std::span<const double> familyValues)
{
    const ArchiveSchema::FamilyTable &table = ArchiveSchema::tableOf(family);
    for (const qint64 span : BucketSpansMs) {
        Bucket &bucket = m_pending[{span, bucketStart(rxTimeMs, span)}];
        for (int channel = table.firstChannel; channel <= table.lastChannel; ++channel) {
            const std::size_t offset = std::size_t(channel - table.firstChannel);
            if (!present.test(std::size_t(channel)) || offset >= familyValues.size())
                continue;
            const double value = familyValues[offset];
            Extremes &extremes = bucket.channels[std::size_t(channel)];
            if (extremes.count == 0 || value < extremes.minimum)
                extremes.minimum = value;
            if (extremes.count == 0 || value > extremes.maximum)
                extremes.maximum = value;
            ++extremes.count;
            bucket.present.set(std::size_t(channel));
        }
    }
}

QString ArchiveSummary::write()
{
    const auto pending = std::exchange(m_pending, {});
    if (pending.empty())
        return {};
    if (!m_prepared) {
        m_prepared = m_merge.prepare(
            QStringLiteral("INSERT INTO %1 (span_ms, channel, start_ms, minimum, maximum, frames) "
                           "VALUES (?, ?, ?, ?, ?, ?) ON CONFLICT (span_ms, channel, start_ms) DO UPDATE SET "
                           "minimum = %2, maximum = %3, frames = %1.frames + excluded.frames")
                .arg(QLatin1String(Table),
                     SqliteDialect::smaller(QStringLiteral("%1.minimum").arg(QLatin1String(Table)),
                                            QStringLiteral("excluded.minimum")),
                     SqliteDialect::larger(QStringLiteral("%1.maximum").arg(QLatin1String(Table)),
                                           QStringLiteral("excluded.maximum"))));
        if (!m_prepared)
            return m_merge.lastError().text();
    }
    for (const auto &[key, bucket] : pending) {
        for (int channel = 1; channel < int(bucket.channels.size()); ++channel) {
            if (!bucket.present.test(std::size_t(channel)))
                continue;
            const Extremes &extremes = bucket.channels[std::size_t(channel)];
            for (const QVariant &value : {QVariant(key.first), QVariant(channel), QVariant(key.second),
                                          QVariant(extremes.minimum), QVariant(extremes.maximum),
                                          QVariant(extremes.count)})
                m_merge.addBindValue(value);
            if (!m_merge.exec())
                return m_merge.lastError().text();
        }
    }
    return {};
}

qint64 ArchiveSummary::spanFor(qint64 fromMs, qint64 toMs, int slices)
{
    if (slices <= 0 || toMs <= fromMs)
        return 0;
    const qint64 range = toMs - fromMs;
    for (auto span = BucketSpansMs.rbegin(); span != BucketSpansMs.rend(); ++span) {
        const qint64 slice = range / slices;
        const bool whole = fromMs % *span == 0 && range % slices == 0 && slice >= *span && slice % *span == 0;
        if (whole || slice >= MinBucketsPerColumn * *span)
            return *span;
    }
    return 0;
}

QString ArchiveSummary::fill(QSqlDatabase &db)
{
    ArchiveSummary summary(db);
    for (const ArchiveSchema::FamilyTable &table : ArchiveSchema::FamilyTables) {
        QSqlQuery query(db);
        query.setForwardOnly(true);
        // In time order, so each batch touches few buckets.
        if (!query.exec(QStringLiteral("SELECT rx_time_ms, %2 FROM %1 ORDER BY rx_time_ms")
                            .arg(QLatin1String(table.table), ArchiveSchema::columnList(table))))
            return query.lastError().text();
        std::vector<double> values(std::size_t(table.lastChannel - table.firstChannel + 1));
        int rows = 0;
        while (query.next()) {
            ArchivedFrame::Present present;
            for (std::size_t i = 0; i < values.size(); ++i) {
                const QVariant value = query.value(int(i) + 1);
                if (!value.isNull()) {
                    values[i] = value.toDouble();
                    present.set(std::size_t(table.firstChannel) + i);
                }
            }
            summary.add(table.family, query.value(0).toLongLong(), present, values);
            if (++rows % FillBatchRows == 0) {
                const QString error = summary.write();
                if (!error.isEmpty())
                    return error;
            }
        }
        if (query.lastError().type() != QSqlError::NoError)
            return query.lastError().text();
        const QString error = summary.write();
        if (!error.isEmpty())
            return error;
    }
    return {};
}
