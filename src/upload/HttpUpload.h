#pragma once

#include <QByteArray>
#include <QList>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QObject>
#include <QPair>
#include <QPointer>
#include <QSslConfiguration>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <QUrl>

#include <optional>

// The HTTP client the Station posts telemetry with: one request at a time over
// QNetworkAccessManager (HTTP and HTTPS, system certificate store), its progress as the classic
// twelve state codes, and the response header text, code and info the Station logs.
// Owned by the Station; uploadCurrentFrame starts requests, handleUploadState follows them.
//
// Numbers this component reports. Own failures of setUrl/execute (Failure::number):
//   35750  "URL is empty"                       setUrl with empty text
//   35751  "URL is malformed"                   not an absolute URL with a host
//   35752  "Protocol not supported"             a scheme other than http or https
//   35753  "No URL to execute"                  execute after a failed or missing setUrl
//   35754  "Operation not supported"            execute with an operation other than POST
//   35755  "Request header text is malformed"   an extra header line without "Name: value"
//   35764  "Still executing last request"       execute while busy
// Response code and info on icError, when no complete response arrived:
//   10061  "Connection refused by HOST:PORT"
//   11001  "Host not found: HOST"
//   10060  "Timed out: no complete response from HOST within N s"
//   10054  "Connection closed by the server before the response was complete"
//   12175  "Secure connection failed: <certificate or handshake errors>"
//   12152  "Invalid response from the server: <details>"
//   12000  "Network error: <details>"           any other transport failure
// On icResponseCompleted the response code is the HTTP status and the info its reason phrase.
// A response that ends before its Content-Length or its last chunk is 10054, never completed.
// The response body is read as it arrives; its first MaxKeptBodyBytes are kept for the log.
class HttpUpload : public QObject
{
    Q_OBJECT
public:
    enum class State : int {
        HostResolvingHost = 1,
        HostResolved,
        Connecting,
        Connected,
        Requesting,
        RequestSent,
        ReceivingResponse,
        ResponseReceived,
        Disconnecting,
        Disconnected,
        Error,
        ResponseCompleted,
    };

    struct Failure
    {
        int number = 0;
        QString description;
    };

    static constexpr int DefaultTimeoutMs = 30000;
    static constexpr qsizetype MaxKeptBodyBytes = 64 * 1024;

    explicit HttpUpload(QObject *parent = nullptr);
    ~HttpUpload() override;

    // "icHostResolvingHost" ... "icResponseCompleted"; empty for any other code.
    static QString stateName(int state);

    void setTimeout(int milliseconds); // whole request, from execute to the last byte
    // Replaces the TLS settings (default: the system's). Lets tests trust their own CA.
    void setSslConfiguration(const QSslConfiguration &configuration);

    bool isBusy() const { return m_reply != nullptr; }
    std::optional<Failure> setUrl(const QString &url);
    // Starts the request and returns at once; the outcome arrives through stateChanged.
    std::optional<Failure> execute(const QString &operation, const QByteArray &data,
                                   const QString &headerText);
    // Ends a request in flight without further state changes (shutdown).
    void cancel();

    // Status line and headers of the last response, joined by CR LF; empty without a response.
    QString responseHeaders() const { return m_responseHeaders; }
    int responseCode() const { return m_responseCode; }
    QString responseInfo() const { return m_responseInfo; }
    // HTTP status of the last completed response, 0 when none arrived.
    int httpStatus() const { return m_httpStatus; }
    // The first value of a response header (case-insensitive name); empty when absent.
    QByteArray responseHeader(QByteArrayView name) const;
    // The first MaxKeptBodyBytes of the last response body, and how many bytes it had in all.
    const QByteArray &responseBody() const { return m_responseBody; }
    qint64 responseBodySize() const { return m_responseBodySize; }

signals:
    void stateChanged(int state);

private:
    std::optional<Failure> fail(int number, const QString &description);
    void advanceTo(State state);
    void emitState(State state);
    void onFinished();
    void onTimeout();
    void describeTransportFailure(QNetworkReply &reply);
    void readBody(QNetworkReply &reply);
    bool endedEarly(QNetworkReply &reply) const;

    QNetworkAccessManager m_manager;
    std::optional<QSslConfiguration> m_sslConfiguration;
    QTimer m_timer;
    int m_timeoutMs = DefaultTimeoutMs;
    QUrl m_url;
    QPointer<QNetworkReply> m_reply;
    int m_lastState = 0;
    bool m_timedOut = false;
    QStringList m_sslErrors;

    QString m_responseHeaders;
    int m_responseCode = 0;
    QString m_responseInfo;
    int m_httpStatus = 0;
    QList<QPair<QByteArray, QByteArray>> m_responseHeaderPairs;
    QByteArray m_responseBody;
    qint64 m_responseBodySize = 0;
};
