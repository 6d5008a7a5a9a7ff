// Satellite frames through the Station to a real loopback collection server: what the log,
// the transfer-state list and the success counter show for each kind of server.
#include "support/AgwLoopbackServer.h"
#include "support/LoopbackHttpServer.h"
#include "support/Programs.h"
#include "support/StationHarness.h"

#include <QTest>

Q_DECLARE_METATYPE(LoopbackHttpServer::Answer)

namespace {

const QString Stamp = QStringLiteral("2014-08-02 13:05:09.123: "); // the harness clock

QString entry(const QString &message)
{
    return Stamp + message + QStringLiteral("\r\n");
}

QByteArray satelliteRecord()
{
    return AgwLoopbackServer::rawFrameRecord(
        QByteArray::fromHex("00B0A472968E4062B0A472964040770301020304"));
}


// A started Station whose packet engine port is closed, uploading to the given SERVER.
struct StationUnderTest : StationHarness
{
    bool ready = false;

    explicit StationUnderTest(const QString &server, const QString &mycall = QStringLiteral("XR1ABC"),
                              int uploadTimeoutMs = 30000)
        : StationHarness(QStringLiteral("PORT=127.0.0.1:%1\r\nSERVER=%2\r\nMYCALL=%3\r\n"
                                        "QTH_LAT=52.01\r\nQTH_LONG=-4.5\r\n")
                             .arg(freeLoopbackPort())
                             .arg(server, mycall)
                             .toLatin1(),
                         [=] { StationOptions o; o.uploadTimeoutMs = uploadTimeoutMs; return o; }())
    {
        station->start();
        // The link to the closed packet-engine port fails once, before any frame is fed.
        ready = QTest::qWaitFor([this] { return station->log().text().contains(u"occured"); });
    }

    bool transferEnded() const
    {
        const QStringList &states = station->uploads().transferStates();
        return !states.isEmpty() && (states.last() == u"icResponseCompleted" || states.last() == u"icError");
    }

    // The newest entries, newest first, up to (not including) the upload body's entry.
    QStringList entriesAfterBody() const
    {
        QStringList entries;
        for (const QString &e : station->log().entries()) {
            if (e == entry(station->uploadBody()))
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
        QTest::addColumn<QString>("server");   // "loopback", "refused", or a SERVER value
        QTest::addColumn<LoopbackHttpServer::Answer>("answer");
        QTest::addColumn<QStringList>("entries"); // newest first; %PORT% is the server's port
        QTest::addColumn<int>("postOk");
        QTest::addColumn<QString>("lastState");

        const QString tail = QStringLiteral(" Content-Length: 0 Connection: close");
        const QString access = QStringLiteral("Access is denied. Try adding a Username and Password\r\n");
        // An answer of the loopback server: the response headers are logged, a 2xx counts.
        const auto answered = [&](int status, const char *reason, QByteArray header, bool denied) {
            LoopbackHttpServer::Answer answer{status, reason, {}, true};
            if (!header.isEmpty())
                answer.headers.append({header.split(':').at(0), header.split(':').at(1).trimmed()});
            QStringList entries{entry(QStringLiteral("HTTP/1.1 %1 %2").arg(status).arg(reason) +
                                      (header.isEmpty() ? "" : " " + header) + tail)};
            if (denied)
                entries.prepend(access);
            QTest::newRow(reason) << "loopback" << answer << entries << int(status < 300)
                                  << "icResponseCompleted";
        };
        answered(200, "OK", {}, false);
        answered(201, "Created", {}, false);
        answered(400, "Bad Request", {}, false);
        answered(401, "Unauthorized", {}, true);
        answered(407, "Proxy Authentication Required", {}, true);
        answered(500, "Internal Server Error", "X-Frame-Length: 1200", false);
        const LoopbackHttpServer::Answer none{0, {}, {}, false};
        QTest::newRow("connection refused")
            << "refused" << none << QStringList{entry("10061: Connection refused by 127.0.0.1:%PORT%")}
            << 0 << "icError";
        QTest::newRow("server never answers")
            << "loopback" << none
            << QStringList{entry("10060: Timed out: no complete response from 127.0.0.1 within 0.2 s")} << 0
            << "icError";
        const auto ownFailure = [](int number, const char *text) {
            return entry(QStringLiteral("error number: %1\r\nerror discription: %2\r\nHeaders: \r\n"
                                        "Response code: %1\r\nResponse Info: %2")
                             .arg(number)
                             .arg(QLatin1String(text)));
        };
        QTest::newRow("malformed SERVER") << "http//127.0.0.1/upload" << none
                                          << QStringList{ownFailure(35753, "No URL to execute"),
                                                         ownFailure(35751, "URL is malformed")}
                                          << 0 << "";
    }

    void serverBehaviours()
    {
        QFETCH(QString, server);
        QFETCH(LoopbackHttpServer::Answer, answer);
        QFETCH(QStringList, entries);
        QFETCH(int, postOk);
        QFETCH(QString, lastState);

        LoopbackHttpServer http;
        QVERIFY(http.start());
        http.setAnswer(answer);
        quint16 port = http.serverPort();
        QString serverValue = server;
        if (server == u"loopback") {
            serverValue = http.url();
        } else if (server == u"refused") {
            port = freeLoopbackPort();
            serverValue = QStringLiteral("http://127.0.0.1:%1/telemetry").arg(port);
        }
        entries.replaceInStrings(QStringLiteral("%PORT%"), QString::number(port));

        // Only the silent server needs the short time-out; the others answer whenever they get to it.
        const bool silent = server == u"loopback" && !answer.respond;
        StationUnderTest t(serverValue, QStringLiteral("XR1ABC"), silent ? 200 : 30000);
        QVERIFY(t.ready);
        t.station->handleRecord(satelliteRecord());
        if (!lastState.isEmpty())
            QTRY_VERIFY(t.transferEnded());

        QCOMPARE(t.entriesAfterBody(), entries);
        QCOMPARE(t.station->statusLine(), QStringLiteral("RX packets: 1 | HTTP POST OK: %1").arg(postOk));
        QCOMPARE(t.station->uploads().transferStates().value(t.station->uploads().transferStates().size() - 1), lastState);
    }

    void formReachesTheServer()
    {
        LoopbackHttpServer http;
        QVERIFY(http.start());
        StationUnderTest t(http.url(), QStringLiteral("XR1&tncPort=5"));
        QVERIFY(t.ready);
        t.station->handleRecord(satelliteRecord());
        QTRY_VERIFY(t.transferEnded());

        const QString body =
            QStringLiteral("noradID=48263&source=XR1%26tncPort%3D5&timestamp=2014-08-02T13:05:09.123Z"
                           "&frame=B0 A4 72 96 8E 40 62 B0 A4 72 96 40 40 77 03 01 02 03 04"
                           "&locator=longLat&longitude=-4.5&latitude=52.01&tncPort=0");
        QCOMPARE(t.station->uploadBody(), body);
        QCOMPARE(t.entriesAfterBody().size(), 1); // the response; below it the body entry
        QVERIFY(t.station->log().entries().at(1) == entry(body));
        QCOMPARE(http.requests().first().body, body.toLatin1());    }

    // A frame that waits while "allow data transfer" is unticked goes out when it is ticked again.
    void untickedHoldsTheQueueAndTickingSendsIt()
    {
        LoopbackHttpServer http;
        QVERIFY(http.start());
        http.setAnswer({201, "Created", {}, false});
        StationUnderTest t(http.url());
        QVERIFY(t.ready);
        const auto frame = [](char last) {
            return AgwLoopbackServer::rawFrameRecord(
                QByteArray::fromHex("00B0A472968E4062B0A4729640407703010203") + last);
        };
        t.station->handleRecord(frame('\x01'));
        QTRY_COMPARE(http.requests().size(), 1);
        t.station->handleRecord(frame('\x02')); // waits: a request is in flight
        t.station->setUploadAllowed(false);
        http.answerHeldRequests();
        QTRY_COMPARE(t.station->deliveredCount(), 1);
        QTest::qWait(100);
        QCOMPARE(http.requests().size(), 1); // held while unticked
        t.station->setUploadAllowed(true);
        QTRY_COMPARE(http.requests().size(), 2);
        QVERIFY(http.requests().last().body.contains("03 02&"));
    }

    void frameDuringARequestIsNotUploaded()
    {
        LoopbackHttpServer http;
        QVERIFY(http.start());
        http.setAnswer({201, "Created", {}, false});
        StationUnderTest t(http.url());
        QVERIFY(t.ready);

        t.station->handleRecord(satelliteRecord());
        t.station->handleRecord(satelliteRecord());
        QCOMPARE(t.station->log().entries().front(), entry(QStringLiteral("server is busy")));
        QTRY_COMPARE(http.requests().size(), 1);
        http.answerHeldRequests();
        QTRY_VERIFY(t.transferEnded());

        QCOMPARE(t.station->log().text().count(QStringLiteral("server is busy")), 1);
        QCOMPARE(t.station->deliveredCount(), 1);
        QCOMPARE(t.station->statusLine(), QStringLiteral("RX packets: 2 | HTTP POST OK: 1"));

        // Closing the window cancels a request in flight: nothing completes or counts later.
        t.station->handleRecord(satelliteRecord());
        QTRY_COMPARE(http.requests().size(), 2);
        t.station->prepareClose();
        http.answerHeldRequests();
        QTest::qWait(200);
        QVERIFY(!t.station->uploads().transferStates().contains(QStringLiteral("icResponseCompleted")));
        QCOMPARE(t.station->deliveredCount(), 1);
    }

};

QTEST_GUILESS_MAIN(TestStationUpload)
#include "tst_StationUpload.moc"
