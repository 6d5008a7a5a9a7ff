// The Station's upload of the current satellite frame: body, request, and the HTTP client's
// state changes turned into the transfer-state list, log entries and the delivered count.
#include "app/Station.h"

#include "upload/UploadBody.h"

void Station::prepareUploadBody()
{
    m_uploadBody = buildUploadBody({m_config.mycall, m_config.qthLat, m_config.qthLong},
                                   m_clock.timestampNow(), m_intake.frameHex());
    m_log.add(m_uploadBody);
}

HttpUpload &Station::httpUpload()
{
    if (!m_httpUpload) {
        m_httpUpload = std::make_unique<HttpUpload>();
        m_httpUpload->setTimeout(m_options.uploadTimeoutMs);
        connect(m_httpUpload.get(), &HttpUpload::stateChanged, this, &Station::handleUploadState);
    }
    return *m_httpUpload;
}

void Station::uploadCurrentFrame()
{
    HttpUpload &upload = httpUpload();
    if (upload.isBusy()) {
        m_log.add(QStringLiteral("server is busy"));
        return;
    }
    m_transferStates.clear();
    emit transferStatesChanged(m_transferStates);

    // A failed step is logged and the next one still tried, as the button always did.
    if (auto failure = upload.setUrl(m_config.server))
        logUploadFailure(*failure);
    // The body holds Latin-1 configuration text and ASCII: one byte per character.
    if (auto failure = upload.execute(QStringLiteral("POST"), m_uploadBody.toLatin1(),
                                      QStringLiteral("Content-Type: application/x-www-form-urlencoded")))
        logUploadFailure(*failure);
}

void Station::logUploadFailure(const HttpUpload::Failure &failure)
{
    QString message = QStringLiteral("error number: %1\r\nerror discription: %2")
                          .arg(failure.number)
                          .arg(failure.description);
    if (failure.number > 35749 && failure.number < 35805) {
        message += QStringLiteral("\r\nHeaders: ") + m_httpUpload->responseHeaders() +
                   QStringLiteral("\r\nResponse code: ") + QString::number(m_httpUpload->responseCode()) +
                   QStringLiteral("\r\nResponse Info: ") + m_httpUpload->responseInfo();
    }
    m_log.add(message);
}

void Station::handleUploadState(int state)
{
    const QString name = HttpUpload::stateName(state);
    if (name.isEmpty() || !m_httpUpload)
        return;
    m_transferStates << name;
    emit transferStatesChanged(m_transferStates);

    if (state == int(HttpUpload::State::Error)) {
        m_log.add(QString::number(m_httpUpload->responseCode()) + QStringLiteral(": ") +
                  m_httpUpload->responseInfo());
    } else if (state == int(HttpUpload::State::ResponseCompleted)) {
        QString headers = m_httpUpload->responseHeaders();
        m_log.add(headers.replace(QStringLiteral("\r\n"), QStringLiteral(" ")));
        // The status code decides, not a "200" somewhere in the headers.
        const int status = m_httpUpload->httpStatus();
        if (status >= 200 && status <= 299)
            ++m_deliveredCount;
        updateStatusLine();
        if (status == 401 || status == 407)
            m_log.addEntry(QStringLiteral("Access is denied. Try adding a Username and Password\r\n"), true);
    }
}
