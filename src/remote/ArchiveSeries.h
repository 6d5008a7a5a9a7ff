#pragma once

#include "remote/RemoteSources.h"

class TelemetryArchive;

// Series for the remote view from the telemetry archive: the archive's per-slice minimum and
// maximum, both placed at the slice's first ms. The Station's owner hands one to RemoteView
// once the station has an archive.
class ArchiveSeries : public SeriesSource
{
public:
    explicit ArchiveSeries(TelemetryArchive &archive) : m_archive(archive) {}
    SeriesAnswer series(int channel, qint64 fromMs, qint64 toMs, int maxPoints) const override;

private:
    TelemetryArchive &m_archive; // reading commits its buffered writes, hence not const
};
