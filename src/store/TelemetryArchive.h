#pragma once

#include "store/ArchivedFrame.h"

#include <QString>

#include <functional>
#include <vector>

class QSqlQuery;
class StationDatabase;
namespace ArchiveSchema {
struct FamilyTable;
}

// The telemetry archive in the station database: every satellite frame with its decoded values.
// The Station adds each frame; at start it refills the history from it; export and the plots read
// time ranges from it. Writes are buffered by the database's writer; reads commit them first.
class TelemetryArchive
{
public:
    // One pixel column of a plot: the channel's extremes among the frames of a time slice.
    struct Bucket
    {
        int index = 0;          // 0 .. buckets - 1
        qint64 firstMs = 0;     // the slice's first ms: from + ceil(index * (to - from) / buckets)
        double minimum = 0;
        double maximum = 0;
        qint64 count = 0;       // frames with a value in the slice
    };

    struct Records
    {
        std::vector<ArchivedFrame> frames; // oldest first
        QString error;
    };

    struct Series
    {
        std::vector<Bucket> buckets; // only slices holding a value, in time order
        QString error;
    };

    explicit TelemetryArchive(StationDatabase &database);

    // A frame already archived (same reception time and bytes) is not added twice.
    void addFrame(const ArchivedFrame &frame);

    // The newest `count` records of a family, oldest first (for the in-memory history).
    Records latest(Family family, int count);

    // Every archived frame with fromMs <= rx time < toMs, in reception order, one at a time
    // (never all in memory). `visit` returns false to stop. "" on success, else the reason.
    QString forEachFrame(qint64 fromMs, qint64 toMs, const std::function<bool(const ArchivedFrame &)> &visit);

    // Minimum and maximum of one channel per time slice over [fromMs, toMs): no extreme is lost.
    // Wide slices are read from the archive's summary (ArchiveSummary::spanFor): exact when the
    // slices are whole aligned buckets, else a value may count in the slice before its own, by
    // less than one bucket (under a quarter of a slice).
    Series series(int channel, qint64 fromMs, qint64 toMs, int buckets);

    // Reception time range of the archive (for "all"); none when it is empty.
    std::optional<std::pair<qint64, qint64>> timeRange(QString *error = nullptr);

private:
    // `count` equal slices of the `spanMs` from fromMs.
    struct Slicing
    {
        qint64 fromMs;
        qint64 spanMs;
        int count;
    };
    QString readFrameSlices(const ArchiveSchema::FamilyTable &table, int channel, const Slicing &slicing,
                            qint64 fromMs, qint64 toMs, std::vector<Bucket> &buckets);
    QString readSummarySlices(qint64 bucketMs, int channel, const Slicing &slicing, qint64 fromMs, qint64 toMs,
                              std::vector<Bucket> &buckets);
    static QString appendSlices(QSqlQuery &query, const Slicing &slicing, std::vector<Bucket> &buckets);

    StationDatabase &m_database;
};
