#include "app/ConfigurationWriter.h"

#include "app/ConfigurationText.h"

#include <QFile>
#include <QSaveFile>

namespace {

const QString *newValueOf(const ConfigurationValues &values, QStringView key)
{
    for (const auto &[name, value] : values) {
        if (name == key)
            return &value;
    }
    return nullptr;
}

QString lineEndOf(const QString &text)
{
    const qsizetype lf = text.indexOf(u'\n');
    if (lf < 0 || (lf > 0 && text[lf - 1] == u'\r'))
        return QStringLiteral("\r\n");
    return QStringLiteral("\n");
}

} // namespace

QString updateConfigurationText(const QString &text, const ConfigurationValues &values)
{
    QString result;
    result.reserve(text.size() + 64);
    QList<QString> written;
    forEachLine(text, [&](QStringView line, QStringView lineEnd) {
        KeyValueSpan span;
        const QString *value = nullptr;
        if (classifyLine(line, &span) == LineKind::KeyValue) {
            const QStringView key = line.mid(span.keyStart, span.keyEnd - span.keyStart);
            value = newValueOf(values, key);
            if (value)
                written.append(key.toString());
        }
        if (value) {
            // Only the value changes; the blanks around "=" and after the value stay.
            result += line.left(span.valueStart);
            result += *value;
            result += line.mid(span.valueEnd);
        } else {
            result += line;
        }
        result += lineEnd;
        return true;
    });

    const QString lineEnd = lineEndOf(text);
    for (const auto &[key, value] : values) {
        if (written.contains(key))
            continue;
        if (!result.isEmpty() && !result.endsWith(u'\n'))
            result += lineEnd;
        result += key + u'=' + value + lineEnd;
        written.append(key);
    }
    return result;
}

std::optional<QString> writeConfigurationValues(const QString &path,
                                                const ConfigurationValues &values)
{
    for (const auto &[key, value] : values) {
        if (value.contains(u'\n') || value.contains(u'\r'))
            return QStringLiteral("%1: the value of %2 contains a line break").arg(path, key);
    }

    ConfigurationText content;
    QFile existing(path);
    if (existing.exists()) {
        if (!existing.open(QIODevice::ReadOnly))
            return QStringLiteral("%1: %2").arg(path, existing.errorString());
        const QByteArray bytes = existing.read(MaxConfigurationFileSize + 1);
        if (bytes.size() > MaxConfigurationFileSize)
            return QStringLiteral("%1: larger than %2 KiB, left unchanged")
                .arg(path)
                .arg(MaxConfigurationFileSize / 1024);
        content = decodeConfigurationText(bytes);
    }
    content.text = updateConfigurationText(content.text, values);

    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return QStringLiteral("%1: %2").arg(path, file.errorString());
    const QByteArray bytes = encodeConfigurationText(content);
    if (file.write(bytes) != bytes.size() || !file.commit())
        return QStringLiteral("%1: %2").arg(path, file.errorString());
    return std::nullopt;
}
