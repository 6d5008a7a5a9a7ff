// The upload pieces on their own: cutting requests out of a connection's bytes, the form body,
// the HTTP client against a huge answer and the demo collection endpoint as a real process.
#include "support/LoopbackHttpServer.h"
#include "support/Programs.h"
#include "upload/FormFields.h"
#include "upload/HttpRequestParser.h"
#include "upload/HttpUpload.h"
#include "upload/UploadBody.h"

#include <QNetworkReply>
#include <QSignalSpy>
#include <QTest>

using Status = HttpParseResult::Status;
Q_DECLARE_METATYPE(HttpParseResult::Status)

namespace {

const QString FormHeader = QStringLiteral("Content-Type: application/x-www-form-urlencoded");

// Posts BODY to URL and waits until the request has ended; the last state it reached.
QString post(HttpUpload &upload, const QString &url, const QByteArray &body)
{
    QSignalSpy spy(&upload, &HttpUpload::stateChanged);
    if (upload.setUrl(url) || upload.execute(u"POST"_qs, body, FormHeader) ||
        !QTest::qWaitFor([&] { return !upload.isBusy(); }, 30000) || spy.isEmpty())
        return {};
    return HttpUpload::stateName(spy.last().at(0).toInt());
}

// Every network reply the client creates, seen through the queued calls delivered to it, and
// the read buffer it had then.
class ReplyWatch : public QObject
{
public:
    ReplyWatch() { QCoreApplication::instance()->installEventFilter(this); }
    QList<QPointer<QNetworkReply>> replies;
    QList<qint64> readBufferSizes;

protected:
    bool eventFilter(QObject *object, QEvent *event) override
    {
        auto *reply = event->type() == QEvent::MetaCall ? qobject_cast<QNetworkReply *>(object) : nullptr;
        if (reply && !replies.contains(reply)) {
            replies << reply;
            readBufferSizes << reply->readBufferSize();
        }
        return false;
    }
};

} // namespace

class TestUpload : public QObject
{
    Q_OBJECT
private slots:
    // What the demo endpoint and the tests' server must not take for a whole request.
    void parse_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<Status>("status");
        QTest::newRow("body still arriving") << QByteArray("POST /t HTTP/1.1\r\nX: y\r\nContent-Length: 5\r\n\r\na=1")
                                             << Status::Incomplete;
        QTest::newRow("negative length") << QByteArray("POST /t HTTP/1.1\r\nContent-Length:-4\r\n\r\n")
                                         << Status::Malformed;
        QTest::newRow("endless header") << "POST /t HTTP/1.1\r\nX: " + QByteArray(20000, 'a') << Status::Malformed;
        // The largest header taken, still unended or ended but waiting for its body.
        const QByteArray start = "POST /t HTTP/1.1\r\nContent-Length: 5\r\nX: ";
        const QByteArray filler(HttpLimits::MaxHeaderBytes - start.size(), 'a');
        QTest::newRow("header at the limit, unended") << start + filler << Status::Incomplete;
        QTest::newRow("header at the limit, body to come") << start + filler + "\r\n\r\n" << Status::Incomplete;
    }

    void parse()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(Status, status);
        const HttpParseResult result = parseHttpRequest(bytes);
        QCOMPARE(result.status, status);
        QCOMPARE(result.consumed, 0);
        QCOMPARE(result.error.isEmpty(), status != Status::Malformed);
    }

    void formFields_data()
    {
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QString>("fields"); // "key=value" joined by "|"
        QTest::newRow("every hex digit") << QByteArray("a=%30%39%41%46%61%66%09") << "a=09AFaf\t";
        QTest::newRow("escaped form characters, blanks")
            << QByteArray("source=XR1%26x%3D5&b=+1") << "source=XR1&x=5|b= 1";
        QTest::newRow("stray percent stays") << QByteArray("a=50%&b=%4") << "a=50%|b=%4";
        QTest::newRow("key without value, empty field") << QByteArray("flag&c=&&d&=e") << "flag=|c=|=|d=|=e";
        QTest::newRow("empty first field") << QByteArray("&a=1") << "=|a=1";
    }

    void formFields()
    {
        QFETCH(QByteArray, body);
        QFETCH(QString, fields);
        QStringList decoded;
        for (const auto &[key, value] : decodeFormFields(body))
            decoded << key + u'=' + value;
        QCOMPARE(decoded.join(u'|'), fields);
    }

    // The Station's upload test sends a whole body; here the encoding of the station's values:
    // form characters and control characters are escaped, other bytes stay.
    void body()
    {
        const QString body = buildUploadBody({u"XR1/P&noradID=1 \u00FC"_qs, u"50%+1\t"_qs, u"4=5\r\n\x7F"_qs},
                                             u"2026-01-01 00:00:00.000", u"03 ");
        QCOMPARE(body, u"noradID=48263&source=XR1/P%26noradID%3D1 \u00FC&timestamp=2026-01-01T00:00:00.000Z"
                       "&frame=03&locator=longLat&longitude=4%3D5%0D%0A%7F&latitude=50%25%2B1%09&tncPort=0"_qs);
    }

    void hugeAnswersKeepOnlyTheirStart_data()
    {
        QTest::addColumn<qint64>("size");
        QTest::newRow("128 times the kept part") << qint64(128 * HttpUpload::MaxKeptBodyBytes);
        QTest::newRow("one byte beyond it") << qint64(HttpUpload::MaxKeptBodyBytes + 1);
    }

    // Huge answers are neither buffered whole nor kept, yet every byte is counted; each reply is
    // gone after its request.
    void hugeAnswersKeepOnlyTheirStart()
    {
        QFETCH(qint64, size);
        LoopbackHttpServer http;
        QVERIFY(http.start());
        http.setAnswer({201, "Created", {}, true, QByteArray(size, 'x')});
        HttpUpload upload;
        ReplyWatch watch;
        for (int i = 0; i < 2; ++i) {
            QCOMPARE(post(upload, http.url(), "frame=1"), u"icResponseCompleted"_qs);
            QCOMPARE(upload.httpStatus(), 201);
            QCOMPARE(upload.responseBodySize(), size);
            QCOMPARE(upload.responseBody().size(), HttpUpload::MaxKeptBodyBytes);
        }
        QCOMPARE(watch.readBufferSizes, QList<qint64>(2, HttpUpload::MaxKeptBodyBytes));
        QTRY_VERIFY(std::all_of(watch.replies.cbegin(), watch.replies.cend(), [](const auto &r) { return r.isNull(); }));
    }

    // The port a refused connection names is the scheme's own when the URL gives none.
    void refusedWithoutPort()
    {
        HttpUpload upload;
        QCOMPARE(post(upload, u"https://127.0.0.1/telemetry"_qs, "frame=1"), u"icError"_qs);
        QCOMPARE(upload.responseInfo(), u"Connection refused by 127.0.0.1:443"_qs);
    }

    void sinkPrintsEachFormAndAnswersCreated()
    {
        ScopedProcess sink;
        sink.start(builtProgram(u"telemetry-sink"_qs), {u"--port"_qs, u"0"_qs});
        QTRY_VERIFY(sink.canReadLine());
        const QByteArray first = sink.readLine().trimmed();
        QVERIFY2(first.startsWith("listening on 127.0.0.1:"), first.constData());
        HttpUpload upload;
        const QString address = QString::fromLatin1(first.mid(first.lastIndexOf(' ') + 1));
        post(upload, u"http://%1/"_qs.arg(address), "noradID=48263&source=XR1%26Z&frame=B0 A4&longitude=%0A4%9F");
        QCOMPARE(upload.httpStatus(), 201);
        QTRY_VERIFY(sink.canReadLine());
        QCOMPARE(sink.readLine(), QByteArray("noradID=48263 | source=XR1&Z | frame=B0 A4 | longitude=\\x0a4\\x9f\n"));
    }
};

QTEST_GUILESS_MAIN(TestUpload)
#include "tst_upload.moc"
