// The simulator's server against a real loopback client that reassembles records the way the
// station does: "k" as a toggle, and the same records with the packet engine's call fields.
#include "AgwReplayServer.h"

#include "link/AgwProtocol.h"

#include <QSignalSpy>
#include <QTcpSocket>
#include <QTest>

namespace {

constexpr int Generous = 30000;

const QByteArray SatelliteShort = QByteArray::fromHex("00B0A472968E4062B0A4729640407703F0") +
                                  QByteArray::fromHex("0206007A02032076C0DB");
const QByteArray SatelliteLong = SatelliteShort + QByteArray(230, char(0xDB)) + char(0xC0);
const QByteArray Foreign = QByteArray::fromHex("0082A0A4A640406088986290ACA47303F0") + "!hello";
const QByteArray KissByteOnly(1, '\0');

struct Call { const char *from; const char *to; };

// A client that cuts the stream with the station's own record assembler.
class Client : public QObject
{
public:
    explicit Client(quint16 port)
    {
        connect(&socket, &QTcpSocket::readyRead, this, [this] {
            assembler.append(socket.readAll());
            QByteArray record;
            while (assembler.next(record) == AgwProtocol::RecordAssembler::Status::Record)
                records.append(record);
        });
        socket.connectToHost(QHostAddress::LocalHost, port);
    }
    void send(char kind) { socket.write(AgwProtocol::header(kind)); }
    qsizetype count(char kind, qsizetype from = 0) const
    {
        qsizetype n = 0;
        for (qsizetype i = from; i < records.size(); ++i)
            n += records[i][AgwProtocol::DataKindOffset] == kind ? 1 : 0;
        return n;
    }
    qsizetype indexOf(char kind, int occurrence) const
    {
        for (qsizetype i = 0; i < records.size(); ++i) {
            if (records[i][AgwProtocol::DataKindOffset] == kind && occurrence-- == 0)
                return i;
        }
        return -1;
    }

    QTcpSocket socket;
    AgwProtocol::RecordAssembler assembler;
    QList<QByteArray> records;
};

QByteArray field(const QByteArray &record, int offset)
{
    return QByteArray(record.constData() + offset,
                      qstrnlen(record.constData() + offset, AgwProtocol::CallsignSize));
}

} // namespace

class TestAgwReplayServer : public QObject
{
    Q_OBJECT
private slots:
    void monitoringToggles_data();
    void monitoringToggles();
    void splitAndCoalescedRecordsKeepTheirFields();
    void oversizeRequestClosesTheClient();
};

void TestAgwReplayServer::monitoringToggles_data()
{
    QTest::addColumn<int>("kRequests");
    QTest::addColumn<bool>("monitoring");
    QTest::newRow("none: off") << 0 << false;
    QTest::newRow("first k: on") << 1 << true;
    QTest::newRow("second k: off again") << 2 << false;
}

void TestAgwReplayServer::monitoringToggles()
{
    QFETCH(int, kRequests);
    QFETCH(bool, monitoring);

    AgwReplayServer::Options options;
    options.rate = 0;
    options.loop = true; // an endless stream while monitoring is on
    AgwReplayServer server({SatelliteShort, Foreign}, options);
    QVERIFY(server.listen(QHostAddress::LocalHost, 0));
    Client client(server.serverPort());
    for (int i = 0; i < kRequests; ++i)
        client.send(AgwProtocol::KindRawMonitoring);
    // The requests are handled in order: whatever follows this reply reflects the last "k".
    client.send(AgwProtocol::KindPortInfo);
    QTRY_VERIFY_WITH_TIMEOUT(client.indexOf(AgwProtocol::KindPortInfo, 0) >= 0, Generous);
    const qsizetype firstReply = client.indexOf(AgwProtocol::KindPortInfo, 0);

    if (monitoring) {
        QTRY_VERIFY_WITH_TIMEOUT(client.count(AgwProtocol::KindRawFrame, firstReply) > 0, Generous);
    } else {
        // A full round trip later still nothing: the stream has stopped.
        client.send(AgwProtocol::KindPortInfo);
        QTRY_VERIFY_WITH_TIMEOUT(client.indexOf(AgwProtocol::KindPortInfo, 1) >= 0, Generous);
        QCOMPARE(client.count(AgwProtocol::KindRawFrame, firstReply), 0);
        if (kRequests == 0)
            QCOMPARE(client.count(AgwProtocol::KindRawFrame), 0);
    }
}

void TestAgwReplayServer::splitAndCoalescedRecordsKeepTheirFields()
{
    const QList<QByteArray> frames{SatelliteShort, SatelliteLong, Foreign, KissByteOnly,
                                   SatelliteShort};
    const QList<Call> calls{{"XR9K-11", "XR9KG-1"}, {"XR9K-11", "XR9KG-1"}, {"DL1HVR-9", "APRS"},
                            {"", ""}, {"XR9K-11", "XR9KG-1"}};

    // The write plan carries the same bytes, cut into pieces.
    QList<QByteArray> records;
    for (const QByteArray &frame : frames)
        records.append(AgwReplayServer::rawFrameRecord(frame));
    const QList<QByteArray> writes = AgwReplayServer::writesFor(records, true, true);
    QCOMPARE(writes.join(), records.join());
    for (const QByteArray &write : writes)
        QVERIFY(write.size() < AgwProtocol::HeaderSize + 20);

    AgwReplayServer::Options options;
    options.rate = 0;
    options.split = true;
    options.coalesce = true;
    AgwReplayServer server(frames, options);
    QVERIFY(server.listen(QHostAddress::LocalHost, 0));
    QSignalSpy done(&server, &AgwReplayServer::allClientsDone);
    Client client(server.serverPort());
    client.send(AgwProtocol::KindRawMonitoring);
    QTRY_COMPARE_WITH_TIMEOUT(client.records.size(), frames.size(), Generous);
    QTRY_COMPARE_WITH_TIMEOUT(done.size(), 1, Generous);

    for (qsizetype i = 0; i < frames.size(); ++i) {
        const QByteArray &record = client.records[i];
        QCOMPARE(record[0], '\0');
        QCOMPARE(record[AgwProtocol::DataKindOffset], AgwProtocol::KindRawFrame);
        QCOMPARE(qsizetype(AgwProtocol::dataLength(record)), frames[i].size());
        QCOMPARE(record.sliced(AgwProtocol::HeaderSize).toHex(' '), frames[i].toHex(' '));
        QCOMPARE(field(record, AgwProtocol::FromCallOffset), QByteArray(calls[i].from));
        QCOMPARE(field(record, AgwProtocol::ToCallOffset), QByteArray(calls[i].to));
    }
}

void TestAgwReplayServer::oversizeRequestClosesTheClient()
{
    AgwReplayServer server({SatelliteShort}, {});
    QVERIFY(server.listen(QHostAddress::LocalHost, 0));
    Client client(server.serverPort());
    client.socket.write(AgwProtocol::header('X', AgwProtocol::MaxDataLength + 1));
    QTRY_COMPARE_WITH_TIMEOUT(client.socket.state(), QAbstractSocket::UnconnectedState, Generous);
}

QTEST_GUILESS_MAIN(TestAgwReplayServer)
#include "tst_agwreplayserver.moc"
