#include "app/Station.h"

#include "app/EmptyFileCleanup.h"
#include "records/DebugReport.h"
#include "upload/UploadBody.h"

#include <QDir>
#include <QFile>
#include <QProcess>

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

    connect(&m_link, &LinkSupervisor::logMessage, &m_log, &ActivityLog::add);
    connect(&m_link, &LinkSupervisor::recordReceived, &m_intake, &FrameIntake::handleRecord);
    connect(&m_intake, &FrameIntake::logMessage, &m_log, &ActivityLog::add);
    connect(&m_intake, &FrameIntake::satelliteFrameReceived, this, &Station::handleSatelliteFrame);
}

Station::~Station() = default;

void Station::start()
{
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

    m_log.add(QStringList{m_config.port, m_config.server, m_config.mycall, m_config.qthLat,
                          m_config.qthLong}
                  .join(QStringLiteral(" | ")));
    watchConfigurationFile();

    if (const auto error = openLink(m_config.port)) {
        showStartupError(*error);
        return;
    }

    const QString capturePath =
        programDir + u'/' + CaptureFile::fileName(m_config.mycall, m_clock.utcNow());
    if (m_intake.openCapture(capturePath)) {
        showStartupError(StartupError::pathFileAccess());
        return;
    }

    m_display.fillCaptionsAndUnits();
    m_display.followChannel(1);
}

std::optional<StartupError> Station::openLink(const QString &portValue)
{
    const qsizetype colon = portValue.indexOf(u':');
    if (colon < 0)
        return StartupError::invalidArgument();
    bool isNumber = false;
    const qlonglong port = portValue.mid(colon + 1).trimmed().toLongLong(&isNumber);
    if (!isNumber)
        return StartupError::typeMismatch();
    if (port < 0 || port > 65535)
        return StartupError::invalidPropertyValue();
    m_link.open(portValue.left(colon), quint16(port));
    return std::nullopt;
}

void Station::showStartupError(const StartupError &error)
{
    emit messageBoxRequested(QStringLiteral("Open Error"), error.reportText(),
                             MessageIcon::Critical);
}

void Station::reconnect()
{
    m_link.reconnect();
}

void Station::handleSatelliteFrame()
{
    prepareUploadBody();
    if (m_uploadAllowed)
        uploadCurrentFrame();
    m_display.refreshChart();
    updateStatusLine();
}

void Station::updateStatusLine()
{
    const QString text = QStringLiteral("RX packets: %1 | HTTP POST OK: %2")
                             .arg(m_intake.satelliteFrameCount())
                             .arg(m_deliveredCount);
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

void Station::tick()
{
    const QString text = m_clock.utcNow().toString(QStringLiteral("HH:mm:ss")) + QStringLiteral(" UTC");
    if (text != m_clockText) {
        m_clockText = text;
        emit clockTextChanged(text);
    }
    const bool green = m_link.isUp();
    if (green != m_linkIndicatorGreen) {
        m_linkIndicatorGreen = green;
        emit linkIndicatorChanged(green);
    }
}

void Station::writeDebugReport()
{
    const QString path = QDir::cleanPath(m_options.programDir) + u'/' +
                         DebugReport::fileName(m_config.mycall, m_clock.utcNow());
    // A configuration file that cannot be read leaves its item empty.
    QByteArray configuration;
    QFile configFile(m_configFilePath);
    if (configFile.open(QIODevice::ReadOnly))
        configuration = configFile.readAll();
    const QByteArray report =
        DebugReport::build(m_log.text(), m_intake.rawFrameText(), configuration);
    if (const auto error = DebugReport::write(path, report))
        m_log.add(QStringLiteral("Debug file not written: ") + path + QStringLiteral(": ") + *error);
}

void Station::takeScreenshot(const Screenshot::SaveBitmap &saveBitmap)
{
    const QString path = Screenshot::fileName(m_config.imageDir, m_clock.localDate());
    if (const auto error = saveBitmap(path)) {
        m_log.add(QStringLiteral("Screenshot not saved: ") + path + QStringLiteral(": ") + *error);
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
    m_log.addEntry(Screenshot::logLine(path), false);
}

void Station::exit()
{
    m_intake.closeCapture();
    removeEmptyOwnFiles(cleanupDirectories(), QString());
}

void Station::prepareClose()
{
    m_link.close();
    if (m_httpUpload)
        m_httpUpload->cancel();
}

void Station::finishClose()
{
    // The capture file stays while still open, as it does when the window is closed by its
    // close box rather than by Exit.
    removeEmptyOwnFiles(cleanupDirectories(),
                        m_intake.isCaptureOpen() ? m_intake.capturePath() : QString());
}

QStringList Station::cleanupDirectories() const
{
    QStringList dirs{QDir(m_options.workingDir).absolutePath()};
    if (!m_options.programDir.isEmpty()) {
        const QString programDir = QDir(m_options.programDir).absolutePath();
        if (!dirs.contains(programDir))
            dirs << programDir;
    }
    return dirs;
}
