#pragma once

#include <QString>
#include <QtGlobal>

#include <optional>
#include <vector>

// What the remote view reads from parts that are not always there: the upload queue and the
// telemetry archive. The Station's owner hands implementations to RemoteView once those parts
// exist; without one, the page, the API and the metrics leave that part out.

struct UploadQueueState
{
    qint64 waiting = 0;                // frames waiting for the server
    qint64 rejectedTotal = 0;          // frames the server refused for good
    bool sending = false;              // a request is in flight
    QString lastError;                 // "" after a delivery
    std::optional<qint64> nextTryMs;   // ms since 1970 UTC, during a back-off
};

class UploadQueueSource
{
public:
    virtual ~UploadQueueSource() = default;
    virtual UploadQueueState uploadQueueState() const = 0;
};

struct SeriesPoint
{
    qint64 timeMs = 0; // reception time, ms since 1970 UTC
    double value = 0;
};

// One channel's values between two times, oldest first, at most maxPoints of them (min/max
// per time bucket when there are more).
class SeriesSource
{
public:
    virtual ~SeriesSource() = default;
    virtual std::vector<SeriesPoint> series(int channel, qint64 fromMs, qint64 toMs, int maxPoints) const = 0;
};
