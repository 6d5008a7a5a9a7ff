#include "display/ChannelChart.h"

QString ChannelChart::captionFor(const QString &selectorCaption, const QString &unit)
{
    if (unit.isEmpty())
        return selectorCaption;
    return selectorCaption + QStringLiteral(" [") + unit + u']';
}

void ChannelChart::draw(int channel, const QString &selectorCaption, const QString &unit)
{
    m_channel = channel;
    m_caption = captionFor(selectorCaption, unit);
    m_family = TelemetryHistory::familyOf(channel);
    if (m_family && !TelemetryHistory::hasPlace(*m_family, channel))
        m_family.reset();
}

int ChannelChart::rowCount() const
{
    return m_family ? m_history.storedCount(*m_family) : 0;
}

double ChannelChart::value(int i) const
{
    return m_history.stored(*m_family, i).values[std::size_t(m_channel)];
}

ChannelChart::Row ChannelChart::row(int i) const
{
    const TelemetryHistory::Record &record = m_history.stored(*m_family, i);
    Row row;
    row.value = record.values[std::size_t(m_channel)];
    // Characters 12 to 16 of "yyyy-MM-dd HH:nn:ss.zzz UTC" are the hour and minute.
    row.label = record.rxTime.isEmpty() ? QString::number(i + 1) : record.rxTime.mid(11, 5);
    return row;
}
