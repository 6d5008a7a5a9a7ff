// The remote view over loopback with real sockets: its JSON documents and metrics read from a
// Station fed with real frames, the answers to bad requests, the token, and the
// bounds on requests and connections.
#include "remote/RemoteClient.h"

#include "decode/SatelliteFrames.h"
#include "remote/RemoteView.h"

#include <QJsonArray>
#include <QSignalSpy>

using namespace SatelliteFrames;

namespace {

struct Served
{
    std::unique_ptr<StationHarness> harness = startQuietStation();
    RemoteView view{*harness->station};

    // The port listened on; 0 when refused.
    quint16 listen(const QString &token = {})
    {
        return view.listen(QHostAddress::LocalHost, 0, token) ? 0 : view.serverPort();
    }
};

} // namespace

class TestRemoteView : public QObject
{
    Q_OBJECT
private slots:
    void documentsOfAFedStation()
    {
        Served s;
        const quint16 port = s.listen();
        QByteArray busFrame = frameOf(EpsDebugGroups, EpsDebugLength);
        putInt16(busFrame, 26, -1); // channel 1, "Bus Voltage"
        arrive(*s.harness->station, busFrame);
        const QByteArray foreignFrame = QByteArray::fromHex("00A8A4A6A6404060AE6E8A96A2406103F0") + QByteArray(20, '\x11');
        arrive(*s.harness->station, foreignFrame);
        arrive(*s.harness->station, foreignFrame);

        // What the page shows of the station.
        const QJsonObject status = get(port, "/api/v1/status").json();
        QCOMPARE(status[u"satelliteFrames"].toInt(), 1);
        QCOMPARE(status[u"foreignFrames"].toInt(), 2);
        QCOMPARE(status[u"packetType"].toString(), QStringLiteral("EPS debug data"));
        QCOMPARE(status[u"statusLine"].toString(), s.harness->station->statusLine());

        const QJsonObject bus = get(port, "/api/v1/channels").json()[u"channels"][0].toObject();
        QCOMPARE(bus[u"value"].toDouble(), -0.005384375972610999);
        QCOMPARE(bus[u"receivedAt"].toString(), QStringLiteral("2014-08-02T13:05:09.123Z"));

        const QJsonArray entries = get(port, "/api/v1/log?limit=2").json()[u"entries"].toArray();
        QCOMPARE(entries[0].toString() + QStringLiteral("\r\n"), s.harness->station->log().entries().front());

        // The exposition format and the satellite count are checked by a real Prometheus in
        // tst_remote_e2e.
        const QByteArray metrics = get(port, "/metrics").body;
        for (const char *line : {"halvora1_frames_received_total{source=\"foreign\"} 2",
                                 "halvora1_channel_value{channel=\"1\",caption=\"Bus Voltage\",unit=\"V\"} "
                                 "-0.005384375972610999"})
            QVERIFY2(metrics.contains('\n' + QByteArray(line) + '\n'), line);
    }

    void answers_data()
    {
        QTest::addColumn<QString>("token");
        QTest::addColumn<QByteArray>("request"); // starting with '/': a GET of that target
        QTest::addColumn<QByteArray>("authorization");
        QTest::addColumn<int>("status");
        const auto row = [](const char *name, const QByteArray &request, int status, const QByteArray &authorization = {},
                            const QString &token = {}) {
            QTest::newRow(name) << token << request << authorization << status;
        };
        row("HEAD", "HEAD / HTTP/1.1\r\nConnection: close\r\n\r\n", 200);
        row("garbage", "\x01\x02\x03\r\n\r\n", 400);
        // Read no further than the header limit, whatever the client sends.
        row("header too large", "GET / HTTP/1.1\r\nX-Fill: " + QByteArray(9000, 'b') + "\r\n\r\n", 431);

        // With a token: bearer, or basic with the token as password (any user).
        const QString token = QStringLiteral("s3cret-token");
        row("token: none", "/metrics", 401, {}, token);
        row("token: bearer prefix only", "/metrics", 401, "Bearer s3cret", token);
        row("token: right bearer", "/metrics", 200, "Bearer s3cret-token", token);
        row("token: basic, token as password", "/api/v1/status", 200,
            "Basic " + QByteArray("prometheus:s3cret-token").toBase64(), token);
    }

    void answers()
    {
        QFETCH(QString, token);
        QFETCH(QByteArray, request);
        QFETCH(QByteArray, authorization);
        QFETCH(int, status);
        if (request.startsWith('/')) {
            request = "GET " + request + " HTTP/1.1\r\nConnection: close\r\n" +
                      (authorization.isEmpty() ? QByteArray() : "Authorization: " + authorization + "\r\n") + "\r\n";
        }
        Served s;
        const RemoteReply reply = exchange(s.listen(token), request);
        QCOMPARE(reply.status, status);
        QCOMPARE(reply.headers.contains("\r\nWWW-Authenticate: Bearer"), status == 401);
        QVERIFY(!request.startsWith("HEAD") || reply.body.isEmpty());
    }

    // Where it listens (or why not) in the log; idle connections bounded and cut at their deadline.
    void listensAndBoundsIdleConnections()
    {
        Served s;
        QSignalSpy log(&s.view, &RemoteView::logMessage);
        constexpr RemoteHttpServer::Limits limits{.maxConnections = 8, .requestTimeoutMs = 400};
        s.view.server().setLimits(limits);
        const QString address = QStringLiteral("127.0.0.1:%1").arg(freeLoopbackPort());
        QCOMPARE(s.view.listen(address, {}), std::nullopt);
        const quint16 port = s.view.serverPort();
        QCOMPARE(log.size(), 1);
        QCOMPARE(log[0][0].toString(), QStringLiteral("Remote view listens on 127.0.0.1 port %1").arg(port));
        const auto busy = RemoteView(*s.harness->station).listen(address, {});
        QVERIFY2(busy && busy->contains(QString::number(port)), qPrintable(busy.value_or(QString())));

        QTcpSocket idle[limits.maxConnections];
        for (QTcpSocket &socket : idle) {
            socket.connectToHost(QHostAddress::LocalHost, port);
            QVERIFY(socket.waitForConnected(3000));
            socket.write("GET / HTTP/1.1\r\n"); // a request that never ends
        }
        QTRY_COMPARE(s.view.server().connectionCount(), limits.maxConnections);
        QCOMPARE(get(port, "/api/v1/status").status, 503);
        QTRY_COMPARE_WITH_TIMEOUT(s.view.server().connectionCount(), 0, 5000);
        QCOMPARE(get(port, "/api/v1/status").status, 200); // a full server accepts again
    }
};

QTEST_GUILESS_MAIN(TestRemoteView)
#include "tst_remote_view.moc"
