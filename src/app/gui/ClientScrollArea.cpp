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

QSize ClientScrollArea::fittingSize(QSize wanted, QSize available)
{
    return available.isValid() ? wanted.boundedTo(available) : wanted;
}
