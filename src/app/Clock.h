#pragma once

#include "app/TimeSource.h"

#include <QDateTime>
#include <QString>

#include <cstdint>

// The three clock functions every log line, file name and upload uses. Holds no state:
// the zone is read afresh on each call. Owned by the Station; the window reads it for the label.

// Offset in minutes, local minus UTC, from the operating system's zone information.
std::int16_t timeZoneBiasFrom(const TimeZoneInfo &zone);

// "yyyy-MM-dd HH:nn:ss.zzz", 23 characters.
QString formatTimestamp(const QDate &date, const QTime &time);

class Clock
{
public:
    explicit Clock(const TimeSource &source) : m_source(source) {}

    std::int16_t timeZoneBias() const;
    // UTC date-time to the second (milliseconds dropped), as a UTC QDateTime.
    QDateTime utcNow() const;
    // UTC date-time with milliseconds, from one reading.
    QDateTime utcNowPrecise() const;
    QString timestampNow() const;
    // The local calendar date, for names that follow the user's day (screenshots).
    QDate localDate() const;

private:
    const TimeSource &m_source;
};
