#pragma once

#include "app/TimeSource.h"

// A clock the test sets: local date, time and zone, moved on by hand.
class FakeTimeSource final : public TimeSource
{
public:
    FakeTimeSource() { set(QDate(2014, 8, 2), QTime(13, 5, 9, 123)); }

    LocalReading now() const override { return m_reading; }

    void set(const QDate &date, const QTime &time, const TimeZoneInfo &zone = {})
    {
        m_reading = {date, time, zone};
    }
    void advanceMs(int milliseconds)
    {
        const QDateTime moved = QDateTime(m_reading.date, m_reading.time, Qt::UTC)
                                    .addMSecs(milliseconds);
        m_reading.date = moved.date();
        m_reading.time = moved.time();
    }

private:
    LocalReading m_reading;
};
