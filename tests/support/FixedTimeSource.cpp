#include "support/FixedTimeSource.h"

void FixedTimeSource::set(const QDate &date, const QTime &time, int offsetMinutes)
{
    m_reading.date = date;
    m_reading.time = time;
    m_reading.zone.baseBias = -offsetMinutes;
    m_reading.zone.standardBias = 0;
    m_reading.zone.daylight = TimeZoneInfo::Daylight::NoDaylightSaving;
}
