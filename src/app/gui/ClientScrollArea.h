#pragma once

#include <QScrollArea>
#include <QSize>

// The main window's central widget: the designed client area at its fixed size inside a scroll
// area, so a screen smaller than the design still reaches every control. The client area is
// never widened and clips its children, so the hidden strip placed beyond its right edge stays
// hidden whatever the window's size. Made by MainWindow, which places its controls in
// clientArea().
class ClientScrollArea : public QScrollArea
{
    Q_OBJECT
public:
    ClientScrollArea(QSize clientSize, QWidget *parent = nullptr);

    QWidget *clientArea() const { return widget(); }
    // The whole client area without scroll bars.
    QSize sizeHint() const override;

    // The window size to open with: the wanted size, made to fit the available screen area,
    // with room for the scroll bars that a smaller size brings.
    static QSize fittingSize(QSize wanted, QSize available, int scrollBarExtent);
};
