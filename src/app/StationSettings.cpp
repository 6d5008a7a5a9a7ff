// The Station's settings while it runs: saving from the Settings dialog, applying a changed
// configuration file, and the texts of the window's status-bar area.
#include "app/Station.h"

#include "app/PortAddress.h"

#include <QDir>

namespace {

bool sameSettings(const Configuration &a, const Configuration &b)
{
    return a.port == b.port && a.server == b.server && a.mycall == b.mycall &&
           a.qthLat == b.qthLat && a.qthLong == b.qthLong && a.imageDir == b.imageDir &&
           a.screenshotButtonVisible.value_or(true) == b.screenshotButtonVisible.value_or(true);
}

// The file as it reads now; IMAGE_PATH defaults to the program directory, as at start-up.
ConfigurationReadResult readAgain(const QString &path, const QString &programDir)
{
    Configuration initial;
    initial.imageDir = QDir::cleanPath(programDir) + u'/';
    return readConfiguration(path, initial);
}

} // namespace

void Station::watchConfigurationFile()
{
    if (!m_configWatcher) {
        m_configWatcher = std::make_unique<ConfigurationWatcher>();
        connect(m_configWatcher.get(), &ConfigurationWatcher::fileChanged, this,
                &Station::applyChangedConfigurationFile);
    }
    m_configWatcher->watch(m_configFilePath);
}

std::optional<QString> Station::applySettings(const Configuration &config)
{
    // An unusable PORT keeps every setting as it was, so the file and the station disagree
    // only until the file is fixed.
    const bool reopenLink = config.port != m_config.port || m_link.remoteHost().isEmpty();
    const PortAddressResult parsed = parsePortValue(config.port);
    if (reopenLink && parsed.error)
        return QStringLiteral("PORT %1: %2").arg(config.port, parsed.error->description);

    m_config = config;
    m_uploads.setServer(config.server);
    if (reopenLink)
        m_link.open(parsed.address.host, parsed.address.port);
    const bool visible = config.screenshotButtonVisible.value_or(true);
    if (visible != m_screenshotButtonVisible) {
        m_screenshotButtonVisible = visible;
        emit screenshotButtonVisibleChanged(visible);
    }
    emit settingsApplied();
    return std::nullopt;
}

std::optional<QString> Station::saveSettings(const ConfigurationValues &values)
{
    if (m_configFilePath.isEmpty())
        return QStringLiteral("the station has not read its configuration file yet");
    if (auto error = writeConfigurationValues(m_configFilePath, values))
        return error;
    const ConfigurationReadResult read = readAgain(m_configFilePath, m_options.pictureDir.isEmpty() ? m_options.programDir : m_options.pictureDir);
    if (read.error)
        return m_configFilePath + u' ' + read.error->description;
    if (const auto problem = applySettings(read.configuration)) {
        m_log.add(QStringLiteral("settings saved: not applied: ") + *problem);
        return problem;
    }
    m_log.add(QStringLiteral("settings saved: applied"));
    return std::nullopt;
}

void Station::applyChangedConfigurationFile()
{
    const ConfigurationReadResult read = readAgain(m_configFilePath, m_options.pictureDir.isEmpty() ? m_options.programDir : m_options.pictureDir);
    // The Settings dialog's own save arrives here too, already applied.
    if (!read.error && sameSettings(read.configuration, m_config))
        return;
    const QString prefix = QStringLiteral("configuration file changed: ");
    std::optional<StartupError> error = read.error;
    if (!error)
        error = missingRequiredValue(read.configuration);
    if (error) {
        m_log.add(prefix + QStringLiteral("not applied: ") + QString::number(error->number) +
                  u' ' + error->description);
        return;
    }
    if (const auto problem = applySettings(read.configuration)) {
        m_log.add(prefix + QStringLiteral("not applied: ") + *problem);
        return;
    }
    m_log.add(prefix + QStringLiteral("applied"));
}
