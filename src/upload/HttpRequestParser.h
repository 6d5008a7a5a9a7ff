#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QPair>
#include <QString>

// Cuts one HTTP/1.1 request out of the bytes a connection has delivered so far. The receiving
// side of an upload: the telemetry-sink tool and the tests' loopback servers parse with it.
// Bounds-checked: oversized or broken requests are reported, never read past.

struct HttpRequest
{
    QByteArray method;
    QByteArray target;
    QByteArray version;
    QList<QPair<QByteArray, QByteArray>> headers; // in arrival order, names as sent
    QByteArray body;

    // The first header of that name (case-insensitive), or an empty array.
    QByteArray header(QByteArrayView name) const;
};

struct HttpParseResult
{
    enum class Status { Complete, Incomplete, Malformed };
    Status status = Status::Incomplete;
    HttpRequest request;   // set when Complete
    qsizetype consumed = 0; // bytes of the buffer the request took, when Complete
    QString error;         // set when Malformed
};

namespace HttpLimits {
constexpr qsizetype MaxHeaderBytes = 16 * 1024;
constexpr qsizetype MaxBodyBytes = 1024 * 1024;
} // namespace HttpLimits

HttpParseResult parseHttpRequest(QByteArrayView buffer);
