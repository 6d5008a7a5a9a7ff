#pragma once

#include "app/TimeSource.h"

// A clock that reads whatever the test sets: local date and time and the zone offset.
class FixedTimeSource final : public TimeSource
{
public:
    // offsetMinutes: local minus UTC (no summer time).
    void set(const QDate &date, const QTime &time, int offsetMinutes = 0);
    LocalReading now() const override { return m_reading; }

private:
    LocalReading m_reading;
};
