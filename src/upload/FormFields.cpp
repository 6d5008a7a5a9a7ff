#include "upload/FormFields.h"

#include <QByteArray>

namespace {

int hexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

QString decodeComponent(QByteArrayView text)
{
    QByteArray bytes;
    bytes.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '+') {
            bytes += ' ';
        } else if (c == '%' && i + 2 < text.size() && hexValue(text[i + 1]) >= 0 &&
                   hexValue(text[i + 2]) >= 0) {
            bytes += char(hexValue(text[i + 1]) * 16 + hexValue(text[i + 2]));
            i += 2;
        } else {
            bytes += c; // a stray "%" stays as it came
        }
    }
    return QString::fromLatin1(bytes);
}

} // namespace

FormFields decodeFormFields(QByteArrayView body)
{
    FormFields fields;
    qsizetype start = 0;
    while (start <= body.size() && !body.isEmpty()) {
        qsizetype end = body.indexOf('&', start);
        if (end < 0)
            end = body.size();
        const QByteArrayView pair = body.sliced(start, end - start);
        const qsizetype equals = pair.indexOf('=');
        if (equals < 0)
            fields.append({decodeComponent(pair), QString()});
        else
            fields.append({decodeComponent(pair.first(equals)), decodeComponent(pair.sliced(equals + 1))});
        start = end + 1;
    }
    return fields;
}
