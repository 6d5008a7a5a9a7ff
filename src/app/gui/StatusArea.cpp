#include "app/gui/StatusArea.h"

#include <QHBoxLayout>
#include <QLabel>

StatusArea::StatusArea(QWidget *parent)
    : QWidget(parent), m_warningLabel(new QLabel(this)), m_queueLabel(new QLabel(this))
{
    setObjectName(QStringLiteral("statusArea"));
    m_warningLabel->setObjectName(QStringLiteral("warningLabel"));
    m_warningLabel->setStyleSheet(QStringLiteral("color: #b00000; font-weight: bold"));
    m_warningLabel->setVisible(false);
    m_queueLabel->setObjectName(QStringLiteral("queueLabel"));
    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(4, 0, 4, 0);
    layout->addWidget(m_warningLabel, 1);
    layout->addStretch();
    layout->addWidget(m_queueLabel);
}

void StatusArea::setTexts(const QString &warning, const QString &queueSummary,
                          const QString &queueToolTip)
{
    m_warningLabel->setText(warning);
    m_warningLabel->setToolTip(warning);
    m_warningLabel->setVisible(!warning.isEmpty());
    m_queueLabel->setText(queueSummary);
    m_queueLabel->setToolTip(queueToolTip);
}
