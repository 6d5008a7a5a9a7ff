#include "app/gui/TwipLayout.h"

#include <QFrame>
#include <QLineEdit>
#include <QPainter>
#include <QPixmap>

namespace TwipLayout {

QPixmap indicatorPicture(const QColor &colour)
{
    QPixmap pixmap(20, 20);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(colour.darker(160), 1));
    painter.setBrush(colour);
    painter.drawEllipse(QRectF(2.5, 2.5, 15, 15));
    return pixmap;
}

QFrame *horizontalRule(const char *name, int y, QWidget *parent)
{
    auto *line = new QFrame(parent);
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Plain);
    line->setLineWidth(1);
    return place(line, name, QRect(px(120), px(y), px(11040 - 120), 1));
}

void setBase(QLineEdit *box, const QColor &colour)
{
    QPalette palette = box->palette();
    palette.setColor(QPalette::Base, colour);
    box->setPalette(palette);
}

} // namespace TwipLayout
