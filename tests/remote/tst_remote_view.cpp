// The remote view over loopback with real sockets: its JSON documents and metrics read from a
// Station fed with real frames, the answers to bad and unknown requests, the token, and the
// bounds on requests and connections.
#include "remote/RemoteClient.h"

#include "decode/SatelliteFrames.h"
#include "remote/ArchiveSeries.h"
#include "remote/RemoteView.h"
#include "store/StationDatabase.h"
#include "store/TelemetryArchive.h"

#include <QJsonArray>
#include <QRegularExpression>
#include <QSignalSpy>

using namespace SatelliteFrames;

namespace {

const QByteArray ForeignFrame = QByteArray::fromHex("00A8A4A6A6404060AE6E8A96A2406103F0") + QByteArray(20, '\x11');

// An EPS debug frame whose channel 1 ("Bus Voltage") reads raw.
QByteArray epsFrame(int channel1Raw)
{
    QByteArray data = frameOf(EpsDebugGroups, EpsDebugLength);
    putInt16(data, 26, channel1Raw);
    return data;
}

struct Served
{
    std::unique_ptr<StationHarness> harness = startQuietStation();
    RemoteView view{*harness->station};

    quint16 listen(const QString &token = {})
    {
        if (const auto error = view.listen(QHostAddress::LocalHost, 0, token))
            qWarning("%s", qPrintable(*error));
        return view.serverPort();
    }
};

QJsonObject channelEntry(const QJsonObject &document, int channel)
{
    for (const QJsonValue &entry : document.value(QStringLiteral("channels")).toArray()) {
        if (entry[QStringLiteral("channel")].toInt() == channel)
            return entry.toObject();
    }
    return {};
}

// One frame a minute from 13:00 UTC, channel 1 raw = the given values in turn.
void feedMinutes(StationHarness &harness, const QList<int> &raws)
{
    harness.clock.set(QDate(2014, 8, 2), QTime(13, 0));
    for (const int raw : raws) {
        arrive(*harness.station, epsFrame(raw));
        harness.clock.advanceMs(60000);
    }
}

class FixedQueue : public UploadQueueSource
{
public:
    UploadQueueState uploadQueueState() const override { return {7, 2, false, QStringLiteral("timed out"), {}}; }
};

} // namespace

class TestRemoteView : public QObject
{
    Q_OBJECT
private slots:
    void statusCountsFramesAndLeavesOutMissingParts()
    {
        Served s;
        const quint16 port = s.listen();
        arrive(*s.harness->station, epsFrame(-1));
        arrive(*s.harness->station, ForeignFrame);
        arrive(*s.harness->station, ForeignFrame);

        const RemoteReply reply = get(port, "/api/v1/status");
        QCOMPARE(reply.status, 200);
        QCOMPARE(reply.header("Content-Type"), QByteArray("application/json"));
        const QJsonObject status = reply.json();
        QCOMPARE(status[u"satelliteFrames"].toInt(), 1);
        QCOMPARE(status[u"foreignFrames"].toInt(), 2);
        QCOMPARE(status[u"linkUp"].toBool(true), false);
        QCOMPARE(status[u"packetType"].toString(), s.harness->station->intake().packetType());
        QVERIFY(!status[u"packetType"].toString().isEmpty());
        QCOMPARE(status[u"frameTime"].toString(), QStringLiteral("2014-08-02 13:05:09.123 UTC"));
        QCOMPARE(status[u"statusLine"].toString(), s.harness->station->statusLine());
        QVERIFY(status[u"secondsSinceSatelliteFrame"].isDouble());
        QVERIFY(!status.contains(u"uploadQueue"));
        QCOMPARE(status[u"archive"].toBool(true), false);

        FixedQueue queue;
        s.view.setUploadQueueSource(&queue);
        const QJsonObject withQueue = get(port, "/api/v1/status").json()[u"uploadQueue"].toObject();
        QCOMPARE(withQueue[u"waiting"].toInt(), 7);
        QCOMPARE(withQueue[u"lastError"].toString(), QStringLiteral("timed out"));
    }

    void channelsCarryTheDecodedValue()
    {
        Served s;
        const quint16 port = s.listen();
        QVERIFY(get(port, "/api/v1/channels").json()[u"channels"].toArray().size() > 48);
        QVERIFY(channelEntry(get(port, "/api/v1/channels").json(), 1)[u"value"].isNull());

        arrive(*s.harness->station, epsFrame(-1));
        const QJsonObject bus = channelEntry(get(port, "/api/v1/channels").json(), 1);
        QCOMPARE(bus[u"caption"].toString(), QStringLiteral("Bus Voltage"));
        QCOMPARE(bus[u"unit"].toString(), QStringLiteral("V"));
        QCOMPARE(bus[u"group"].toString(), QStringLiteral("SPB / MPPT"));
        QCOMPARE(bus[u"value"].toDouble(), -0.005384375972610999);
        QCOMPARE(bus[u"text"].toString(), s.harness->station->display().text(1));
        QCOMPARE(bus[u"receivedAt"].toString(), QStringLiteral("2014-08-02T13:05:09.123Z"));
    }

    void logIsNewestFirstAndLimited()
    {
        Served s;
        const quint16 port = s.listen();
        const QJsonArray entries = get(port, "/api/v1/log?limit=2").json()[u"entries"].toArray();
        QCOMPARE(entries.size(), qMin<int>(2, int(s.harness->station->log().entries().size())));
        QVERIFY(!entries.isEmpty());
        QCOMPARE(entries[0].toString() + QStringLiteral("\r\n"), s.harness->station->log().entries().front());
    }

    void seriesFiltersByTimeAndKeepsExtremes()
    {
        Served s;
        const quint16 port = s.listen();
        feedMinutes(*s.harness, {100, 500, 300, 200, -400, 250, 260, 270});

        const QJsonArray all = get(port, "/api/v1/series?channel=1").json()[u"points"].toArray();
        QCOMPARE(all.size(), 8);
        QCOMPARE(all[0].toArray()[0].toInteger(), QDateTime(QDate(2014, 8, 2), QTime(13, 0), Qt::UTC).toMSecsSinceEpoch());

        const QJsonArray window =
            get(port, "/api/v1/series?channel=1&from=2014-08-02T13:01:00Z&to=2014-08-02T13:03:00Z")
                .json()[u"points"].toArray();
        QCOMPARE(window.size(), 3);

        const QJsonArray thin = get(port, "/api/v1/series?channel=1&points=4").json()[u"points"].toArray();
        QVERIFY(thin.size() <= 4);
        double low = 1e9, high = -1e9;
        for (const QJsonValue &point : thin) {
            low = qMin(low, point.toArray()[1].toDouble());
            high = qMax(high, point.toArray()[1].toDouble());
        }
        double allLow = 1e9, allHigh = -1e9;
        for (const QJsonValue &point : all) {
            allLow = qMin(allLow, point.toArray()[1].toDouble());
            allHigh = qMax(allHigh, point.toArray()[1].toDouble());
        }
        QCOMPARE(low, allLow);
        QCOMPARE(high, allHigh);
    }

    void seriesFromTheArchiveKeepExtremes()
    {
        QTemporaryDir dir;
        StationDatabase database;
        QVERIFY(database.open(dir.path()).ok);
        TelemetryArchive archive(database);
        // 1000 frames a second apart; channel 1 is 0 except one spike up and one down.
        for (int i = 0; i < 1000; ++i) {
            ArchivedFrame frame;
            frame.rxTimeMs = 1'400'000'000'000 + i * 1000;
            frame.frame = QByteArray::number(i);
            frame.packetType = QStringLiteral("EPS debug data");
            frame.family = Family::EpsDebug;
            frame.present.set(1);
            frame.values[1] = i == 333 ? 9.5 : i == 777 ? -4.25 : 0;
            archive.addFrame(frame);
        }
        ArchiveSeries series(archive);
        Served s;
        s.view.setArchiveSource(&series);
        const quint16 port = s.listen();
        QCOMPARE(get(port, "/api/v1/status").json()[u"archive"].toBool(), true);

        const RemoteReply reply = get(port, "/api/v1/series?channel=1&points=20");
        QCOMPARE(reply.status, 200);
        const QJsonArray points = reply.json()[u"points"].toArray();
        QVERIFY2(points.size() >= 10 && points.size() <= 20, qPrintable(QString::number(points.size())));
        QList<double> values;
        for (const QJsonValue &point : points)
            values << point.toArray()[1].toDouble();
        QVERIFY(values.contains(9.5));
        QVERIFY(values.contains(-4.25));
        QCOMPARE(points.first().toArray()[0].toInteger(), 1'400'000'000'000);

        // A window that holds neither spike.
        const QJsonArray window = get(port, "/api/v1/series?channel=1&from=1400000400000&to=1400000700000")
                                      .json()[u"points"].toArray();
        QVERIFY(!window.isEmpty());
        for (const QJsonValue &point : window)
            QCOMPARE(point.toArray()[1].toDouble(), 0.0);
    }

    void metricsFollowTheExpositionFormat()
    {
        Served s;
        const quint16 port = s.listen();
        arrive(*s.harness->station, epsFrame(-1));
        arrive(*s.harness->station, ForeignFrame);

        const RemoteReply reply = get(port, "/metrics");
        QCOMPARE(reply.status, 200);
        QVERIFY(reply.header("Content-Type").startsWith("text/plain; version=0.0.4"));
        const QByteArray text = reply.body;
        QVERIFY(text.contains("\nhalvora1_frames_received_total{source=\"satellite\"} 1\n"));
        QVERIFY(text.contains("\nhalvora1_frames_received_total{source=\"foreign\"} 1\n"));
        QVERIFY(text.contains("\nhalvora1_link_up 0\n"));
        QVERIFY(text.contains("\nhalvora1_channel_value{channel=\"1\",caption=\"Bus Voltage\",unit=\"V\"} "
                              "-0.005384375972610999\n"));
        QVERIFY(!text.contains("halvora1_uploads_waiting"));

        static const QRegularExpression sampleLine(
            QStringLiteral("^[a-z_][a-z0-9_]*(\\{([a-z_]+=\"([^\"\\\\]|\\\\.)*\",?)*\\})? [-+0-9.eE]+(Inf|NaN)?$"));
        for (const QByteArray &line : text.split('\n')) {
            if (line.isEmpty() || line.startsWith('#'))
                continue;
            QVERIFY2(sampleLine.match(QString::fromUtf8(line)).hasMatch(), line.constData());
        }
        QVERIFY(text.count("# TYPE halvora1_channel_value gauge") == 1);
    }

    void pageIsSelfContainedAndSmall()
    {
        Served s;
        const RemoteReply reply = get(s.listen(), "/");
        QCOMPARE(reply.status, 200);
        QCOMPARE(reply.header("Content-Type"), QByteArray("text/html; charset=utf-8"));
        QVERIFY(reply.body.size() > 1000);
        QVERIFY(reply.body.size() < 100 * 1024);
        QVERIFY(!reply.body.contains("http://"));
        QVERIFY(!reply.body.contains("https://"));
        QVERIFY(reply.body.contains("/api/v1/status"));

        const RemoteReply head = exchange(s.view.serverPort(), "HEAD / HTTP/1.1\r\n\r\n");
        QCOMPARE(head.status, 200);
        QVERIFY(head.body.isEmpty());
    }

    void refusals_data()
    {
        QTest::addColumn<QByteArray>("request");
        QTest::addColumn<int>("status");

        QTest::newRow("unknown path") << QByteArray("GET /nothing HTTP/1.1\r\n\r\n") << 404;
        QTest::newRow("unknown api version") << QByteArray("GET /api/v2/status HTTP/1.1\r\n\r\n") << 404;
        QTest::newRow("POST") << QByteArray("POST /api/v1/status HTTP/1.1\r\nContent-Length: 3\r\n\r\nabc") << 405;
        QTest::newRow("DELETE without body") << QByteArray("DELETE /metrics HTTP/1.1\r\n\r\n") << 405;
        QTest::newRow("GET with a body") << QByteArray("GET / HTTP/1.1\r\nContent-Length: 5\r\n\r\n") << 400;
        QTest::newRow("no version") << QByteArray("GET /\r\n\r\n") << 400;
        QTest::newRow("garbage") << QByteArray("\x01\x02\x03\r\n\r\n") << 400;
        QTest::newRow("header line without colon") << QByteArray("GET / HTTP/1.1\r\nnonsense\r\n\r\n") << 400;
        QTest::newRow("absolute URL") << QByteArray("GET http://example.org/ HTTP/1.1\r\n\r\n") << 400;
        QTest::newRow("log limit not a number") << QByteArray("GET /api/v1/log?limit=x HTTP/1.1\r\n\r\n") << 400;
        QTest::newRow("log limit zero") << QByteArray("GET /api/v1/log?limit=0 HTTP/1.1\r\n\r\n") << 400;
        QTest::newRow("series without channel") << QByteArray("GET /api/v1/series HTTP/1.1\r\n\r\n") << 400;
        QTest::newRow("series channel 99") << QByteArray("GET /api/v1/series?channel=99 HTTP/1.1\r\n\r\n") << 400;
        QTest::newRow("series from after to")
            << QByteArray("GET /api/v1/series?channel=1&from=2000&to=1000 HTTP/1.1\r\n\r\n") << 400;
        QTest::newRow("series bad time")
            << QByteArray("GET /api/v1/series?channel=1&from=yesterday HTTP/1.1\r\n\r\n") << 400;
        QTest::newRow("series three points") << QByteArray("GET /api/v1/series?channel=1&points=3 HTTP/1.1\r\n\r\n") << 400;
        QTest::newRow("URL too long") << "GET /?" + QByteArray(3000, 'a') + " HTTP/1.1\r\n\r\n" << 414;
        QTest::newRow("header too large") << "GET / HTTP/1.1\r\nX-Fill: " + QByteArray(9000, 'b') + "\r\n\r\n" << 431;
        QTest::newRow("header never ends") << "GET / HTTP/1.1\r\n" + QByteArray(64 * 1024, 'c') << 431;
    }

    void refusals()
    {
        QFETCH(QByteArray, request);
        QFETCH(int, status);
        Served s;
        const RemoteReply reply = exchange(s.listen(), request);
        QCOMPARE(reply.status, status);
        QVERIFY(reply.json().contains(u"error"));
        if (status == 405)
            QCOMPARE(reply.header("Allow"), QByteArray("GET, HEAD"));
    }

    void token_data()
    {
        QTest::addColumn<QByteArray>("target");
        QTest::addColumn<QByteArray>("authorization");
        QTest::addColumn<int>("status");

        const QByteArray basicRight = "Basic " + QByteArray("prometheus:s3cret-token").toBase64();
        const QByteArray basicWrong = "Basic " + QByteArray("s3cret-token:wrong").toBase64();
        QTest::newRow("none") << QByteArray("/metrics") << QByteArray() << 401;
        QTest::newRow("none, page") << QByteArray("/") << QByteArray() << 401;
        QTest::newRow("none, unknown path") << QByteArray("/nothing") << QByteArray() << 401;
        QTest::newRow("wrong bearer") << QByteArray("/metrics") << QByteArray("Bearer s3cret-tokeN") << 401;
        QTest::newRow("bearer prefix only") << QByteArray("/metrics") << QByteArray("Bearer s3cret") << 401;
        QTest::newRow("right bearer") << QByteArray("/metrics") << QByteArray("Bearer s3cret-token") << 200;
        QTest::newRow("right bearer, unknown path") << QByteArray("/nothing") << QByteArray("Bearer s3cret-token") << 404;
        QTest::newRow("basic, token as password") << QByteArray("/api/v1/status") << basicRight << 200;
        QTest::newRow("basic, token as user") << QByteArray("/api/v1/status") << basicWrong << 401;
    }

    void token()
    {
        QFETCH(QByteArray, target);
        QFETCH(QByteArray, authorization);
        QFETCH(int, status);
        Served s;
        const quint16 port = s.listen(QStringLiteral("s3cret-token"));
        const RemoteReply reply =
            get(port, target, authorization.isEmpty() ? QByteArray() : "Authorization: " + authorization + "\r\n");
        QCOMPARE(reply.status, status);
        if (status == 401)
            QVERIFY(reply.header("WWW-Authenticate").startsWith("Bearer"));
    }

    void keepAliveAnswersPipelinedRequestsInOrder()
    {
        Served s;
        QTcpSocket socket;
        socket.connectToHost(QHostAddress::LocalHost, s.listen());
        QVERIFY(socket.waitForConnected(3000));
        socket.write("GET /api/v1/status HTTP/1.1\r\n\r\nGET /nothing HTTP/1.1\r\n\r\nGET /metrics HTTP/1.1\r\n\r\n");
        QCOMPARE(readReply(socket).status, 200);
        QCOMPARE(readReply(socket).status, 404);
        const RemoteReply third = readReply(socket);
        QCOMPARE(third.status, 200);
        QVERIFY(third.body.startsWith("# HELP"));
        QCOMPARE(s.view.server().connectionCount(), 1);
    }

    void idleConnectionsAreBoundedAndTimedOut()
    {
        Served s;
        RemoteHttpServer::Limits limits;
        limits.maxConnections = 8;
        limits.requestTimeoutMs = 400;
        s.view.server().setLimits(limits);
        const quint16 port = s.listen();

        std::vector<std::unique_ptr<QTcpSocket>> idle;
        for (int i = 0; i < limits.maxConnections; ++i) {
            idle.push_back(std::make_unique<QTcpSocket>());
            idle.back()->connectToHost(QHostAddress::LocalHost, port);
            QVERIFY(idle.back()->waitForConnected(3000));
            idle.back()->write("GET / HTTP/1.1\r\n"); // a request that never ends
        }
        QTRY_COMPARE(s.view.server().connectionCount(), limits.maxConnections);

        const RemoteReply refused = get(port, "/api/v1/status");
        QCOMPARE(refused.status, 503);

        // The idle ones are cut at their deadline; then the station answers again.
        QTRY_COMPARE_WITH_TIMEOUT(s.view.server().connectionCount(), 0, 5000);
        for (const auto &socket : idle)
            QTRY_COMPARE(socket->state(), QAbstractSocket::UnconnectedState);
        QCOMPARE(get(port, "/api/v1/status").status, 200);
    }

    void listenReportsBadAddressesAndLogsWhere()
    {
        Served s;
        QSignalSpy log(&s.view, &RemoteView::logMessage);
        QVERIFY(s.view.listen(QStringLiteral("8080"), {}).has_value());
        QVERIFY(s.view.listen(QStringLiteral("127.0.0.1:0"), {}).has_value());
        QVERIFY(s.view.listen(QStringLiteral("127.0.0.1:http"), {}).has_value());
        QVERIFY(s.view.listen(QStringLiteral("station.example:8080"), {})->contains(u"not an IP address"));
        QCOMPARE(log.size(), 0);

        const quint16 port = freeLoopbackPort();
        QCOMPARE(s.view.listen(QStringLiteral("127.0.0.1:%1").arg(port), {}), std::nullopt);
        QCOMPARE(log.size(), 1);
        QCOMPARE(log[0][0].toString(), QStringLiteral("Remote view listens on 127.0.0.1 port %1").arg(port));

        RemoteView second(*s.harness->station);
        const auto busy = second.listen(QStringLiteral("127.0.0.1:%1").arg(port), {});
        QVERIFY(busy.has_value());
        QVERIFY2(busy->contains(QString::number(port)), qPrintable(*busy));
    }
};

QTEST_GUILESS_MAIN(TestRemoteView)
#include "tst_remote_view.moc"
