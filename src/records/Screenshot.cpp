#include "records/Screenshot.h"

namespace Screenshot {

QString fileName(const QString &imageDir, const QDate &localDate)
{
    return imageDir + QStringLiteral("halvora1_") + localDate.toString(QStringLiteral("ddMMyyyy")) +
           QStringLiteral(".bmp");
}

QStringList converterArguments(const QString &bitmapPath)
{
    return {QStringLiteral("-out"),    QStringLiteral("png"),   QStringLiteral("-transpcolor"),
            QStringLiteral("240"),     QStringLiteral("240"),   QStringLiteral("240"),
            QStringLiteral("-colors"), QStringLiteral("256"),   QStringLiteral("-crop"),
            QStringLiteral("1"),       QStringLiteral("37"),    QStringLiteral("735"),
            QStringLiteral("610"),     QStringLiteral("-quiet"), QStringLiteral("-D"),
            bitmapPath};
}

QString logLine(const QString &bitmapPath)
{
    QString png = bitmapPath;
    png.replace(QStringLiteral("bmp"), QStringLiteral("png"));
    return png + QStringLiteral(" converted and saved\r\n");
}

} // namespace Screenshot
