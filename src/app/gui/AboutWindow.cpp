#include "app/gui/AboutWindow.h"

#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QPixmap>

namespace {

// A small drawing of the satellite: a cube with two solar panels.
QPixmap satellitePicture()
{
    QPixmap pixmap(200, 200);
    pixmap.fill(QColor(10, 20, 60));
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(QColor(200, 200, 210), 2));
    painter.setBrush(QColor(40, 70, 160));
    painter.drawRect(15, 85, 55, 30);
    painter.drawRect(130, 85, 55, 30);
    painter.setBrush(QColor(190, 190, 200));
    painter.drawRect(75, 75, 50, 50);
    painter.drawLine(100, 75, 100, 40);
    painter.setPen(Qt::white);
    for (const QPoint star : {QPoint(30, 30), QPoint(160, 40), QPoint(50, 170), QPoint(170, 160)})
        painter.drawPoint(star);
    return pixmap;
}

QLabel *label(const QString &text, const QRect &geometry, QWidget *parent)
{
    auto *widget = new QLabel(text, parent);
    widget->setGeometry(geometry);
    return widget;
}

} // namespace

AboutWindow::AboutWindow(QWidget *parent) : QWidget(parent, Qt::Window)
{
    setObjectName(QStringLiteral("aboutWindow"));
    setWindowTitle(QStringLiteral("About Halvora-1"));
    setFixedSize(ClientWidth, ClientHeight);
    // The same face as the main window: the fixed label widths were made for a narrow font.
    QFont face = font();
    face.setPixelSize(10);
    face.setStretch(QFont::SemiCondensed);
    setFont(face);

    auto *picture = label(QString(), QRect(8, 24, 200, 200), this);
    picture->setObjectName(QStringLiteral("satellitePicture"));
    picture->setPixmap(satellitePicture());

    auto *box = new QGroupBox(this);
    box->setGeometry(216, 8, 224, 48);
    m_version = label(QString(), QRect(8, 16, 208, 24), box);
    m_version->setObjectName(QStringLiteral("versionLabel"));

    label(QStringLiteral("Halvora-1 Online Telemetry Decoder (AGW)"), QRect(216, 64, 224, 20),
          this);
    auto *engines = label(QStringLiteral("Works with the AGW Packet Engine and with sound-card "
                                         "modems that offer the same TCP interface."),
                          QRect(216, 88, 224, 56), this);
    engines->setWordWrap(true);
    label(QStringLiteral("Homepage:"), QRect(216, 160, 64, 20), this);
    label(QStringLiteral("https://halvora1.example.org"), QRect(280, 160, 160, 20), this);
    label(QStringLiteral("e-mail:"), QRect(216, 184, 64, 20), this);
    label(QStringLiteral("narvek@example.org"), QRect(280, 184, 160, 20), this);

    // Set when the window loads, as the version has always been shown.
    m_version->setText(QStringLiteral("Version ") + QStringLiteral(HALVORA_VERSION) +
                       QStringLiteral("    (") + QStringLiteral("02 August 2014") + u')');
}

void AboutWindow::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Escape) {
        close();
        return;
    }
    QWidget::keyPressEvent(event);
}

void AboutWindow::showCentredOn(const QWidget &owner)
{
    const QRect ownerFrame = owner.frameGeometry();
    move(ownerFrame.center() - QPoint(frameGeometry().width(), frameGeometry().height()) / 2);
    show();
    raise();
    activateWindow();
}

QString AboutWindow::versionText() const
{
    return m_version->text();
}
