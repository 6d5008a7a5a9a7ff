#include "app/gui/ClientScrollArea.h"

ClientScrollArea::ClientScrollArea(QSize clientSize, QWidget *parent) : QScrollArea(parent)
{
    setObjectName(QStringLiteral("clientScrollArea"));
    setFrameShape(QFrame::NoFrame);
    setWidgetResizable(false);
    setAlignment(Qt::AlignLeft | Qt::AlignTop);
    auto *client = new QWidget;
    client->setObjectName(QStringLiteral("ClientArea"));
    client->setFixedSize(clientSize);
    setWidget(client);
}

QSize ClientScrollArea::sizeHint() const
{
    return widget()->size() + QSize(2 * frameWidth(), 2 * frameWidth());
}

QSize ClientScrollArea::fittingSize(QSize wanted, QSize available, int scrollBarExtent)
{
    if (!available.isValid())
        return wanted;
    // A scroll bar in one direction takes room from the other: widen for a vertical one, so a
    // window that is only too high does not also need a horizontal one.
    if (wanted.height() > available.height())
        wanted.rwidth() += scrollBarExtent;
    if (wanted.width() > available.width())
        wanted.rheight() += scrollBarExtent;
    return wanted.boundedTo(available);
}
