#include "app/gui/MainWindow.h"

#include "app/Station.h"
#include "app/gui/AboutWindow.h"
#include "app/gui/ArchiveActions.h"
#include "app/gui/ActivityLogText.h"
#include "app/gui/ClientScrollArea.h"
#include "app/gui/SettingsDialog.h"
#include "app/gui/StatusArea.h"
#include "app/gui/TwipLayout.h"
#include "telemetry/ChannelTable.h"
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
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QStatusBar>
#include <QStyle>

using namespace TwipLayout;

MainWindow::MainWindow(Station &station, QWidget *parent)
    : QMainWindow(parent),
      m_station(station),
      m_selectors(new QButtonGroup(this)),
      m_archiveActions(new ArchiveActions(station, this, this))
{
    setObjectName(QStringLiteral("mainWindow"));
    setWindowTitle(QStringLiteral("Halvora-1 Online Telemetry Decoder (Narvek)"));

    m_clientScroll = new ClientScrollArea(QSize(ClientWidth, ClientHeight), this);
    QWidget *client = m_clientScroll->clientArea();
    // The layout's fixed widths were made for a narrow 8-point face; common desktop fonts are
    // wider, so take a slightly smaller size and a condensed stretch where the face has one.
    QFont font = client->font();
    font.setPixelSize(10);
    font.setStretch(QFont::SemiCondensed);
    client->setFont(font);
    setCentralWidget(m_clientScroll);
    m_statusArea = new StatusArea(this);
    statusBar()->addWidget(m_statusArea, 1);

    buildStatusLine(client);
    buildChannelTable(client);
    buildBottomLine(client);
    buildHiddenStrip(client);
    buildMenus();
    connectStation();

    const QSize wanted(ClientWidth, ClientHeight + menuBar()->sizeHint().height() +
                                        statusBar()->sizeHint().height());
    resize(ClientScrollArea::fittingSize(wanted, screen()->availableGeometry().size(),
                                         style()->pixelMetric(QStyle::PM_ScrollBarExtent)));

    // Texts arrive with every frame; the text boxes take them in batches so a fast feed cannot
    // keep the window busy laying out text nobody can read at that pace.
    m_textFlush.setSingleShot(true);
    m_textFlush.setInterval(100);
    connect(&m_textFlush, &QTimer::timeout, this, &MainWindow::flushPendingText);
    m_clockTimer.setInterval(1000);
    connect(&m_clockTimer, &QTimer::timeout, &m_station, &Station::tick);
    m_clockTimer.start();
}

MainWindow::~MainWindow() = default;

void MainWindow::buildMenus()
{
    QMenu *file = menuBar()->addMenu(QStringLiteral("&File"));
    file->setObjectName(QStringLiteral("fileMenu"));
    QAction *exit = file->addAction(QStringLiteral("&Exit"));
    exit->setObjectName(QStringLiteral("exitAction"));
    connect(exit, &QAction::triggered, this, &MainWindow::exitStation);

    QMenu *options = menuBar()->addMenu(QStringLiteral("&Options"));
    options->setObjectName(QStringLiteral("optionsMenu"));
    QAction *debug = options->addAction(QStringLiteral("write debug file"));
    debug->setObjectName(QStringLiteral("debugAction"));
    connect(debug, &QAction::triggered, &m_station, &Station::writeDebugReport);
    QAction *settings = options->addAction(QStringLiteral("Settings..."));
    settings->setObjectName(QStringLiteral("settingsAction"));
    connect(settings, &QAction::triggered, this, &MainWindow::openSettings);
    m_archiveActions->addTo(options);

    QMenu *info = menuBar()->addMenu(QStringLiteral("&Info"));
    info->setObjectName(QStringLiteral("infoMenu"));
    QAction *about = info->addAction(QStringLiteral("&About"));
    about->setObjectName(QStringLiteral("aboutAction"));
    connect(about, &QAction::triggered, this, &MainWindow::showAbout);
}

void MainWindow::connectStation()
{
    Station &s = m_station;
    const ChannelDisplay &display = s.display();
    const FrameIntake &intake = s.intake();
    connect(&display, &ChannelDisplay::captionsChanged, this, &MainWindow::showCaptions);
    connect(&display, &ChannelDisplay::textsChanged, this, &MainWindow::showChannelTexts);
    connect(&display, &ChannelDisplay::selectionChanged, this, &MainWindow::showSelection);
    connect(&display, &ChannelDisplay::chartChanged, this, [this] {
        showChartCaption();
        m_chartView->scheduleRedraw();
    });
    connect(&s, &Station::statusLineChanged, m_statusLabel, &QLabel::setText);
    connect(&intake, &FrameIntake::packetTypeChanged, m_packetTypeLabel, &QLabel::setText);
    connect(&s, &Station::clockTextChanged, m_clockLabel, &QLabel::setText);
    connect(&s, &Station::linkIndicatorChanged, this, &MainWindow::showLinkIndicator);
    connect(&s, &Station::uploadAllowedChanged, m_uploadAllowedBox, [this](bool allowed) {
        const QSignalBlocker blocker(m_uploadAllowedBox);
        m_uploadAllowedBox->setChecked(allowed);
    });
    connect(&s, &Station::screenshotButtonVisibleChanged, m_screenshotButton, &QWidget::setVisible);
    connect(&s.log(), &ActivityLog::entryAdded, this, &MainWindow::addLogEntry);
    connect(&intake, &FrameIntake::rawFrameLineAdded, this, [this](const QString &line) {
        m_pendingRawLines << line;
        scheduleTextFlush();
    });
    connect(&intake, &FrameIntake::headerLineAdded, this, [this](const QString &line) {
        m_pendingHeaderLines << line;
        scheduleTextFlush();
    });
    connect(&s.uploads(), &UploadController::transferStatesChanged, this, [this](const QStringList &states) {
        m_transferStateList->clear();
        m_transferStateList->addItems(states);
    });
    connect(&s, &Station::messageBoxRequested, this, &MainWindow::showMessageBox);
    const auto showStatusArea = [this] {
        m_statusArea->setTexts(m_station.warningText(), m_station.queueSummary(),
                               m_station.queueToolTip());
    };
    connect(&s, &Station::statusAreaChanged, m_statusArea, showStatusArea);

    // Whatever the Station already holds.
    showCaptions();
    showChannelTexts();
    showChartCaption();
    m_clockLabel->setText(s.clockText());
    m_statusLabel->setText(s.statusLine());
    m_packetTypeLabel->setText(intake.packetType());
    showLinkIndicator(s.linkIndicatorGreen());
    m_uploadAllowedBox->setChecked(s.uploadAllowed());
    m_screenshotButton->setVisible(s.screenshotButtonVisible());
    for (auto it = s.log().entries().rbegin(); it != s.log().entries().rend(); ++it)
        addLogEntry(*it, true);
    for (const QString &line : intake.rawFrameLines())
        m_pendingRawLines << line;
    for (const QString &line : intake.headerLines())
        m_pendingHeaderLines << line;
    flushPendingText();
    m_transferStateList->addItems(s.uploads().transferStates());
    showStatusArea();
}

void MainWindow::showCaptions()
{
    for (const ChannelTable::Row &row : ChannelTable::rows()) {
        m_selectors->button(row.channel)->setText(m_station.display().caption(row.channel));
        m_unitLabels[std::size_t(row.channel)]->setText(m_station.display().unit(row.channel));
    }
    for (const ChannelTable::LoneUnitLabel &lone : ChannelTable::loneUnitLabels())
        m_unitLabels[std::size_t(lone.channel)]->setText(m_station.display().unit(lone.channel));
}

void MainWindow::showChannelTexts()
{
    for (const ChannelTable::Row &row : ChannelTable::rows()) {
        QLineEdit *box = m_valueBoxes[std::size_t(row.channel)];
        const QString text = m_station.display().text(row.channel);
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
    const QString caption = m_station.display().chart().caption();
    if (m_chartBox->title() != caption)
        m_chartBox->setTitle(caption);
}

void MainWindow::showLinkIndicator(bool green)
{
    m_linkUpIndicator->setVisible(green);
    m_linkDownIndicator->setVisible(!green);
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
        insertLogBatch(*m_activityLogView->document(), m_pendingLogTop, m_pendingLogBottom,
                       MaxLogLines);
        m_pendingLogTop.clear();
        m_pendingLogBottom.clear();
    }
    if (!m_pendingRawLines.isEmpty()) {
        m_rawFrameView->appendPlainText(m_pendingRawLines.join(u'\n'));
        m_pendingRawLines.clear();
    }
    if (!m_pendingHeaderLines.isEmpty()) {
        m_headerList->addItems(m_pendingHeaderLines);
        m_pendingHeaderLines.clear();
        // The Station keeps a bounded list; follow it.
        const int excess = m_headerList->count() - int(m_station.intake().headerLines().size());
        for (int i = 0; i < excess; ++i)
            delete m_headerList->takeItem(0);
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
    m_about->showCentredOn(*this);
}

std::optional<QString> MainWindow::saveClientArea(const QString &path)
{
    flushPendingText();
    QWidget *client = clientArea();
    const QImage image = client->grab(client->rect()).toImage();
    QImageWriter writer(path, "BMP");
    if (!writer.write(image))
        return writer.errorString();
    return std::nullopt;
}

QWidget *MainWindow::clientArea() const
{
    return m_clientScroll->clientArea();
}

SettingsDialog *MainWindow::settingsDialog() const
{
    return m_settings.data();
}

void MainWindow::openSettings()
{
    if (m_settings) {
        m_settings->raise();
        m_settings->activateWindow();
        return;
    }
    m_settings = new SettingsDialog(
        m_station.configuration(),
        [this](const ConfigurationValues &values) { return m_station.saveSettings(values); }, this);
    m_settings->setAttribute(Qt::WA_DeleteOnClose);
    m_settings->open();
}

void MainWindow::exitStation()
{
    m_station.exit();
    // The About window is a window of its own; Exit ends the program, not just this window.
    if (m_about)
        m_about->close();
    close();
}

void MainWindow::closeEvent(QCloseEvent *event)
{
    m_station.prepareClose();
    m_station.finishClose();
    m_clockTimer.stop();
    event->accept();
}
