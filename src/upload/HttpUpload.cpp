#include "upload/HttpUpload.h"

#include <QLoggingCategory>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QRegularExpression>
#include <QSslError>

#include <array>

Q_LOGGING_CATEGORY(lcUpload, "halvora.upload")

namespace {

constexpr std::array<const char *, 12> StateNames{
    "icHostResolvingHost", "icHostResolved",      "icConnecting",   "icConnected",
    "icRequesting",        "icRequestSent",       "icReceivingResponse",
    "icResponseReceived",  "icDisconnecting",     "icDisconnected", "icError",
    "icResponseCompleted"};

// "Name: value" lines separated by CR LF; the name an RFC 9110 token.
std::optional<QList<QPair<QByteArray, QByteArray>>> parseHeaderText(const QString &text)
{
    static const QRegularExpression line(QStringLiteral(R"(^([!#$%&'*+.^_`|~0-9A-Za-z-]+):[ \t]*(.*)$)"));
    QList<QPair<QByteArray, QByteArray>> headers;
    for (const QString &part : text.split(QStringLiteral("\r\n"), Qt::SkipEmptyParts)) {
        const QRegularExpressionMatch match = line.match(part);
        if (!match.hasMatch() || part.contains(u'\n') || part.contains(u'\r'))
            return std::nullopt;
        headers.append({match.captured(1).toLatin1(), match.captured(2).trimmed().toLatin1()});
    }
    return headers;
}

} // namespace

HttpUpload::HttpUpload(QObject *parent) : QObject(parent)
{
    m_timer.setSingleShot(true);
    connect(&m_timer, &QTimer::timeout, this, &HttpUpload::onTimeout);
}

HttpUpload::~HttpUpload()
{
    cancel();
}

QString HttpUpload::stateName(int state)
{
    if (state < 1 || state > int(StateNames.size()))
        return {};
    return QString::fromLatin1(StateNames[std::size_t(state - 1)]);
}

void HttpUpload::setTimeout(int milliseconds)
{
    m_timeoutMs = milliseconds > 0 ? milliseconds : DefaultTimeoutMs;
}

void HttpUpload::setSslConfiguration(const QSslConfiguration &configuration)
{
    m_sslConfiguration = configuration;
}

std::optional<HttpUpload::Failure> HttpUpload::fail(int number, const QString &description)
{
    // An own failure is the last result too: the Station logs code and info beside it.
    m_responseHeaders.clear();
    m_responseCode = number;
    m_responseInfo = description;
    m_httpStatus = 0;
    m_responseHeaderPairs.clear();
    m_responseBody.clear();
    m_responseBodySize = 0;
    return Failure{number, description};
}

std::optional<HttpUpload::Failure> HttpUpload::setUrl(const QString &url)
{
    // A rejected URL also forgets the previous one: never post to a stale target.
    m_url.clear();
    if (url.trimmed().isEmpty())
        return fail(35750, QStringLiteral("URL is empty"));
    const QUrl parsed(url.trimmed(), QUrl::StrictMode);
    if (!parsed.isValid() || parsed.scheme().isEmpty() || parsed.host().isEmpty())
        return fail(35751, QStringLiteral("URL is malformed"));
    const QString scheme = parsed.scheme().toLower();
    if (scheme != u"http" && scheme != u"https")
        return fail(35752, QStringLiteral("Protocol not supported"));
    m_url = parsed;
    return std::nullopt;
}

std::optional<HttpUpload::Failure> HttpUpload::execute(const QString &operation,
                                                       const QByteArray &data,
                                                       const QString &headerText)
{
    if (isBusy())
        return fail(35764, QStringLiteral("Still executing last request"));
    if (m_url.isEmpty())
        return fail(35753, QStringLiteral("No URL to execute"));
    if (operation.compare(u"POST", Qt::CaseInsensitive) != 0)
        return fail(35754, QStringLiteral("Operation not supported"));
    const auto headers = parseHeaderText(headerText);
    if (!headers)
        return fail(35755, QStringLiteral("Request header text is malformed"));

    QNetworkRequest request(m_url);
    for (const auto &[name, value] : *headers)
        request.setRawHeader(name, value);
    // A redirected POST would arrive as a GET elsewhere; the answer itself is the result.
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                         QNetworkRequest::ManualRedirectPolicy);
    if (m_sslConfiguration)
        request.setSslConfiguration(*m_sslConfiguration);

    m_responseHeaders.clear();
    m_responseCode = 0;
    m_responseInfo.clear();
    m_httpStatus = 0;
    m_responseHeaderPairs.clear();
    m_responseBody.clear();
    m_responseBodySize = 0;
    m_lastState = 0;
    m_timedOut = false;
    m_sslErrors.clear();

    QNetworkReply *reply = m_manager.post(request, data);
    m_reply = reply;
    connect(reply, &QNetworkReply::socketStartedConnecting, this,
            [this] { advanceTo(State::Connecting); });
    connect(reply, &QNetworkReply::requestSent, this, [this] { advanceTo(State::RequestSent); });
    connect(reply, &QNetworkReply::metaDataChanged, this,
            [this] { advanceTo(State::ResponseReceived); });
    // The client buffers no more than the part we keep; the rest is read and dropped as it comes.
    reply->setReadBufferSize(MaxKeptBodyBytes);
    connect(reply, &QNetworkReply::readyRead, this, [this, reply] { readBody(*reply); });
    connect(reply, &QNetworkReply::sslErrors, this, [this](const QList<QSslError> &errors) {
        for (const QSslError &error : errors)
            m_sslErrors << error.errorString();
    });
    connect(reply, &QNetworkReply::finished, this, &HttpUpload::onFinished);
    m_timer.start(m_timeoutMs);
    advanceTo(State::HostResolvingHost);
    return std::nullopt;
}

void HttpUpload::cancel()
{
    m_timer.stop();
    QNetworkReply *reply = m_reply;
    m_reply = nullptr;
    if (!reply)
        return;
    disconnect(reply, nullptr, this, nullptr);
    reply->abort();
    reply->deleteLater();
}

QByteArray HttpUpload::responseHeader(QByteArrayView name) const
{
    for (const auto &[headerName, value] : m_responseHeaderPairs) {
        if (QByteArrayView(headerName).compare(name, Qt::CaseInsensitive) == 0)
            return value;
    }
    return {};
}

void HttpUpload::readBody(QNetworkReply &reply)
{
    char discard[16 * 1024];
    while (reply.bytesAvailable() > 0) {
        const qsizetype room = MaxKeptBodyBytes - m_responseBody.size();
        if (room > 0) {
            const QByteArray piece = reply.read(room);
            m_responseBody += piece;
            m_responseBodySize += piece.size();
            continue;
        }
        const qint64 dropped = reply.read(discard, sizeof discard);
        if (dropped <= 0)
            break;
        m_responseBodySize += dropped;
    }
}

void HttpUpload::advanceTo(State state)
{
    // Progress signals the client skips (a reused connection never "connects") are filled in,
    // so the list always runs in order.
    for (int code = m_lastState + 1; code <= int(state); ++code)
        emitState(State(code));
}

void HttpUpload::emitState(State state)
{
    m_lastState = int(state);
    emit stateChanged(int(state));
}

void HttpUpload::onTimeout()
{
    if (!m_reply)
        return;
    m_timedOut = true;
    QNetworkReply *reply = m_reply;
    reply->abort();
    if (m_reply == reply) // abort() did not finish the reply itself
        onFinished();
}

void HttpUpload::onFinished()
{
    m_timer.stop();
    QNetworkReply *reply = m_reply;
    m_reply = nullptr; // not busy from here on: the state handlers may start the next request
    if (!reply)
        return;
    reply->deleteLater();
    disconnect(reply, nullptr, this, nullptr);
    readBody(*reply);

    const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    const QNetworkReply::NetworkError error = reply->error();
    // Errors below 100 are transport failures (refused, reset, TLS, aborted): even with a
    // status line the response is incomplete. HTTP-level errors (401, 500, ...) are responses.
    const bool transportFailure = m_timedOut || (error > QNetworkReply::NoError && error < 100);
    if (!transportFailure && status.isValid()) {
        m_httpStatus = status.toInt();
        m_responseCode = m_httpStatus;
        m_responseInfo =
            QString::fromLatin1(reply->attribute(QNetworkRequest::HttpReasonPhraseAttribute).toByteArray());
        const bool http2 = reply->attribute(QNetworkRequest::Http2WasUsedAttribute).toBool();
        QStringList lines{QStringLiteral("%1 %2 %3")
                              .arg(http2 ? QStringLiteral("HTTP/2") : QStringLiteral("HTTP/1.1"))
                              .arg(m_httpStatus)
                              .arg(m_responseInfo)};
        m_responseHeaderPairs = reply->rawHeaderPairs();
        for (const auto &[name, value] : m_responseHeaderPairs)
            lines << QString::fromLatin1(name) + QStringLiteral(": ") + QString::fromLatin1(value);
        m_responseHeaders = lines.join(QStringLiteral("\r\n"));
        advanceTo(State::ResponseReceived);
        emitState(State::Disconnecting);
        emitState(State::Disconnected);
        emitState(State::ResponseCompleted);
        return;
    }

    describeTransportFailure(*reply);
    qCDebug(lcUpload) << "upload failed:" << error << reply->errorString();
    emitState(State::Disconnecting);
    emitState(State::Disconnected);
    emitState(State::Error);
}

void HttpUpload::describeTransportFailure(QNetworkReply &reply)
{
    const QUrl url = reply.url();
    const QString host = url.host();
    const int port = url.port(url.scheme().toLower() == u"https" ? 443 : 80);
    m_httpStatus = 0;
    if (m_timedOut) {
        m_responseCode = 10060;
        m_responseInfo = QStringLiteral("Timed out: no complete response from %1 within %2 s")
                             .arg(host)
                             .arg(m_timeoutMs / 1000.0);
        return;
    }
    switch (reply.error()) {
    case QNetworkReply::ConnectionRefusedError:
        m_responseCode = 10061;
        m_responseInfo = QStringLiteral("Connection refused by %1:%2").arg(host).arg(port);
        break;
    case QNetworkReply::HostNotFoundError:
        m_responseCode = 11001;
        m_responseInfo = QStringLiteral("Host not found: %1").arg(host);
        break;
    case QNetworkReply::RemoteHostClosedError:
        m_responseCode = 10054;
        m_responseInfo =
            QStringLiteral("Connection closed by the server before the response was complete");
        break;
    case QNetworkReply::SslHandshakeFailedError:
        m_responseCode = 12175;
        m_responseInfo = QStringLiteral("Secure connection failed: ") +
                         (m_sslErrors.isEmpty() ? reply.errorString() : m_sslErrors.join(QStringLiteral("; ")));
        break;
    case QNetworkReply::ProtocolFailure:
    case QNetworkReply::ProtocolUnknownError:
    case QNetworkReply::ProtocolInvalidOperationError:
        m_responseCode = 12152;
        m_responseInfo = QStringLiteral("Invalid response from the server: ") + reply.errorString();
        break;
    default:
        m_responseCode = 12000;
        m_responseInfo = QStringLiteral("Network error: ") + reply.errorString();
        break;
    }
}
