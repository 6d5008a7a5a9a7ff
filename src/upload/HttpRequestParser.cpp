#include "upload/HttpRequestParser.h"

QByteArray HttpRequest::header(QByteArrayView name) const
{
    for (const auto &[key, value] : headers) {
        if (key.compare(name, Qt::CaseInsensitive) == 0)
            return value;
    }
    return {};
}

namespace {

HttpParseResult malformed(const QString &why)
{
    HttpParseResult result;
    result.status = HttpParseResult::Status::Malformed;
    result.error = why;
    return result;
}

} // namespace

HttpParseResult parseHttpRequest(QByteArrayView buffer)
{
    const qsizetype headerEnd = buffer.indexOf(QByteArrayView("\r\n\r\n"));
    if (headerEnd < 0) {
        if (buffer.size() > HttpLimits::MaxHeaderBytes)
            return malformed(QStringLiteral("request header longer than %1 bytes")
                                 .arg(HttpLimits::MaxHeaderBytes));
        return {};
    }
    if (headerEnd > HttpLimits::MaxHeaderBytes)
        return malformed(QStringLiteral("request header longer than %1 bytes")
                             .arg(HttpLimits::MaxHeaderBytes));

    HttpRequest request;
    const QList<QByteArray> lines = buffer.first(headerEnd).toByteArray().split('\n');
    const QList<QByteArray> requestLine = lines.first().trimmed().split(' ');
    if (requestLine.size() != 3 || requestLine[0].isEmpty() || requestLine[1].isEmpty() ||
        !requestLine[2].startsWith("HTTP/"))
        return malformed(QStringLiteral("bad request line"));
    request.method = requestLine[0];
    request.target = requestLine[1];
    request.version = requestLine[2];

    for (qsizetype i = 1; i < lines.size(); ++i) {
        const QByteArray line = lines[i].trimmed();
        const qsizetype colon = line.indexOf(':');
        if (colon <= 0)
            return malformed(QStringLiteral("bad header line %1").arg(i + 1));
        request.headers.append({line.left(colon).trimmed(), line.mid(colon + 1).trimmed()});
    }

    if (!request.header("Transfer-Encoding").isEmpty())
        return malformed(QStringLiteral("transfer encodings are not supported"));
    qsizetype bodyLength = 0;
    const QByteArray lengthText = request.header("Content-Length");
    if (!lengthText.isEmpty()) {
        bool ok = false;
        bodyLength = lengthText.toLongLong(&ok);
        if (!ok || bodyLength < 0)
            return malformed(QStringLiteral("bad Content-Length"));
        if (bodyLength > HttpLimits::MaxBodyBytes)
            return malformed(QStringLiteral("body longer than %1 bytes").arg(HttpLimits::MaxBodyBytes));
    }

    const qsizetype bodyStart = headerEnd + 4;
    if (buffer.size() - bodyStart < bodyLength)
        return {};
    request.body = buffer.sliced(bodyStart, bodyLength).toByteArray();

    HttpParseResult result;
    result.status = HttpParseResult::Status::Complete;
    result.request = std::move(request);
    result.consumed = bodyStart + bodyLength;
    return result;
}
