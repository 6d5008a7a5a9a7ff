#include "records/DebugReport.h"

#include <QSaveFile>

namespace DebugReport {

QString fileName(const QString &mycall, const QDateTime &utc)
{
    return mycall + u'_' + utc.toString(QStringLiteral("ddMMyyyy_HHmm")) + QStringLiteral(".txt");
}

QByteArray build(const QString &activityLogText, const QString &rawFrameText,
                 const QByteArray &configurationBytes)
{
    static const QByteArray hyphens(52, '-');
    static const QByteArray crlf("\r\n");
    QByteArray out;
    out.reserve(activityLogText.size() + rawFrameText.size() + configurationBytes.size() + 512);
    const auto item = [&out](const QByteArray &bytes) {
        out += bytes;
        out += crlf;
    };
    item("Debugfile Halvora-1 Online Telemetry Decoder (Narvek)");
    item("Version: " HALVORA_VERSION);
    item(hyphens);
    item(activityLogText.toLatin1());
    item(hyphens);
    item(rawFrameText.toLatin1());
    item(hyphens);
    item(configurationBytes);
    item(hyphens);
    item("thanks 73, Jorrel ");
    item("Narvek");
    return out;
}

std::optional<QString> write(const QString &path, const QByteArray &bytes)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return file.errorString();
    if (file.write(bytes) != bytes.size()) {
        const QString reason = file.errorString();
        file.cancelWriting();
        return reason;
    }
    if (!file.commit())
        return file.errorString();
    return std::nullopt;
}

} // namespace DebugReport
