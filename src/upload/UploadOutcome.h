#pragma once

#include <QByteArrayView>
#include <QString>
#include <QtGlobal>

#include <optional>

// What one upload request's end means for its frame: delivered, worth another try later, or
// refused by the server for good. Plain functions of what the HTTP client reported; the upload
// controller calls them after every request and sets its retry timer from retryDelayMs.

enum class UploadVerdict { Delivered, RetryLater, Rejected };

struct UploadOutcome
{
    UploadVerdict verdict = UploadVerdict::RetryLater;
    QString kind;                       // short failure label ("connection refused", "HTTP 503"); empty when delivered
    std::optional<qint64> retryAfterMs; // the server's Retry-After, when it sent a usable one
};

namespace UploadRetry {
constexpr qint64 FirstDelayMs = 5000;
constexpr qint64 MaxDelayMs = 10 * 60 * 1000;
constexpr int MaxTriesOfRefusedFrame = 3; // a 4xx other than 408 and 429
} // namespace UploadRetry

// httpStatus: the status of a completed response, 0 when none completed; failureNumber: the
// client's response code on icError or its own failure number (35750-35804) otherwise.
// failedTriesBefore: the frame's failed tries before this one.
UploadOutcome classifyUpload(int httpStatus, int failureNumber, QByteArrayView retryAfter,
                             qint64 nowMs, int failedTriesBefore);

// Retry-After as delay seconds or as an HTTP date; nullopt when it is neither. Never negative.
std::optional<qint64> parseRetryAfter(QByteArrayView value, qint64 nowMs);

// Back-off after `failures` failed requests in a row (1 = the first retry): firstDelayMs,
// doubling, at most MaxDelayMs.
qint64 backoffDelayMs(int failures, qint64 firstDelayMs = UploadRetry::FirstDelayMs);

// The wait before the next request: the server's Retry-After within MaxDelayMs, else the back-off.
qint64 retryDelayMs(const UploadOutcome &outcome, int failures,
                    qint64 firstDelayMs = UploadRetry::FirstDelayMs);
