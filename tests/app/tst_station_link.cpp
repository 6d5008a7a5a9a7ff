// The Station against a scripted packet engine on loopback: start requests, records of every
// shape, the capture file's bytes, reconnects.
#include "link/AgwProtocol.h"
#include "link/Kiss.h"
#include "support/AgwLoopbackServer.h"
#include "support/StationHarness.h"

#include <QTest>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

const QByteArray SatelliteAddress =
    QByteArray::fromHex("B0A472968E4062B0A4729640407703");
const QByteArray ForeignAddress = QByteArray::fromHex("A8A4A6A6404060AE6E8A96A2406103");

QByteArray frame(const QByteArray &address, const QByteArray &payload)
{
    return QByteArray(1, '\0') + address + payload;
}

QByteArray configFor(const AgwLoopbackServer &server)
{
    return "PORT=" + server.portValue().toLatin1() + "\r\nMYCALL=N0CALL\r\nSERVER=http://127.0.0.1:9/\r\n";
}

QByteArray kissRecord(const QByteArray &data)
{
    QByteArray out;
    Kiss::appendFrameRecord(out, data);
    return out;
}

struct Running
{
    AgwLoopbackServer server;
    std::unique_ptr<StationHarness> harness;
};

// A started Station (upload off) whose link has sent its start requests to a loopback engine.
std::unique_ptr<Running> start(StationOptions options = {})
{
    auto running = std::make_unique<Running>();
    options.uploadAllowed = false; // uploads have tests of their own
    running->harness = std::make_unique<StationHarness>(configFor(running->server), options);
    running->harness->station->start();
    if (!QTest::qWaitFor([&] { return running->server.received().size() == 72; }))
        qWarning("no start requests");
    return running;
}

} // namespace

class TestStationLink : public QObject
{
    Q_OBJECT
private slots:
    void startRequestsAndLog()
    {
        auto r = start();
        QCOMPARE(r->server.received(),
                 AgwProtocol::header('G') + AgwProtocol::header('k'));
        const QStringList log = r->harness->logMessages();
        QCOMPARE(log.size(), 4);
        QCOMPARE(log[0], QStringLiteral("AGW winsock connection made"));
        QCOMPARE(log[1], QStringLiteral("Winsock RemotePort: %1").arg(r->server.port()));
        QCOMPARE(log[2], QStringLiteral("Winsock RemoteHost: 127.0.0.1"));
        QCOMPARE(log[3], QStringLiteral("127.0.0.1:%1 | http://127.0.0.1:9/ | N0CALL |  | ").arg(r->server.port()));
        QCOMPARE(r->harness->station->log().entries().front().left(25),
                 QStringLiteral("2014-08-02 13:05:09.123: "));
        QCOMPARE(r->harness->station->linkState(), int(AgwClient::Connected));
    }

    void portInfoReply_data()
    {
        QTest::addColumn<QByteArray>("data");
        QTest::addColumn<int>("lengthField");
        QTest::addColumn<QString>("expected");

        const QByteArray forty = "1;Port1 first soundcard mono;Port2 xxxxx";
        QTest::newRow("40 bytes show 29") << forty << 40
                                          << "total number of ports: 1;Port1 first soundcard mono;";
        QTest::newRow("length byte is modulo 256") << QByteArray(260, 'x') << 260
                                                   << "total number of ports: xxxx";
    }

    void portInfoReply()
    {
        QFETCH(QByteArray, data);
        QFETCH(int, lengthField);
        QFETCH(QString, expected);

        auto r = start();
        r->server.send(AgwProtocol::header('G', std::uint32_t(lengthField)) + data);
        QTRY_COMPARE(r->harness->logMessages().first(), expected);
        QVERIFY(r->harness->station->intake().rawFrameLines().empty());
        QCOMPARE(r->harness->captureBytes(), QByteArray());
    }

    void recordsInAnyCuts_data()
    {
        QTest::addColumn<int>("cut"); // -1: all in one write, n: n-byte pieces
        QTest::newRow("coalesced") << -1;
        QTest::newRow("split in 7-byte pieces") << 7;
        QTest::newRow("split byte by byte") << 1;
    }

    void recordsInAnyCuts()
    {
        QFETCH(int, cut);
        auto r = start();

        const QByteArray foreign = frame(ForeignAddress, "hello");
        const QByteArray satellite = frame(SatelliteAddress, QByteArray::fromHex("0200C0DB0A"));
        const QByteArray portInfo = AgwProtocol::header('G', 12) + "1;Port1 abc;";
        const QByteArray other = AgwProtocol::header('X', 3) + "abc";
        const QList<QByteArray> records{AgwLoopbackServer::rawFrameRecord(foreign), other, portInfo,
                                        AgwLoopbackServer::rawFrameRecord(satellite)};
        const QByteArray stream = records.join();
        for (qsizetype i = 0; i < stream.size(); i += cut > 0 ? cut : stream.size())
            r->server.send(stream.mid(i, cut > 0 ? cut : stream.size()));

        Station &s = *r->harness->station;
        QTRY_COMPARE(s.intake().satelliteFrameCount(), 1);
        QCOMPARE(s.intake().rawFrameLines().size(), std::size_t(2));
        QCOMPARE(s.intake().rawFrameLines()[0], QStringLiteral("A8 A4 A6 A6 40 40 60 AE 6E 8A 96 A2 40 61 03 68 65 6C 6C 6F "));
        QCOMPARE(s.intake().frameHex(), QStringLiteral("B0 A4 72 96 8E 40 62 B0 A4 72 96 40 40 77 03 02 00 C0 DB 0A "));
        QVERIFY(r->harness->logMessages().contains(QStringLiteral("total number of ports: 1;Port1 abc;")));
        QCOMPARE(r->harness->captureBytes(),
                 kissRecord(foreign) + kissRecord(satellite) + "\xC0\x09" +
                     "2014-08-02 13:05:09.123 UTC" + "\xC0");
        QCOMPARE(s.statusLine(), QStringLiteral("RX packets: 1 | HTTP POST OK: 0"));
        QCOMPARE(s.intake().frameTimeText(), QStringLiteral("2014-08-02 13:05:09.123 UTC"));
    }

    void frameShapes_data()
    {
        QTest::addColumn<QByteArray>("data");
        QTest::addColumn<QByteArray>("capture");
        QTest::addColumn<QString>("hexLine");
        QTest::addColumn<int>("rxPackets");

        QTest::newRow("escapes FEND and FESC")
            << QByteArray::fromHex("00C0DB") << QByteArray::fromHex("C000DBDCDBDDC0")
            << "C0 DB " << 0;
        QTest::newRow("command byte only") << QByteArray::fromHex("00") << QByteArray::fromHex("C000C0")
                                           << "" << 0;
        QTest::newRow("satellite address without control byte")
            << frame(SatelliteAddress.left(14), {}) << kissRecord(frame(SatelliteAddress.left(14), {}))
            << "B0 A4 72 96 8E 40 62 B0 A4 72 96 40 40 77 " << 0;
        QTest::newRow("bare satellite header is a satellite frame")
            << frame(SatelliteAddress, {})
            << kissRecord(frame(SatelliteAddress, {})) + "\xC0\x09" "2014-08-02 13:05:09.123 UTC\xC0"
            << "B0 A4 72 96 8E 40 62 B0 A4 72 96 40 40 77 03 " << 1;
    }

    void frameShapes()
    {
        QFETCH(QByteArray, data);
        QFETCH(QByteArray, capture);
        QFETCH(QString, hexLine);
        QFETCH(int, rxPackets);

        auto r = start();
        r->server.send(AgwLoopbackServer::rawFrameRecord(data));
        Station &s = *r->harness->station;
        QTRY_COMPARE(s.intake().rawFrameLines().size(), std::size_t(1));
        QCOMPARE(s.intake().rawFrameLines().back(), hexLine);
        QCOMPARE(r->harness->captureBytes(), capture);
        QCOMPARE(s.intake().satelliteFrameCount(), rxPackets);
    }

    void staleBytesStayBeyondShorterFrame()
    {
        StationHarness h("PORT=127.0.0.1:1\r\nMYCALL=X\r\nSERVER=http://127.0.0.1:9/\r\n");
        h.station->start();
        Station &s = *h.station;

        // A long frame (over 512 data bytes) goes to the capture file whole; the buffer keeps 512.
        QByteArray longFrame = frame(ForeignAddress, QByteArray(600, '\x55'));
        longFrame[520] = '\x77';
        s.handleRecord(AgwLoopbackServer::rawFrameRecord(longFrame));
        QCOMPARE(s.intake().frameBytes().length(), 512);
        QCOMPARE(s.intake().frameHex().size(), 511 * 3);
        QCOMPARE(h.captureBytes(), kissRecord(longFrame));

        s.handleRecord(AgwLoopbackServer::rawFrameRecord(frame(ForeignAddress, "ab")));
        QCOMPARE(s.intake().frameBytes().length(), 18);
        QCOMPARE(int(s.intake().frameBytes().at(19)), 0x55); // left from the longer frame
        QCOMPARE(s.intake().frameBytes().current().size(), std::size_t(18));
        QCOMPARE(s.intake().rawFrameLines().back().size(), 17 * 3);

        // Records too short to hold a data kind are ignored.
        s.handleRecord(QByteArray("\0\0\0", 3));
        QCOMPARE(s.intake().rawFrameLines().size(), std::size_t(2));
    }

    void oversizeLengthClosesAndReconnects()
    {
        StationOptions options;
        options.linkRetryIntervalMs = 200;
        auto r = start(options);
        r->server.send(AgwProtocol::header('K', 70000) + QByteArray(100, 'x'));
        QTRY_VERIFY(r->harness->logMessages().first().startsWith(
            QStringLiteral("AGW protocol error: record length 70000 exceeds 65536 bytes")));
        // The broken connection is closed at once: a record sent on it is never read.
        r->server.send(AgwLoopbackServer::rawFrameRecord(frame(SatelliteAddress, "lost")));
        QTest::qWait(50);
        QVERIFY(r->harness->station->intake().rawFrameLines().empty());
        // The retry opens a fresh connection, which gets both start requests again.
        QTRY_COMPARE(r->server.connectionCount(), 2);
        QTRY_COMPARE(r->server.received(), AgwProtocol::header('G') + AgwProtocol::header('k'));
        r->server.send(AgwLoopbackServer::rawFrameRecord(frame(SatelliteAddress, "x")));
        QTRY_COMPARE(r->harness->station->intake().satelliteFrameCount(), 1);
    }

    void reconnectsAfterPeerClose_data()
    {
        QTest::addColumn<bool>("reset");
        QTest::addColumn<QString>("logged");
        QTest::newRow("orderly close") << false << QStringLiteral("AGW connection closed by the packet engine");
        QTest::newRow("reset") << true
                               << QStringLiteral("Winsock Error \"10054\" occured: The connection is reset by remote side");
    }

    void reconnectsAfterPeerClose()
    {
        QFETCH(bool, reset);
        QFETCH(QString, logged);
        StationOptions options;
        options.linkRetryIntervalMs = 200;
        auto r = start(options);
        r->server.stopListening();
        if (reset)
            r->server.resetClient();
        else
            r->server.closeClient();
        QTRY_COMPARE(r->harness->station->linkState(), int(AgwClient::Closed));
        QTRY_VERIFY(r->harness->logMessages().filter(logged).size() == 1);
        QTRY_VERIFY(r->harness->logMessages().first().startsWith(QStringLiteral("Winsock Error \"10061\"")));
        QTest::qWait(600); // several refused retries; the same failure is logged once

        QVERIFY(r->server.listenAgain());
        QTRY_COMPARE(r->server.connectionCount(), 2);
        QTRY_COMPARE(r->server.received().size(), 72);
        const QStringList log = r->harness->logMessages();
        QCOMPARE(log.first(), QStringLiteral("AGW winsock connection made"));
        QCOMPARE(log.filter(QStringLiteral("Winsock Error \"10061\"")).size(), 1);

        // A good connection ends the run of failures: the same end, twice in a row with a good
        // connection between, is logged each time.
        for (int connections = 3; connections <= 4; ++connections) {
            QTRY_COMPARE(r->server.received().size(), 72);
            if (reset)
                r->server.resetClient();
            else
                r->server.closeClient();
            QTRY_COMPARE(r->server.connectionCount(), connections);
            QTRY_COMPARE(r->harness->logMessages().filter(logged).size(), connections - 1);
        }
    }

    void hangingConnectIsAbandonedAndRetried()
    {
        // A listener whose accept queue is full: the kernel drops further connection requests,
        // so a connect neither succeeds nor fails.
        const int listener = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        QVERIFY(::bind(listener, reinterpret_cast<sockaddr *>(&address), length) == 0);
        QVERIFY(::listen(listener, 0) == 0);
        QVERIFY(::getsockname(listener, reinterpret_cast<sockaddr *>(&address), &length) == 0);
        const quint16 port = ntohs(address.sin_port);
        QTcpSocket fillers[3];
        for (QTcpSocket &filler : fillers) {
            filler.connectToHost(QHostAddress::LocalHost, port);
            filler.waitForConnected(200);
        }

        StationOptions options;
        options.linkConnectTimeoutMs = 300;
        options.linkRetryIntervalMs = 200;
        options.uploadAllowed = false;
        StationHarness h("PORT=127.0.0.1:" + QByteArray::number(port) +
                             "\r\nMYCALL=N0CALL\r\nSERVER=http://127.0.0.1:9/\r\n",
                         options);
        h.station->start();
        QTRY_COMPARE(h.logMessages().filter(QStringLiteral("Winsock Error \"10060\"")).size(), 1);
        // The link keeps trying: once nothing listens, the next attempt is refused.
        ::close(listener);
        QTRY_COMPARE(h.logMessages().filter(QStringLiteral("Winsock Error \"10061\"")).size(), 1);
    }

    void connectButtonReopensAClosedLink()
    {
        AgwLoopbackServer engine;
        const QByteArray config = configFor(engine);
        engine.stopListening();
        StationOptions options;
        options.linkRetryIntervalMs = 60000; // only the button reconnects within this test
        options.uploadAllowed = false;
        StationHarness h(config, options);
        h.station->start();
        QTRY_COMPARE(h.logMessages().first(),
                     QStringLiteral("Winsock Error \"10061\" occured: Connection is forcefully rejected"));
        QVERIFY(engine.listenAgain());
        h.station->reconnect();
        QTRY_COMPARE(engine.received(), AgwProtocol::header('G') + AgwProtocol::header('k'));
    }

    void sameMinuteRestartAppends()
    {
        QTemporaryDir dir;
        FakeTimeSource clock;
        QFile config(dir.filePath(QStringLiteral("online_conf.ini")));
        QVERIFY(config.open(QIODevice::WriteOnly));
        config.write("PORT=127.0.0.1:1\r\nMYCALL=N0CALL\r\nSERVER=http://127.0.0.1:9/\r\n");
        config.close();
        const QByteArray data = frame(ForeignAddress, "r");
        for (int run = 0; run < 2; ++run) {
            StationOptions options;
            options.programDir = dir.path();
            options.timeSource = &clock;
            Station station(options);
            station.start();
            station.handleRecord(AgwLoopbackServer::rawFrameRecord(data));
            station.exit();
        }
        QFile capture(dir.filePath(QStringLiteral("N0CALL_02082014_1305.kss")));
        QVERIFY(capture.open(QIODevice::ReadOnly));
        QCOMPARE(capture.readAll(), kissRecord(data) + kissRecord(data));
    }

    void captureWriteFailureIsLoggedOnce()
    {
        StationOptions options;
        options.uploadAllowed = false;
        StationHarness h("PORT=127.0.0.1:1\r\nMYCALL=N0CALL\r\nSERVER=http://127.0.0.1:9/\r\n", options);
        // The capture file of this minute is a device on which every write fails (disk full).
        QVERIFY(QFile::link(QStringLiteral("/dev/full"), h.path(QStringLiteral("N0CALL_02082014_1305.kss"))));
        h.station->start();
        for (int n = 0; n < 3; ++n)
            h.station->handleRecord(AgwLoopbackServer::rawFrameRecord(frame(SatelliteAddress, "x")));
        QCOMPARE(h.logMessages().filter(QStringLiteral("Capture file write error: ")).size(), 1);
        QCOMPARE(h.station->intake().satelliteFrameCount(), 3);
    }

    void connectButtonSendsMonitoringOnce()
    {
        auto r = start();
        r->harness->station->reconnect();
        QTRY_COMPARE(r->server.received().size(), 108);
        QCOMPARE(r->server.received().mid(72), AgwProtocol::header('G'));
    }
};

QTEST_GUILESS_MAIN(TestStationLink)
#include "tst_station_link.moc"
