#pragma once

#include "store/UploadQueue.h"

#include <QList>

#include <map>
#include <set>
#include <utility>

// The upload queue held in memory, for the drain benchmark: the upload controller alone, without
// the database. Same contract as the station database's queue; the delivered entries are kept in
// order so the run can check that every frame arrived once.
class MemoryUploadQueue : public UploadQueue
{
public:
    EnqueueResult enqueue(qint64 rxTimeMs, QByteArrayView frame, const QByteArray &body) override
    {
        auto key = std::make_pair(rxTimeMs, frame.toByteArray());
        if (!m_waitingKeys.insert(key).second)
            return EnqueueResult::AlreadyWaiting;
        const qint64 id = ++m_lastId;
        m_waiting.emplace(id, Entry{PendingUpload{id, rxTimeMs, body, 0}, std::move(key)});
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

    void markFailedAttempt(qint64 id, const QString &) override
    {
        if (const auto found = m_waiting.find(id); found != m_waiting.end())
            ++found->second.pending.attempts;
    }

    void markRejected(qint64 id, const QString &) override { take(id); }

    qint64 waitingCount() override { return qint64(m_waiting.size()); }

    const QList<PendingUpload> &delivered() const { return m_delivered; }

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

    std::map<qint64, Entry> m_waiting; // by id: oldest first
    std::set<std::pair<qint64, QByteArray>> m_waitingKeys;
    QList<PendingUpload> m_delivered;
    qint64 m_lastId = 0;
};
