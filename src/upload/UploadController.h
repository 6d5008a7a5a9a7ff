#pragma once

#include "upload/HttpUpload.h"
#include "upload/UploadOutcome.h"
#include "store/UploadQueue.h"

#include <QObject>
#include <QSslConfiguration>
#include <QString>
#include <QStringList>
#include <QTimer>

#include <functional>
#include <optional>

// Drains the upload queue to the collection server: one request at a time, oldest frame first,
// over one reused HTTP connection, with back-off after failures. Owns the HTTP client, the
// transfer-state list and the success counter; the Station creates it, tells it when a frame was
// queued or sending is allowed, and shows its log lines and state.
class UploadController : public QObject
{
    Q_OBJECT
public:
    static constexpr int MaxLoggedBodyChars = 200;

    explicit UploadController(UploadQueue &queue, QObject *parent = nullptr);
    ~UploadController() override;

    void setServer(const QString &url);
    void setTimeout(int milliseconds); // whole request
    void setSslConfiguration(const QSslConfiguration &configuration);
    // Delay before the first retry; doubles with each further failure (tests make it short).
    void setRetryBaseDelay(qint64 milliseconds);
    // Milliseconds since 1970 UTC, for Retry-After dates and nextTryMs (tests fix it).
    void setClock(std::function<qint64()> nowMs);

    // Unticked: what waits is held (a request in flight still ends); ticked: sending resumes.
    void setSendingAllowed(bool allowed);
    // A frame was enqueued: sends it now when nothing is in flight, sending is allowed and no
    // back-off is running; during a request logs "server is busy" and the frame waits.
    void frameQueued();
    // Shutdown: ends a request in flight (its frame stays waiting) and sends nothing more.
    void cancel();

    bool isSending() const { return m_upload.isBusy(); }
    qint32 deliveredCount() const { return m_deliveredCount; } // "HTTP POST OK"
    const QStringList &transferStates() const { return m_transferStates; }
    QString lastError() const { return m_lastError; }
    std::optional<qint64> nextTryMs() const { return m_nextTryMs; } // ms since 1970 UTC
    int failuresInARow() const { return m_failuresInARow; }

signals:
    void logMessage(const QString &message);            // timestamped by the Station's log
    void logEntry(const QString &rawEntry, bool atTop); // an entry without timestamp
    void transferStatesChanged(const QStringList &states);
    void deliveredCountChanged(qint32 count);
    void queueStateChanged(); // waiting count, next try or last error may differ
    void failureKindChanged(const QString &kind); // empty again after a delivery

private:
    void sendNext();
    void onStateChanged(int state);
    void logStartFailure(const HttpUpload::Failure &failure);
    void finishRequest(const UploadOutcome &outcome, const QString &reason);
    void setFailureKind(const QString &kind);
    QString statusLine() const;
    QString bodyExcerpt() const;

    UploadQueue &m_queue;
    HttpUpload m_upload;
    QTimer m_retryTimer;
    std::function<qint64()> m_nowMs;
    QString m_server;
    qint64 m_retryBaseDelayMs = UploadRetry::FirstDelayMs;
    bool m_sendingAllowed = true;
    bool m_cancelled = false;

    std::optional<PendingUpload> m_current; // the frame of the request in flight
    QStringList m_transferStates;
    qint32 m_deliveredCount = 0;
    int m_failuresInARow = 0;
    QString m_lastError;
    QString m_failureKind;
    std::optional<qint64> m_nextTryMs;
};
