#pragma once

#include "decode/TelemetryHistory.h"
#include "display/ChannelChart.h"

#include <QObject>
#include <QString>

#include <array>

// What the channel area of the window shows: each channel's caption, unit and value-box text,
// the selected and the highlighted channel, and the chart of the selected channel. The Station
// fills it at start-up and refreshes it after every satellite frame; the window renders it.
class ChannelDisplay : public QObject
{
    Q_OBJECT
public:
    static constexpr int ChannelCount = TelemetryHistory::ChannelCount;

    explicit ChannelDisplay(const TelemetryHistory &history, QObject *parent = nullptr);

    // The start-up step: captions of channels 1..48 and the units of every channel that has one.
    void fillCaptionsAndUnits();
    // The value boxes from the latest record of each family (after every satellite frame).
    void refreshTexts(QStringView decimalPoint);
    // Chooses the channel the chart follows without marking its selector (start-up).
    void followChannel(int channel) { m_selectedChannel = channel; }
    // A click on a selector: marks it, highlights its box and plots the channel.
    void selectChannel(int channel);
    // Points the chart at the selected channel again (after every satellite frame).
    void refreshChart();

    QString caption(int channel) const { return at(m_captions, channel); }
    QString unit(int channel) const { return at(m_units, channel); }
    QString text(int channel) const { return at(m_texts, channel); }
    int selectedChannel() const { return m_selectedChannel; }
    // 0 until the first click: start-up plots channel 1 without marking it.
    int highlightedChannel() const { return m_highlightedChannel; }
    const ChannelChart &chart() const { return m_chart; }

signals:
    void captionsChanged();
    void textsChanged();
    void selectionChanged(int channel);
    void chartChanged(); // caption or rows may differ; views coalesce their redraws

private:
    using Texts = std::array<QString, ChannelCount + 1>;
    static QString at(const Texts &texts, int channel)
    {
        return channel >= 1 && channel <= ChannelCount ? texts[std::size_t(channel)] : QString();
    }

    const TelemetryHistory &m_history;
    Texts m_captions;
    Texts m_units;
    Texts m_texts;
    int m_selectedChannel = 0;
    int m_highlightedChannel = 0;
    ChannelChart m_chart;
};
