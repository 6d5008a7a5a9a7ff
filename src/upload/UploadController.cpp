#include "upload/UploadController.h"

#include <QDateTime>

#include <chrono>
#include <utility>

namespace {

const QString FormHeader = QStringLiteral("Content-Type: application/x-www-form-urlencoded");

} // namespace

UploadController::UploadController(UploadQueue &queue, QObject *parent)
    : QObject(parent), m_queue(queue), m_nowMs([] { return QDateTime::currentMSecsSinceEpoch(); })
{
    m_retryTimer.setSingleShot(true);
    connect(&m_retryTimer, &QTimer::timeout, this, [this] {
        m_nextTryMs.reset();
        emit queueStateChanged();
        sendNext();
    });
    connect(&m_upload, &HttpUpload::stateChanged, this, &UploadController::onStateChanged);
}

UploadController::~UploadController()
{
    cancel();
}

void UploadController::setServer(const QString &url)
{
    m_server = url;
}

void UploadController::setTimeout(int milliseconds)
{
    m_upload.setTimeout(milliseconds);
}

void UploadController::setSslConfiguration(const QSslConfiguration &configuration)
{
    m_upload.setSslConfiguration(configuration);
}

void UploadController::setRetryBaseDelay(qint64 milliseconds)
{
    m_retryBaseDelayMs = milliseconds;
}

void UploadController::setClock(std::function<qint64()> nowMs)
{
    m_nowMs = std::move(nowMs);
}

void UploadController::setSendingAllowed(bool allowed)
{
    m_sendingAllowed = allowed;
    if (allowed)
        sendNext();
}

void UploadController::frameQueued()
{
    emit queueStateChanged();
    if (m_upload.isBusy()) {
        emit logMessage(QStringLiteral("server is busy"));
        return;
    }
    sendNext();
}

void UploadController::cancel()
{
    m_cancelled = true;
    m_retryTimer.stop();
    m_nextTryMs.reset();
    m_current.reset();
    m_upload.cancel();
}

void UploadController::sendNext()
{
    if (m_cancelled || !m_sendingAllowed || m_upload.isBusy() || m_retryTimer.isActive())
        return;
    m_current = m_queue.oldestWaiting();
    if (!m_current)
        return;
    m_transferStates.clear();
    emit transferStatesChanged(m_transferStates);

    // A failed step is logged and the next one still tried, as the button always did.
    if (auto failure = m_upload.setUrl(m_server))
        logStartFailure(*failure);
    if (auto failure = m_upload.execute(QStringLiteral("POST"), m_current->body, FormHeader)) {
        logStartFailure(*failure);
        finishRequest(classifyUpload(0, failure->number, {}, m_nowMs(), m_current->attempts),
                      QStringLiteral("error number: %1: %2").arg(failure->number).arg(failure->description));
    }
}

void UploadController::logStartFailure(const HttpUpload::Failure &failure)
{
    QString message = QStringLiteral("error number: %1\r\nerror discription: %2")
                          .arg(failure.number)
                          .arg(failure.description);
    if (failure.number > 35749 && failure.number < 35805) {
        message += QStringLiteral("\r\nHeaders: ") + m_upload.responseHeaders() +
                   QStringLiteral("\r\nResponse code: ") + QString::number(m_upload.responseCode()) +
                   QStringLiteral("\r\nResponse Info: ") + m_upload.responseInfo();
    }
    emit logMessage(message);
}

void UploadController::onStateChanged(int state)
{
    const QString name = HttpUpload::stateName(state);
    if (name.isEmpty() || !m_current)
        return;
    m_transferStates << name;
    emit transferStatesChanged(m_transferStates);

    if (state == int(HttpUpload::State::Error)) {
        const QString text = QString::number(m_upload.responseCode()) + QStringLiteral(": ") + m_upload.responseInfo();
        emit logMessage(text);
        finishRequest(classifyUpload(0, m_upload.responseCode(), {}, m_nowMs(), m_current->attempts), text);
    } else if (state == int(HttpUpload::State::ResponseCompleted)) {
        QString headers = m_upload.responseHeaders();
        emit logMessage(headers.replace(QStringLiteral("\r\n"), QStringLiteral(" ")));
        const int status = m_upload.httpStatus();
        if (status == 401 || status == 407)
            emit logEntry(QStringLiteral("Access is denied. Try adding a Username and Password\r\n"), true);
        finishRequest(classifyUpload(status, 0, m_upload.responseHeader("Retry-After"), m_nowMs(),
                                     m_current->attempts),
                      statusLine());
    }
}

void UploadController::finishRequest(const UploadOutcome &outcome, const QString &reason)
{
    const PendingUpload frame = *std::exchange(m_current, std::nullopt);
    switch (outcome.verdict) {
    case UploadVerdict::Delivered:
        m_queue.markDelivered(frame.id);
        ++m_deliveredCount;
        m_failuresInARow = 0;
        m_lastError.clear();
        emit deliveredCountChanged(m_deliveredCount);
        break;
    case UploadVerdict::RetryLater: {
        m_queue.markFailedAttempt(frame.id, reason);
        ++m_failuresInARow;
        m_lastError = reason;
        const qint64 delay = retryDelayMs(outcome, m_failuresInARow, m_retryBaseDelayMs);
        m_nextTryMs = m_nowMs() + delay;
        m_retryTimer.start(std::chrono::milliseconds(delay));
        break;
    }
    case UploadVerdict::Rejected: {
        const QString rejection = reason + QStringLiteral(" ") + bodyExcerpt();
        m_queue.markRejected(frame.id, rejection.trimmed());
        // The server answered, so it is up: the next frame goes at once.
        m_failuresInARow = 0;
        m_lastError = rejection.trimmed();
        emit logMessage(QStringLiteral("upload rejected after %1 tries: %2")
                            .arg(frame.attempts + 1)
                            .arg(m_lastError));
        break;
    }
    }
    setFailureKind(outcome.kind);
    emit queueStateChanged();
    if (outcome.verdict != UploadVerdict::RetryLater) {
        // Started from the event loop, not from inside the client's finished signal.
        QMetaObject::invokeMethod(this, &UploadController::sendNext, Qt::QueuedConnection);
    }
}

void UploadController::setFailureKind(const QString &kind)
{
    if (kind == m_failureKind)
        return;
    m_failureKind = kind;
    emit failureKindChanged(kind);
}

QString UploadController::statusLine() const
{
    return m_upload.responseHeaders().section(QStringLiteral("\r\n"), 0, 0);
}

QString UploadController::bodyExcerpt() const
{
    // The body is the server's text of unknown form: one line, no control characters.
    QString text = QString::fromUtf8(m_upload.responseBody()).left(MaxLoggedBodyChars);
    for (QChar &c : text) {
        if (c.category() == QChar::Other_Control)
            c = u' ';
    }
    return text;
}
