// Satellite frames through the Station to a real loopback collection server: what the log,
// the transfer-state list and the success counter show for each kind of server.
#include "support/AgwLoopbackServer.h"
#include "support/LoopbackHttpServer.h"
#include "support/Programs.h"
#include "support/StationHarness.h"

#include <QTest>

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

StationOptions withUploadTimeout(int milliseconds)
{
    StationOptions options;
    options.uploadTimeoutMs = milliseconds;
    return options;
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
                         withUploadTimeout(uploadTimeoutMs))
    {
        station->Form_Load();
        // The link to the closed packet-engine port fails once, before any frame is fed.
        ready = QTest::qWaitFor([this] { return station->activityLogText().contains(u"occured"); });
    }

    bool transferEnded() const
    {
        const QStringList &states = station->transferStates();
        return !states.isEmpty() && (states.last() == u"icResponseCompleted" || states.last() == u"icError");
    }

    // The newest entries, newest first, up to (not including) the upload body's entry.
    QStringList entriesAfterBody() const
    {
        QStringList entries;
        for (const QString &e : station->activityLog()) {
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
        QTest::addColumn<int>("status");       // answer of the loopback server; 0: never answers
        QTest::addColumn<QByteArray>("reason");
        QTest::addColumn<QByteArray>("extraHeader");
        QTest::addColumn<QStringList>("entries"); // newest first; %PORT% is the server's port
        QTest::addColumn<int>("postOk");
        QTest::addColumn<QString>("lastState");

        const QString tail = QStringLiteral(" Content-Length: 0 Connection: close");
        const QString access = QStringLiteral("Access is denied. Try adding a Username and Password\r\n");
        QTest::newRow("200 OK") << "loopback" << 200 << QByteArray("OK") << QByteArray()
                                << QStringList{entry("HTTP/1.1 200 OK" + tail)} << 1
                                << "icResponseCompleted";
        QTest::newRow("201 Created") << "loopback" << 201 << QByteArray("Created") << QByteArray()
                                     << QStringList{entry("HTTP/1.1 201 Created" + tail)} << 1
                                     << "icResponseCompleted";
        QTest::newRow("400 Bad Request") << "loopback" << 400 << QByteArray("Bad Request") << QByteArray()
                                         << QStringList{entry("HTTP/1.1 400 Bad Request" + tail)} << 0
                                         << "icResponseCompleted";
        QTest::newRow("401 Unauthorized")
            << "loopback" << 401 << QByteArray("Unauthorized") << QByteArray()
            << QStringList{access, entry("HTTP/1.1 401 Unauthorized" + tail)} << 0 << "icResponseCompleted";
        QTest::newRow("407 Proxy Authentication Required")
            << "loopback" << 407 << QByteArray("Proxy Authentication Required") << QByteArray()
            << QStringList{access, entry("HTTP/1.1 407 Proxy Authentication Required" + tail)} << 0
            << "icResponseCompleted";
        QTest::newRow("500 with 1200 in a header")
            << "loopback" << 500 << QByteArray("Internal Server Error") << QByteArray("X-Frame-Length: 1200")
            << QStringList{entry("HTTP/1.1 500 Internal Server Error X-Frame-Length: 1200" + tail)} << 0
            << "icResponseCompleted";
        QTest::newRow("connection refused")
            << "refused" << 0 << QByteArray() << QByteArray()
            << QStringList{entry("10061: Connection refused by 127.0.0.1:%PORT%")} << 0 << "icError";
        QTest::newRow("server never answers")
            << "loopback" << 0 << QByteArray() << QByteArray()
            << QStringList{entry("10060: Timed out: no complete response from 127.0.0.1 within 0.2 s")} << 0
            << "icError";
        const auto ownFailure = [](int number, const char *text) {
            return entry(QStringLiteral("error number: %1\r\nerror discription: %2\r\nHeaders: \r\n"
                                        "Response code: %1\r\nResponse Info: %2")
                             .arg(number)
                             .arg(QLatin1String(text)));
        };
        QTest::newRow("empty SERVER") << "" << 0 << QByteArray() << QByteArray()
                                      << QStringList{ownFailure(35753, "No URL to execute"),
                                                     ownFailure(35750, "URL is empty")}
                                      << 0 << "";
        QTest::newRow("malformed SERVER") << "http//127.0.0.1/upload" << 0 << QByteArray() << QByteArray()
                                          << QStringList{ownFailure(35753, "No URL to execute"),
                                                         ownFailure(35751, "URL is malformed")}
                                          << 0 << "";
    }

    void serverBehaviours()
    {
        QFETCH(QString, server);
        QFETCH(int, status);
        QFETCH(QByteArray, reason);
        QFETCH(QByteArray, extraHeader);
        QFETCH(QStringList, entries);
        QFETCH(int, postOk);
        QFETCH(QString, lastState);

        LoopbackHttpServer http;
        QVERIFY(http.start());
        LoopbackHttpServer::Answer answer{status, reason, {}, status != 0};
        if (!extraHeader.isEmpty())
            answer.headers.append({extraHeader.split(':').at(0), extraHeader.split(':').at(1).trimmed()});
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
        const bool silent = server == u"loopback" && status == 0;
        StationUnderTest t(serverValue, QStringLiteral("XR1ABC"), silent ? 200 : 30000);
        QVERIFY(t.ready);
        t.station->Winsock1_DataArrival(satelliteRecord());
        if (!lastState.isEmpty())
            QTRY_VERIFY(t.transferEnded());

        QCOMPARE(t.entriesAfterBody(), entries);
        QCOMPARE(t.station->postOk(), postOk);
        QCOMPARE(t.station->statusLine(), QStringLiteral("RX packets: 1 | HTTP POST OK: %1").arg(postOk));
        QCOMPARE(t.station->transferStates().value(t.station->transferStates().size() - 1), lastState);
        if (!lastState.isEmpty())
            QCOMPARE(t.station->transferStates().first(), QStringLiteral("icHostResolvingHost"));
    }

    void formReachesTheServer()
    {
        LoopbackHttpServer http;
        QVERIFY(http.start());
        StationUnderTest t(http.url(), QStringLiteral("XR1&tncPort=5"));
        QVERIFY(t.ready);
        QVERIFY(t.station->uploadBody().isEmpty());
        t.station->Winsock1_DataArrival(satelliteRecord());
        QTRY_VERIFY(t.transferEnded());

        const QString body =
            QStringLiteral("noradID=48263&source=XR1%26tncPort%3D5&timestamp=2014-08-02T13:05:09.123Z"
                           "&frame=B0 A4 72 96 8E 40 62 B0 A4 72 96 40 40 77 03 01 02 03 04"
                           "&locator=longLat&longitude=-4.5&latitude=52.01&tncPort=0");
        QCOMPARE(t.station->uploadBody(), body);
        QCOMPARE(t.entriesAfterBody().size(), 1); // the response; below it the body entry
        QVERIFY(t.station->activityLog().at(1) == entry(body));
        QCOMPARE(http.requests().size(), 1);
        QCOMPARE(http.requests().first().body, body.toLatin1());

        // The button sends the latest body again, with that frame's timestamp.
        t.station->Post_Packet_Click();
        QTRY_COMPARE(http.requests().size(), 2);
        QTRY_COMPARE(t.station->postOk(), 2);
        QCOMPARE(http.requests().at(1).body, body.toLatin1());
    }

    void frameDuringARequestIsNotUploaded()
    {
        LoopbackHttpServer http;
        QVERIFY(http.start());
        http.setAnswer({201, "Created", {}, false});
        StationUnderTest t(http.url());
        QVERIFY(t.ready);

        t.station->Winsock1_DataArrival(satelliteRecord());
        t.station->Winsock1_DataArrival(satelliteRecord());
        QCOMPARE(t.station->activityLog().front(), entry(QStringLiteral("server is busy")));
        QTRY_COMPARE(http.requests().size(), 1);
        http.answerHeldRequests();
        QTRY_VERIFY(t.transferEnded());

        QCOMPARE(http.requests().size(), 1);
        QCOMPARE(t.station->activityLogText().count(QStringLiteral("server is busy")), 1);
        QCOMPARE(t.station->rxPackets(), 2);
        QCOMPARE(t.station->postOk(), 1);
        QCOMPARE(t.station->statusLine(), QStringLiteral("RX packets: 2 | HTTP POST OK: 1"));
    }

    void clickBeforeAnyFramePostsAnEmptyBody()
    {
        LoopbackHttpServer http;
        QVERIFY(http.start());
        StationUnderTest t(http.url());
        QVERIFY(t.ready);
        t.station->Post_Packet_Click();
        QTRY_VERIFY(t.transferEnded());
        QCOMPARE(http.requests().size(), 1);
        QCOMPARE(http.requests().first().body, QByteArray());
    }

    void shutdownCancelsTheTransfer()
    {
        LoopbackHttpServer http;
        QVERIFY(http.start());
        http.setAnswer({201, "Created", {}, false});
        StationUnderTest t(http.url());
        QVERIFY(t.ready);
        t.station->Winsock1_DataArrival(satelliteRecord());
        QTRY_COMPARE(http.requests().size(), 1);

        t.station->Form_QueryUnload();
        const QStringList statesAtShutdown = t.station->transferStates();
        // Not busy any more: the next click starts a request instead of "server is busy".
        http.setAnswer({201, "Created", {}, true});
        t.station->Post_Packet_Click();
        QVERIFY(t.station->activityLog().front() != entry(QStringLiteral("server is busy")));
        QTRY_VERIFY(t.transferEnded());
        QCOMPARE(t.station->postOk(), 1);
        QVERIFY(!statesAtShutdown.contains(QStringLiteral("icResponseCompleted")));
    }

};

QTEST_GUILESS_MAIN(TestStationUpload)
#include "tst_StationUpload.moc"
