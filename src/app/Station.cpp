#include "app/Station.h"

#include "app/EmptyFileCleanup.h"
#include "app/SafeFileName.h"
#include "records/DebugReport.h"
#include "upload/UploadBody.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QProcess>

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
    m_intake.setCaptureRetryInterval(m_options.captureRetryIntervalMs);

    connect(&m_link, &LinkSupervisor::logMessage, &m_log, &ActivityLog::add);
    connect(&m_link, &LinkSupervisor::recordReceived, &m_intake, &FrameIntake::handleRecord);
    connect(&m_intake, &FrameIntake::logMessage, &m_log, &ActivityLog::add);
    connect(&m_intake, &FrameIntake::satelliteFrameReceived, this, &Station::handleSatelliteFrame);
    connect(&m_intake, &FrameIntake::captureWriteStateChanged, this, [this](bool failing) {
        setWarning(failing ? QStringLiteral("Capture file cannot be written") : QString());
    });
    connect(&m_store, &FrameStore::logMessage, &m_log, &ActivityLog::add);
    connect(&m_store, &FrameStore::noticeRaised, this, [this](const QString &text) {
        emit messageBoxRequested(QStringLiteral("Station database"), text, MessageIcon::Information);
    });
    connect(&m_store, &FrameStore::writeStateChanged, this, [this](bool failing) {
        setWarning(failing ? QStringLiteral("Station database cannot be written") : QString());
    });

    m_uploads.setTimeout(m_options.uploadTimeoutMs);
    m_uploads.setSendingAllowed(false); // until start-up has read the configuration
    connect(&m_uploads, &UploadController::logMessage, &m_log, &ActivityLog::add);
    connect(&m_uploads, &UploadController::logEntry, &m_log, &ActivityLog::addEntry);
    connect(&m_uploads, &UploadController::deliveredCountChanged, this, &Station::updateStatusLine);
    connect(&m_uploads, &UploadController::queueStateChanged, this, &Station::statusAreaChanged);
}

Station::~Station() = default;

void Station::reconnect()
{
    m_link.reconnect();
}

void Station::handleSatelliteFrame()
{
    const QByteArrayView frame = m_intake.rawFrame();
    m_store.archive(m_intake.frameTimeMs(), frame, m_intake.lastDecode(), m_history);
    emit frameArchived(m_intake.frameTimeMs());
    prepareUploadBody();
    if (m_uploadAllowed)
        uploadCurrentFrame();
    m_display.refreshChart();
    updateStatusLine();
}

void Station::prepareUploadBody()
{
    // The frame's own reception time: a body sent later from the queue still tells when it
    // was heard.
    m_uploadBody = buildUploadBody({m_config.mycall, m_config.qthLat, m_config.qthLong},
                                   m_intake.frameTimeText().chopped(4), m_intake.frameHex());
    m_log.add(m_uploadBody);
}

void Station::uploadCurrentFrame()
{
    if (m_intake.frameTimeMs() == 0)
        return; // no satellite frame yet
    // The body holds Latin-1 configuration text and ASCII: one byte per character.
    const EnqueueResult queued = m_store.enqueue(m_intake.frameTimeMs(), m_intake.rawFrame(),
                                                 m_uploadBody.toLatin1());
    if (queued == EnqueueResult::Failed)
        m_log.add(QStringLiteral("Upload queue: frame not stored, it will not be uploaded"));
    m_uploads.frameQueued();
    emit statusAreaChanged();
}

void Station::setWarning(const QString &text)
{
    if (text == m_warningText)
        return;
    m_warningText = text;
    emit statusAreaChanged();
}

QString Station::queueSummary()
{
    const qint64 waiting = m_store.waitingCount();
    QString text = QStringLiteral("Upload queue: %1 waiting").arg(waiting);
    if (const auto next = m_uploads.nextTryMs(); next && waiting > 0)
        text += QStringLiteral(", next try ") +
                QDateTime::fromMSecsSinceEpoch(*next, Qt::UTC).toString(QStringLiteral("HH:mm:ss")) +
                QStringLiteral(" UTC");
    return text;
}

QString Station::queueToolTip() const
{
    return m_uploads.lastError().isEmpty() ? QStringLiteral("No upload error")
                                           : QStringLiteral("Last upload error: ") + m_uploads.lastError();
}

void Station::updateStatusLine()
{
    const QString text = QStringLiteral("RX packets: %1 | HTTP POST OK: %2")
                             .arg(m_intake.satelliteFrameCount())
                             .arg(m_uploads.deliveredCount());
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
    // Unticking also holds what already waits; ticking sends it.
    if (m_store.isOpen())
        m_uploads.setSendingAllowed(allowed);
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
                         DebugReport::fileName(safeFileNamePart(m_config.mycall), m_clock.utcNow());
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
    m_store.flush();
    m_intake.closeCapture();
    removeEmptyOwnFiles(cleanupDirectories(), QString());
}

void Station::prepareClose()
{
    m_link.close();
    m_uploads.cancel();
    m_store.flush();
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
