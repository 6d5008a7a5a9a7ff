#pragma once

#include <QChartView>
#include <QElapsedTimer>
#include <QTimer>

class ChannelChart;
class QCategoryAxis;
class QLineSeries;
class QValueAxis;

// Plots the selected channel's history as one line. The Station announces a change after every
// satellite frame; this view coalesces those into at most a few repaints a second so a fast
// frame stream does not stall the window. Created by the main window inside Frame5.
class ChannelChartView : public QChartView
{
    Q_OBJECT
public:
    static constexpr int MaxLabels = 12;          // label axis stays readable with 2000 rows
    static constexpr int MinRedrawIntervalMs = 250;

    explicit ChannelChartView(QWidget *parent = nullptr);

    void setSource(const ChannelChart *source);
    // Redraws soon: at once if the last redraw is old enough, else when the interval has passed.
    void scheduleRedraw();
    void redrawNow();

    QLineSeries *series() const { return m_series; }
    QCategoryAxis *labelAxis() const { return m_labelAxis; }
    QValueAxis *valueAxis() const { return m_valueAxis; }

private:
    const ChannelChart *m_source = nullptr;
    QLineSeries *m_series;
    QCategoryAxis *m_labelAxis;
    QValueAxis *m_valueAxis;
    QTimer m_redrawTimer;
    QElapsedTimer m_sinceRedraw;
};
