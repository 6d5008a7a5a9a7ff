#pragma once

#include "store/UploadQueue.h"

#include <QList>
#include <QPair>
#include <QStringList>

#include <map>
#include <set>
#include <utility>

// The upload queue held in memory, for the drain benchmark: the upload controller alone, without
// the database. Same contract as the station database's queue; what was delivered and rejected
// is kept in order so the run can check that every frame arrived once.
class MemoryUploadQueue : public UploadQueue
{
public:
    struct Rejection
    {
        PendingUpload entry;
        QString reason;
    };

    EnqueueResult enqueue(qint64 rxTimeMs, QByteArrayView frame, const QByteArray &body) override
    {
        if (m_failEnqueue)
            return EnqueueResult::Failed;
        auto key = std::make_pair(rxTimeMs, frame.toByteArray());
        if (m_waitingKeys.count(key))
            return EnqueueResult::AlreadyWaiting;
        const qint64 id = ++m_lastId;
        m_waiting.emplace(id, Entry{PendingUpload{id, rxTimeMs, body, 0}, key});
        m_waitingKeys.insert(std::move(key));
        return EnqueueResult::Queued;
    }

    std::optional<PendingUpload> oldestWaiting() override
    {
        if (m_waiting.empty())
            return std::nullopt;
        return m_waiting.begin()->second.pending;
    }

    void markDelivered(qint64 id) override
    {
        if (auto entry = take(id))
            m_delivered.append(entry->pending);
    }

    void markFailedAttempt(qint64 id, const QString &reason) override
    {
        const auto found = m_waiting.find(id);
        if (found == m_waiting.end())
            return;
        ++found->second.pending.attempts;
        m_failureReasons.append(reason);
    }

    void markRejected(qint64 id, const QString &reason) override
    {
        if (auto entry = take(id))
            m_rejected.append({entry->pending, reason});
    }

    qint64 waitingCount() override { return qint64(m_waiting.size()); }

    const QList<PendingUpload> &delivered() const { return m_delivered; }
    const QList<Rejection> &rejected() const { return m_rejected; }
    const QStringList &failureReasons() const { return m_failureReasons; }
    void setFailEnqueue(bool fail) { m_failEnqueue = fail; }

private:
    struct Entry
    {
        PendingUpload pending;
        std::pair<qint64, QByteArray> key;
    };

    std::optional<Entry> take(qint64 id)
    {
        const auto found = m_waiting.find(id);
        if (found == m_waiting.end())
            return std::nullopt;
        Entry entry = std::move(found->second);
        m_waiting.erase(found);
        m_waitingKeys.erase(entry.key);
        return entry;
    }

    qint64 m_lastId = 0;
    std::map<qint64, Entry> m_waiting; // ids grow with each enqueue: the first is the oldest
    std::set<std::pair<qint64, QByteArray>> m_waitingKeys;
    QList<PendingUpload> m_delivered;
    QList<Rejection> m_rejected;
    QStringList m_failureReasons;
    bool m_failEnqueue = false;
};
