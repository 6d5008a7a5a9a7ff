#include "app/Station.h"

#include "decode/ChannelRefresh.h"
#include "decode/FrameDecoder.h"
#include "decode/PacketClassifier.h"
#include "display/ChannelTable.h"
#include "upload/UploadBody.h"
#include "records/DebugReport.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QLocale>
#include <QLoggingCategory>
#include <QProcess>
#include <QRegularExpression>

Q_LOGGING_CATEGORY(lcApp, "halvora.app")

namespace {

const QString ConfigFileName = QStringLiteral("online_conf.ini");

} // namespace

Station::Station(StationOptions options, QObject *parent)
    : QObject(parent),
      m_options(std::move(options)),
      m_ownTimeSource(m_options.timeSource ? nullptr : std::make_unique<SystemTimeSource>()),
      m_clock(m_options.timeSource ? *m_options.timeSource : *m_ownTimeSource),
      m_uploadAllowed(m_options.uploadAllowed)
{
    if (m_options.workingDir.isEmpty())
        m_options.workingDir = QDir::currentPath();
    m_link.setRetryInterval(m_options.linkRetryIntervalMs);
    m_link.setConnectTimeout(m_options.linkConnectTimeoutMs);

    // Captions of channels other than 1..48 belong to the layout; units all come at start-up.
    for (const ChannelTable::Row &row : ChannelTable::rows()) {
        if (row.channel > 48)
            m_channelCaptions[std::size_t(row.channel)] = QString::fromUtf8(row.caption);
    }

    connect(&m_link, &AgwClient::connected, this, [this] {
        log(QStringLiteral("AGW winsock connection made"));
        m_lastLinkError = 0;
        if (m_startRequestsPending) {
            Command1_Click();
            m_startRequestsPending = false;
        }
    });
    connect(&m_link, &AgwClient::recordReceived, this, &Station::Winsock1_DataArrival);
    connect(&m_link, &AgwClient::errorOccurred, this, [this](int number, const QString &text) {
        // While the link retries, the same failure every few seconds would bury the log.
        if (number != m_lastLinkError)
            log(QStringLiteral("Winsock Error \"%1\" occured: %2").arg(number).arg(text));
        m_lastLinkError = number;
        m_startRequestsPending = true;
    });
    connect(&m_link, &AgwClient::closedByPeer, this, [this] {
        log(QStringLiteral("AGW connection closed by the packet engine, retrying every %1 s")
                .arg(m_options.linkRetryIntervalMs / 1000.0));
        m_lastLinkError = -1;
        m_startRequestsPending = true;
    });
    connect(&m_link, &AgwClient::protocolError, this, [this](const QString &message) {
        log(message);
        m_lastLinkError = -2;
        m_startRequestsPending = true;
    });
}

Station::~Station() = default;

// ---------------------------------------------------------------------------------------------
// Start-up

void Station::Form_Load()
{
    m_rxPackets = 0;
    m_postOk = 0;
    m_startRequestsPending = true;
    updateStatusLine();

    const QString programDir = QDir::cleanPath(m_options.programDir);
    m_configFilePath = programDir + u'/' + ConfigFileName;
    m_config.imageDir = programDir + u'/';

    // From here on the first error stops the sequence and shows the report.
    ConfigurationReadResult read = readConfiguration(m_configFilePath, m_config);
    m_config = read.configuration;
    if (m_config.screenshotButtonVisible.has_value() &&
        *m_config.screenshotButtonVisible != m_screenshotButtonVisible) {
        m_screenshotButtonVisible = *m_config.screenshotButtonVisible;
        emit screenshotButtonVisibleChanged(m_screenshotButtonVisible);
    }
    if (read.error) {
        showStartupError(*read.error);
        return;
    }

    log(QStringList{m_config.port, m_config.server, m_config.mycall, m_config.qthLat,
                    m_config.qthLong}
            .join(QStringLiteral(" | ")));

    std::optional<StartupError> error;
    OpenLink(m_config.port, error);
    if (error) {
        showStartupError(*error);
        return;
    }

    m_captureFilePath =
        programDir + u'/' + CaptureFile::fileName(m_config.mycall, m_clock.UtcNow());
    if (auto captureError = m_capture.open(m_captureFilePath)) {
        showStartupError(*captureError);
        return;
    }

    fillChannelCaptionsAndUnits();
    m_selectedChannel = 1;
}

void Station::OpenLink(const QString &portValue, std::optional<StartupError> &error)
{
    const qsizetype colon = portValue.indexOf(u':');
    if (colon < 0) {
        error = StartupError::invalidArgument();
        return;
    }
    const QString host = portValue.left(colon);
    bool isNumber = false;
    const qlonglong port = portValue.mid(colon + 1).trimmed().toLongLong(&isNumber);
    if (!isNumber) {
        error = StartupError::typeMismatch();
        return;
    }
    if (port < 0 || port > 65535) {
        error = StartupError::invalidPropertyValue();
        return;
    }
    m_link.setRemote(host, quint16(port));
    log(QStringLiteral("Winsock RemoteHost: ") + m_link.remoteHost());
    log(QStringLiteral("Winsock RemotePort: ") + QString::number(m_link.remotePort()));
    m_link.connectToEngine();
}

void Station::fillChannelCaptionsAndUnits()
{
    for (int channel = 1; channel <= 48; ++channel)
        m_channelCaptions[std::size_t(channel)] = ChannelTable::captionOf(channel);
    for (int channel = 1; channel <= 48; ++channel)
        m_channelUnits[std::size_t(channel)] = ChannelTable::unitOf(channel);
    for (int channel : {52, 53, 54, 66, 67})
        m_channelUnits[std::size_t(channel)] = ChannelTable::unitOf(channel);
    for (int channel = 80; channel <= 91; ++channel)
        m_channelUnits[std::size_t(channel)] = ChannelTable::unitOf(channel);
    emit channelCaptionsChanged();
}

void Station::showStartupError(const StartupError &error)
{
    emit messageBoxRequested(QStringLiteral("Open Error"), error.reportText(),
                             MessageIcon::Critical);
}

// ---------------------------------------------------------------------------------------------
// Packet engine link and frame intake

void Station::Command1_Click()
{
    if (m_link.state() == AgwClient::Connected) {
        m_link.sendStartRequests();
    } else if (m_link.state() == AgwClient::Closed && !m_link.remoteHost().isEmpty()) {
        // A closed link is opened again; its connect event sends the start requests.
        m_startRequestsPending = true;
        m_link.connectToEngine();
    }
}

void Station::Winsock1_DataArrival(const QByteArray &record)
{
    if (record.size() <= 4)
        return; // no data kind
    const char kind = record[4];
    if (kind == 'K')
        handleRawFrame(QByteArrayView(record).sliced(qMin<qsizetype>(36, record.size())));
    else if (kind == 'G')
        handlePortInfo(record);
}

void Station::handleRawFrame(QByteArrayView data)
{
    m_frameBytes.assign(data);

    if (!m_capture.writeFrameRecord(data) && m_capture.isOpen() && !m_captureWriteFailed) {
        m_captureWriteFailed = true;
        log(QStringLiteral("Capture file write error: ") + m_capture.errorString());
    }

    m_frameHex = buildFrameHex(m_frameBytes);
    addRawFrameLine(m_frameHex);

    if (!isSatelliteFrame(m_frameBytes.current()))
        return;

    ++m_rxPackets;
    StampFrameTime();
    DecodeFrame();
    BuildUploadBody();
    if (m_uploadAllowed)
        Post_Packet_Click();
    DrawChannelChart(m_selectedChannel);
    updateStatusLine();
}

void Station::StampFrameTime()
{
    m_frameTimeText = m_clock.TimestampNow() + QStringLiteral(" UTC");
    if (!m_capture.writeTimeRecord(m_frameTimeText.toLatin1()) && m_capture.isOpen() &&
        !m_captureWriteFailed) {
        m_captureWriteFailed = true;
        log(QStringLiteral("Capture file write error: ") + m_capture.errorString());
    }
}

void Station::handlePortInfo(QByteArrayView record)
{
    // The length byte may claim more than the record holds; read only what is there.
    const qsizetype claimed = record.size() > 28 ? quint8(record[28]) : 0;
    const qsizetype available = qMax<qsizetype>(0, record.size() - 36);
    const QByteArrayView data =
        record.sliced(qMin<qsizetype>(36, record.size()), qMin(claimed, available));
    const QString text = QStringLiteral("total number of ports: ") + QString::fromLatin1(data);
    log(text.left(52));
}

void Station::DecodeFrame()
{
    // Classification, the family decoder and the history: the same code `halvora1 decode` runs.
    const FrameDecodeResult result =
        decodeSatelliteFrame(m_frameBytes.current(), m_frameTimeText, m_history);

    const QString line = result.headerLine();
    m_headerLines.push_back(line);
    if (m_headerLines.size() > std::size_t(MaxHeaderLines))
        m_headerLines.pop_front();
    emit headerLineAdded(line);

    RefreshChannelDisplay(m_history, m_channelTexts, QLocale().decimalPoint());
    emit channelTextsChanged();

    const QString type = packetTypeName(result.type);
    if (type != m_packetType) {
        m_packetType = type;
        emit packetTypeChanged(m_packetType);
    }
}

void Station::BuildUploadBody()
{
    m_uploadBody = buildUploadBody({m_config.mycall, m_config.qthLat, m_config.qthLong},
                                   m_clock.TimestampNow(), m_frameHex);
    log(m_uploadBody);
}

HttpUpload &Station::inet1()
{
    if (!m_inet1) {
        m_inet1 = std::make_unique<HttpUpload>();
        m_inet1->setTimeout(m_options.uploadTimeoutMs);
        connect(m_inet1.get(), &HttpUpload::stateChanged, this, &Station::Inet1_StateChanged);
    }
    return *m_inet1;
}

void Station::Post_Packet_Click()
{
    HttpUpload &inet = inet1();
    if (inet.isBusy()) {
        log(QStringLiteral("server is busy"));
        return;
    }
    m_transferStates.clear();
    emit transferStatesChanged(m_transferStates);

    // A failed step is logged and the next one still tried, as the button always did.
    if (auto failure = inet.setUrl(m_config.server))
        logUploadFailure(*failure);
    // The body holds Latin-1 configuration text and ASCII: one byte per character.
    if (auto failure = inet.execute(QStringLiteral("POST"), m_uploadBody.toLatin1(),
                                    QStringLiteral("Content-Type: application/x-www-form-urlencoded")))
        logUploadFailure(*failure);
}

void Station::logUploadFailure(const HttpUpload::Failure &failure)
{
    QString message = QStringLiteral("error number: %1\r\nerror discription: %2")
                          .arg(failure.number)
                          .arg(failure.description);
    if (failure.number > 35749 && failure.number < 35805) {
        message += QStringLiteral("\r\nHeaders: ") + m_inet1->responseHeaders() +
                   QStringLiteral("\r\nResponse code: ") + QString::number(m_inet1->responseCode()) +
                   QStringLiteral("\r\nResponse Info: ") + m_inet1->responseInfo();
    }
    log(message);
}

void Station::Inet1_StateChanged(int state)
{
    const QString name = HttpUpload::stateName(state);
    if (name.isEmpty() || !m_inet1)
        return;
    m_transferStates << name;
    emit transferStatesChanged(m_transferStates);

    if (state == int(HttpUpload::State::Error)) {
        log(QString::number(m_inet1->responseCode()) + QStringLiteral(": ") + m_inet1->responseInfo());
    } else if (state == int(HttpUpload::State::ResponseCompleted)) {
        QString headers = m_inet1->responseHeaders();
        log(headers.replace(QStringLiteral("\r\n"), QStringLiteral(" ")));
        // The status code decides, not a "200" somewhere in the headers.
        const int status = m_inet1->httpStatus();
        if (status >= 200 && status <= 299)
            ++m_postOk;
        updateStatusLine();
        if (status == 401 || status == 407)
            addLogEntry(QStringLiteral("Access is denied. Try adding a Username and Password\r\n"), true);
    }
}

void Station::DrawChannelChart(int channel)
{
    // Called after every satellite frame: only the caption is built here, the rows are read
    // from the history when a view paints.
    m_chart.draw(channel, channelCaption(channel), channelUnit(channel));
    emit chartChanged();
}

void Station::Option1_Click(int channel)
{
    m_selectedChannel = channel;
    m_highlightedChannel = channel; // every other selector is unmarked, across all group boxes
    emit selectionChanged(channel);
    if (channel > ChannelCount)
        return;
    DrawChannelChart(channel);
}

void Station::MnuDebug_Click()
{
    const QString path = QDir::cleanPath(m_options.programDir) + u'/' +
                         DebugReport::fileName(m_config.mycall, m_clock.UtcNow());
    // A configuration file that cannot be read leaves its item empty.
    QByteArray configuration;
    QFile configFile(m_configFilePath);
    if (configFile.open(QIODevice::ReadOnly))
        configuration = configFile.readAll();
    const QByteArray report =
        DebugReport::build(activityLogText(), rawFrameText(), configuration);
    if (const auto error = DebugReport::write(path, report))
        log(QStringLiteral("Debug file not written: ") + path + QStringLiteral(": ") + *error);
}

void Station::Command2_Click(const Screenshot::SaveBitmap &saveBitmap)
{
    const QString path = Screenshot::fileName(m_config.imageDir, m_clock.localDate());
    if (const auto error = saveBitmap(path)) {
        log(QStringLiteral("Screenshot not saved: ") + path + QStringLiteral(": ") + *error);
        return;
    }
    m_clockText = path + QStringLiteral(" saved"); // until the clock's next tick
    emit clockTextChanged(m_clockText);
    if (!QProcess::startDetached(QString::fromLatin1(Screenshot::ConverterProgram),
                                 Screenshot::converterArguments(path))) {
        emit messageBoxRequested(QStringLiteral("Error"), QStringLiteral("nconvert.exe not found"),
                                 MessageIcon::Information);
        return;
    }
    addLogEntry(Screenshot::logLine(path), false);
}

void Station::updateStatusLine()
{
    const QString text = QStringLiteral("RX packets: %1 | HTTP POST OK: %2").arg(m_rxPackets).arg(m_postOk);
    if (text == m_statusLine)
        return;
    m_statusLine = text;
    emit statusLineChanged(m_statusLine);
}

void Station::setUploadAllowed(bool allowed)
{
    if (allowed == m_uploadAllowed)
        return;
    m_uploadAllowed = allowed;
    emit uploadAllowedChanged(allowed);
}

// ---------------------------------------------------------------------------------------------
// Clock, shutdown

void Station::Timer1_Timer()
{
    const QString text = m_clock.UtcNow().toString(QStringLiteral("HH:mm:ss")) + QStringLiteral(" UTC");
    if (text != m_clockText) {
        m_clockText = text;
        emit clockTextChanged(text);
    }
    const bool green = m_link.state() != AgwClient::Closed;
    if (green != m_linkIndicatorGreen) {
        m_linkIndicatorGreen = green;
        emit linkIndicatorChanged(green);
    }
}

void Station::MnuExit_Click()
{
    m_capture.close();
    RemoveEmptyFiles();
}

void Station::Form_QueryUnload()
{
    m_link.close();
    if (m_inet1)
        m_inet1->cancel();
}

void Station::Form_Unload()
{
    RemoveEmptyFiles();
}

void Station::RemoveEmptyFiles()
{
    // Only this program's own output names: capture files and debug reports
    // (MYCALL_ddmmyyyy_hhmm.kss / .txt) and screenshots (halvora1_DDMMYYYY.bmp / .png).
    static const QRegularExpression ownName(
        QStringLiteral(R"(^(.*_\d{8}_\d{4}\.(kss|txt)|halvora1_\d{8}\.(bmp|png))$)"),
        QRegularExpression::CaseInsensitiveOption);

    QStringList dirs{QDir(m_options.workingDir).absolutePath()};
    if (!m_options.programDir.isEmpty()) {
        const QString programDir = QDir(m_options.programDir).absolutePath();
        if (!dirs.contains(programDir))
            dirs << programDir;
    }
    for (const QString &dirPath : dirs) {
        // Collect first, delete after, so deleting does not disturb the listing.
        QStringList empty;
        const QDir dir(dirPath);
        for (const QFileInfo &info :
             dir.entryInfoList(QDir::Files | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot)) {
            // A file still open for writing stays, as the capture file does when the window
            // is closed by its close box rather than by Exit.
            const bool stillOpen = m_capture.isOpen() &&
                                   info.absoluteFilePath() == QFileInfo(m_captureFilePath).absoluteFilePath();
            if (info.isFile() && !info.isSymLink() && info.size() == 0 && !stillOpen &&
                ownName.match(info.fileName()).hasMatch())
                empty << info.absoluteFilePath();
        }
        for (const QString &path : empty)
            QFile::remove(path);
    }
}

// ---------------------------------------------------------------------------------------------
// Texts

QString Station::channelCaption(int channel) const
{
    return channel >= 1 && channel <= ChannelCount ? m_channelCaptions[std::size_t(channel)] : QString();
}

QString Station::channelUnit(int channel) const
{
    return channel >= 1 && channel <= ChannelCount ? m_channelUnits[std::size_t(channel)] : QString();
}

QString Station::channelText(int channel) const
{
    return channel >= 1 && channel <= ChannelCount ? m_channelTexts[std::size_t(channel)] : QString();
}

void Station::log(const QString &message)
{
    addLogEntry(m_clock.TimestampNow() + QStringLiteral(": ") + message + QStringLiteral("\r\n"),
                true);
}

void Station::addLogEntry(const QString &entry, bool atTop)
{
    if (atTop) {
        m_log.push_front(entry);
        if (m_log.size() > std::size_t(MaxLogEntries))
            m_log.pop_back();
    } else {
        if (m_log.size() >= std::size_t(MaxLogEntries))
            m_log.pop_back();
        m_log.push_back(entry);
    }
    emit activityLogEntryAdded(entry, atTop);
}

void Station::addRawFrameLine(const QString &line)
{
    m_rawFrameLines.push_back(line);
    if (m_rawFrameLines.size() > std::size_t(MaxRawFrameLines))
        m_rawFrameLines.pop_front();
    emit rawFrameLineAdded(line);
}

QString Station::activityLogText() const
{
    QString text;
    for (const QString &entry : m_log)
        text += entry;
    return text;
}

QString Station::rawFrameText() const
{
    QString text;
    for (const QString &line : m_rawFrameLines) {
        text += line;
        text += QStringLiteral("\r\n");
    }
    return text;
}
