#include "app/Configuration.h"

#include <QFile>
#include <QFileInfo>

namespace {

// Only the space character counts as a blank here, as in the file's original reader.
QString trimBlanks(QStringView text)
{
    qsizetype first = 0;
    qsizetype last = text.size();
    while (first < last && text[first] == u' ')
        ++first;
    while (last > first && text[last - 1] == u' ')
        --last;
    return text.mid(first, last - first).toString();
}

void storeValue(Configuration &config, const QString &key, const QString &value)
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
    const QByteArray content = file.readAll();
    if (content.isEmpty()) {
        // The first line is read before any end-of-file test.
        result.error = StartupError::inputPastEndOfFile();
        return result;
    }

    const QString text = QString::fromLatin1(content);
    qsizetype start = 0;
    while (start < text.size()) {
        qsizetype end = text.indexOf(u'\n', start);
        const qsizetype next = end < 0 ? text.size() : end + 1;
        if (end < 0)
            end = text.size();
        QStringView line = QStringView(text).mid(start, end - start);
        if (line.endsWith(u'\r'))
            line.chop(1);
        start = next;

        if (line.isEmpty() || line.front() == u'#')
            continue;
        const qsizetype equals = line.indexOf(u'=');
        if (equals < 0) {
            result.error = StartupError::invalidArgument();
            return result;
        }
        storeValue(result.configuration, trimBlanks(line.left(equals)),
                   trimBlanks(line.mid(equals + 1)));
    }
    return result;
}
