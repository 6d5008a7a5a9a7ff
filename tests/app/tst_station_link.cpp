// The Station against a scripted packet engine on loopback: start requests, records of every
// shape, the capture file's bytes and its failures, reconnects.
#include "decode/SatelliteFrames.h"
#include "link/AgwProtocol.h"
#include "link/CaptureFile.h"
#include "link/Kiss.h"
#include "support/AgwLoopbackServer.h"
#include "support/Programs.h"
#include "support/StationHarness.h"

#include <QDir>
#include <QTest>

#include <arpa/inet.h>
#include <csignal>
#include <sys/resource.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

const QByteArray SatelliteAddress = QByteArray::fromHex("B0A472968E4062B0A4729640407703");
const QByteArray ForeignAddress = QByteArray::fromHex("A8A4A6A6404060AE6E8A96A2406103");
const QByteArray TimeRecord = "\xC0\x09" "2014-08-02 13:05:09.123 UTC\xC0"; // the harness clock
const QByteArray StartRequests = AgwProtocol::header('G') + AgwProtocol::header('k');

QByteArray frame(const QByteArray &address, const QByteArray &payload)
{
    return QByteArray(1, '\0') + address + payload;
}

QByteArray record(const QByteArray &address, const QByteArray &payload)
{
    return AgwLoopbackServer::rawFrameRecord(frame(address, payload));
}

// "127.0.0.1:1": nothing listens there, for stations fed records by hand.
QByteArray configFor(const QString &port = u"127.0.0.1:1"_qs)
{
    return "PORT=" + port.toLatin1() + "\r\nMYCALL=N0CALL\r\nSERVER=http://127.0.0.1:9/\r\n";
}

QByteArray kissRecord(const QByteArray &data)
{
    QByteArray out;
    Kiss::appendFrameRecord(out, data);
    return out;
}

StationOptions quietOptions(int retryIntervalMs = 10000, int connectTimeoutMs = 30000)
{
    StationOptions options;
    options.linkRetryIntervalMs = retryIntervalMs;
    options.linkConnectTimeoutMs = connectTimeoutMs;
    options.uploadAllowed = false; // uploads have tests of their own
    return options;
}

struct Running
{
    AgwLoopbackServer server;
    std::unique_ptr<StationHarness> harness;
    Station &station() const { return *harness->station; }
    int logged(const QString &text) const { return harness->logMessages().filter(text).size(); }
};

// A started Station whose link has sent its start requests to a loopback engine.
std::unique_ptr<Running> start(int retryIntervalMs = 10000, int connectTimeoutMs = 30000)
{
    auto running = std::make_unique<Running>();
    running->harness = std::make_unique<StationHarness>(configFor(running->server.portValue()),
                                                        quietOptions(retryIntervalMs, connectTimeoutMs));
    running->station().start();
    if (!QTest::qWaitFor([&] { return running->server.received().size() == StartRequests.size(); }))
        qWarning("no start requests");
    return running;
}

} // namespace

class TestStationLink : public QObject
{
    Q_OBJECT
private slots:
    // Start requests and the log of a good connection, which stays up past the connect time-out
    // (that guards the connect only) until the station closes it.
    void goodLink()
    {
        auto r = start(100, 150);
        QTest::qWait(600);
        QCOMPARE(r->server.connectionCount(), 1);
        QCOMPARE(r->server.received(), StartRequests);
        const QString port = QString::number(r->server.port());
        QCOMPARE(r->harness->logMessages(),
                 (QStringList{u"AGW winsock connection made"_qs, "Winsock RemotePort: " + port,
                              u"Winsock RemoteHost: 127.0.0.1"_qs, "127.0.0.1:" + port + " | http://127.0.0.1:9/ | N0CALL |  | "}));
        QCOMPARE(r->station().log().entries().front().left(25), u"2014-08-02 13:05:09.123: "_qs);
        QCOMPARE(r->station().linkState(), int(AgwClient::Connected));
        r->station().prepareClose(); // the Exit path closes the link at once
        QCOMPARE(r->station().linkState(), int(AgwClient::Closed));
    }

    void recordsInAnyCuts_data()
    {
        QTest::addColumn<int>("cut"); // n-byte pieces
        QTest::newRow("coalesced") << 1000;
        QTest::newRow("split byte by byte") << 1;
    }

    void recordsInAnyCuts()
    {
        QFETCH(int, cut);
        auto r = start();
        const QByteArray foreign = frame(ForeignAddress, "hello");
        const QByteArray satellite = frame(SatelliteAddress, QByteArray::fromHex("0200C0DB0A"));
        // Port lists: only 29 of 40 bytes are shown, and the length is taken modulo 256.
        const QByteArray stream = AgwLoopbackServer::rawFrameRecord(foreign) + AgwProtocol::header('X', 3) + "abc" +
                                  AgwProtocol::header('G', 40) + "1;Port1 first soundcard mono;Port2 xxxxx" +
                                  AgwProtocol::header('G', 260) + QByteArray(260, 'x') +
                                  AgwLoopbackServer::rawFrameRecord(satellite);
        for (qsizetype i = 0; i < stream.size(); i += cut)
            r->server.send(stream.mid(i, cut));

        Station &s = r->station();
        QTRY_COMPARE(s.intake().satelliteFrameCount(), 1);
        QCOMPARE(s.intake().rawFrameLines().size(), std::size_t(2));
        // Position 17 (here 02) is the PID; the groups begin at 18, the second one is missing.
        QCOMPARE(s.intake().headerLines(), std::deque<QString>{u"00 C0 DB 0A | "_qs});
        QCOMPARE(r->harness->logMessages().filter(u"total number of ports"_qs),
                 (QStringList{u"total number of ports: xxxx"_qs, u"total number of ports: 1;Port1 first soundcard mono;"_qs}));
        QCOMPARE(r->harness->captureBytes(), kissRecord(foreign) + kissRecord(satellite) + TimeRecord);
        QCOMPARE(s.intake().frameTimeText(), u"2014-08-02 13:05:09.123 UTC"_qs);
    }

    void frameShapes_data()
    {
        QTest::addColumn<QByteArray>("data");
        QTest::addColumn<QByteArray>("capture");
        QTest::addColumn<QString>("hexLine");
        QTest::addColumn<int>("rxPackets");
        const QByteArray header = frame(SatelliteAddress, {});
        QTest::newRow("escapes FEND and FESC")
            << QByteArray::fromHex("00C0DB") << QByteArray::fromHex("C000DBDCDBDDC0") << "C0 DB " << 0;
        QTest::newRow("command byte only") << QByteArray(1, '\0') << QByteArray::fromHex("C000C0") << "" << 0;
        QTest::newRow("satellite address without control byte") << header.chopped(1) << kissRecord(header.chopped(1))
            << "B0 A4 72 96 8E 40 62 B0 A4 72 96 40 40 77 " << 0;
        QTest::newRow("bare satellite header is a satellite frame") << header << kissRecord(header) + TimeRecord
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
        Station &s = r->station();
        QTRY_COMPARE(s.intake().rawFrameLines().size(), std::size_t(1));
        QCOMPARE(s.intake().rawFrameLines().back(), hexLine);
        QCOMPARE(r->harness->captureBytes(), capture);
        QCOMPARE(s.intake().satelliteFrameCount(), rxPackets);
    }

    void staleBytesStayBeyondShorterFrame()
    {
        StationHarness h(configFor());
        h.station->start();
        Station &s = *h.station;
        // A long frame (over 512 data bytes) goes to the capture file whole; the buffer keeps 512.
        QByteArray longFrame = frame(ForeignAddress, QByteArray(600, '\x55'));
        longFrame[520] = '\x77';
        s.handleRecord(AgwLoopbackServer::rawFrameRecord(longFrame));
        QCOMPARE(s.intake().frameBytes().length(), 512);
        QCOMPARE(s.intake().frameHex().size(), 511 * 3);
        QCOMPARE(h.captureBytes(), kissRecord(longFrame));

        s.handleRecord(record(ForeignAddress, "ab"));
        QCOMPARE(s.intake().frameBytes().length(), 18);
        QCOMPARE(int(s.intake().frameBytes().at(19)), 0x55); // left from the longer frame
        QCOMPARE(s.intake().rawFrameLines().back().size(), 17 * 3);
        s.handleRecord(QByteArray("\0\0\0", 3)); // too short to hold a data kind: ignored
        QCOMPARE(s.intake().rawFrameLines().size(), std::size_t(2));
    }

    void oversizeLengthClosesAndReconnects()
    {
        auto r = start(200);
        // The longest record allowed is read whole, and the next one after it.
        r->server.send(AgwProtocol::header('X', 65536) + QByteArray(65536, 'x') + record(SatelliteAddress, "x"));
        QTRY_COMPARE(r->station().intake().satelliteFrameCount(), 1);
        r->server.send(AgwProtocol::header('K', 70000) + QByteArray(100, 'x'));
        QTRY_VERIFY(r->harness->logMessages().first().startsWith(
            u"AGW protocol error: record length 70000 exceeds 65536 bytes"_qs));
        // The broken connection is closed at once: a record sent on it is never read.
        r->server.send(record(SatelliteAddress, "lost"));
        QTest::qWait(50);
        QCOMPARE(r->station().intake().rawFrameLines().size(), std::size_t(1));
        // The retry opens a fresh connection, which gets both start requests again.
        QTRY_COMPARE(r->server.connectionCount(), 2);
        QTRY_COMPARE(r->server.received(), StartRequests);
        r->server.send(record(SatelliteAddress, "x"));
        QTRY_COMPARE(r->station().intake().satelliteFrameCount(), 2);
    }

    void reconnectsAfterPeerClose_data()
    {
        QTest::addColumn<bool>("reset");
        QTest::addColumn<QString>("logged");
        QTest::newRow("orderly close") << false << u"AGW connection closed by the packet engine"_qs;
        QTest::newRow("reset") << true << u"Winsock Error \"10054\" occured: The connection is reset by remote side"_qs;
    }

    void reconnectsAfterPeerClose()
    {
        QFETCH(bool, reset);
        QFETCH(QString, logged);
        auto r = start(200);
        const auto endConnection = [&] { reset ? r->server.resetClient() : r->server.closeClient(); };
        r->server.stopListening();
        endConnection();
        QTRY_COMPARE(r->station().linkState(), int(AgwClient::Closed));
        QTRY_COMPARE(r->logged(logged), 1);
        QTRY_VERIFY(r->harness->logMessages().first().startsWith(u"Winsock Error \"10061\""_qs));
        QTest::qWait(600); // several refused retries; the same failure is logged once

        QVERIFY(r->server.listenAgain());
        QTRY_COMPARE(r->server.connectionCount(), 2);
        QTRY_COMPARE(r->server.received(), StartRequests);
        QCOMPARE(r->logged(u"Winsock Error \"10061\""_qs), 1);
        // A good connection ends the run of failures: the same end, twice in a row with a good
        // connection between, is logged each time.
        const auto openFiles = [] { return QDir(u"/proc/self/fd"_qs).count(); };
        const uint filesWithOneConnection = openFiles();
        for (int connections = 3; connections <= 4; ++connections) {
            QTRY_COMPARE(r->server.received(), StartRequests);
            endConnection();
            QTRY_COMPARE(r->server.connectionCount(), connections);
            QTRY_COMPARE(r->logged(logged), connections - 1);
        }
        QTRY_COMPARE(r->server.received(), StartRequests);
        // Nothing kept of the connections that ended, once the closed sockets' deletions have run.
        QTRY_VERIFY(openFiles() <= filesWithOneConnection);
    }

    // The time-out abandons a connect that hangs, once: with a retry interval longer than the
    // time-out, a time-out firing again would put the retry off for ever.
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
        StationHarness h(configFor(u"127.0.0.1:%1"_qs.arg(port)), quietOptions(400, 100));
        h.station->start();
        QTRY_COMPARE(h.logMessages().filter(u"Winsock Error \"10060\""_qs).size(), 1);
        QCOMPARE(h.station->linkState(), int(AgwClient::Closed)); // abandoned, not left pending
        // The link keeps trying: once nothing listens, the next attempt is refused.
        ::close(listener);
        QTRY_COMPARE(h.logMessages().filter(u"Winsock Error \"10061\""_qs).size(), 1);
    }

    void connectButtonReopensAClosedLinkAndSendsMonitoringOnce()
    {
        AgwLoopbackServer engine;
        const QByteArray config = configFor(engine.portValue());
        engine.stopListening();
        StationHarness h(config, quietOptions(60000)); // only the button reconnects within this test
        h.station->start();
        QTRY_COMPARE(h.logMessages().first(), u"Winsock Error \"10061\" occured: Connection is forcefully rejected"_qs);
        QVERIFY(engine.listenAgain());
        h.station->reconnect();
        QTRY_COMPARE(engine.received(), StartRequests);
        h.station->reconnect(); // on an open link: the port list again, monitoring stays on
        QTRY_COMPARE(engine.received(), StartRequests + AgwProtocol::header('G'));
    }

    // A restart within the minute appends to the capture file, and the boxes show the archived
    // frame's values before any frame arrives.
    void restartAppendsAndShowsTheLastValues()
    {
        const QByteArray data = SatelliteFrames::frameOf(SatelliteFrames::EpsDebugGroups, SatelliteFrames::EpsDebugLength);
        StationHarness h(configFor());
        QString shown;
        for (int run = 0; run < 2; ++run) {
            StationOptions options = quietOptions();
            options.programDir = h.dir.path();
            options.timeSource = &h.clock;
            Station station(options);
            station.start();
            QCOMPARE(station.display().text(14), shown);
            station.handleRecord(AgwLoopbackServer::rawFrameRecord(data));
            shown = station.display().text(14);
            station.exit();
        }
        QVERIFY(!shown.isEmpty());
        QCOMPARE(readFile(h.path(u"N0CALL_02082014_1305.kss"_qs)), (kissRecord(data) + TimeRecord).repeated(2));
    }

    // A failing capture file is logged once with the OS reason and shown as a warning, retried
    // (created again when removed), its recovery logged, and no record is ever left half written.
    // A record cut short (here by the file size limit, as a full disk does) is taken back whole,
    // so the capture file never holds part of a record.
    void partlyWrittenRecordIsTakenBack_data()
    {
        QTest::addColumn<int>("room"); // bytes the file may still grow by
        QTest::newRow("one byte") << 1;
        QTest::newRow("several bytes") << 9;
    }

    void partlyWrittenRecordIsTakenBack()
    {
        QFETCH(int, room);
        QTemporaryDir dir;
        CaptureFile capture;
        QVERIFY(!capture.open(dir.filePath(u"c.kss"_qs)));
        QVERIFY(capture.writeFrameRecord(frame(ForeignAddress, "first")));
        const qint64 before = QFileInfo(capture.path()).size();
        std::signal(SIGXFSZ, SIG_IGN);
        rlimit unlimited{};
        QVERIFY(::getrlimit(RLIMIT_FSIZE, &unlimited) == 0);
        const rlimit limited{rlim_t(before + room), unlimited.rlim_max};
        QVERIFY(::setrlimit(RLIMIT_FSIZE, &limited) == 0);
        const bool written = capture.writeFrameRecord(frame(ForeignAddress, "second"));
        QVERIFY(::setrlimit(RLIMIT_FSIZE, &unlimited) == 0);
        QVERIFY(!written);
        QCOMPARE(QFileInfo(capture.path()).size(), before);
    }

    void captureFailureIsLoggedOnceRetriedAndRecovered_data()
    {
        QTest::addColumn<bool>("diskFull"); // else: the file is removed while open
        QTest::addColumn<QString>("logged");
        QTest::newRow("disk full") << true << u"Capture file write error: No space left on device"_qs;
        QTest::newRow("file removed") << false << u"Capture file write error: the capture file was removed"_qs;
    }

    void captureFailureIsLoggedOnceRetriedAndRecovered()
    {
        QFETCH(bool, diskFull);
        QFETCH(QString, logged);
        StationOptions options = quietOptions();
        options.captureRetryIntervalMs = 50;
        StationHarness h(configFor(), options);
        const QString capture = h.path(u"N0CALL_02082014_1305.kss"_qs);
        if (diskFull)
            QVERIFY(QFile::link(u"/dev/full"_qs, capture));
        h.station->start();
        const QByteArray data = frame(SatelliteAddress, "x");
        const auto feed = [&] { h.station->handleRecord(AgwLoopbackServer::rawFrameRecord(data)); };
        const auto failures = [&] { return h.logMessages().filter(u"Capture file write error"_qs); };
        feed();
        if (!diskFull)
            QVERIFY(QFile::remove(capture));
        QTRY_COMPARE(failures(), QStringList{logged});
        QVERIFY(!h.station->warningText().isEmpty());
        feed(); // while failing: not logged again
        feed();
        QCOMPARE(failures().size(), 1);
        QCOMPARE(h.station->intake().satelliteFrameCount(), 3);

        if (diskFull)
            QVERIFY(QFile::remove(capture)); // room again: the retry creates a plain file
        QTRY_VERIFY(QFile::exists(capture) && !QFileInfo(capture).isSymLink());
        QTest::qWait(120);
        feed();
        QTRY_VERIFY(h.logMessages().contains(u"capture file writing again"_qs));
        QVERIFY(h.station->warningText().isEmpty());
        // Whole records only: the new file holds the frame and its time record, nothing torn.
        QVERIFY(h.captureBytes().startsWith(kissRecord(data)));
        QCOMPARE(h.captureBytes().count(char(0xC0)) % 4, 0);
    }
};

QTEST_GUILESS_MAIN(TestStationLink)
#include "tst_station_link.moc"
