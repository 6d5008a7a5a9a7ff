#include "app/ConfigurationTemplate.h"

#include "app/ConfigurationWriter.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

QString configurationTemplateText()
{
    QFile example(QStringLiteral(":/halvora1/online_conf.ini"));
    if (!example.open(QIODevice::ReadOnly))
        return {};
    return updateConfigurationText(QString::fromUtf8(example.readAll()),
                                   {{QStringLiteral("SERVER"), QString()},
                                    {QStringLiteral("MYCALL"), QString()}});
}

std::optional<QString> writeConfigurationTemplate(const QString &path)
{
    if (QFileInfo::exists(path))
        return QStringLiteral("%1: already exists, left unchanged").arg(path);
    const QString directory = QFileInfo(path).absolutePath();
    if (!QDir().mkpath(directory))
        return QStringLiteral("%1: cannot create the directory").arg(directory);
    const QString text = configurationTemplateText();
    if (text.isEmpty())
        return QStringLiteral("%1: the configuration template is missing from the program").arg(path);
    QSaveFile file(path);
    const QByteArray bytes = text.toUtf8();
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit())
        return QStringLiteral("%1: %2").arg(path, file.errorString());
    return std::nullopt;
}
