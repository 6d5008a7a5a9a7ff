#pragma once

#include <QObject>
#include <QString>

#include <deque>

class Clock;

// The activity log the window and the headless runner show: entries "timestamp: message\r\n",
// newest first, at most MaxEntries. The one place an entry is formatted; every part of the
// Station reports through it (the Station connects their messages to add()).
class ActivityLog : public QObject
{
    Q_OBJECT
public:
    static constexpr int MaxEntries = 10000;

    explicit ActivityLog(const Clock &clock, QObject *parent = nullptr);

    // A timestamped entry at the top.
    void add(const QString &message);
    // An entry exactly as given; at the top or, for the few lines that go there, the bottom.
    void addEntry(const QString &entry, bool atTop);

    const std::deque<QString> &entries() const { return m_entries; }
    QString text() const; // all entries joined, newest first

signals:
    void entryAdded(const QString &entry, bool atTop);

private:
    const Clock &m_clock;
    std::deque<QString> m_entries;
};
