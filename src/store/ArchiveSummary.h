#pragma once

#include "store/ArchivedFrame.h"

#include <QSqlDatabase>
#include <QSqlQuery>
#include <QString>

#include <array>
#include <map>
#include <span>
#include <utility>

// The archive's min/max summary: per channel, the minimum, maximum and number of values in fixed
// time buckets of two sizes, kept as frames are archived, so a plot over a long range reads a few
// thousand bucket rows instead of every frame row. Buckets of a size start at its multiples
// (ms since 1970), so a coarser read that cuts at bucket starts is exact.
//
// Used from whichever single thread owns the connection: add() per newly archived family row
// (memory only), write() once inside the commit's transaction (one statement per touched bucket
// and channel), clear() when a commit is abandoned so its rows are not counted twice.
class ArchiveSummary
{
public:
    static constexpr char Table[] = "channel_summary";
    // 10 minutes and 1 hour: all time of a few months is some ten thousand fine rows per channel,
    // years some ten thousand coarse ones; a channel costs about one row per 10 minutes it is
    // received in.
    static constexpr std::array<qint64, 2> BucketSpansMs{10 * 60 * 1000, 60 * 60 * 1000};
    // A bucket is summed into the plot column where it starts, so a spike late in a bucket that
    // straddles two columns is drawn up to one bucket early. Buckets are read only where a column
    // spans at least this many of them: the shift stays under a quarter pixel, which cannot be
    // seen. Narrower columns read the frame rows (exact).
    static constexpr qint64 MinBucketsPerColumn = 4;

    explicit ArchiveSummary(const QSqlDatabase &db);

    // One newly archived row of `family`; familyValues holds its channels first to last, only
    // the `present` ones count.
    void add(Family family, qint64 rxTimeMs, const ArchivedFrame::Present &present,
             std::span<const double> familyValues);
    // Merges what was added into the table, in the caller's transaction, and forgets it either
    // way (a failed commit is rolled back and its frames are added again). "" or the reason.
    QString write();
    void clear() { m_pending.clear(); }

    // The first ms of the bucket of `spanMs` holding timeMs (reception times are after 1970).
    static qint64 bucketStart(qint64 timeMs, qint64 spanMs) { return timeMs / spanMs * spanMs; }
    // The bucket size to read for `slices` equal slices of [fromMs, toMs): the coarsest whose
    // buckets either fit whole into slices that start at bucket starts (exact) or are at most
    // 1/MinBucketsPerColumn of a slice. 0: read the frame rows.
    static qint64 spanFor(qint64 fromMs, qint64 toMs, int slices);

    // Builds the summary of the frames archived so far (the migration that adds the table).
    static QString fill(QSqlDatabase &db);

private:
    struct Extremes
    {
        double minimum = 0;
        double maximum = 0;
        qint64 count = 0;
    };
    // One bucket of one size, all channels (index: channel number).
    struct Bucket
    {
        ArchivedFrame::Present present;
        std::array<Extremes, TelemetryHistory::ChannelCount + 1> channels{};
    };

    QSqlDatabase m_db;
    QSqlQuery m_merge;
    bool m_prepared = false;
    std::map<std::pair<qint64, qint64>, Bucket> m_pending; // (span, start) -> bucket
};
