#include "app/SafeFileName.h"

QString safeFileNamePart(QStringView text)
{
    QString safe;
    safe.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c == u'.' && i + 1 < text.size() && text[i + 1] == u'.') {
            safe += u'_';
            ++i;
        } else if (c == u'/' || c == u'\\' || c.category() == QChar::Other_Control) {
            safe += u'_';
        } else {
            safe += c;
        }
    }
    if (safe.isEmpty())
        safe = QStringLiteral("_");
    return safe;
}
