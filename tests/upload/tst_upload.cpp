// The upload pieces on their own: cutting requests out of a connection's bytes, the form body
// and what a server reads back out of it, the HTTP client against real loopback servers (own
// failures, state order, HTTPS trust) and the demo collection endpoint as a real process.
#include "support/LoopbackHttpServer.h"
#include "support/Programs.h"
#include "support/TestCertificates.h"
#include "upload/FormFields.h"
#include "upload/HttpRequestParser.h"
#include "upload/HttpUpload.h"
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
private slots:
    void initTestCase();
    void parse_data();
    void parse();
    void body_data();
    void body();
    void serverReadsBackTheStationValues_data();
    void serverReadsBackTheStationValues();
    void ownFailures_data();
    void ownFailures();
    void statesOfACompletedRequest();
    void https_data();
    void https();
    void sinkPrintsEachFormAndAnswersCreated();

private:
    QTemporaryDir m_dir;
    TestCertificates m_certificates;
};

void TestUpload::parse_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<Status>("status");
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<qsizetype>("consumed");

    const QByteArray post = "POST /t HTTP/1.1\r\nHost: x\r\ncontent-length: 5\r\n\r\na=1&b";
    QTest::newRow("whole POST") << post << Status::Complete << QByteArray("a=1&b") << post.size();
    QTest::newRow("body still arriving") << post.chopped(2) << Status::Incomplete << QByteArray() << qsizetype(0);
    QTest::newRow("header still arriving") << QByteArray("POST /t HTTP/1.1\r\nHo") << Status::Incomplete
                                           << QByteArray() << qsizetype(0);
    QTest::newRow("no body") << QByteArray("GET / HTTP/1.0\r\n\r\n") << Status::Complete << QByteArray()
                             << qsizetype(18);
    QTest::newRow("bad request line") << QByteArray("POST /t\r\n\r\n") << Status::Malformed << QByteArray()
                                      << qsizetype(0);
    QTest::newRow("header line without colon")
        << QByteArray("POST /t HTTP/1.1\r\nHost x\r\n\r\n") << Status::Malformed << QByteArray() << qsizetype(0);
    QTest::newRow("negative length")
        << QByteArray("POST /t HTTP/1.1\r\nContent-Length: -4\r\n\r\n") << Status::Malformed << QByteArray()
        << qsizetype(0);
    QTest::newRow("length beyond the limit")
        << QByteArray("POST /t HTTP/1.1\r\nContent-Length: 99999999999\r\n\r\n") << Status::Malformed
        << QByteArray() << qsizetype(0);
    QTest::newRow("chunked body")
        << QByteArray("POST /t HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\n0\r\n\r\n") << Status::Malformed
        << QByteArray() << qsizetype(0);
    QTest::newRow("endless header") << QByteArray("POST /t HTTP/1.1\r\nX: ") + QByteArray(20000, 'a')
                                    << Status::Malformed << QByteArray() << qsizetype(0);
}

void TestUpload::parse()
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

void TestUpload::body_data()
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
    QTest::newRow("MYCALL absent")
        << "" << "52" << "4" << "2026-12-31 23:59:59.999" << "03 "
        << "noradID=48263&source=&timestamp=2026-12-31T23:59:59.999Z&frame=03"
           "&locator=longLat&longitude=4&latitude=52&tncPort=0";
    QTest::newRow("QTH_LAT and QTH_LONG absent")
        << "XR1ABC" << "" << "" << "2026-01-01 00:00:00.000" << "03 "
        << "noradID=48263&source=XR1ABC&timestamp=2026-01-01T00:00:00.000Z&frame=03"
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
    QTest::newRow("empty frame")
        << "XR1ABC" << "1" << "2" << "2026-01-01 00:00:00.000" << ""
        << "noradID=48263&source=XR1ABC&timestamp=2026-01-01T00:00:00.000Z&frame="
           "&locator=longLat&longitude=2&latitude=1&tncPort=0";
}

void TestUpload::body()
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

void TestUpload::serverReadsBackTheStationValues_data()
{
    QTest::addColumn<QString>("value");
    QTest::newRow("ampersand and equals") << "A&B=C&tncPort=9";
    QTest::newRow("percent sequences") << "%41%2";
    QTest::newRow("control and Latin-1") << QStringLiteral("\x01\x1F\x7F\u0085 \u00E9");
}

void TestUpload::serverReadsBackTheStationValues()
{
    QFETCH(QString, value);
    const QString body =
        buildUploadBody({value, value, value}, u"2026-01-01 00:00:00.000", u"B0 03 ");
    const FormFields fields = decodeFormFields(body.toLatin1());
    QCOMPARE(fields.size(), 8);
    // source, longitude and latitude come back exactly; no field was added or split.
    const QStringList names{"noradID", "source", "timestamp", "frame", "locator", "longitude",
                            "latitude", "tncPort"};
    for (int i = 0; i < 8; ++i)
        QCOMPARE(fields[i].first, names[i]);
    QCOMPARE(fields[1].second, value);
    QCOMPARE(fields[5].second, value);
    QCOMPARE(fields[6].second, value);
}

void TestUpload::initTestCase()
{
    QVERIFY(m_dir.isValid());
    m_certificates = TestCertificates::generate(m_dir.path());
    QVERIFY2(m_certificates.error.isEmpty(), qPrintable(m_certificates.error));
}

void TestUpload::ownFailures_data()
{
    QTest::addColumn<QString>("url");
    QTest::addColumn<QString>("operation");
    QTest::addColumn<QString>("headers");
    QTest::addColumn<int>("urlFailure");     // 0: accepted
    QTest::addColumn<int>("executeFailure"); // 0: started

    QTest::newRow("empty URL") << "" << "POST" << FormHeader << 35750 << 35753;
    QTest::newRow("no scheme separator") << "http//127.0.0.1/x" << "POST" << FormHeader << 35751 << 35753;
    QTest::newRow("no host") << "http:///upload" << "POST" << FormHeader << 35751 << 35753;
    QTest::newRow("other protocol") << "ftp://127.0.0.1/x" << "POST" << FormHeader << 35752 << 35753;
    QTest::newRow("other operation") << "http://127.0.0.1:1/" << "GET" << FormHeader << 0 << 35754;
    QTest::newRow("header without colon") << "http://127.0.0.1:1/" << "POST"
                                          << "Content-Type application/x" << 0 << 35755;
    QTest::newRow("header with a line break inside") << "http://127.0.0.1:1/" << "POST"
                                                     << "A: b\nHost: evil" << 0 << 35755;
}

void TestUpload::ownFailures()
{
    QFETCH(QString, url);
    QFETCH(QString, operation);
    QFETCH(QString, headers);
    QFETCH(int, urlFailure);
    QFETCH(int, executeFailure);

    HttpUpload upload;
    QSignalSpy states(&upload, &HttpUpload::stateChanged);
    const auto urlResult = upload.setUrl(url);
    QCOMPARE(urlResult ? urlResult->number : 0, urlFailure);
    const auto executeResult = upload.execute(operation, "x=1", headers);
    QVERIFY(executeResult);
    QCOMPARE(executeResult->number, executeFailure);
    QVERIFY(!executeResult->description.isEmpty());
    QCOMPARE(upload.responseCode(), executeFailure);
    QCOMPARE(upload.responseInfo(), executeResult->description);
    QVERIFY(!upload.isBusy());
    QVERIFY(states.isEmpty());
}

void TestUpload::statesOfACompletedRequest()
{
    LoopbackHttpServer server;
    QVERIFY(server.start());
    server.setAnswer({201, "Created", {{"X-Request-Id", "17"}}, true});
    HttpUpload upload;
    QSignalSpy states(&upload, &HttpUpload::stateChanged);
    QVERIFY(!upload.setUrl(server.url()));
    QVERIFY(!upload.execute(QStringLiteral("POST"), "noradID=48263", FormHeader));
    QTRY_VERIFY(finished(states));

    QCOMPARE(stateNames(states),
             QStringList({"icHostResolvingHost", "icHostResolved", "icConnecting", "icConnected",
                          "icRequesting", "icRequestSent", "icReceivingResponse",
                          "icResponseReceived", "icDisconnecting", "icDisconnected",
                          "icResponseCompleted"}));
    QCOMPARE(upload.responseHeaders(),
             QStringLiteral("HTTP/1.1 201 Created\r\nX-Request-Id: 17\r\nContent-Length: 0\r\n"
                            "Connection: close"));
    QCOMPARE(upload.httpStatus(), 201);
    QCOMPARE(upload.responseCode(), 201);
    QCOMPARE(upload.responseInfo(), QStringLiteral("Created"));
    QCOMPARE(server.requests().size(), 1);
    const HttpRequest &request = server.requests().first();
    QCOMPARE(request.method, QByteArray("POST"));
    QCOMPARE(request.target, QByteArray("/telemetry"));
    QCOMPARE(request.header("Content-Type"), QByteArray("application/x-www-form-urlencoded"));
    QCOMPARE(request.body, QByteArray("noradID=48263"));
}

void TestUpload::https_data()
{
    QTest::addColumn<bool>("trusted");
    QTest::newRow("certificate from a trusted authority") << true;
    QTest::newRow("certificate from an unknown authority") << false;
}

void TestUpload::https()
{
    QFETCH(bool, trusted);
    LoopbackHttpServer server;
    server.useTls(m_certificates.server, m_certificates.serverKey);
    QVERIFY(server.start());

    HttpUpload upload;
    if (trusted) {
        QSslConfiguration configuration = QSslConfiguration::defaultConfiguration();
        configuration.addCaCertificate(m_certificates.authority);
        upload.setSslConfiguration(configuration);
    }
    QSignalSpy states(&upload, &HttpUpload::stateChanged);
    QVERIFY(!upload.setUrl(server.url()));
    QVERIFY(!upload.execute(QStringLiteral("POST"), "frame=B0 03", FormHeader));
    QTRY_VERIFY(finished(states));

    if (trusted) {
        QCOMPARE(stateNames(states).last(), QStringLiteral("icResponseCompleted"));
        QCOMPARE(upload.httpStatus(), 201);
        QCOMPARE(server.requests().size(), 1);
        QCOMPARE(server.requests().first().body, QByteArray("frame=B0 03"));
    } else {
        QCOMPARE(stateNames(states).last(), QStringLiteral("icError"));
        QCOMPARE(upload.httpStatus(), 0);
        QCOMPARE(upload.responseCode(), 12175);
        QVERIFY2(upload.responseInfo().startsWith(QStringLiteral("Secure connection failed: ")),
                 qPrintable(upload.responseInfo()));
        QVERIFY(upload.responseHeaders().isEmpty());
        QVERIFY(server.requests().isEmpty()); // nothing was sent to an unverified server
    }
    QVERIFY(!upload.isBusy());
}

void TestUpload::sinkPrintsEachFormAndAnswersCreated()
{
    ScopedProcess sink;
    sink.start(builtProgram(QStringLiteral("telemetry-sink")), {QStringLiteral("--port"), QStringLiteral("0")});
    QVERIFY2(sink.waitForStarted(), qPrintable(sink.errorString()));
    QTRY_VERIFY(sink.canReadLine());
    const QByteArray first = sink.readLine().trimmed();
    QVERIFY2(first.startsWith("listening on 127.0.0.1:"), first.constData());
    const QByteArray port = first.mid(first.lastIndexOf(':') + 1);

    HttpUpload upload;
    QSignalSpy states(&upload, &HttpUpload::stateChanged);
    QVERIFY(!upload.setUrl(QStringLiteral("http://127.0.0.1:%1/").arg(QString::fromLatin1(port))));
    QVERIFY(!upload.execute(QStringLiteral("POST"),
                            "noradID=48263&source=XR1%26Z&frame=B0 A4&longitude=%0A4",
                            QStringLiteral("Content-Type: application/x-www-form-urlencoded")));
    QTRY_VERIFY(finished(states));
    QCOMPARE(upload.httpStatus(), 201);

    QTRY_VERIFY(sink.canReadLine());
    QCOMPARE(sink.readLine(),
             QByteArray("noradID=48263 | source=XR1&Z | frame=B0 A4 | longitude=\\x0a4\n"));
}

QTEST_GUILESS_MAIN(TestUpload)
#include "tst_upload.moc"
