#pragma once

#include <QChartView>
#include <QPoint>

class QCategoryAxis;
class QRubberBand;

// The chart of the plot window with its UTC time axis and the mouse: the wheel zooms about the
// pointer, a rectangle dragged with the left button zooms to its time span, dragging with the
// right or middle button pans, a double click asks for the range's full span again. It only
// moves the time span and says so; the plot window reads the data for it.
class PlotChartView : public QChartView
{
    Q_OBJECT
public:
    static constexpr int MaxTimeTicks = 8;
    static constexpr double WheelZoomFactor = 1.25; // per wheel notch
    static constexpr qint64 MinSpanMs = 10;

    explicit PlotChartView(QWidget *parent = nullptr);

    // Shows [fromMs, toMs) on the time axis (no signal).
    void setSpan(qint64 fromMs, qint64 toMs);
    qint64 fromMs() const { return m_fromMs; }
    qint64 toMs() const { return m_toMs; }
    QCategoryAxis *timeAxis() const { return m_timeAxis; }

    // Pixel columns of the plot area (at least 1).
    int plotColumns() const;
    // The time under a view position.
    qint64 timeAt(const QPoint &viewPosition) const;

    // What the wheel and the drags do, callable without a mouse.
    void zoomAbout(qint64 centreMs, double factor);
    void panByPixels(int dx);

signals:
    void spanChanged(qint64 fromMs, qint64 toMs); // by the user
    void resetRequested();
    void hovered(const QPoint &viewPosition);

protected:
    void wheelEvent(QWheelEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;

private:
    void changeSpan(qint64 fromMs, qint64 toMs);
    QRectF plotAreaInView() const;

    QCategoryAxis *m_timeAxis;
    QRubberBand *m_rubberBand;
    qint64 m_fromMs = 0;
    qint64 m_toMs = 1;
    enum class Drag { None, Rectangle, Pan };
    Drag m_drag = Drag::None;
    QPoint m_dragStart;
    QPoint m_lastPan;
};
