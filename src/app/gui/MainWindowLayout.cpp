// Where each control of the main window sits: the status line, the channel table, the bottom
// line and the hidden strip, at their designed places (twips / 15).
#include "app/gui/MainWindow.h"

#include "app/Station.h"
#include "app/gui/ArchiveActions.h"
#include "app/gui/TwipLayout.h"
#include "display/gui/ChannelChartView.h"
#include "telemetry/ChannelTable.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>

using namespace TwipLayout;

void MainWindow::buildStatusLine(QWidget *client)
{
    m_linkUpIndicator = place(new QLabel(client), "linkUpIndicator", pixels(120, 0, 300, 300));
    m_linkUpIndicator->setPixmap(indicatorPicture(QColor(0, 200, 0)));
    m_linkDownIndicator = place(new QLabel(client), "linkDownIndicator", pixels(120, 0, 300, 300));
    m_linkDownIndicator->setPixmap(indicatorPicture(QColor(220, 0, 0)));
    place(new QLabel(QStringLiteral("AGW connection"), client), "linkCaption",
          pixels(480, 120, 1335, 255));
    m_packetTypeLabel = place(new QLabel(client), "packetTypeLabel", pixels(2880, 120, 5415, 255));
    m_clockLabel = place(new QLabel(client), "clockLabel", pixels(9120, 120, 1935, 375));
    m_clockLabel->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    horizontalRule("topRule", 480, client);
}

void MainWindow::buildChannelTable(QWidget *client)
{
    std::array<QWidget *, 6> parents{};
    std::array<QPoint, 6> origins{};
    for (const ChannelTable::GroupBox &box : ChannelTable::groupBoxes()) {
        auto *frame = new QGroupBox(QString::fromUtf8(box.caption), client);
        place(frame, box.controlName, pixels(box.left, box.top, box.width, box.height));
        parents[std::size_t(box.group)] = frame;
        origins[std::size_t(box.group)] = QPoint(box.left, box.top);
    }
    parents[std::size_t(ChannelTable::Group::HiddenStrip)] = client;

    m_selectors->setExclusive(true);
    for (const ChannelTable::Row &row : ChannelTable::rows()) {
        const auto group = std::size_t(row.group);
        QWidget *parent = parents[group];
        const QPoint origin = origins[group];
        const ChannelTable::RowGeometry geometry = ChannelTable::geometry(row);
        const QByteArray number = QByteArray::number(row.channel);

        auto *selector = new QRadioButton(parent);
        place(selector, QByteArray("selector_" + number).constData(),
              pixels(geometry.selector, origin.x(), origin.y()));
        m_selectors->addButton(selector, row.channel);

        auto *box = new QLineEdit(parent);
        place(box, QByteArray("valueBox_" + number).constData(),
              pixels(geometry.valueBox, origin.x(), origin.y()));
        box->setReadOnly(true);
        box->setTextMargins(0, 0, 0, 0);
        setBase(box, White);
        m_valueBoxes[std::size_t(row.channel)] = box;
        m_archiveActions->watchValueBox(box, row.channel);

        auto *unit = new QLabel(parent);
        place(unit, QByteArray("unitLabel_" + number).constData(),
              pixels(geometry.unitLabel, origin.x(), origin.y()));
        m_unitLabels[std::size_t(row.channel)] = unit;
    }
    const ChannelTable::GroupBox *spb = nullptr;
    for (const ChannelTable::GroupBox &box : ChannelTable::groupBoxes())
        if (box.group == ChannelTable::Group::SpbMppt)
            spb = &box;
    for (const ChannelTable::LoneUnitLabel &lone : ChannelTable::loneUnitLabels()) {
        auto *unit = new QLabel(parents[std::size_t(ChannelTable::Group::SpbMppt)]);
        place(unit, QByteArray("unitLabel_" + QByteArray::number(lone.channel)).constData(),
              pixels(lone.rect, spb->left, spb->top));
        m_unitLabels[std::size_t(lone.channel)] = unit;
    }
    connect(m_selectors, &QButtonGroup::idClicked, &m_station, &Station::selectChannel);

    m_chartBox = place(new QGroupBox(client), "chartBox", pixels(120, 6000, 10935, 3615));
    m_chartView = place(new ChannelChartView(m_chartBox), "chartView", pixels(120, 240, 10695, 3255));
    m_chartView->setSource(&m_station.display().chart());
}

void MainWindow::buildBottomLine(QWidget *client)
{
    m_screenshotButton = place(new QPushButton(QStringLiteral("S"), client), "screenshotButton",
                       pixels(120, 9720, 255, 195));
    connect(m_screenshotButton, &QPushButton::clicked, this, [this] {
        m_station.takeScreenshot([this](const QString &path) { return saveClientArea(path); });
    });
    m_uploadAllowedBox = place(new QCheckBox(QStringLiteral("allow data transfer"), client), "uploadAllowedBox",
                     pixels(480, 9720, 2175, 195));
    connect(m_uploadAllowedBox, &QCheckBox::toggled, &m_station, &Station::setUploadAllowed);
    m_statusLabel = place(new QLabel(client), "statusLabel", pixels(7200, 9720, 3855, 255));
    horizontalRule("bottomRule", 9960, client);
    m_activityLogView = place(new QPlainTextEdit(client), "activityLogView", pixels(120, 10080, 10935, 1815));
    m_activityLogView->setReadOnly(true);
}

void MainWindow::buildHiddenStrip(QWidget *client)
{
    auto *connectButton = place(new QPushButton(QStringLiteral("Connect AGW"), client), "connectButton",
                           pixels(12720, 3840, 2415, 495));
    connect(connectButton, &QPushButton::clicked, &m_station, &Station::reconnect);
    auto *post = place(new QPushButton(QStringLiteral("HTTP POST packet"), client), "postButton",
                       pixels(12720, 7320, 2295, 495));
    connect(post, &QPushButton::clicked, &m_station, &Station::uploadCurrentFrame);
    place(new QListWidget(client), "portList", pixels(12600, 1320, 2175, 1035));
    m_headerList = place(new QListWidget(client), "headerList", pixels(12720, 4560, 2415, 2010));
    m_transferStateList = place(new QListWidget(client), "transferStateList", pixels(12720, 8040, 2295, 1425));
    m_rawFrameView = place(new QPlainTextEdit(client), "rawFrameView", pixels(12720, 9600, 3255, 1095));
    m_rawFrameView->setReadOnly(true);
    m_rawFrameView->setMaximumBlockCount(MaxRawFrameLines);
    m_rawFrameView->setLineWrapMode(QPlainTextEdit::NoWrap);
    QFont fixed(QStringLiteral("Courier New"));
    fixed.setStyleHint(QFont::TypeWriter);
    fixed.setPixelSize(11);
    m_rawFrameView->setFont(fixed);
}
