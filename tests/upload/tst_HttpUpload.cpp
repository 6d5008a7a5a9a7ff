// The HTTP client against real loopback servers: own failures, state order, HTTPS trust.
#include "support/LoopbackHttpServer.h"
#include "support/TestCertificates.h"
#include "upload/HttpUpload.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

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

class TestHttpUpload : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void ownFailures_data();
    void ownFailures();
    void statesOfACompletedRequest();
    void https_data();
    void https();

private:
    QTemporaryDir m_dir;
    TestCertificates m_certificates;
};

void TestHttpUpload::initTestCase()
{
    QVERIFY(m_dir.isValid());
    m_certificates = TestCertificates::generate(m_dir.path());
    QVERIFY2(m_certificates.error.isEmpty(), qPrintable(m_certificates.error));
}

void TestHttpUpload::ownFailures_data()
{
    QTest::addColumn<QString>("url");
    QTest::addColumn<QString>("operation");
    QTest::addColumn<QString>("headers");
    QTest::addColumn<int>("urlFailure");     // 0: accepted
    QTest::addColumn<int>("executeFailure"); // 0: started

    QTest::newRow("empty URL") << "" << "POST" << FormHeader << 35750 << 35753;
    QTest::newRow("no scheme separator") << "http//127.0.0.1/x" << "POST" << FormHeader << 35751 << 35753;
    QTest::newRow("no host") << "http:///upload" << "POST" << FormHeader << 35751 << 35753;
    QTest::newRow("invalid characters") << "http://exa mple.org/" << "POST" << FormHeader << 35751 << 35753;
    QTest::newRow("other protocol") << "ftp://127.0.0.1/x" << "POST" << FormHeader << 35752 << 35753;
    QTest::newRow("other operation") << "http://127.0.0.1:1/" << "GET" << FormHeader << 0 << 35754;
    QTest::newRow("header without colon") << "http://127.0.0.1:1/" << "POST"
                                          << "Content-Type application/x" << 0 << 35755;
    QTest::newRow("header with a line break inside") << "http://127.0.0.1:1/" << "POST"
                                                     << "A: b\nHost: evil" << 0 << 35755;
}

void TestHttpUpload::ownFailures()
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

void TestHttpUpload::statesOfACompletedRequest()
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

void TestHttpUpload::https_data()
{
    QTest::addColumn<bool>("trusted");
    QTest::newRow("certificate from a trusted authority") << true;
    QTest::newRow("certificate from an unknown authority") << false;
}

void TestHttpUpload::https()
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

QTEST_GUILESS_MAIN(TestHttpUpload)
#include "tst_HttpUpload.moc"
