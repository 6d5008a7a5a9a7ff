#include "app/SettingsValidators.h"

#include "app/PortAddress.h"

#include <QLocale>
#include <QRegularExpression>
#include <QUrl>

namespace {

bool isAsciiLetterOrDigit(QChar c)
{
    return (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z') || (c >= u'0' && c <= u'9');
}

bool isDegreesWithin(QStringView text, double limit)
{
    // Plain decimal notation only: no exponent, no thousands separator, no blanks.
    static const QRegularExpression decimal(QStringLiteral("^[+-]?(\\d+(\\.\\d*)?|\\.\\d+)$"));
    if (!decimal.match(text).hasMatch())
        return false;
    bool ok = false;
    const double value = QLocale::c().toDouble(text, &ok);
    return ok && value >= -limit && value <= limit;
}

} // namespace

bool isValidCallsign(QStringView text)
{
    if (text.isEmpty() || text.size() > 12)
        return false;
    int slashes = 0;
    QChar previous = u'/';
    for (QChar c : text) {
        if (c == u'/') {
            if (++slashes > 1 || previous == u'/')
                return false;
        } else if (!isAsciiLetterOrDigit(c)) {
            return false;
        }
        previous = c;
    }
    return previous != u'/';
}

bool isValidServerUrl(QStringView text)
{
    const QUrl url(text.toString(), QUrl::StrictMode);
    return url.isValid() && (url.scheme() == u"http" || url.scheme() == u"https") &&
           !url.host().isEmpty();
}

bool isValidLatitude(QStringView text)
{
    return isDegreesWithin(text, 90.0);
}

bool isValidLongitude(QStringView text)
{
    return isDegreesWithin(text, 180.0);
}

bool isValidPortValue(QStringView text)
{
    const PortAddressResult parsed = parsePortValue(text);
    return !parsed.error && !parsed.address.host.isEmpty();
}
