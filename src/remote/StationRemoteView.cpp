#include "remote/StationRemoteView.h"

#include "app/Station.h"

StationRemoteView::StationRemoteView(Station &station, QObject *parent)
    : QObject(parent), m_station(station), m_view(station)
{
    connect(&m_view, &RemoteView::logMessage, &station, &Station::report);
    if (TelemetryArchive *archive = station.store().archive()) {
        m_archiveSeries = std::make_unique<ArchiveSeries>(*archive);
        m_view.setArchiveSource(m_archiveSeries.get());
    }
    if (station.store().isOpen())
        m_view.setUploadQueueSource(this);
}

UploadQueueState StationRemoteView::uploadQueueState() const
{
    UploadQueueState state;
    state.waiting = m_station.waitingUploads();
    if (!m_rejectedAge.isValid() || m_rejectedAge.elapsed() > 1000) {
        m_rejected = m_station.store().statistics().rejected;
        m_rejectedAge.start();
    }
    state.rejectedTotal = m_rejected;
    state.sending = m_station.uploads().isSending();
    state.lastError = m_station.uploads().lastError();
    state.nextTryMs = m_station.uploads().nextTryMs();
    return state;
}
