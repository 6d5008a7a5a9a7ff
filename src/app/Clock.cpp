#include "app/Clock.h"


std::int16_t timeZoneBiasFrom(const TimeZoneInfo &zone)
{
    const int bias = zone.daylight == TimeZoneInfo::Daylight::DaylightInForce
                         ? -(zone.baseBias + zone.daylightBias)
                         : -(zone.baseBias + zone.standardBias);
    return static_cast<std::int16_t>(bias);
}

namespace {

void appendPadded(QString &out, int value, int width)
{
    char digits[8];
    for (int i = width - 1; i >= 0; --i) {
        digits[i] = char('0' + value % 10);
        value /= 10;
    }
    out.append(QLatin1StringView(digits, width));
}

QDateTime toUtc(const LocalReading &reading, bool keepMilliseconds)
{
    const QTime time = keepMilliseconds ? reading.time
                                        : QTime(reading.time.hour(), reading.time.minute(),
                                                reading.time.second());
    // The local reading is a plain calendar value; shift it by the offset in UTC arithmetic.
    const QDateTime local(reading.date, time, Qt::UTC);
    return local.addSecs(-60LL * timeZoneBiasFrom(reading.zone));
}

} // namespace

QString formatTimestamp(const QDate &date, const QTime &time)
{
    QString text;
    text.reserve(23);
    appendPadded(text, date.year(), 4);
    text.append(u'-');
    appendPadded(text, date.month(), 2);
    text.append(u'-');
    appendPadded(text, date.day(), 2);
    text.append(u' ');
    appendPadded(text, time.hour(), 2);
    text.append(u':');
    appendPadded(text, time.minute(), 2);
    text.append(u':');
    appendPadded(text, time.second(), 2);
    text.append(u'.');
    appendPadded(text, time.msec(), 3);
    return text;
}

std::int16_t Clock::timeZoneBias() const
{
    return timeZoneBiasFrom(m_source.now().zone);
}

QDateTime Clock::utcNow() const
{
    return toUtc(m_source.now(), false);
}

QDateTime Clock::utcNowPrecise() const
{
    return toUtc(m_source.now(), true);
}

QString Clock::timestampNow() const
{
    const QDateTime utc = toUtc(m_source.now(), true);
    return formatTimestamp(utc.date(), utc.time());
}

QDate Clock::localDate() const
{
    return m_source.now().date;
}
