// The upload controller against real loopback servers: what each kind of server behaviour does
// to the frame (delivered, waiting for a retry, rejected), the log, the back-off and the order in
// which queued frames arrive. Only the clock is fixed.
#include "support/LoopbackHttpServer.h"
#include "support/MemoryUploadQueue.h"
#include "support/Programs.h"
#include "upload/HttpUpload.h"
#include "upload/UploadController.h"
#include "upload/UploadOutcome.h"

#include <QDateTime>
#include <QLocale>
#include <QSignalSpy>
#include <QTest>
#include <QTimeZone>


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
    return {status, reason, std::move(headers)};
}

LoopbackHttpServer::Answer shaped(LoopbackHttpServer::Shape shape)
{
    return {200, "OK", {}, true, "partial", shape};
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

} // namespace

class TestUploadOutcomes : public QObject
{
    Q_OBJECT
private slots:

    void serverBehaviour_data()
    {
        QTest::addColumn<bool>("refused"); // else: the loopback server answers
        QTest::addColumn<LoopbackHttpServer::Answer>("answer");
        QTest::addColumn<int>("timeoutMs");
        QTest::addColumn<qint64>("retryDelay"); // -1: delivered, no retry planned
        QTest::addColumn<QString>("logLine");   // its start; %PORT%: the server's port
        const auto row = [](const QByteArray &name, const LoopbackHttpServer::Answer &a, qint64 retryDelay,
                            const QString &logLine, int timeoutMs = 30000, bool refused = false) {
            QTest::newRow(name.constData()) << refused << a << timeoutMs << retryDelay << logLine;
        };
        const QString tail = u" Content-Length: 0 Connection: close"_qs;
        row("201 created", answer(201, "Created"), -1, "HTTP/1.1 201 Created" + tail);
        LoopbackHttpServer::Answer slow = answer(200, "OK");
        slow.delayMs = 300;
        row("slow answer within the time-out", slow, -1, "HTTP/1.1 200 OK" + tail);
        row("no time-out set: the default", slow, -1, "HTTP/1.1 200 OK" + tail, 0);
        LoopbackHttpServer::Answer silent = answer(201, "Created");
        silent.respond = false;
        row("server hangs", silent, LongDelay, u"10060: Timed out: no complete response from 127.0.0.1 within 0.3 s"_qs, 300);
        row("connection refused", {}, LongDelay, u"10061: Connection refused by 127.0.0.1:%PORT%"_qs, 30000, true);
        const QByteArray date = httpDate(Now + 120'000).toLatin1();
        for (const auto &[after, delay] : {std::pair<QByteArray, qint64>{"7", 7000}, {date, 120'000},
                                           {"86400", UploadRetry::MaxDelayMs}})
            row("503 with Retry-After " + after, answer(503, "Service Unavailable", {{"Retry-After", after}}),
                delay, "HTTP/1.1 503 Service Unavailable Retry-After: " + after + tail);
        for (const auto &[status, reason] : {std::pair<int, QByteArray>{500, "Internal Server Error"},
                                             {429, "Too Many Requests"}, {408, "Request Timeout"}, {400, "Bad Request"}})
            row(reason, answer(status, reason), LongDelay, u"HTTP/1.1 %1 %2"_qs.arg(status).arg(reason) + tail);
        row("302 redirect is not followed", answer(302, "Found", {{"Location", "http://127.0.0.1:1/x"}}), LongDelay,
            "HTTP/1.1 302 Found Location: http://127.0.0.1:1/x" + tail);
        const QString cutShort = u"10054: Connection closed by the server before the response was complete"_qs;
        row("cut short before Content-Length", shaped(LoopbackHttpServer::Shape::CutShort), LongDelay, cutShort);
        row("cut short before the last chunk", shaped(LoopbackHttpServer::Shape::ChunkedCutShort), LongDelay, cutShort);
    }

    void serverBehaviour()
    {
        QFETCH(bool, refused);
        QFETCH(LoopbackHttpServer::Answer, answer);
        QFETCH(int, timeoutMs);
        QFETCH(qint64, retryDelay);
        QFETCH(QString, logLine);
        LoopbackHttpServer http;
        QVERIFY(http.start());
        http.setAnswer(answer);
        const quint16 port = refused ? freeLoopbackPort() : http.serverPort();
        logLine.replace(u"%PORT%"_qs, QString::number(port));
        Uploader u(u"http://127.0.0.1:%1/telemetry"_qs.arg(port), 1);
        u.controller.setTimeout(timeoutMs);
        u.controller.frameQueued();
        QTRY_VERIFY(requestEnded(u.controller));

        QCOMPARE(u.log.size(), 1);
        QVERIFY2(texts(u.log).first().startsWith(logLine), qPrintable(texts(u.log).first()));
        const int delivered = retryDelay < 0 ? 1 : 0;
        QCOMPARE(u.queue.delivered().size(), delivered);
        QCOMPARE(u.controller.deliveredCount(), delivered);
        QCOMPARE(u.queue.waitingCount(), 1 - delivered);
        QCOMPARE(u.controller.nextTryMs().value_or(Now - 1) - Now, retryDelay);
        QCOMPARE(u.queue.failureReasons(), delivered ? QStringList() : QStringList{u.controller.lastError()});
        QCOMPARE(u.controller.lastError().isEmpty(), bool(delivered));
        if (!delivered)
            QCOMPARE(u.queue.oldestWaiting()->attempts, 1);
    }

    void framesQueuedDuringARequestAllArriveInOrder()
    {
        LoopbackHttpServer http;
        QVERIFY(http.start());
        LoopbackHttpServer::Answer held = answer(201, "Created");
        held.respond = false;
        http.setAnswer(held);
        Uploader u(http.url(), 1);
        u.controller.frameQueued();
        QTRY_COMPARE(http.requests().size(), 1);
        for (int i = 2; i <= 4; ++i) {
            QCOMPARE(u.queue.enqueue(Now + i, QByteArray::number(i), bodyOf(i)), EnqueueResult::Queued);
            u.controller.frameQueued();
        }
        QCOMPARE(texts(u.log), QStringList(3, u"server is busy"_qs));
        http.setAnswer(answer(201, "Created"));
        http.answerHeldRequests();

        QTRY_COMPARE(u.queue.delivered().size(), 4);
        QList<QByteArray> bodies;
        for (const HttpRequest &request : http.requests())
            bodies << request.body;
        QCOMPARE(bodies, (QList<QByteArray>{bodyOf(1), bodyOf(2), bodyOf(3), bodyOf(4)}));
        QCOMPARE(u.controller.deliveredCount(), 4);
    }

    void backOffDoublesUntilTheServerIsBack()
    {
        const quint16 port = freeLoopbackPort();
        Uploader u(u"http://127.0.0.1:%1/telemetry"_qs.arg(port), 2, 40);
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

    void hugeBodyKeepsOnlyItsStart()
    {
        constexpr qint64 Size = 32 * 1024 * 1024;
        LoopbackHttpServer http;
        QVERIFY(http.start());
        http.setAnswer({201, "Created", {}, true, {}, LoopbackHttpServer::Shape::Huge, 0, Size});
        HttpUpload upload;
        QSignalSpy states(&upload, &HttpUpload::stateChanged);
        QVERIFY(!upload.setUrl(http.url()));
        QVERIFY(!upload.execute(u"POST"_qs, "frame=1", u"Content-Type: application/x-www-form-urlencoded"_qs));
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
