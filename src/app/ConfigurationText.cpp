#include "app/ConfigurationText.h"

#include <QStringDecoder>

namespace {

const QByteArray Utf8ByteOrderMark("\xEF\xBB\xBF");

bool isBlank(QChar c)
{
    return c == u' ' || c == u'\t';
}

bool fitsLatin1(QStringView text)
{
    for (QChar c : text) {
        if (c.unicode() > 0xFF)
            return false;
    }
    return true;
}

} // namespace

ConfigurationText decodeConfigurationText(const QByteArray &bytes)
{
    ConfigurationText result;
    QByteArrayView body(bytes);
    if (body.startsWith(Utf8ByteOrderMark)) {
        result.byteOrderMark = true;
        body = body.sliced(Utf8ByteOrderMark.size());
    }
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = utf8.decode(body);
    if (utf8.hasError()) {
        result.encoding = TextEncoding::Latin1;
        text = QString::fromLatin1(body);
    }
    result.text = std::move(text);
    return result;
}

QByteArray encodeConfigurationText(const ConfigurationText &text)
{
    if (text.encoding == TextEncoding::Latin1 && fitsLatin1(text.text))
        return (text.byteOrderMark ? Utf8ByteOrderMark : QByteArray()) + text.text.toLatin1();
    return (text.byteOrderMark ? Utf8ByteOrderMark : QByteArray()) + text.text.toUtf8();
}

LineKind classifyLine(QStringView line, KeyValueSpan *span)
{
    if (line.isEmpty() || line.front() == u'#')
        return LineKind::Skipped;
    const qsizetype equals = line.indexOf(u'=');
    if (equals < 0)
        return LineKind::Malformed;
    if (span) {
        KeyValueSpan s;
        s.keyEnd = equals;
        while (s.keyStart < s.keyEnd && isBlank(line[s.keyStart]))
            ++s.keyStart;
        while (s.keyEnd > s.keyStart && isBlank(line[s.keyEnd - 1]))
            --s.keyEnd;
        s.valueStart = equals + 1;
        s.valueEnd = line.size();
        while (s.valueStart < s.valueEnd && isBlank(line[s.valueStart]))
            ++s.valueStart;
        while (s.valueEnd > s.valueStart && isBlank(line[s.valueEnd - 1]))
            --s.valueEnd;
        *span = s;
    }
    return LineKind::KeyValue;
}
