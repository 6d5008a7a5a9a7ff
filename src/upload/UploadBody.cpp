#include "upload/UploadBody.h"

namespace {

bool needsEncoding(char16_t c)
{
    return c == u'&' || c == u'=' || c == u'%' || c == u'+' || c < 0x20 || (c >= 0x7F && c <= 0x9F);
}

// "yyyy-MM-dd HH:mm:ss.zzz" -> "yyyy-MM-ddTHH:mm:ss.zzzZ"; a reading of another shape is
// carried over with the blank replaced, never cut short.
QString isoTimestamp(QStringView timestamp)
{
    QString value = timestamp.toString();
    if (value.size() > 10 && value[10] == u' ')
        value[10] = u'T';
    value += u'Z';
    return value;
}

QStringView withoutTrailingBlanks(QStringView text)
{
    while (!text.isEmpty() && text.back() == u' ')
        text.chop(1);
    return text;
}

} // namespace

QString encodeFormValue(QStringView value)
{
    static constexpr char Hex[] = "0123456789ABCDEF";
    QString out;
    out.reserve(value.size());
    for (const QChar ch : value) {
        const char16_t c = ch.unicode();
        if (!needsEncoding(c)) {
            out += ch;
            continue;
        }
        // Every character that needs it is below 0x100: one byte, as the body is sent in Latin-1.
        out += u'%';
        out += QLatin1Char(Hex[(c >> 4) & 0xF]);
        out += QLatin1Char(Hex[c & 0xF]);
    }
    return out;
}

QString buildUploadBody(const UploadStation &station, QStringView timestamp, QStringView frameHex)
{
    QString body;
    body.reserve(160 + frameHex.size());
    body += u"noradID=48263&source=";
    body += encodeFormValue(station.mycall);
    body += u"&timestamp=";
    body += isoTimestamp(timestamp);
    body += u"&frame=";
    body += withoutTrailingBlanks(frameHex);
    body += u"&locator=longLat&longitude=";
    body += encodeFormValue(station.qthLong);
    body += u"&latitude=";
    body += encodeFormValue(station.qthLat);
    body += u"&tncPort=0";
    return body;
}
