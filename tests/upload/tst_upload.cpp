// The upload pieces on their own: cutting requests out of a connection's bytes, the form body,
// the HTTP client against real loopback servers (state order, HTTPS trust) and the demo
// collection endpoint as a real process.
#include "support/LoopbackHttpServer.h"
#include "support/Programs.h"
#include "support/TestCertificates.h"
#include "upload/HttpRequestParser.h"
#include "upload/HttpUpload.h"
#include "upload/FormFields.h"
#include "upload/UploadBody.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using Status = HttpParseResult::Status;
Q_DECLARE_METATYPE(HttpParseResult::Status)

namespace {

const QString FormHeader = QStringLiteral("Content-Type: application/x-www-form-urlencoded");

QStringList stateNames(const QSignalSpy &spy)
{
    QStringList names;
    for (const QList<QVariant> &arguments : spy)
        names << HttpUpload::stateName(arguments.at(0).toInt());
    return names;
}

bool finished(const QSignalSpy &spy)
{
    return !spy.isEmpty() && spy.last().at(0).toInt() >= int(HttpUpload::State::Error);
}

} // namespace

class TestUpload : public QObject
{
    Q_OBJECT
    QTemporaryDir m_dir;
    TestCertificates m_certificates;

private slots:

    void parse_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<Status>("status");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<qsizetype>("consumed");
        const QByteArray post = "POST /t HTTP/1.1\r\nHost: x\r\ncontent-length: 5\r\n\r\na=1&b";
        const auto malformed = [](const char *name, const QByteArray &bytes) {
            QTest::newRow(name) << bytes << Status::Malformed << QByteArray() << qsizetype(0);
        };
        QTest::newRow("whole POST") << post << Status::Complete << QByteArray("a=1&b") << post.size();
        QTest::newRow("body still arriving") << post.chopped(2) << Status::Incomplete << QByteArray() << qsizetype(0);
        malformed("bad request line", "POST /t\r\n\r\n");
        malformed("negative length", "POST /t HTTP/1.1\r\nContent-Length: -4\r\n\r\n");
        malformed("endless header", "POST /t HTTP/1.1\r\nX: " + QByteArray(20000, 'a'));
    }

    void parse()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(Status, status);
        QFETCH(QByteArray, body);
        QFETCH(qsizetype, consumed);

        const HttpParseResult result = parseHttpRequest(bytes);
        QCOMPARE(result.status, status);
        QCOMPARE(result.request.body, body);
        QCOMPARE(result.consumed, consumed);
        QCOMPARE(result.error.isEmpty(), status != Status::Malformed);
    }

    void formFields_data()
    {
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QString>("fields"); // "key=value" joined by "|"
        QTest::newRow("every hex digit") << QByteArray("a=%30%39%41%46%61%66") << "a=09AFaf";
        QTest::newRow("escaped form characters, blanks")
            << QByteArray("source=XR1%26x%3D5&b=+1") << "source=XR1&x=5|b= 1";
        QTest::newRow("stray percent stays") << QByteArray("a=50%&b=%4") << "a=50%|b=%4";
        QTest::newRow("key without value, empty field") << QByteArray("flag&c=&&d") << "flag=|c=|=|d=";
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

    void body_data()
    {
        QTest::addColumn<QString>("mycall");
        QTest::addColumn<QString>("qthLat");
        QTest::addColumn<QString>("qthLong");
        QTest::addColumn<QString>("timestamp");
        QTest::addColumn<QString>("frameHex");
        QTest::addColumn<QString>("expected");

        const QString satellite = QStringLiteral("B0 A4 72 96 8E 40 62 B0 A4 72 96 40 40 77 03 AA ");
        QTest::newRow("all keys present")
            << "XR1ABC" << "52.0123" << "-4.5" << "2014-08-02 13:05:09.123" << satellite
            << "noradID=48263&source=XR1ABC&timestamp=2014-08-02T13:05:09.123Z"
               "&frame=B0 A4 72 96 8E 40 62 B0 A4 72 96 40 40 77 03 AA"
               "&locator=longLat&longitude=-4.5&latitude=52.0123&tncPort=0";
        QTest::newRow("MYCALL, QTH_LAT and QTH_LONG absent")
            << "" << "" << "" << "2026-12-31 23:59:59.999" << "03 "
            << "noradID=48263&source=&timestamp=2026-12-31T23:59:59.999Z&frame=03"
               "&locator=longLat&longitude=&latitude=&tncPort=0";
        QTest::newRow("form characters in the station values are encoded")
            << "XR1&noradID=1" << "50%+1" << "4=5&x" << "2026-01-01 00:00:00.000" << "03 "
            << "noradID=48263&source=XR1%26noradID%3D1&timestamp=2026-01-01T00:00:00.000Z&frame=03"
               "&locator=longLat&longitude=4%3D5%26x&latitude=50%25%2B1&tncPort=0";
        QTest::newRow("control characters are encoded, other bytes stay")
            << QStringLiteral("XR1/P \u00FC") << QStringLiteral("52\t1") << QStringLiteral("4\r\n\x7F")
            << "2026-01-01 00:00:00.000" << "03 "
            << QStringLiteral("noradID=48263&source=XR1/P \u00FC&timestamp=2026-01-01T00:00:00.000Z"
                              "&frame=03&locator=longLat&longitude=4%0D%0A%7F&latitude=52%091&tncPort=0");
    }

    void body()
    {
        QFETCH(QString, mycall);
        QFETCH(QString, qthLat);
        QFETCH(QString, qthLong);
        QFETCH(QString, timestamp);
        QFETCH(QString, frameHex);
        QFETCH(QString, expected);

        const QString body = buildUploadBody({mycall, qthLat, qthLong}, timestamp, frameHex);
        QCOMPARE(body, expected);
    }

    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        m_certificates = TestCertificates::generate(m_dir.path());
        QVERIFY2(m_certificates.error.isEmpty(), qPrintable(m_certificates.error));
    }

    void request_data()
    {
        QTest::addColumn<QString>("server"); // "http", "trusted TLS" or "untrusted TLS"
        QTest::addColumn<QStringList>("states");
        QTest::addColumn<int>("responseCode");
        QTest::addColumn<QString>("responseInfo"); // its start
        QTest::addColumn<QString>("headers");
        const QStringList states{"icHostResolvingHost", "icHostResolved", "icConnecting", "icConnected",
                                 "icRequesting", "icRequestSent", "icReceivingResponse", "icResponseReceived",
                                 "icDisconnecting", "icDisconnected", "icResponseCompleted"};
        const QString headers = u"HTTP/1.1 201 Created\r\nX-Request-Id: 17\r\nContent-Length: 0\r\nConnection: close"_qs;
        QTest::newRow("http") << "http" << states << 201 << "Created" << headers;
        QTest::newRow("certificate from a trusted authority")
            << "trusted TLS" << QStringList{"icResponseCompleted"} << 201 << "Created" << headers;
        // Nothing is sent to an unverified server.
        QTest::newRow("certificate from an unknown authority")
            << "untrusted TLS" << QStringList{"icError"} << 12175 << "Secure connection failed: " << "";
    }

    void request()
    {
        QFETCH(QString, server);
        QFETCH(QStringList, states);
        QFETCH(int, responseCode);
        QFETCH(QString, responseInfo);
        QFETCH(QString, headers);
        LoopbackHttpServer http;
        if (server != u"http")
            http.useTls(m_certificates.server, m_certificates.serverKey);
        QVERIFY(http.start());
        http.setAnswer({201, "Created", {{"X-Request-Id", "17"}}, true});
        HttpUpload upload;
        if (server == u"trusted TLS") {
            QSslConfiguration configuration = QSslConfiguration::defaultConfiguration();
            configuration.addCaCertificate(m_certificates.authority);
            upload.setSslConfiguration(configuration);
        }
        QSignalSpy spy(&upload, &HttpUpload::stateChanged);
        QVERIFY(!upload.setUrl(http.url()));
        QVERIFY(!upload.execute(u"POST"_qs, "frame=B0 03", FormHeader));
        QTRY_VERIFY(finished(spy));
        QVERIFY(!upload.isBusy());
        const QStringList names = stateNames(spy);
        QCOMPARE(names.mid(server == u"http" ? 0 : names.size() - 1), states); // TLS: the last state only
        QCOMPARE(upload.responseCode(), responseCode);
        QCOMPARE(upload.httpStatus(), responseCode == 201 ? 201 : 0);
        QVERIFY2(upload.responseInfo().startsWith(responseInfo), qPrintable(upload.responseInfo()));
        QCOMPARE(upload.responseHeaders(), headers);
        QCOMPARE(http.requests().size(), headers.isEmpty() ? 0 : 1);
        if (!headers.isEmpty()) {
            QCOMPARE(http.requests().first().body, QByteArray("frame=B0 03"));
            QCOMPARE(http.requests().first().header("Content-Type"), QByteArray("application/x-www-form-urlencoded"));
        }
    }

    void sinkPrintsEachFormAndAnswersCreated()
    {
        ScopedProcess sink;
        sink.start(builtProgram(u"telemetry-sink"_qs), {u"--port"_qs, u"0"_qs});
        QTRY_VERIFY(sink.canReadLine());
        const QByteArray first = sink.readLine().trimmed();
        QVERIFY2(first.startsWith("listening on 127.0.0.1:"), first.constData());
        HttpUpload upload;
        QSignalSpy states(&upload, &HttpUpload::stateChanged);
        QVERIFY(!upload.setUrl(u"http://127.0.0.1:%1/"_qs.arg(QString::fromLatin1(first.mid(first.lastIndexOf(':') + 1)))));
        QVERIFY(!upload.execute(u"POST"_qs, "noradID=48263&source=XR1%26Z&frame=B0 A4&longitude=%0A4", FormHeader));
        QTRY_VERIFY(finished(states));
        QCOMPARE(upload.httpStatus(), 201);
        QTRY_VERIFY(sink.canReadLine());
        QCOMPARE(sink.readLine(), QByteArray("noradID=48263 | source=XR1&Z | frame=B0 A4 | longitude=\\x0a4\n"));
    }
};

QTEST_GUILESS_MAIN(TestUpload)
#include "tst_upload.moc"
