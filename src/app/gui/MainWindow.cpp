#include "app/gui/MainWindow.h"

#include "app/Station.h"
#include "app/gui/AboutWindow.h"
#include "display/ChannelTable.h"
#include "display/gui/ChannelChartView.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QCloseEvent>
#include <QGroupBox>
#include <QImageWriter>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenuBar>
#include <QMessageBox>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QTextBlock>

namespace {

constexpr int px(int twips)
{
    return (twips + ChannelTable::TwipsPerPixel / 2) / ChannelTable::TwipsPerPixel;
}

QRect pixels(int left, int top, int width, int height)
{
    return QRect(px(left), px(top), px(width), px(height));
}

QRect pixels(const ChannelTable::Rect &rect, int originLeft = 0, int originTop = 0)
{
    return pixels(rect.left - originLeft, rect.top - originTop, rect.width, rect.height);
}

const QColor White(255, 255, 255);
const QColor Highlight(255, 255, 192);

template<typename Widget>
Widget *place(Widget *widget, const char *name, const QRect &geometry)
{
    widget->setObjectName(QString::fromLatin1(name));
    widget->setGeometry(geometry);
    return widget;
}

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

// The client area is laid out by hand; it asks for the designed size and may be widened.
class ClientArea : public QWidget
{
public:
    using QWidget::QWidget;
    QSize sizeHint() const override
    {
        return QSize(MainWindow::ClientWidth, MainWindow::ClientHeight);
    }
};

} // namespace

MainWindow::MainWindow(Station &station, QWidget *parent)
    : QMainWindow(parent), m_station(station), m_selectors(new QButtonGroup(this))
{
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QStringLiteral("Halvora-1 Online Telemetry Decoder (Narvek)"));

    auto *client = new ClientArea(this);
    client->setObjectName(QStringLiteral("ClientArea"));
    // The layout's fixed widths were made for a narrow 8-point face; common desktop fonts are
    // wider, so take a slightly smaller size and a condensed stretch where the face has one.
    QFont font = client->font();
    font.setPixelSize(10);
    font.setStretch(QFont::SemiCondensed);
    client->setFont(font);
    setCentralWidget(client);

    buildStatusLine(client);
    buildChannelTable(client);
    buildBottomLine(client);
    buildHiddenStrip(client);
    buildMenus();
    connectStation();

    resize(ClientWidth, ClientHeight + menuBar()->sizeHint().height());

    // Texts arrive with every frame; the text boxes take them in batches so a fast feed cannot
    // keep the window busy laying out text nobody can read at that pace.
    m_textFlush.setSingleShot(true);
    m_textFlush.setInterval(100);
    connect(&m_textFlush, &QTimer::timeout, this, &MainWindow::flushPendingText);
    m_timer1.setInterval(1000);
    connect(&m_timer1, &QTimer::timeout, &m_station, &Station::Timer1_Timer);
    m_timer1.start();
}

MainWindow::~MainWindow() = default;

void MainWindow::buildStatusLine(QWidget *client)
{
    m_image2 = place(new QLabel(client), "Image2", pixels(120, 0, 300, 300));
    m_image2->setPixmap(indicatorPicture(QColor(0, 200, 0)));
    m_image3 = place(new QLabel(client), "Image3", pixels(120, 0, 300, 300));
    m_image3->setPixmap(indicatorPicture(QColor(220, 0, 0)));
    place(new QLabel(QStringLiteral("AGW connection"), client), "Label3",
          pixels(480, 120, 1335, 255));
    m_label5 = place(new QLabel(client), "Label5", pixels(2880, 120, 5415, 255));
    m_label1 = place(new QLabel(client), "Label1", pixels(9120, 120, 1935, 375));
    m_label1->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    horizontalRule("Line1", 480, client);
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
        place(selector, QByteArray("Option1_" + number).constData(),
              pixels(geometry.selector, origin.x(), origin.y()));
        m_selectors->addButton(selector, row.channel);

        auto *box = new QLineEdit(parent);
        place(box, QByteArray("Text1_" + number).constData(),
              pixels(geometry.valueBox, origin.x(), origin.y()));
        box->setReadOnly(true);
        box->setTextMargins(0, 0, 0, 0);
        setBase(box, White);
        m_valueBoxes[std::size_t(row.channel)] = box;

        auto *unit = new QLabel(parent);
        place(unit, QByteArray("Unit_" + number).constData(),
              pixels(geometry.unitLabel, origin.x(), origin.y()));
        m_unitLabels[std::size_t(row.channel)] = unit;
    }
    const ChannelTable::GroupBox *spb = nullptr;
    for (const ChannelTable::GroupBox &box : ChannelTable::groupBoxes())
        if (box.group == ChannelTable::Group::SpbMppt)
            spb = &box;
    for (const ChannelTable::LoneUnitLabel &lone : ChannelTable::loneUnitLabels()) {
        auto *unit = new QLabel(parents[std::size_t(ChannelTable::Group::SpbMppt)]);
        place(unit, QByteArray("Unit_" + QByteArray::number(lone.channel)).constData(),
              pixels(lone.rect, spb->left, spb->top));
        m_unitLabels[std::size_t(lone.channel)] = unit;
    }
    connect(m_selectors, &QButtonGroup::idClicked, &m_station, &Station::Option1_Click);

    m_frame5 = place(new QGroupBox(client), "Frame5", pixels(120, 6000, 10935, 3615));
    m_chartView = place(new ChannelChartView(m_frame5), "MSChart1", pixels(120, 240, 10695, 3255));
    m_chartView->setSource(&m_station.chart());
}

void MainWindow::buildBottomLine(QWidget *client)
{
    m_command2 = place(new QPushButton(QStringLiteral("S"), client), "Command2",
                       pixels(120, 9720, 255, 195));
    connect(m_command2, &QPushButton::clicked, this, [this] {
        m_station.Command2_Click([this](const QString &path) { return saveClientArea(path); });
    });
    m_check1 = place(new QCheckBox(QStringLiteral("allow data transfer"), client), "Check1",
                     pixels(480, 9720, 2175, 195));
    connect(m_check1, &QCheckBox::toggled, &m_station, &Station::setUploadAllowed);
    m_label2 = place(new QLabel(client), "Label2", pixels(7200, 9720, 3855, 255));
    horizontalRule("Line2", 9960, client);
    m_text3 = place(new QPlainTextEdit(client), "Text3", pixels(120, 10080, 10935, 1815));
    m_text3->setReadOnly(true);
}

void MainWindow::buildHiddenStrip(QWidget *client)
{
    auto *command1 = place(new QPushButton(QStringLiteral("Connect AGW"), client), "Command1",
                           pixels(12720, 3840, 2415, 495));
    connect(command1, &QPushButton::clicked, &m_station, &Station::Command1_Click);
    auto *post = place(new QPushButton(QStringLiteral("HTTP POST packet"), client), "Post_Packet",
                       pixels(12720, 7320, 2295, 495));
    connect(post, &QPushButton::clicked, &m_station, &Station::Post_Packet_Click);
    place(new QListWidget(client), "List1", pixels(12600, 1320, 2175, 1035));
    m_list2 = place(new QListWidget(client), "List2", pixels(12720, 4560, 2415, 2010));
    m_list3 = place(new QListWidget(client), "List3", pixels(12720, 8040, 2295, 1425));
    m_text2 = place(new QPlainTextEdit(client), "Text2", pixels(12720, 9600, 3255, 1095));
    m_text2->setReadOnly(true);
    m_text2->setMaximumBlockCount(MaxRawFrameLines);
    m_text2->setLineWrapMode(QPlainTextEdit::NoWrap);
    QFont fixed(QStringLiteral("Courier New"));
    fixed.setStyleHint(QFont::TypeWriter);
    fixed.setPixelSize(11);
    m_text2->setFont(fixed);
}

void MainWindow::buildMenus()
{
    QMenu *file = menuBar()->addMenu(QStringLiteral("&File"));
    file->setObjectName(QStringLiteral("MnuFile"));
    QAction *exit = file->addAction(QStringLiteral("&Exit"));
    exit->setObjectName(QStringLiteral("MnuExit"));
    connect(exit, &QAction::triggered, this, [this] {
        m_station.MnuExit_Click();
        close();
    });

    QMenu *options = menuBar()->addMenu(QStringLiteral("&Options"));
    options->setObjectName(QStringLiteral("MnuOptions"));
    QAction *debug = options->addAction(QStringLiteral("write debug file"));
    debug->setObjectName(QStringLiteral("MnuDebug"));
    connect(debug, &QAction::triggered, &m_station, &Station::MnuDebug_Click);

    QMenu *info = menuBar()->addMenu(QStringLiteral("&Info"));
    info->setObjectName(QStringLiteral("MnuInfo"));
    QAction *about = info->addAction(QStringLiteral("&About"));
    about->setObjectName(QStringLiteral("MnuAbout"));
    connect(about, &QAction::triggered, this, &MainWindow::showAbout);
}

void MainWindow::connectStation()
{
    Station &s = m_station;
    connect(&s, &Station::channelCaptionsChanged, this, &MainWindow::showCaptions);
    connect(&s, &Station::channelTextsChanged, this, &MainWindow::showChannelTexts);
    connect(&s, &Station::selectionChanged, this, &MainWindow::showSelection);
    connect(&s, &Station::chartChanged, this, [this] {
        showChartCaption();
        m_chartView->scheduleRedraw();
    });
    connect(&s, &Station::statusLineChanged, m_label2, &QLabel::setText);
    connect(&s, &Station::packetTypeChanged, m_label5, &QLabel::setText);
    connect(&s, &Station::clockTextChanged, m_label1, &QLabel::setText);
    connect(&s, &Station::linkIndicatorChanged, this, &MainWindow::showLinkIndicator);
    connect(&s, &Station::uploadAllowedChanged, m_check1, [this](bool allowed) {
        const QSignalBlocker blocker(m_check1);
        m_check1->setChecked(allowed);
    });
    connect(&s, &Station::screenshotButtonVisibleChanged, m_command2, &QWidget::setVisible);
    connect(&s, &Station::activityLogEntryAdded, this, &MainWindow::addLogEntry);
    connect(&s, &Station::rawFrameLineAdded, this, [this](const QString &line) {
        m_pendingRawLines << line;
        scheduleTextFlush();
    });
    connect(&s, &Station::headerLineAdded, this, [this](const QString &line) {
        m_pendingHeaderLines << line;
        scheduleTextFlush();
    });
    connect(&s, &Station::transferStatesChanged, this, [this](const QStringList &states) {
        m_list3->clear();
        m_list3->addItems(states);
    });
    connect(&s, &Station::messageBoxRequested, this, &MainWindow::showMessageBox);

    // Whatever the Station already holds.
    showCaptions();
    showChannelTexts();
    showChartCaption();
    m_label1->setText(s.clockText());
    m_label2->setText(s.statusLine());
    m_label5->setText(s.packetType());
    showLinkIndicator(s.linkIndicatorGreen());
    m_check1->setChecked(s.uploadAllowed());
    m_command2->setVisible(s.screenshotButtonVisible());
    for (auto it = s.activityLog().rbegin(); it != s.activityLog().rend(); ++it)
        addLogEntry(*it, true);
    for (const QString &line : s.rawFrameLines())
        m_pendingRawLines << line;
    for (const QString &line : s.headerLines())
        m_pendingHeaderLines << line;
    flushPendingText();
    m_list3->addItems(s.transferStates());
}

void MainWindow::showCaptions()
{
    for (const ChannelTable::Row &row : ChannelTable::rows()) {
        m_selectors->button(row.channel)->setText(m_station.channelCaption(row.channel));
        m_unitLabels[std::size_t(row.channel)]->setText(m_station.channelUnit(row.channel));
    }
    for (const ChannelTable::LoneUnitLabel &lone : ChannelTable::loneUnitLabels())
        m_unitLabels[std::size_t(lone.channel)]->setText(m_station.channelUnit(lone.channel));
}

void MainWindow::showChannelTexts()
{
    for (const ChannelTable::Row &row : ChannelTable::rows()) {
        QLineEdit *box = m_valueBoxes[std::size_t(row.channel)];
        const QString text = m_station.channelText(row.channel);
        if (box->text() != text)
            box->setText(text);
    }
}

void MainWindow::showSelection(int channel)
{
    QAbstractButton *selector = m_selectors->button(channel);
    if (selector) {
        selector->setChecked(true);
    } else if (QAbstractButton *checked = m_selectors->checkedButton()) {
        // No selector of that number: none stays marked.
        m_selectors->setExclusive(false);
        checked->setChecked(false);
        m_selectors->setExclusive(true);
    }
    if (m_highlighted >= 1 && m_highlighted < int(m_valueBoxes.size()) &&
        m_valueBoxes[std::size_t(m_highlighted)])
        setBase(m_valueBoxes[std::size_t(m_highlighted)], White);
    m_highlighted = channel;
    if (channel >= 1 && channel < int(m_valueBoxes.size()) && m_valueBoxes[std::size_t(channel)])
        setBase(m_valueBoxes[std::size_t(channel)], Highlight);
}

void MainWindow::showChartCaption()
{
    const QString caption = m_station.chartCaption();
    if (m_frame5->title() != caption)
        m_frame5->setTitle(caption);
}

void MainWindow::showLinkIndicator(bool green)
{
    m_image2->setVisible(green);
    m_image3->setVisible(!green);
}

void MainWindow::addLogEntry(const QString &entry, bool atTop)
{
    QString text = entry;
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    if (text.endsWith(u'\n'))
        text.chop(1);
    (atTop ? m_pendingLogTop : m_pendingLogBottom) << text;
    scheduleTextFlush();
}

void MainWindow::scheduleTextFlush()
{
    if (!m_textFlush.isActive())
        m_textFlush.start();
}

void MainWindow::flushPendingText()
{
    m_textFlush.stop();
    if (!m_pendingLogTop.isEmpty() || !m_pendingLogBottom.isEmpty()) {
        QTextDocument *document = m_text3->document();
        if (!m_pendingLogTop.isEmpty()) {
            // Newest first: the last entry made goes to the very top.
            std::reverse(m_pendingLogTop.begin(), m_pendingLogTop.end());
            QString block = m_pendingLogTop.join(u'\n');
            if (!document->isEmpty())
                block += u'\n';
            QTextCursor(document).insertText(block);
        }
        if (!m_pendingLogBottom.isEmpty()) {
            QTextCursor cursor(document);
            cursor.movePosition(QTextCursor::End);
            QString block = m_pendingLogBottom.join(u'\n');
            if (!document->isEmpty())
                block.prepend(u'\n');
            cursor.insertText(block);
        }
        // The newest entries are at the top, so the oldest lines are cut at the bottom.
        if (document->blockCount() > MaxLogLines) {
            QTextCursor cut(document->findBlockByNumber(MaxLogLines - 1));
            cut.movePosition(QTextCursor::EndOfBlock);
            cut.movePosition(QTextCursor::End, QTextCursor::KeepAnchor);
            cut.removeSelectedText();
        }
        m_pendingLogTop.clear();
        m_pendingLogBottom.clear();
    }
    if (!m_pendingRawLines.isEmpty()) {
        m_text2->appendPlainText(m_pendingRawLines.join(u'\n'));
        m_pendingRawLines.clear();
    }
    if (!m_pendingHeaderLines.isEmpty()) {
        m_list2->addItems(m_pendingHeaderLines);
        m_pendingHeaderLines.clear();
        // The Station keeps a bounded list; follow it.
        const int excess = m_list2->count() - int(m_station.headerLines().size());
        for (int i = 0; i < excess; ++i)
            delete m_list2->takeItem(0);
    }
}

void MainWindow::showMessageBox(const QString &title, const QString &text, MessageIcon icon)
{
    QString shown = text;
    shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    auto *box = new QMessageBox(icon == MessageIcon::Critical ? QMessageBox::Critical
                                                              : QMessageBox::Information,
                                title, shown, QMessageBox::Ok, this);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->open();
}

void MainWindow::showAbout()
{
    if (!m_about)
        m_about = std::make_unique<AboutWindow>();
    m_about->show();
    m_about->raise();
    m_about->activateWindow();
}

std::optional<QString> MainWindow::saveClientArea(const QString &path)
{
    flushPendingText();
    QWidget *client = centralWidget();
    const QImage image = client->grab(client->rect()).toImage();
    QImageWriter writer(path, "BMP");
    if (!writer.write(image))
        return writer.errorString();
    return std::nullopt;
}

void MainWindow::closeEvent(QCloseEvent *event)
{
    m_station.Form_QueryUnload();
    m_station.Form_Unload();
    m_timer1.stop();
    event->accept();
}
