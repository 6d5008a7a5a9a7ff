#include "app/PortAddress.h"

#include <QHostAddress>

PortAddressResult parsePortValue(QStringView value)
{
    PortAddressResult result;
    value = value.trimmed();

    QStringView portText;
    if (value.startsWith(u'[')) {
        // An IPv6 address has colons of its own, so it is bracketed as in URLs.
        const qsizetype close = value.indexOf(u']');
        if (close < 0 || close + 1 >= value.size() || value[close + 1] != u':') {
            result.error = StartupError::invalidArgument();
            return result;
        }
        const QString host = value.mid(1, close - 1).toString();
        if (QHostAddress(host).protocol() != QAbstractSocket::IPv6Protocol) {
            result.error = StartupError::invalidArgument();
            return result;
        }
        result.address.host = host;
        portText = value.mid(close + 2);
    } else {
        const qsizetype colon = value.indexOf(u':');
        if (colon < 0) {
            result.error = StartupError::invalidArgument();
            return result;
        }
        result.address.host = value.left(colon).toString();
        portText = value.mid(colon + 1);
    }

    bool isNumber = false;
    const qlonglong port = portText.trimmed().toLongLong(&isNumber);
    if (!isNumber) {
        result.error = StartupError::typeMismatch();
        return result;
    }
    if (port < 1 || port > 65535) {
        result.error = StartupError::invalidPropertyValue();
        return result;
    }
    result.address.port = quint16(port);
    return result;
}
