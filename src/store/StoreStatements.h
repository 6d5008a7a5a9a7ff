#pragma once

#include "store/ArchiveSummary.h"
#include "store/BoundStatement.h"
#include "store/StoreWrite.h"

#include <QHash>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QString>

#include <array>
#include <memory>
#include <utility>

namespace ArchiveSchema {
struct FamilyTable;
}

// The writer's prepared statements on one connection, prepared once: preparing the wide family
// inserts costs more than running them. Applies buffered writes inside the caller's transaction.
class StoreStatements
{
public:
    explicit StoreStatements(const QSqlDatabase &db);

    bool ok() const { return m_ok; }
    QString error() const { return m_error; }
    void beginCommit()
    {
        m_idsThisCommit.clear();
        m_summary.clear();
    }
    // Merges this commit's family rows into the min/max summary; "" or the reason.
    QString writeSummary() { return m_summary.write(); }

    // Applies one write; `*waitingDelta` changes by the waiting entries it adds or ends.
    bool apply(const StoreWrite &write, qint64 *waitingDelta);

private:
    bool run(QSqlQuery &query);
    qint64 frameIdFor(const StoreWrite &write, const QString &packetType, const QString &satTime,
                      bool *added = nullptr);
    bool addFrame(const StoreWrite &write);
    bool enqueue(const StoreWrite &write, qint64 *waitingDelta);
    bool recordOutcome(const StoreWrite &write, qint64 *waitingDelta);

    bool run(BoundStatement &statement);

    QSqlQuery m_findFrame;
    std::unique_ptr<BoundStatement> m_insertFrame;   // per frame: bound natively where possible
    QSqlQuery m_completeFrame;
    std::unique_ptr<BoundStatement> m_insertQueued;  // per frame
    QSqlQuery m_delivered;
    QSqlQuery m_failedAttempt;
    QSqlQuery m_rejected;
    std::array<std::unique_ptr<BoundStatement>, 4> m_insertValues; // by family, per frame
    ArchiveSummary m_summary; // the min/max buckets of this commit's family rows
    QHash<std::pair<qint64, qint64>, qint64> m_idsThisCommit; // (rx time, hash) -> frame id
    bool m_ok = false;
    QString m_error;
};
