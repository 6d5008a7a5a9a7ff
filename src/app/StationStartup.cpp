// The Station's start-up sequence: configuration, link, capture file, station database and the
// history refill, stopping at the first error with the "Open Error" report.
#include "app/Station.h"

#include "app/ArchivedFrameBuilder.h"
#include "app/PortAddress.h"
#include "app/SafeFileName.h"

#include <QDir>
#include <QLocale>

namespace {

const QString ConfigFileName = QStringLiteral("online_conf.ini");

} // namespace

void Station::start()
{
    updateStatusLine();

    const QString programDir = QDir::cleanPath(m_options.programDir);
    const QString configDir =
        QDir::cleanPath(m_options.configDir.isEmpty() ? m_options.programDir : m_options.configDir);
    m_configFilePath = configDir + u'/' + ConfigFileName;
    m_config.imageDir =
        QDir::cleanPath(m_options.pictureDir.isEmpty() ? programDir : m_options.pictureDir) + u'/';

    // From here on the first error stops the sequence and shows the report.
    ConfigurationReadResult read = readConfiguration(m_configFilePath, m_config);
    m_config = read.configuration;
    if (m_config.screenshotButtonVisible.has_value() &&
        *m_config.screenshotButtonVisible != m_screenshotButtonVisible) {
        m_screenshotButtonVisible = *m_config.screenshotButtonVisible;
        emit screenshotButtonVisibleChanged(m_screenshotButtonVisible);
    }
    if (!read.error)
        read.error = missingRequiredValue(m_config);
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

    // The callsign is made safe where it names a file, so the file stays in this directory.
    const QString capturePath = programDir + u'/' +
        CaptureFile::fileName(safeFileNamePart(m_config.mycall), m_clock.utcNow());
    if (const auto reason = m_intake.openCapture(capturePath)) {
        showStartupError(StartupError::fileAccess(QDir::toNativeSeparators(capturePath), *reason));
        return;
    }

    if (const auto error = openStore(programDir)) {
        showStartupError(*error);
        return;
    }

    m_display.fillCaptionsAndUnits();
    m_display.followChannel(1);
    if (!m_restoredFrameTimeText.isEmpty())
        m_display.refreshTexts(QLocale().decimalPoint());
}

std::optional<StartupError> Station::openStore(const QString &dataDir)
{
    bool limitIsNumber = true;
    const qint64 limit = m_config.uploadQueueLimit.isEmpty()
                             ? FrameStore::DefaultMaxWaiting
                             : m_config.uploadQueueLimit.toLongLong(&limitIsNumber);
    if (!limitIsNumber || limit < 1)
        return StartupError::invalidPropertyValue();
    if (const auto lockError = m_store.open(dataDir, limit)) {
        StartupError error = StartupError::pathFileAccess();
        error.subject = QDir::toNativeSeparators(dataDir);
        error.reason = *lockError;
        error.kind = StartupError::Kind::Files;
        return error;
    }
    if (const auto newest = m_store.refill(m_history)) {
        m_restoredFrameTimeText = receptionTimeText(*newest);
        m_log.add(QStringLiteral("History restored from the archive; latest frame received ") +
                  m_restoredFrameTimeText);
    }
    m_uploads.setServer(m_config.server);
    m_uploads.setSendingAllowed(m_uploadAllowed);
    emit statusAreaChanged();
    return std::nullopt;
}

std::optional<StartupError> Station::openLink(const QString &portValue)
{
    const PortAddressResult parsed = parsePortValue(portValue);
    if (parsed.error)
        return parsed.error;
    m_link.open(parsed.address.host, parsed.address.port);
    return std::nullopt;
}

void Station::showStartupError(const StartupError &error)
{
    m_startupError = error;
    // The window keeps its captions and units even when the station cannot run.
    m_display.fillCaptionsAndUnits();
    emit messageBoxRequested(QStringLiteral("Open Error"), error.reportText(),
                             MessageIcon::Critical);
}
