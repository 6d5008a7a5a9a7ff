// The schema (version in PRAGMA user_version):
//
// Version 1: received frames and their upload state.
//   frames        id (row id), rx_time_ms BIGINT (reception, ms since 1970 UTC),
//                 frame_hash BIGINT (64-bit FNV-1a of the bytes), frame BLOB, packet_type TEXT
//                 unique index (rx_time_ms, frame_hash): finds a frame already stored and
//                 serves every reception-time range and order.
//   upload_queue  id (row id), frame_id -> frames.id, rx_time_ms (copied, for the order),
//                 state (0 waiting, 1 delivered, 2 rejected), body BLOB (the request body as
//                 built at reception), attempts, last_error TEXT
//                 index (state, rx_time_ms, id): the oldest waiting entry and the counts.
//
// Version 2: the telemetry archive.
//   frames        + sat_time TEXT (EPS debug data; "" for the others)
//   eps_debug, com_housekeeping, cdhs_beacon, adcs_measurement: one row per decoded frame,
//                 frame_id (row id = frames.id), rx_time_ms BIGINT, one REAL column c<N> per
//                 channel the family decoder fills (NULL: the frame did not carry it);
//                 index (rx_time_ms) for the latest records, time ranges and plot series.
//
// Version 3: the min/max summary for plots over long ranges (ArchiveSummary).
//   channel_summary  span_ms BIGINT (bucket size: 600000 or 3600000), channel INTEGER,
//                 start_ms BIGINT (the bucket's first ms, a multiple of span_ms), minimum REAL,
//                 maximum REAL, frames BIGINT (values in the bucket); primary key
//                 (span_ms, channel, start_ms), no row id: one channel's buckets in time order.
//                 Kept in the same transaction as the frame rows; filled from them here.
//
// Steps are never edited once released; a change is a new version with its own step.
#include "store/SchemaMigrations.h"

#include "store/ArchiveSchema.h"
#include "store/ArchiveSummary.h"
#include "store/SqliteDialect.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QStringList>

namespace SchemaMigrations {

namespace {

QStringList version1()
{
    const QString id = QLatin1String(SqliteDialect::IdColumn);
    const QString bytes = QLatin1String(SqliteDialect::BytesType);
    return {
        QStringLiteral("CREATE TABLE frames (id %1, rx_time_ms BIGINT NOT NULL, "
                       "frame_hash BIGINT NOT NULL, frame %2 NOT NULL, packet_type TEXT NOT NULL)")
            .arg(id, bytes),
        QStringLiteral("CREATE UNIQUE INDEX frames_by_time ON frames (rx_time_ms, frame_hash)"),
        QStringLiteral("CREATE TABLE upload_queue (id %1, frame_id BIGINT NOT NULL REFERENCES frames (id), "
                       "rx_time_ms BIGINT NOT NULL, state INTEGER NOT NULL, body %2 NOT NULL, "
                       "attempts INTEGER NOT NULL DEFAULT 0, last_error TEXT NOT NULL DEFAULT '')")
            .arg(id, bytes),
        QStringLiteral("CREATE INDEX upload_queue_by_state ON upload_queue (state, rx_time_ms, id)"),
    };
}

QStringList version2()
{
    QStringList statements{
        QStringLiteral("ALTER TABLE frames ADD COLUMN sat_time TEXT NOT NULL DEFAULT ''"),
    };
    for (const ArchiveSchema::FamilyTable &table : ArchiveSchema::FamilyTables) {
        QString columns;
        for (int channel = table.firstChannel; channel <= table.lastChannel; ++channel)
            columns += QStringLiteral(", %1 REAL").arg(ArchiveSchema::columnOf(channel));
        statements << QStringLiteral("CREATE TABLE %1 (frame_id %2 REFERENCES frames (id), "
                                     "rx_time_ms BIGINT NOT NULL%3)")
                          .arg(QLatin1String(table.table), QLatin1String(SqliteDialect::IdColumn), columns)
                   << QStringLiteral("CREATE INDEX %1_by_time ON %1 (rx_time_ms)").arg(QLatin1String(table.table));
    }
    return statements;
}

QStringList version3()
{
    return {QStringLiteral("CREATE TABLE %1 (span_ms BIGINT NOT NULL, channel INTEGER NOT NULL, "
                           "start_ms BIGINT NOT NULL, minimum REAL NOT NULL, maximum REAL NOT NULL, "
                           "frames BIGINT NOT NULL, PRIMARY KEY (span_ms, channel, start_ms))%2")
                .arg(QLatin1String(ArchiveSummary::Table), QLatin1String(SqliteDialect::KeyedTableOptions))};
}

// A step: its statements, then (optionally) rows computed from what the database holds.
struct Step
{
    QStringList (*statements)();
    QString (*fill)(QSqlDatabase &db);
};

QString runStep(QSqlDatabase &db, int toVersion, const Step &step)
{
    if (!db.transaction())
        return db.lastError().text();
    QString error;
    QSqlQuery query(db);
    for (const QString &statement : step.statements()) {
        if (!query.exec(statement)) {
            error = query.lastError().text();
            break;
        }
    }
    if (error.isEmpty() && step.fill)
        error = step.fill(db);
    if (error.isEmpty())
        error = SqliteDialect::setSchemaVersion(db, toVersion).text();
    if (error.isEmpty() && !db.commit())
        error = db.lastError().text();
    if (!error.isEmpty()) {
        db.rollback();
        return QStringLiteral("updating the schema to version %1 failed: %2").arg(toVersion).arg(error);
    }
    return {};
}

} // namespace

QString migrate(QSqlDatabase &db, int fromVersion)
{
    constexpr Step steps[CurrentVersion] = {{version1, nullptr}, {version2, nullptr},
                                            {version3, ArchiveSummary::fill}};
    for (int version = fromVersion; version < CurrentVersion; ++version) {
        const QString error = runStep(db, version + 1, steps[version]);
        if (!error.isEmpty())
            return error;
    }
    return {};
}

} // namespace SchemaMigrations
