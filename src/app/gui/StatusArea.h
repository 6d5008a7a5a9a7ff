#pragma once

#include <QString>
#include <QWidget>

class QLabel;

// The status-bar area below the designed client area: a warning while something fails (capture
// file, database) and the upload queue's summary, with its last error as the tooltip. Shows the
// Station's texts; MainWindow puts it in the window's status bar and updates it.
class StatusArea : public QWidget
{
    Q_OBJECT
public:
    explicit StatusArea(QWidget *parent = nullptr);

    void setTexts(const QString &warning, const QString &queueSummary,
                  const QString &queueToolTip);

private:
    QLabel *m_warningLabel;
    QLabel *m_queueLabel;
};
