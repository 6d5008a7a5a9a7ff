#include "display/ChannelDisplay.h"

#include "decode/ChannelRefresh.h"
#include "telemetry/ChannelTable.h"

ChannelDisplay::ChannelDisplay(const TelemetryHistory &history, QObject *parent)
    : QObject(parent), m_history(history), m_chart(history)
{
    // Captions of channels other than 1..48 belong to the layout; the rest come at start-up.
    for (const ChannelTable::Row &row : ChannelTable::rows()) {
        if (row.channel > 48)
            m_captions[std::size_t(row.channel)] = QString::fromUtf8(row.caption);
    }
}

void ChannelDisplay::fillCaptionsAndUnits()
{
    for (int channel = 1; channel <= 48; ++channel)
        m_captions[std::size_t(channel)] = ChannelTable::captionOf(channel);
    for (int channel = 1; channel <= ChannelCount; ++channel)
        m_units[std::size_t(channel)] = ChannelTable::unitOf(channel);
    emit captionsChanged();
}

void ChannelDisplay::refreshTexts(QStringView decimalPoint)
{
    refreshChannelTexts(m_history, m_texts, decimalPoint);
    emit textsChanged();
}

void ChannelDisplay::selectChannel(int channel)
{
    m_selectedChannel = channel;
    m_highlightedChannel = channel; // every other selector is unmarked, across all group boxes
    emit selectionChanged(channel);
    if (channel > ChannelCount)
        return;
    refreshChart();
}

void ChannelDisplay::refreshChart()
{
    // Only the caption is built here; the rows are read from the history when a view paints.
    m_chart.draw(m_selectedChannel, caption(m_selectedChannel), unit(m_selectedChannel));
    emit chartChanged();
}
