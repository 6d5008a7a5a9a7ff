#pragma once

#include "decode/SeriesDecimation.h"

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

// One channel's values within [fromMs, toMs], oldest first, thinned to about maxPoints with the
// plots' min/max decimation; or why they could not be read.
struct SeriesAnswer
{
    std::vector<SeriesDecimation::Point> points;
    QString error;
};

class SeriesSource
{
public:
    virtual ~SeriesSource() = default;
    virtual SeriesAnswer series(int channel, qint64 fromMs, qint64 toMs, int maxPoints) const = 0;
};
