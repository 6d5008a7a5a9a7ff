#pragma once

#include "decode/TelemetryHistory.h"

#include <QString>

#include <optional>

// What the chart box shows for the selected channel: its caption and one row per stored record
// of the channel's family. Rows are read straight from the history when asked for, so a redraw
// after every frame costs nothing until a view actually paints. Owned by the Station; read by
// the chart view.
class ChannelChart
{
public:
    struct Row
    {
        QString label; // "HH:nn" of the reception time, or the row number (1, 2, ...)
        double value = 0;
    };

    explicit ChannelChart(const TelemetryHistory &history) : m_history(history) {}

    // The box caption: the selector caption, then " [unit]" if there is a unit.
    static QString captionFor(const QString &selectorCaption, const QString &unit);

    // Points the chart at a channel. A number without a family, or without a place in its
    // family's record, plots nothing.
    void draw(int channel, const QString &selectorCaption, const QString &unit);

    int channel() const { return m_channel; }
    QString caption() const { return m_caption; }
    int rowCount() const;
    // Row i (0 = oldest stored record); i must lie in 0..rowCount()-1.
    Row row(int i) const;
    double value(int i) const;

private:
    const TelemetryHistory &m_history;
    int m_channel = 0;
    std::optional<Family> m_family; // unset: nothing to plot
    QString m_caption;
};
