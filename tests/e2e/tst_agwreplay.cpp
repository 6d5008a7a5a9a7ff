// agw-replay and halvora1 --headless as separate processes over loopback TCP: every frame of
// the sample capture reaches the station's capture file unchanged, whatever the write pattern.
// The simulator's server also against a loopback client that reassembles records the way the
// station does: "k" as a toggle, and the records with the packet engine's call fields.
#include "AgwReplayServer.h"
#include "decode/SatelliteFrames.h"
#include "link/AgwProtocol.h"
#include "support/HeadlessStation.h"
#include "support/Programs.h"

#include <QDir>
#include <QProcess>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>

namespace {

constexpr int Generous = 60000;

QString samplePath()
{
    return QDir(qEnvironmentVariable("HALVORA_SOURCE_DIR"))
        .filePath(QStringLiteral("samples/halvora1-sample.kss"));
}

bool isSatelliteFrame(const QByteArray &data)
{
    return data.startsWith(SatelliteFrames::Prefix.left(16)); // up to the control byte
}

// Starts agw-replay on a free port; the port it prints once listening, 0 when it does not.
quint16 startReplay(QProcess &process, const QStringList &arguments)
{
    process.start(builtProgram(QStringLiteral("agw-replay")),
                  QStringList{QStringLiteral("--port"), QStringLiteral("0")} + arguments);
    static const QRegularExpression listening(QStringLiteral("^listening on [^\\n]*:(\\d+)$"),
                                              QRegularExpression::MultilineOption);
    QByteArray output;
    QRegularExpressionMatch match;
    while (!(match = listening.match(QString::fromUtf8(output))).hasMatch()) {
        if (!process.waitForReadyRead(10000))
            return 0;
        output += process.readAllStandardOutput();
    }
    return quint16(match.captured(1).toUInt());
}

const QByteArray SatelliteShort = SatelliteFrames::Prefix + QByteArray::fromHex("0206007A02032076C0DB");
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

class TestAgwReplay : public QObject
{
    Q_OBJECT
private slots:

    void sampleArrivesWhole_data()
    {
        QTest::addColumn<QStringList>("writeMode");
        QTest::newRow("one record per write") << QStringList{};
        QTest::newRow("records split across writes") << QStringList{QStringLiteral("--split")};
        QTest::newRow("several records per write") << QStringList{QStringLiteral("--coalesce")};
        QTest::newRow("split and coalesced")
            << QStringList{QStringLiteral("--split"), QStringLiteral("--coalesce")};
    }

    void sampleArrivesWhole()
    {
        QFETCH(QStringList, writeMode);
        QList<QByteArray> sampleFrames;
        for (const CaptureFileReader::Record &record : readCaptureRecords(samplePath())) {
            if (record.kind == CaptureFileReader::Kind::Frame)
                sampleFrames.append(record.data);
        }
        QVERIFY(sampleFrames.size() > 100);
        const auto satelliteCount =
            std::count_if(sampleFrames.begin(), sampleFrames.end(), isSatelliteFrame);

        ScopedProcess replay;
        const quint16 port = startReplay(replay, QStringList{QStringLiteral("--rate"), QStringLiteral("0"),
                                                      QStringLiteral("--exit-when-done")} +
                                          writeMode);
        QVERIFY(port != 0);

        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        HeadlessStation station(dir.path());
        QVERIFY(station.writeConfiguration(QStringLiteral("127.0.0.1:%1").arg(port)));
        QVERIFY(station.start());
        QTRY_COMPARE_WITH_TIMEOUT(station.captureFrameCount(), sampleFrames.size(), Generous);
        // The simulator leaves once the last frame has gone to its only client.
        QTRY_VERIFY_WITH_TIMEOUT(replay.state() == QProcess::NotRunning, Generous);
        QCOMPARE(replay.exitCode(), 0);

        const QString statusLine = QStringLiteral("RX packets: %1 | HTTP POST OK: 0").arg(satelliteCount);
        QTRY_VERIFY_WITH_TIMEOUT(station.output().contains(statusLine.toUtf8()), Generous);
        QVERIFY(station.stop());
        // The port list fits the log entry whole, without its closing NUL.
        QVERIFY(station.output().contains(": total number of ports: 1;Port1 Halvora-1 AGW replay;\n"));

        // Frame records byte for byte, each satellite frame followed by its time record.
        const QList<CaptureFileReader::Record> records = station.captureRecords();
        static const QRegularExpression timeText(
            QStringLiteral("^\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d\\.\\d{3} UTC$"));
        qsizetype frame = 0;
        for (qsizetype i = 0; i < records.size(); ++i) {
            QCOMPARE(records[i].kind, CaptureFileReader::Kind::Frame);
            QCOMPARE(records[i].data.toHex(' '), sampleFrames[frame].toHex(' '));
            if (isSatelliteFrame(sampleFrames[frame])) {
                QVERIFY(i + 1 < records.size());
                ++i;
                QCOMPARE(records[i].kind, CaptureFileReader::Kind::TimeText);
                QVERIFY2(timeText.match(QString::fromLatin1(records[i].data)).hasMatch(),
                         records[i].data.constData());
            }
            ++frame;
        }
        QCOMPARE(frame, sampleFrames.size());
    }

    void commandLineErrors_data()
    {
        QTest::addColumn<QString>("fileContent"); // hex; empty: no file argument
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("expectedError");
        QTest::addColumn<bool>("portTaken");

        QTest::newRow("missing file") << QString() << QStringList{QStringLiteral("/nonexistent/x.kss")}
                                      << QStringLiteral("/nonexistent/x.kss: cannot open") << false;
        QTest::newRow("bad escape in the second frame")
            << QStringLiteral("C0000102C0C000DB05C0") << QStringList{}
            << QStringLiteral("damaged at byte offset 7, after 1 good frame records: invalid escape") << false;
        QTest::newRow("only time records")
            << QStringLiteral("C009323032362D31322D30362031303A30303A30302E30303020555443C0")
            << QStringList{} << QStringLiteral("holds no frame records") << false;
        QTest::newRow("negative rate") << QString()
                                       << QStringList{QStringLiteral("--rate"), QStringLiteral("-1")}
                                       << QStringLiteral("the rate must be a number") << false;
        QTest::newRow("port in use") << QString() << QStringList{}
                                     << QStringLiteral("address is already in use") << true;
    }

    void commandLineErrors()
    {
        QFETCH(QString, fileContent);
        QFETCH(QStringList, arguments);
        QFETCH(QString, expectedError);
        QFETCH(bool, portTaken);

        QTcpServer occupant;
        if (portTaken) {
            QVERIFY(occupant.listen(QHostAddress::LocalHost, 0));
            arguments << QStringLiteral("--port") << QString::number(occupant.serverPort());
        }
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        if (!fileContent.isEmpty()) {
            arguments << dir.filePath(QStringLiteral("capture.kss"));
            QVERIFY(writeFile(arguments.last(), QByteArray::fromHex(fileContent.toLatin1())));
        }
        const ProgramRun run = runProgram(QStringLiteral("agw-replay"),
                                          QStringList{QStringLiteral("--port"), QStringLiteral("0")} + arguments);
        QVERIFY(run.exitCode > 0);
        QVERIFY2(QString::fromUtf8(run.err).contains(expectedError), run.err.constData());
        QVERIFY(!run.out.contains("listening on"));
    }

    void sampleMatchesItsGenerator()
    {
        // The committed sample must be what the committed generator writes.
        QTemporaryDir dir;
        const QString fresh = dir.filePath(QStringLiteral("fresh.kss"));
        QCOMPARE(runProgram(QStringLiteral("make-sample"), {fresh}).exitCode, 0);
        const QByteArray committed = readFile(samplePath());
        QVERIFY(!committed.isEmpty());
        QVERIFY(committed == readFile(fresh));
    }

    void monitoringToggles_data()
    {
        QTest::addColumn<int>("kRequests");
        QTest::addColumn<bool>("monitoring");
        QTest::newRow("none: off") << 0 << false;
        QTest::newRow("first k: on") << 1 << true;
        QTest::newRow("second k: off again") << 2 << false;
    }

    void monitoringToggles()
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

    void splitAndCoalescedRecordsKeepTheirFields()
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

    void oversizeRequestClosesTheClient()
    {
        AgwReplayServer server({SatelliteShort}, {});
        QVERIFY(server.listen(QHostAddress::LocalHost, 0));
        Client client(server.serverPort());
        client.socket.write(AgwProtocol::header('X', AgwProtocol::MaxDataLength + 1));
        QTRY_COMPARE_WITH_TIMEOUT(client.socket.state(), QAbstractSocket::UnconnectedState, Generous);
    }

};

QTEST_GUILESS_MAIN(TestAgwReplay)
#include "tst_agwreplay.moc"
