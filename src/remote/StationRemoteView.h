#pragma once

#include "remote/ArchiveSeries.h"
#include "remote/RemoteSources.h"
#include "remote/RemoteView.h"

#include <QElapsedTimer>

#include <memory>

class Station;

// The remote view of one running Station with everything it can show: the archive's series and
// the upload queue. Created by main() for --http or the HTTP key; its warning lines go to the
// Station's activity log.
class StationRemoteView : public QObject, private UploadQueueSource
{
    Q_OBJECT
public:
    explicit StationRemoteView(Station &station, QObject *parent = nullptr);

    std::optional<QString> listen(const QString &addressAndPort, const QString &token)
    {
        return m_view.listen(addressAndPort, token);
    }

private:
    UploadQueueState uploadQueueState() const override;

    Station &m_station;
    RemoteView m_view;
    std::unique_ptr<ArchiveSeries> m_archiveSeries;
    // The rejected count is a database query: read it at most once a second.
    mutable QElapsedTimer m_rejectedAge;
    mutable qint64 m_rejected = 0;
};
