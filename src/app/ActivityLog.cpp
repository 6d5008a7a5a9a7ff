#include "app/ActivityLog.h"

#include "app/Clock.h"

ActivityLog::ActivityLog(const Clock &clock, QObject *parent) : QObject(parent), m_clock(clock) {}

void ActivityLog::add(const QString &message)
{
    addEntry(m_clock.timestampNow() + QStringLiteral(": ") + message + QStringLiteral("\r\n"), true);
}

void ActivityLog::addEntry(const QString &entry, bool atTop)
{
    if (atTop) {
        m_entries.push_front(entry);
        if (m_entries.size() > std::size_t(MaxEntries))
            m_entries.pop_back();
    } else {
        if (m_entries.size() >= std::size_t(MaxEntries))
            m_entries.pop_back();
        m_entries.push_back(entry);
    }
    emit entryAdded(entry, atTop);
}

QString ActivityLog::text() const
{
    QString text;
    for (const QString &entry : m_entries)
        text += entry;
    return text;
}
