// The upload controller against real loopback servers (HTTP and HTTPS) and the station
// database's queue in a temporary directory: what each kind of server behaviour does to the
// stored frame (delivered, waiting for a retry, rejected), the request, the log and the
// back-off; and the outcome rules on their own. Only the clock is fixed.
#include "store/StationDatabase.h"
#include "store/UploadQueueStore.h"
#include "support/LoopbackHttpServer.h"
#include "support/Programs.h"
#include "support/TestCertificates.h"
#include "upload/HttpUpload.h"
#include "upload/UploadController.h"
#include "upload/UploadOutcome.h"

#include <QSignalSpy>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>

Q_DECLARE_METATYPE(LoopbackHttpServer::Answer)

namespace {

constexpr qint64 Now = 1'700'000'000'000; // the fixed clock: Tue, 14 Nov 2023 22:13:20 GMT
constexpr qint64 LongDelay = 60'000;      // no retry happens while a row is checked

QStringList texts(const QSignalSpy &spy)
{
    QStringList list;
    for (const QList<QVariant> &arguments : spy)
        list << arguments.at(0).toString();
    return list;
}

QByteArray bodyOf(int i)
{
    return "noradID=48263&frame=" + QByteArray::number(i);
}

// A stored queue with `count` frames and a controller on it with the fixed clock.
struct Uploader
{
    QTemporaryDir dir;
    StationDatabase database;
    UploadQueueStore queue{database};
    UploadController controller{queue};
    QSignalSpy log{&controller, &UploadController::logMessage};
    QList<qint64> delays; // each wait before a retry, as planned

    Uploader(const QString &server, int count, qint64 retryBaseDelay = LongDelay)
    {
        QObject::connect(&controller, &UploadController::queueStateChanged, [this] {
            const auto next = controller.nextTryMs();
            if (next && (delays.isEmpty() || delays.last() != *next - Now))
                delays << *next - Now;
        });
        QVERIFY(database.open(dir.path()).ok);
        for (int i = 1; i <= count; ++i)
            queue.enqueue(Now + i, QByteArray::number(i), bodyOf(i));
        controller.setServer(server);
        controller.setRetryBaseDelay(retryBaseDelay);
        controller.setClock([] { return Now; });
    }

    // Each entry as stored, in queue order: "state attempts last_error" (0 waiting, 1 delivered,
    // 2 rejected), and its body.
    QStringList rows()
    {
        database.flush();
        QSqlQuery query(database.connection());
        query.exec(u"SELECT state, attempts, last_error, body FROM upload_queue ORDER BY id"_qs);
        QStringList rows;
        while (query.next()) {
            rows << u"%1 %2 %3|%4"_qs.arg(query.value(0).toString(), query.value(1).toString(),
                                          query.value(2).toString(), query.value(3).toString());
        }
        return rows;
    }
    qint64 delivered() { return queue.statistics().delivered; }
};

} // namespace

class TestUploadOutcomes : public QObject
{
    Q_OBJECT
    QTemporaryDir m_dir;
    TestCertificates m_certificates;

private slots:
    void initTestCase()
    {
        m_certificates = TestCertificates::generate(m_dir.path());
        QVERIFY2(m_certificates.error.isEmpty(), qPrintable(m_certificates.error));
    }

    void serverBehaviour_data()
    {
        QTest::addColumn<LoopbackHttpServer::Answer>("answer");
        QTest::addColumn<bool>("tls"); // with a certificate the client does not trust
        QTest::addColumn<int>("timeoutMs");
        QTest::addColumn<qint64>("retryDelay"); // -1: delivered, no retry planned
        QTest::addColumn<QString>("logLine");   // its start
        using Answer = LoopbackHttpServer::Answer;
        const auto row = [](const char *name, const Answer &a, qint64 retryDelay, const QString &logLine,
                            int timeoutMs = 30000, bool tls = false) {
            QTest::newRow(name) << a << tls << timeoutMs << retryDelay << logLine;
        };
        const QString tail = u" Content-Length: 0 Connection: close"_qs;
        // Nothing is sent to an unverified server.
        row("certificate from an unknown authority", Answer{}, LongDelay, "12175: Secure connection failed: ", 30000,
            true);
        // Delivered, with the client's default time-out outlasting a slow answer.
        row("no time-out set: the default", Answer{200, "OK", {}, true, {}, false, 300}, -1,
            "HTTP/1.1 200 OK" + tail, 0);
        row("server hangs", Answer{201, "Created", {}, false}, LongDelay,
            u"10060: Timed out: no complete response from 127.0.0.1 within 0.3 s"_qs, 300);
        row("503 with Retry-After", Answer{503, "Service Unavailable", {{"Retry-After", "7"}}}, 7000,
            "HTTP/1.1 503 Service Unavailable Retry-After: 7" + tail);
        row("302 redirect is not followed", Answer{302, "Found", {{"Location", "http://127.0.0.1:1/x"}}}, LongDelay,
            "HTTP/1.1 302 Found Location: http://127.0.0.1:1/x" + tail);
        row("cut short before Content-Length", Answer{200, "OK", {}, true, "partial", true},
            LongDelay, u"10054: Connection closed by the server before the response was complete"_qs);
    }

    void serverBehaviour()
    {
        QFETCH(LoopbackHttpServer::Answer, answer);
        QFETCH(bool, tls);
        QFETCH(int, timeoutMs);
        QFETCH(qint64, retryDelay);
        QFETCH(QString, logLine);
        LoopbackHttpServer http;
        if (tls)
            http.useTls(m_certificates.server, m_certificates.serverKey);
        QVERIFY(http.start());
        http.setAnswer(answer);
        Uploader u(http.url(), 1);
        u.controller.setTimeout(timeoutMs);
        u.controller.frameQueued();
        QTRY_VERIFY(!u.controller.isSending() && !u.log.isEmpty());

        QCOMPARE(u.log.size(), 1);
        QVERIFY2(texts(u.log).first().startsWith(logLine), qPrintable(texts(u.log).first()));
        QCOMPARE(http.requests().size(), int(!tls));
        if (!tls) {
            QCOMPARE(http.requests().first().body, bodyOf(1));
            QCOMPARE(http.requests().first().header("Content-Type"), QByteArray("application/x-www-form-urlencoded"));
        }
        if (retryDelay < 0) { // the whole state order of a delivery
            QCOMPARE(u.controller.transferStates(),
                     (QStringList{"icHostResolvingHost", "icHostResolved", "icConnecting", "icConnected", "icRequesting",
                                  "icRequestSent", "icReceivingResponse", "icResponseReceived", "icDisconnecting",
                                  "icDisconnected", "icResponseCompleted"}));
        }
        const bool delivered = retryDelay < 0;
        QCOMPARE(u.controller.nextTryMs().value_or(Now - 1) - Now, retryDelay);
        QCOMPARE(u.controller.lastError().isEmpty(), delivered);
        const QString stored = delivered ? u"1 0 "_qs : u"0 1 "_qs + u.controller.lastError();
        QCOMPARE(u.rows(), QStringList{stored + u'|' + bodyOf(1)});
    }

    // Each failed handshake reports its own certificate errors, not the earlier ones too.
    void tlsErrorsOfOneTryOnly()
    {
        LoopbackHttpServer https;
        https.useTls(m_certificates.server, m_certificates.serverKey);
        QVERIFY(https.start());
        HttpUpload upload;
        QStringList infos;
        for (int i = 0; i < 2; ++i) {
            QVERIFY(!upload.setUrl(https.url()) && !upload.execute(u"POST"_qs, bodyOf(i), {}));
            QTRY_VERIFY(!upload.isBusy());
            infos << upload.responseInfo();
        }
        QVERIFY2(infos[0].startsWith(u"Secure connection failed: "_qs), qPrintable(infos[0]));
        QCOMPARE(infos[1], infos[0]);
    }

    void backOffDoublesUntilTheServerIsBack()
    {
        const quint16 port = freeLoopbackPort();
        Uploader u(u"http://127.0.0.1:%1/telemetry"_qs.arg(port), 2, 40);
        QSignalSpy kinds(&u.controller, &UploadController::failureKindChanged);
        u.controller.frameQueued();
        QTRY_COMPARE_WITH_TIMEOUT(u.delays.size(), 4, 10000);
        QCOMPARE(u.delays, (QList<qint64>{40, 80, 160, 320}));
        QCOMPARE(texts(u.log).first(), u"10061: Connection refused by 127.0.0.1:%1"_qs.arg(port));
        QCOMPARE(u.rows().first(), u"0 4 "_qs + texts(u.log).first() + u'|' + bodyOf(1));

        LoopbackHttpServer http;
        QVERIFY(http.listen(QHostAddress::LocalHost, port));
        QTRY_COMPARE_WITH_TIMEOUT(u.delivered(), 2, 10000);
        QCOMPARE(u.controller.failuresInARow(), 0);
        QCOMPARE(u.controller.lastError(), QString());
        QVERIFY(!u.controller.nextTryMs());
        // One line per change of failure kind, not one per retry.
        QCOMPARE(texts(kinds), (QStringList{QStringLiteral("connection refused"), QString()}));
    }

    void refusedFrameIsRejectedAfterThreeTriesAndTheQueueMovesOn()
    {
        LoopbackHttpServer http;
        QVERIFY(http.start());
        const LoopbackHttpServer::Answer refused{400, "Bad Request", {}, true, "bad frame\r\n" + QByteArray(300, 'z')};
        http.queueAnswers({refused, refused, refused, {500, "Internal Server Error", {}}});
        Uploader u(http.url(), 2, 20);
        u.controller.frameQueued();

        QTRY_COMPARE(u.delivered(), 1);
        QCOMPARE(http.requests().size(), 5);
        QCOMPARE(u.delays, (QList<qint64>{20, 40, 20})); // the rejection ends the run of failures
        const QString reason = QStringLiteral("HTTP/1.1 400 Bad Request bad frame  ") + QString(189, u'z');
        QCOMPARE(u.rows(), (QStringList{u"2 3 "_qs + reason + u'|' + bodyOf(1),
                                        u"1 1 HTTP/1.1 500 Internal Server Error|"_qs + bodyOf(2)}));
        QCOMPARE(texts(u.log).filter(QStringLiteral("rejected")),
                 QStringList{QStringLiteral("upload rejected after 3 tries: ") + reason});
    }

    // What the end of one request means for its frame, and the wait before the next try: a
    // usable Retry-After of the server, else the back-off (5 s doubling, at most 10 min).
    void outcome_data()
    {
        QTest::addColumn<int>("status"); // 0: no response, failureNumber instead
        QTest::addColumn<int>("failureNumber");
        QTest::addColumn<QByteArray>("retryAfter");
        QTest::addColumn<int>("triesBefore"); // the frame's failed tries before this one
        QTest::addColumn<QString>("expected");
        const auto row = [](const char *name, int status, const QByteArray &retryAfter, int triesBefore,
                            const char *expected, int failureNumber = 0) {
            QTest::newRow(name) << status << failureNumber << retryAfter << triesBefore << expected;
        };
        row("host not found", 0, {}, 0, "retry in 5000: host not found", 11001);
        row("no URL", 0, {}, 1, "retry in 10000: request not started", 35753);
        row("cut short", 0, {}, 0, "retry in 5000: response cut short", 10054);
        row("timed out", 0, {}, 0, "retry in 5000: timed out", 10060);
        row("untrusted certificate", 0, {}, 0, "retry in 5000: secure connection failed", 12175);
        row("408 seventh try", 408, {}, 6, "retry in 320000: HTTP 408");
        row("429 eighth try: the cap", 429, {}, 7, "retry in 600000: HTTP 429");
        row("502 after a day of failures", 502, {}, 299, "retry in 600000: HTTP 502");
        row("Retry-After huge number", 503, "99999999999999999999999", 0, "retry in 600000: HTTP 503");
        row("Retry-After date ahead", 503, "Tue, 14 Nov 2023 22:14:50 GMT", 0, "retry in 90000: HTTP 503");
        row("Retry-After date passed", 503, "Tue, 14 Nov 2023 22:11:50 GMT", 0, "retry in 0: HTTP 503");
        row("Retry-After garbage: the back-off", 503, "-5", 1, "retry in 10000: HTTP 503");
    }

    void outcome()
    {
        QFETCH(int, status);
        QFETCH(int, failureNumber);
        QFETCH(QByteArray, retryAfter);
        QFETCH(int, triesBefore);
        QFETCH(QString, expected);
        const UploadOutcome outcome = classifyUpload(status, failureNumber, retryAfter, Now, triesBefore);
        QString verdict = u"retry in %1"_qs.arg(retryDelayMs(outcome, triesBefore + 1));
        if (outcome.verdict != UploadVerdict::RetryLater)
            verdict = outcome.verdict == UploadVerdict::Rejected ? u"rejected"_qs : u"delivered"_qs;
        QCOMPARE(verdict + u": "_qs + outcome.kind, expected);
    }
};

QTEST_GUILESS_MAIN(TestUploadOutcomes)
#include "tst_upload_outcomes.moc"
