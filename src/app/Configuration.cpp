#include "app/Configuration.h"

#include "app/ConfigurationText.h"

#include <QFile>
#include <QFileInfo>

namespace {

void storeValue(Configuration &config, QStringView key, const QString &value)
{
    if (key == u"PORT")
        config.port = value;
    else if (key == u"SERVER")
        config.server = value;
    else if (key == u"MYCALL")
        config.mycall = value;
    else if (key == u"QTH_LAT")
        config.qthLat = value;
    else if (key == u"QTH_LONG")
        config.qthLong = value;
    else if (key == u"IMAGE_PATH")
        config.imageDir = value;
    else if (key == u"SCREENSHOT")
        config.screenshotButtonVisible = (value == u"YES");
    else if (key == u"UPLOAD_QUEUE_LIMIT")
        config.uploadQueueLimit = value;
    else if (key == u"HTTP")
        config.httpAddress = value;
    else if (key == u"HTTP_TOKEN")
        config.httpToken = value;
}

// Numbered like the other start-up errors; the report prefixes "online_conf.ini ".
StartupError emptyValue(const char *key)
{
    return StartupError::numbered(380, QStringLiteral("%1 is empty").arg(QLatin1String(key)));
}

StartupError tooLarge()
{
    return StartupError::numbered(75, QStringLiteral("is larger than %1 KiB").arg(MaxConfigurationFileSize / 1024));
}

} // namespace

ConfigurationReadResult readConfiguration(const QString &path, const Configuration &initial)
{
    ConfigurationReadResult result{initial, std::nullopt};

    QFile file(path);
    if (!file.exists()) {
        result.error = StartupError::fileNotFound();
        return result;
    }
    if (QFileInfo(path).isDir() || !file.open(QIODevice::ReadOnly)) {
        result.error = StartupError::pathFileAccess();
        return result;
    }
    const QByteArray content = file.read(MaxConfigurationFileSize + 1);
    if (content.size() > MaxConfigurationFileSize) {
        result.error = tooLarge();
        return result;
    }
    const ConfigurationText decoded = decodeConfigurationText(content);
    if (decoded.text.isEmpty()) {
        // The first line is read before any end-of-file test.
        result.error = StartupError::inputPastEndOfFile();
        return result;
    }

    forEachLine(decoded.text, [&](QStringView line, QStringView) {
        KeyValueSpan span;
        switch (classifyLine(line, &span)) {
        case LineKind::Skipped:
            return true;
        case LineKind::Malformed:
            result.error = StartupError::invalidArgument();
            return false;
        case LineKind::KeyValue:
            storeValue(result.configuration, line.mid(span.keyStart, span.keyEnd - span.keyStart),
                       line.mid(span.valueStart, span.valueEnd - span.valueStart).toString());
            return true;
        }
        return true;
    });
    return result;
}

std::optional<StartupError> missingRequiredValue(const Configuration &config)
{
    if (config.server.isEmpty())
        return emptyValue("SERVER");
    if (config.mycall.isEmpty())
        return emptyValue("MYCALL");
    return std::nullopt;
}
