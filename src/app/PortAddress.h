#pragma once

#include "app/StartupError.h"

#include <QString>
#include <QStringView>

#include <optional>

// The packet engine address of the PORT setting: "host:port", or "[ipv6-address]:port".
// Parsed by the Station before it opens the link, and by the settings validation.
struct PortAddress
{
    QString host; // without the brackets of an IPv6 address
    quint16 port = 0;
};

struct PortAddressResult
{
    PortAddress address;               // valid when error is empty
    std::optional<StartupError> error; // 5: no ":" (or a bad "[...]"), 13: not a number, 380: not 1..65535
};

PortAddressResult parsePortValue(QStringView value);
