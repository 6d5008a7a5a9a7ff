#pragma once

#include "telemetry/ChannelTable.h"

#include <QColor>
#include <QRect>
#include <QString>

class QFrame;
class QLineEdit;
class QPixmap;
class QWidget;

// Helpers that place the main window's controls at their designed positions, given in twips
// (15 per pixel), and draw its small pictures. Used by MainWindow only.
namespace TwipLayout {

constexpr int px(int twips)
{
    return (twips + ChannelTable::TwipsPerPixel / 2) / ChannelTable::TwipsPerPixel;
}

inline QRect pixels(int left, int top, int width, int height)
{
    return QRect(px(left), px(top), px(width), px(height));
}

inline QRect pixels(const ChannelTable::Rect &rect, int originLeft = 0, int originTop = 0)
{
    return pixels(rect.left - originLeft, rect.top - originTop, rect.width, rect.height);
}

inline const QColor White(255, 255, 255);
inline const QColor Highlight(255, 255, 192);

template<typename Widget>
Widget *place(Widget *widget, const char *name, const QRect &geometry)
{
    widget->setObjectName(QString::fromLatin1(name));
    widget->setGeometry(geometry);
    return widget;
}

// The link indicator: a filled circle of the given colour.
QPixmap indicatorPicture(const QColor &colour);
// A one-pixel rule across the client area at height y (twips).
QFrame *horizontalRule(const char *name, int y, QWidget *parent);
// The background of a value box (white, or the highlight of the selected channel).
void setBase(QLineEdit *box, const QColor &colour);

} // namespace TwipLayout
