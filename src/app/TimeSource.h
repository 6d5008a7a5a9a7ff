#pragma once

#include <QDate>
#include <QTime>

// The station's only window on the wall clock. The system source reads the operating system;
// tests hand the Station a fake one so midnight and foreign time zones can be set at will.

// Time-zone information in the operating system's sense: UTC = local time + bias (minutes).
struct TimeZoneInfo
{
    enum class Daylight { Unknown, StandardInForce, DaylightInForce, NoDaylightSaving };
    int baseBias = 0;     // B
    int standardBias = 0; // S
    int daylightBias = 0; // D
    Daylight daylight = Daylight::NoDaylightSaving;
};

// One reading of the local clock, to the millisecond, with the zone in force at that moment.
struct LocalReading
{
    QDate date;
    QTime time;
    TimeZoneInfo zone;
};

class TimeSource
{
public:
    virtual ~TimeSource() = default;
    virtual LocalReading now() const = 0;
};

// Reads the system clock and the zone through localtime_r (offset including summer time).
class SystemTimeSource final : public TimeSource
{
public:
    LocalReading now() const override;
};
