// The upload controller against real loopback servers: what each kind of server behaviour does
// to the frame (delivered, waiting for a retry, rejected), the log, the back-off and the order in
// which queued frames arrive. Only the clock is fixed.
#include "support/LoopbackHttpServer.h"
#include "support/MemoryUploadQueue.h"
#include "support/Programs.h"
#include "support/TestCertificates.h"
#include "upload/HttpUpload.h"
#include "upload/UploadController.h"
#include "upload/UploadOutcome.h"

#include <QDateTime>
#include <QLocale>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimeZone>

#include <memory>

Q_DECLARE_METATYPE(LoopbackHttpServer::Answer)
Q_DECLARE_METATYPE(UploadVerdict)

namespace {

constexpr qint64 Now = 1'700'000'000'000; // the fixed clock
constexpr qint64 LongDelay = 60'000;      // no retry happens while a row is checked

QString httpDate(qint64 ms)
{
    return QLocale::c().toString(QDateTime::fromMSecsSinceEpoch(ms, QTimeZone::utc()),
                                 QStringLiteral("ddd, dd MMM yyyy HH:mm:ss 'GMT'"));
}

LoopbackHttpServer::Answer answer(int status, const QByteArray &reason,
                                  QList<QPair<QByteArray, QByteArray>> headers = {})
{
    LoopbackHttpServer::Answer a;
    a.status = status;
    a.reason = reason;
    a.headers = std::move(headers);
    return a;
}

LoopbackHttpServer::Answer shaped(LoopbackHttpServer::Shape shape, QByteArray body = {})
{
    LoopbackHttpServer::Answer a = answer(200, "OK");
    a.shape = shape;
    a.body = std::move(body);
    return a;
}

bool requestEnded(const UploadController &controller)
{
    const QStringList &states = controller.transferStates();
    return !controller.isSending() && !states.isEmpty() &&
           (states.last() == u"icResponseCompleted" || states.last() == u"icError");
}

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

// A queue with `count` frames and a controller on it with the fixed clock.
struct Uploader
{
    MemoryUploadQueue queue;
    UploadController controller{queue};
    QSignalSpy log{&controller, &UploadController::logMessage};

    Uploader(const QString &server, int count, qint64 retryBaseDelay = LongDelay)
    {
        for (int i = 1; i <= count; ++i)
            queue.enqueue(Now + i, QByteArray::number(i), bodyOf(i));
        controller.setServer(server);
        controller.setRetryBaseDelay(retryBaseDelay);
        controller.setClock([] { return Now; });
    }
};

// A server that holds its answers and an uploader whose first request waits at it.
struct RequestInFlight
{
    LoopbackHttpServer http;
    std::unique_ptr<Uploader> uploader;

    bool start(int frames)
    {
        if (!http.start())
            return false;
        LoopbackHttpServer::Answer held = answer(201, "Created");
        held.respond = false;
        http.setAnswer(held);
        uploader = std::make_unique<Uploader>(http.url(), frames);
        uploader->controller.frameQueued();
        return QTest::qWaitFor([this] { return http.requests().size() == 1; });
    }

    // Answers the held request, and every later one at once, with 201.
    void release()
    {
        http.setAnswer(answer(201, "Created"));
        http.answerHeldRequests();
    }
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
        QVERIFY(m_dir.isValid());
        m_certificates = TestCertificates::generate(m_dir.path());
        QVERIFY2(m_certificates.error.isEmpty(), qPrintable(m_certificates.error));
    }

    void serverBehaviour_data()
    {
        using Shape = LoopbackHttpServer::Shape;
        QTest::addColumn<QString>("server"); // "loopback", "refused" or "untrusted TLS"
        QTest::addColumn<LoopbackHttpServer::Answer>("answer");
        QTest::addColumn<int>("timeoutMs");
        QTest::addColumn<UploadVerdict>("verdict");
        QTest::addColumn<qint64>("retryDelay"); // -1: no retry planned
        QTest::addColumn<QString>("logLine");   // %PORT%: the server's port

        const QString tail = QStringLiteral(" Content-Length: 0 Connection: close");
        const QString cutShort =
            QStringLiteral("10054: Connection closed by the server before the response was complete");
        auto row = [&](const char *name, const QString &server, const LoopbackHttpServer::Answer &a,
                       UploadVerdict verdict, qint64 retryDelay, const QString &logLine, int timeoutMs = 30000) {
            QTest::newRow(name) << server << a << timeoutMs << verdict << retryDelay << logLine;
        };
        const auto delivered = UploadVerdict::Delivered;
        const auto retry = UploadVerdict::RetryLater;
        row("201 created", "loopback", answer(201, "Created"), delivered, -1, "HTTP/1.1 201 Created" + tail);
        LoopbackHttpServer::Answer slow = answer(200, "OK");
        slow.delayMs = 300;
        row("slow answer within the time-out", "loopback", slow, delivered, -1, "HTTP/1.1 200 OK" + tail);
        row("no time-out set: the default", "loopback", slow, delivered, -1, "HTTP/1.1 200 OK" + tail, 0);
        LoopbackHttpServer::Answer silent = answer(201, "Created");
        silent.respond = false;
        row("server hangs", "loopback", silent, retry, LongDelay,
            "10060: Timed out: no complete response from 127.0.0.1 within 0.3 s", 300);
        row("connection refused", "refused", answer(201, "Created"), retry, LongDelay,
            "10061: Connection refused by 127.0.0.1:%PORT%");
        row("untrusted certificate", "untrusted TLS", answer(201, "Created"), retry, LongDelay, "12175: Secure connection failed: ");
        row("503 with Retry-After seconds", "loopback",
            answer(503, "Service Unavailable", {{"Retry-After", "7"}}), retry, 7000,
            "HTTP/1.1 503 Service Unavailable Retry-After: 7" + tail);
        const QByteArray date = httpDate(Now + 120'000).toLatin1();
        row("503 with Retry-After date", "loopback", answer(503, "Service Unavailable", {{"Retry-After", date}}),
            retry, 120'000, "HTTP/1.1 503 Service Unavailable Retry-After: " + date + tail);
        row("503 with Retry-After beyond the cap", "loopback",
            answer(503, "Service Unavailable", {{"Retry-After", "86400"}}), retry, UploadRetry::MaxDelayMs,
            "HTTP/1.1 503 Service Unavailable Retry-After: 86400" + tail);
        row("500", "loopback", answer(500, "Internal Server Error"), retry, LongDelay,
            "HTTP/1.1 500 Internal Server Error" + tail);
        row("429", "loopback", answer(429, "Too Many Requests"), retry, LongDelay, "HTTP/1.1 429 Too Many Requests" + tail);
        row("408", "loopback", answer(408, "Request Timeout"), retry, LongDelay, "HTTP/1.1 408 Request Timeout" + tail);
        row("400 on the first try", "loopback", answer(400, "Bad Request"), retry, LongDelay, "HTTP/1.1 400 Bad Request" + tail);
        row("302 redirect is not followed", "loopback", answer(302, "Found", {{"Location", "http://127.0.0.1:1/x"}}),
            retry, LongDelay, "HTTP/1.1 302 Found Location: http://127.0.0.1:1/x" + tail);
        row("cut short before Content-Length", "loopback", shaped(Shape::CutShort, "partial"), retry, LongDelay, cutShort);
        row("cut short before the last chunk", "loopback", shaped(Shape::ChunkedCutShort, "partial"), retry,
            LongDelay, cutShort);
    }

    void serverBehaviour()
    {
        QFETCH(QString, server);
        QFETCH(LoopbackHttpServer::Answer, answer);
        QFETCH(int, timeoutMs);
        QFETCH(UploadVerdict, verdict);
        QFETCH(qint64, retryDelay);
        QFETCH(QString, logLine);

        LoopbackHttpServer http;
        if (server == u"untrusted TLS")
            http.useTls(m_certificates.server, m_certificates.serverKey);
        QVERIFY(http.start());
        http.setAnswer(answer);
        QString url = http.url();
        quint16 port = http.serverPort();
        if (server == u"refused") {
            port = freeLoopbackPort();
            url = QStringLiteral("http://127.0.0.1:%1/telemetry").arg(port);
        }
        logLine.replace(QStringLiteral("%PORT%"), QString::number(port));

        Uploader u(url, 1);
        u.controller.setTimeout(timeoutMs);
        u.controller.frameQueued();
        QTRY_VERIFY(requestEnded(u.controller));

        QCOMPARE(u.log.size(), 1);
        QVERIFY2(texts(u.log).first().startsWith(logLine), qPrintable(texts(u.log).first()));
        QCOMPARE(u.queue.delivered().size(), verdict == UploadVerdict::Delivered ? 1 : 0);
        QCOMPARE(u.queue.waitingCount(), verdict == UploadVerdict::RetryLater ? 1 : 0);
        QCOMPARE(u.controller.deliveredCount(), verdict == UploadVerdict::Delivered ? 1 : 0);
        if (retryDelay < 0) {
            QVERIFY(!u.controller.nextTryMs());
            QVERIFY(u.controller.lastError().isEmpty());
        } else {
            QCOMPARE(u.controller.nextTryMs().value_or(0) - Now, retryDelay);
            QCOMPARE(u.queue.oldestWaiting()->attempts, 1);
            QCOMPARE(u.queue.failureReasons(), QStringList{u.controller.lastError()});
            QVERIFY(!u.controller.lastError().isEmpty());
        }
    }

    void framesQueuedDuringARequestAllArriveInOrder()
    {
        RequestInFlight t;
        QVERIFY(t.start(1));
        Uploader &u = *t.uploader;
        for (int i = 2; i <= 4; ++i) {
            QCOMPARE(u.queue.enqueue(Now + i, QByteArray::number(i), bodyOf(i)), EnqueueResult::Queued);
            u.controller.frameQueued();
        }
        QCOMPARE(texts(u.log), QStringList(3, QStringLiteral("server is busy")));
        t.release();

        QTRY_COMPARE(u.queue.delivered().size(), 4);
        QList<QByteArray> bodies;
        for (const HttpRequest &request : t.http.requests())
            bodies << request.body;
        QCOMPARE(bodies, (QList<QByteArray>{bodyOf(1), bodyOf(2), bodyOf(3), bodyOf(4)}));
        QCOMPARE(u.controller.deliveredCount(), 4);
    }

    void pausingHoldsTheQueue()
    {
        RequestInFlight t;
        QVERIFY(t.start(3));
        Uploader &u = *t.uploader;

        // Unticked during a request: that one still ends, nothing further starts.
        u.controller.setSendingAllowed(false);
        t.release();
        QTRY_COMPARE(u.queue.delivered().size(), 1);
        u.controller.frameQueued();
        QTest::qWait(200);
        QCOMPARE(t.http.requests().size(), 1);
        QCOMPARE(u.queue.waitingCount(), 2);

        u.controller.setSendingAllowed(true);
        QTRY_COMPARE(u.queue.delivered().size(), 3);
        QCOMPARE(t.http.requests().size(), 3);
    }

    void backOffDoublesUntilTheServerIsBack()
    {
        const quint16 port = freeLoopbackPort();
        Uploader u(QStringLiteral("http://127.0.0.1:%1/telemetry").arg(port), 2, 40);
        QSignalSpy kinds(&u.controller, &UploadController::failureKindChanged);
        QList<qint64> delays;
        connect(&u.controller, &UploadController::queueStateChanged, this, [&] {
            if (u.controller.nextTryMs() && (delays.isEmpty() || delays.last() != *u.controller.nextTryMs() - Now))
                delays << *u.controller.nextTryMs() - Now;
        });
        u.controller.frameQueued();
        QTRY_COMPARE_WITH_TIMEOUT(delays.size(), 4, 10000);
        QCOMPARE(delays, (QList<qint64>{40, 80, 160, 320}));

        LoopbackHttpServer http;
        QVERIFY(http.listen(QHostAddress::LocalHost, port));
        QTRY_COMPARE_WITH_TIMEOUT(u.queue.delivered().size(), 2, 10000);
        QCOMPARE(u.controller.failuresInARow(), 0);
        QVERIFY(!u.controller.nextTryMs());
        // One line per change of failure kind, not one per retry.
        QCOMPARE(texts(kinds), (QStringList{QStringLiteral("connection refused"), QString()}));
    }

    void refusedFrameIsRejectedAfterThreeTriesAndTheQueueMovesOn()
    {
        LoopbackHttpServer http;
        QVERIFY(http.start());
        LoopbackHttpServer::Answer refused = answer(400, "Bad Request");
        refused.body = "bad frame\r\n" + QByteArray(300, 'z');
        http.queueAnswers({refused, refused, refused});
        Uploader u(http.url(), 2, 20);
        u.controller.frameQueued();

        QTRY_COMPARE(u.queue.delivered().size(), 1);
        QCOMPARE(http.requests().size(), 4);
        QCOMPARE(u.queue.delivered().first().body, bodyOf(2));
        QCOMPARE(u.queue.rejected().size(), 1);
        QCOMPARE(u.queue.rejected().first().entry.body, bodyOf(1));
        const QString reason = QStringLiteral("HTTP/1.1 400 Bad Request bad frame  ") + QString(189, u'z');
        QCOMPARE(u.queue.rejected().first().reason, reason);
        QCOMPARE(texts(u.log).filter(QStringLiteral("rejected")),
                 QStringList{QStringLiteral("upload rejected after 3 tries: ") + reason});
    }

    void cancelLeavesTheFrameWaiting()
    {
        RequestInFlight t;
        QVERIFY(t.start(1));
        Uploader &u = *t.uploader;
        u.controller.cancel();
        t.release();
        QTest::qWait(200);
        QCOMPARE(u.queue.waitingCount(), 1);
        QCOMPARE(u.controller.deliveredCount(), 0);
    }

    void hugeBodyKeepsOnlyItsStart()
    {
        constexpr qint64 Size = 32 * 1024 * 1024;
        LoopbackHttpServer http;
        QVERIFY(http.start());
        LoopbackHttpServer::Answer huge = answer(201, "Created");
        huge.shape = LoopbackHttpServer::Shape::Huge;
        huge.hugeBodyBytes = Size;
        http.setAnswer(huge);

        HttpUpload upload;
        QSignalSpy states(&upload, &HttpUpload::stateChanged);
        QVERIFY(!upload.setUrl(http.url()));
        QVERIFY(!upload.execute(QStringLiteral("POST"), "frame=1",
                                QStringLiteral("Content-Type: application/x-www-form-urlencoded")));
        QTRY_VERIFY_WITH_TIMEOUT(!upload.isBusy(), 30000);
        QCOMPARE(states.last().at(0).toInt(), int(HttpUpload::State::ResponseCompleted));
        QCOMPARE(upload.httpStatus(), 201);
        QCOMPARE(upload.responseBodySize(), Size);
        QCOMPARE(upload.responseBody().size(), HttpUpload::MaxKeptBodyBytes);
    }

    void backoff_data()
    {
        QTest::addColumn<int>("failures");
        QTest::addColumn<qint64>("delay");
        QTest::newRow("first retry") << 1 << qint64(5000);
        QTest::newRow("second") << 2 << qint64(10000);
        QTest::newRow("seventh") << 7 << qint64(320000);
        QTest::newRow("eighth reaches the cap") << 8 << qint64(600000);
        QTest::newRow("a day of failures") << 300 << qint64(600000);
    }

    void backoff()
    {
        QFETCH(int, failures);
        QFETCH(qint64, delay);
        QCOMPARE(backoffDelayMs(failures), delay);
    }

    void classify_data()
    {
        QTest::addColumn<int>("status");
        QTest::addColumn<int>("failureNumber");
        QTest::addColumn<int>("triesBefore");
        QTest::addColumn<UploadVerdict>("verdict");
        QTest::addColumn<QString>("kind");
        QTest::newRow("204") << 204 << 0 << 0 << UploadVerdict::Delivered << "";
        QTest::newRow("host not found") << 0 << 11001 << 5 << UploadVerdict::RetryLater << "host not found";
        QTest::newRow("no URL") << 0 << 35753 << 0 << UploadVerdict::RetryLater << "request not started";
        QTest::newRow("404 second try") << 404 << 0 << 1 << UploadVerdict::RetryLater << "HTTP 404";
        QTest::newRow("404 third try") << 404 << 0 << 2 << UploadVerdict::Rejected << "HTTP 404";
        QTest::newRow("429 tenth try") << 429 << 0 << 9 << UploadVerdict::RetryLater << "HTTP 429";
        QTest::newRow("301 tenth try") << 301 << 0 << 9 << UploadVerdict::RetryLater << "HTTP 301";
        QTest::newRow("502 tenth try") << 502 << 0 << 9 << UploadVerdict::RetryLater << "HTTP 502";
    }

    void classify()
    {
        QFETCH(int, status);
        QFETCH(int, failureNumber);
        QFETCH(int, triesBefore);
        QFETCH(UploadVerdict, verdict);
        QFETCH(QString, kind);
        const UploadOutcome outcome = classifyUpload(status, failureNumber, {}, Now, triesBefore);
        QCOMPARE(outcome.verdict, verdict);
        QCOMPARE(outcome.kind, kind);
    }

    void retryAfter_data()
    {
        QTest::addColumn<QByteArray>("value");
        QTest::addColumn<qint64>("delay"); // -1: not usable
        QTest::newRow("seconds") << QByteArray(" 120 ") << qint64(120000);
        QTest::newRow("huge number") << QByteArray("99999999999999999999999") << UploadRetry::MaxDelayMs;
        QTest::newRow("date ahead") << httpDate(Now + 90'000).toLatin1() << qint64(90000);
        QTest::newRow("date passed") << httpDate(Now - 90'000).toLatin1() << qint64(0);
        QTest::newRow("negative") << QByteArray("-5") << qint64(-1);
        QTest::newRow("garbage") << QByteArray("soon") << qint64(-1);
        QTest::newRow("empty") << QByteArray() << qint64(-1);
    }

    void retryAfter()
    {
        QFETCH(QByteArray, value);
        QFETCH(qint64, delay);
        QCOMPARE(parseRetryAfter(value, Now).value_or(-1), delay);
    }
};

QTEST_GUILESS_MAIN(TestUploadOutcomes)
#include "tst_upload_outcomes.moc"
