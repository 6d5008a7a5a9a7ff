#include "app/TimeSource.h"

#include <ctime>
#include <sys/time.h>

LocalReading SystemTimeSource::now() const
{
    timeval tv{};
    gettimeofday(&tv, nullptr);
    tm local{};
    localtime_r(&tv.tv_sec, &local);

    LocalReading reading;
    reading.date = QDate(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday);
    reading.time = QTime(local.tm_hour, local.tm_min, local.tm_sec, int(tv.tv_usec / 1000));
    // Express the offset as B plus S or D: UTC = local + bias, so the whole bias is -gmtoff.
    const int wholeBias = -int(local.tm_gmtoff / 60);
    if (local.tm_isdst > 0) {
        reading.zone.baseBias = wholeBias + 60;
        reading.zone.daylightBias = -60;
        reading.zone.daylight = TimeZoneInfo::Daylight::DaylightInForce;
    } else {
        reading.zone.baseBias = wholeBias;
        reading.zone.daylight = local.tm_isdst == 0 ? TimeZoneInfo::Daylight::StandardInForce
                                                    : TimeZoneInfo::Daylight::Unknown;
    }
    return reading;
}
