// Satellite frames through the Station to a real loopback collection server: the body it sends
// and logs, what the log, the transfer-state list and the success counter show, and how the
// Station's own controls (allow data transfer, closing) hold or cancel the queue.
#include "support/AgwLoopbackServer.h"
#include "support/LoopbackHttpServer.h"
#include "support/Programs.h"
#include "support/StationHarness.h"

#include <QTest>

Q_DECLARE_METATYPE(LoopbackHttpServer::Answer)

namespace {

// The body of satelliteRecord(): the harness clock's time, MYCALL encoded.
const QString Body = u"noradID=48263&source=XR1%26tncPort%3D5&timestamp=2014-08-02T13:05:09.123Z"
                     "&frame=B0 A4 72 96 8E 40 62 B0 A4 72 96 40 40 77 03 01 02 03 04"
                     "&locator=longLat&longitude=-4.5&latitude=52.01&tncPort=0"_qs;

QString entry(const QString &message)
{
    return u"2014-08-02 13:05:09.123: "_qs + message + u"\r\n"_qs; // the harness clock
}

QByteArray satelliteRecord(char last = '\x04')
{
    return AgwLoopbackServer::rawFrameRecord(QByteArray::fromHex("00B0A472968E4062B0A4729640407703010203") + last);
}

// A started Station whose packet engine port is closed, uploading to the given SERVER.
struct StationUnderTest : StationHarness
{
    bool ready = false;

    explicit StationUnderTest(const QString &server)
        : StationHarness(u"PORT=127.0.0.1:%1\r\nSERVER=%2\r\nMYCALL=XR1&tncPort=5\r\nQTH_LAT=52.01\r\n"
                         "QTH_LONG=-4.5\r\n"_qs.arg(freeLoopbackPort()).arg(server).toLatin1())
    {
        station->start();
        // The link to the closed packet-engine port fails once, before any frame is fed.
        ready = QTest::qWaitFor([this] { return station->log().text().contains(u"occured"); });
    }

    // The newest entries, newest first, up to (not including) the upload body's entry.
    QStringList entriesAfterBody() const
    {
        QStringList entries;
        for (const QString &e : station->log().entries()) {
            if (e == entry(Body))
                break;
            entries << e;
        }
        return entries;
    }
};

} // namespace

class TestStationUpload : public QObject
{
    Q_OBJECT
private slots:
    void serverBehaviours_data()
    {
        QTest::addColumn<QString>("server"); // empty: the loopback server
        QTest::addColumn<LoopbackHttpServer::Answer>("answer");
        QTest::addColumn<QStringList>("entries"); // newest first

        // An answer of the loopback server: the response headers are logged.
        const auto answered = [](int status, const char *reason, bool denied) {
            QStringList entries{entry(u"HTTP/1.1 %1 %2 Content-Length: 0 Connection: close"_qs.arg(status).arg(reason))};
            if (denied)
                entries.prepend(u"Access is denied. Try adding a Username and Password\r\n"_qs);
            QTest::newRow(reason) << QString() << LoopbackHttpServer::Answer{status, reason, {}} << entries;
        };
        answered(200, "OK", false);
        answered(401, "Unauthorized", true);
        const auto ownFailure = [](int number, const char *text) {
            return entry(u"error number: %1\r\nerror discription: %2\r\nHeaders: \r\nResponse code: %1\r\n"
                         "Response Info: %2"_qs.arg(number).arg(QLatin1String(text)));
        };
        QTest::newRow("malformed SERVER")
            << "http//127.0.0.1/upload" << LoopbackHttpServer::Answer{}
            << QStringList{ownFailure(35753, "No URL to execute"), ownFailure(35751, "URL is malformed")};
        // Only blanks and tabs around a value are dropped when the file is read.
        QTest::newRow("SERVER of a form feed")
            << "\f" << LoopbackHttpServer::Answer{}
            << QStringList{ownFailure(35753, "No URL to execute"), ownFailure(35750, "URL is empty")};
    }

    void serverBehaviours()
    {
        QFETCH(QString, server);
        QFETCH(LoopbackHttpServer::Answer, answer);
        QFETCH(QStringList, entries);
        LoopbackHttpServer http;
        QVERIFY(http.start());
        http.setAnswer(answer);
        StationUnderTest t(server.isEmpty() ? http.url() : server);
        QVERIFY(t.ready);
        t.station->handleRecord(satelliteRecord());
        QTRY_COMPARE(t.entriesAfterBody(), entries);
        QCOMPARE(http.requests().value(0).body, server.isEmpty() ? Body.toLatin1() : QByteArray());
        // A 2xx counts; a frame not delivered waits, and the status area says when it is tried again.
        const bool ok = answer.status < 300 && server.isEmpty();
        QCOMPARE(t.station->statusLine(), u"RX packets: 1 | HTTP POST OK: %1"_qs.arg(int(ok)));
        if (ok)
            QTRY_COMPARE_WITH_TIMEOUT(t.station->queueSummary(), u"Upload queue: 0 waiting"_qs, 2000);
        else
            QTRY_VERIFY2_WITH_TIMEOUT(t.station->queueSummary().startsWith(u"Upload queue: 1 waiting, next try "_qs),
                                      qPrintable(t.station->queueSummary()), 2000);
    }

    // While a request is in flight a new frame is logged as "server is busy" and waits; unticking
    // "allow data transfer" lets the request end but holds the queue until ticked again; closing
    // the window cancels a request in flight: nothing completes or counts later.
    void requestInFlightBusyUntickedAndClosing()
    {
        LoopbackHttpServer http;
        QVERIFY(http.start());
        http.setAnswer({201, "Created", {}, false});
        StationUnderTest t(http.url());
        QVERIFY(t.ready);
        t.station->handleRecord(satelliteRecord('\x01'));
        t.station->handleRecord(satelliteRecord('\x02'));
        QCOMPARE(t.station->log().entries().front(), entry(u"server is busy"_qs));
        QTRY_COMPARE(http.requests().size(), 1);
        t.station->setUploadAllowed(false);
        http.answerHeldRequests();
        QTRY_COMPARE(t.station->deliveredCount(), 1);
        QTest::qWait(100);
        QCOMPARE(http.requests().size(), 1); // held while unticked
        QCOMPARE(t.station->log().text().count(u"server is busy"_qs), 1);
        QCOMPARE(t.station->statusLine(), u"RX packets: 2 | HTTP POST OK: 1"_qs);

        t.station->setUploadAllowed(true);
        QTRY_COMPARE(http.requests().size(), 2);
        QVERIFY(http.requests().last().body.contains("03 02&"));
        t.station->prepareClose();
        http.answerHeldRequests();
        QTest::qWait(200);
        QVERIFY(!t.station->uploads().transferStates().contains(u"icResponseCompleted"_qs));
        QCOMPARE(t.station->deliveredCount(), 1);
    }
};

QTEST_GUILESS_MAIN(TestStationUpload)
#include "tst_StationUpload.moc"
