#include "upload/UploadOutcome.h"

#include <QDateTime>
#include <QLocale>
#include <QTimeZone>

namespace {

QString transportFailureKind(int number)
{
    switch (number) {
    case 10061: return QStringLiteral("connection refused");
    case 11001: return QStringLiteral("host not found");
    case 10060: return QStringLiteral("timed out");
    case 10054: return QStringLiteral("response cut short");
    case 12175: return QStringLiteral("secure connection failed");
    case 12152: return QStringLiteral("invalid response");
    default:
        if (number > 35749 && number < 35805)
            return QStringLiteral("request not started");
        return QStringLiteral("network error");
    }
}

} // namespace

UploadOutcome classifyUpload(int httpStatus, int failureNumber, QByteArrayView retryAfter,
                             qint64 nowMs, int failedTriesBefore)
{
    if (httpStatus == 0)
        return {UploadVerdict::RetryLater, transportFailureKind(failureNumber), std::nullopt};
    if (httpStatus >= 200 && httpStatus <= 299)
        return {UploadVerdict::Delivered, QString(), std::nullopt};

    UploadOutcome outcome{UploadVerdict::RetryLater, QStringLiteral("HTTP %1").arg(httpStatus),
                          parseRetryAfter(retryAfter, nowMs)};
    // 408 and 429 say "not now"; other 4xx say "not this": the frame is given up after a few
    // tries so one bad frame cannot hold the queue. A 3xx is retried: redirects are not followed
    // (a POST would become a GET), and a moved server needs a new SERVER value, not lost frames.
    const bool refused = httpStatus >= 400 && httpStatus <= 499 && httpStatus != 408 && httpStatus != 429;
    if (refused && failedTriesBefore + 1 >= UploadRetry::MaxTriesOfRefusedFrame)
        outcome.verdict = UploadVerdict::Rejected;
    return outcome;
}

std::optional<qint64> parseRetryAfter(QByteArrayView value, qint64 nowMs)
{
    const QByteArrayView text = value.trimmed();
    if (text.isEmpty())
        return std::nullopt;
    bool isNumber = true;
    for (char c : text)
        isNumber = isNumber && c >= '0' && c <= '9';
    if (isNumber) {
        // Anything beyond the cap is the cap: no need to parse numbers that would overflow.
        if (text.size() > 6)
            return UploadRetry::MaxDelayMs;
        return qMin(text.toLongLong() * 1000, UploadRetry::MaxDelayMs);
    }
    // IMF-fixdate, the form servers send: "Sun, 06 Nov 1994 08:49:37 GMT".
    QDateTime when = QLocale::c().toDateTime(QString::fromLatin1(text),
                                             QStringLiteral("ddd, dd MMM yyyy HH:mm:ss 'GMT'"));
    if (!when.isValid())
        return std::nullopt;
    when.setTimeZone(QTimeZone::utc());
    return qMax<qint64>(0, when.toMSecsSinceEpoch() - nowMs);
}

qint64 backoffDelayMs(int failures, qint64 firstDelayMs)
{
    qint64 delay = qMax<qint64>(1, firstDelayMs);
    for (int i = 1; i < failures && delay < UploadRetry::MaxDelayMs; ++i)
        delay *= 2;
    return qMin(delay, UploadRetry::MaxDelayMs);
}

qint64 retryDelayMs(const UploadOutcome &outcome, int failures, qint64 firstDelayMs)
{
    if (outcome.retryAfterMs)
        return qMin(*outcome.retryAfterMs, UploadRetry::MaxDelayMs);
    return backoffDelayMs(failures, firstDelayMs);
}
