#include "display/gui/ChannelChartView.h"

#include "display/ChannelChart.h"

#include <QCategoryAxis>
#include <QChart>
#include <QLineSeries>
#include <QSet>
#include <QValueAxis>

#include <algorithm>
#include <cmath>

ChannelChartView::ChannelChartView(QWidget *parent)
    : QChartView(new QChart, parent), // the view owns this chart; a replaced one would leak
      m_series(new QLineSeries),
      m_labelAxis(new QCategoryAxis),
      m_valueAxis(new QValueAxis)
{
    QChart *chart = this->chart();
    chart->legend()->hide();
    chart->setMargins(QMargins(2, 2, 2, 2));
    chart->setBackgroundRoundness(0);
    chart->addSeries(m_series);
    m_labelAxis->setLabelsPosition(QCategoryAxis::AxisLabelsPositionOnValue);
    QFont small = m_labelAxis->labelsFont();
    small.setPixelSize(9);
    m_labelAxis->setLabelsFont(small);
    m_valueAxis->setLabelsFont(small);
    chart->addAxis(m_labelAxis, Qt::AlignBottom);
    chart->addAxis(m_valueAxis, Qt::AlignLeft);
    m_series->attachAxis(m_labelAxis);
    m_series->attachAxis(m_valueAxis);
    setRenderHint(QPainter::Antialiasing, false);

    m_redrawTimer.setSingleShot(true);
    connect(&m_redrawTimer, &QTimer::timeout, this, &ChannelChartView::redrawNow);
    m_sinceRedraw.start();
    redrawNow();
}

void ChannelChartView::setSource(const ChannelChart *source)
{
    m_source = source;
    scheduleRedraw();
}

void ChannelChartView::scheduleRedraw()
{
    if (m_redrawTimer.isActive())
        return;
    const qint64 wait = MinRedrawIntervalMs - m_sinceRedraw.elapsed();
    m_redrawTimer.start(int(std::max<qint64>(0, wait)));
}

void ChannelChartView::redrawNow()
{
    m_redrawTimer.stop();
    m_sinceRedraw.restart();

    const int n = m_source ? m_source->rowCount() : 0;
    QList<QPointF> points;
    points.reserve(n);
    double low = 0;
    double high = 0;
    for (int i = 0; i < n; ++i) {
        const double value = m_source->value(i);
        low = i == 0 ? value : std::min(low, value);
        high = i == 0 ? value : std::max(high, value);
        points.append(QPointF(i + 1, value));
    }
    m_series->replace(points);

    for (const QString &label : m_labelAxis->categoriesLabels())
        m_labelAxis->remove(label);
    m_labelAxis->setStartValue(0.5);
    m_labelAxis->setRange(0.5, std::max(n, 1) + 0.5);
    // A subset of labels, evenly spread; the axis refuses a label twice (many frames share a
    // minute), so a repeated one is left out.
    const int step = std::max(1, (n + MaxLabels - 1) / MaxLabels);
    QSet<QString> used;
    for (int i = 0; i < n; i += step) {
        const QString label = m_source->row(i).label;
        if (used.contains(label))
            continue;
        used.insert(label);
        m_labelAxis->append(label, i + 1);
    }

    if (n == 0) {
        low = 0;
        high = 1;
    } else if (low == high) {
        low -= 1;
        high += 1;
    }
    m_valueAxis->setRange(low, high);
}
