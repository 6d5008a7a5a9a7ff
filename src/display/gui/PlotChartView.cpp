#include "display/gui/PlotChartView.h"

#include "display/PlotTimeTicks.h"

#include <QCategoryAxis>
#include <QChart>
#include <QMouseEvent>
#include <QRubberBand>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>

PlotChartView::PlotChartView(QWidget *parent)
    : QChartView(new QChart, parent), // the view owns this chart
      m_timeAxis(new QCategoryAxis),
      m_rubberBand(new QRubberBand(QRubberBand::Rectangle, this))
{
    chart()->setBackgroundRoundness(0);
    m_timeAxis->setLabelsPosition(QCategoryAxis::AxisLabelsPositionOnValue);
    m_timeAxis->setTitleText(QStringLiteral("UTC"));
    chart()->addAxis(m_timeAxis, Qt::AlignBottom);
    setRubberBand(QChartView::NoRubberBand); // our own: it zooms the time axis only
    setMouseTracking(true);
    setSpan(0, 1);
}

void PlotChartView::setSpan(qint64 fromMs, qint64 toMs)
{
    m_fromMs = fromMs;
    m_toMs = std::max(toMs, fromMs + 1);
    for (const QString &label : m_timeAxis->categoriesLabels())
        m_timeAxis->remove(label);
    m_timeAxis->setStartValue(double(m_fromMs) - 1); // a tick may fall on fromMs itself
    for (const PlotTimeTicks::Tick &tick : PlotTimeTicks::ticks(m_fromMs, m_toMs, MaxTimeTicks))
        m_timeAxis->append(tick.label, double(tick.timeMs));
    m_timeAxis->setRange(double(m_fromMs), double(m_toMs));
}

int PlotChartView::plotColumns() const
{
    return std::max(1, int(chart()->plotArea().width()));
}

QRectF PlotChartView::plotAreaInView() const
{
    return mapFromScene(chart()->mapToScene(chart()->plotArea())).boundingRect();
}

qint64 PlotChartView::timeAt(const QPoint &viewPosition) const
{
    const QRectF area = plotAreaInView();
    const double share = area.width() > 0 ? (viewPosition.x() - area.left()) / area.width() : 0.5;
    return m_fromMs + qint64(std::llround(std::clamp(share, 0.0, 1.0) * double(m_toMs - m_fromMs)));
}

void PlotChartView::zoomAbout(qint64 centreMs, double factor)
{
    const double from = double(centreMs) - double(centreMs - m_fromMs) / factor;
    const double to = double(centreMs) + double(m_toMs - centreMs) / factor;
    changeSpan(qint64(std::llround(from)), qint64(std::llround(to)));
}

void PlotChartView::panByPixels(int dx)
{
    const qint64 shift = qint64(std::llround(double(dx) * double(m_toMs - m_fromMs) / plotColumns()));
    changeSpan(m_fromMs - shift, m_toMs - shift);
}

void PlotChartView::changeSpan(qint64 fromMs, qint64 toMs)
{
    if (toMs - fromMs < MinSpanMs) {
        const qint64 centre = fromMs + (toMs - fromMs) / 2;
        fromMs = centre - MinSpanMs / 2;
        toMs = fromMs + MinSpanMs;
    }
    if (fromMs == m_fromMs && toMs == m_toMs)
        return;
    setSpan(fromMs, toMs);
    emit spanChanged(m_fromMs, m_toMs);
}

void PlotChartView::wheelEvent(QWheelEvent *event)
{
    const double notches = event->angleDelta().y() / 120.0;
    if (notches == 0) {
        event->ignore();
        return;
    }
    zoomAbout(timeAt(event->position().toPoint()), std::pow(WheelZoomFactor, notches));
    event->accept();
}

void PlotChartView::mousePressEvent(QMouseEvent *event)
{
    m_dragStart = event->position().toPoint();
    m_lastPan = m_dragStart;
    if (event->button() == Qt::LeftButton) {
        m_drag = Drag::Rectangle;
        m_rubberBand->setGeometry(QRect(m_dragStart, QSize()));
        m_rubberBand->show();
    } else if (event->button() == Qt::RightButton || event->button() == Qt::MiddleButton) {
        m_drag = Drag::Pan;
    }
    event->accept();
}

void PlotChartView::mouseMoveEvent(QMouseEvent *event)
{
    const QPoint position = event->position().toPoint();
    if (m_drag == Drag::Rectangle) {
        m_rubberBand->setGeometry(QRect(m_dragStart, position).normalized());
    } else if (m_drag == Drag::Pan) {
        panByPixels(position.x() - m_lastPan.x());
        m_lastPan = position;
    }
    emit hovered(position);
    event->accept();
}

void PlotChartView::mouseReleaseEvent(QMouseEvent *event)
{
    if (m_drag == Drag::Rectangle) {
        m_rubberBand->hide();
        const QPoint end = event->position().toPoint();
        // A click or a tiny drag is not a zoom.
        if (std::abs(end.x() - m_dragStart.x()) >= 4) {
            const qint64 a = timeAt(m_dragStart);
            const qint64 b = timeAt(end);
            changeSpan(std::min(a, b), std::max(a, b));
        }
    }
    m_drag = Drag::None;
    event->accept();
}

void PlotChartView::mouseDoubleClickEvent(QMouseEvent *event)
{
    m_drag = Drag::None;
    m_rubberBand->hide();
    emit resetRequested();
    event->accept();
}
