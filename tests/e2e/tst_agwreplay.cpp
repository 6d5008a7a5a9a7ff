// agw-replay and halvora1 --headless as separate processes over loopback TCP: every frame of
// the sample capture reaches the station's capture file unchanged, whatever the write pattern.
// The simulator's server also against a loopback client that reassembles records the way the
// station does: the records with the packet engine's call fields.
#include "AgwReplayServer.h"
#include "decode/SatelliteFrames.h"
#include "link/AgwProtocol.h"
#include "support/HeadlessStation.h"
#include "support/Programs.h"

#include <QProcess>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>

namespace {

constexpr int Generous = 60000;

bool isSatelliteFrame(const QByteArray &data)
{
    return data.startsWith(SatelliteFrames::Prefix.left(16)); // up to the control byte
}

// Starts agw-replay on a free port; the port it prints once listening, 0 when it does not.
quint16 startReplay(QProcess &process, const QStringList &arguments)
{
    process.start(builtProgram(QStringLiteral("agw-replay")), QStringList{"--port", "0"} + arguments);
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

    void sampleArrivesWhole()
    {
        QList<QByteArray> sampleFrames;
        const QString sample = qEnvironmentVariable("HALVORA_SOURCE_DIR") + "/samples/halvora1-sample.kss";
        for (const CaptureFileReader::Record &record : readCaptureRecords(sample)) {
            if (record.kind == CaptureFileReader::Kind::Frame)
                sampleFrames.append(record.data);
        }
        QVERIFY(sampleFrames.size() > 100);
        const auto satelliteCount = std::count_if(sampleFrames.begin(), sampleFrames.end(),
                                                  [](const QByteArray &data) { return isSatelliteFrame(data); });

        ScopedProcess replay;
        // Records split across writes and several records per write.
        const quint16 port = startReplay(replay, {"--rate", "0", "--exit-when-done", "--split", "--coalesce"});
        QVERIFY(port != 0);
        QTemporaryDir dir;
        HeadlessStation station(dir.path());
        QVERIFY(station.writeConfiguration(QStringLiteral("127.0.0.1:%1").arg(port)));
        QVERIFY(station.start());
        QTRY_COMPARE_WITH_TIMEOUT(station.captureFrameCount(), sampleFrames.size(), Generous);
        // The simulator leaves once the last frame has gone to its only client.
        QTRY_VERIFY_WITH_TIMEOUT(replay.state() == QProcess::NotRunning, Generous);
        QCOMPARE(replay.exitCode(), 0);
        QVERIFY(replay.readAllStandardOutput().endsWith("all frames sent\n"));
        const QString statusLine = QStringLiteral("RX packets: %1 | HTTP POST OK: 0").arg(satelliteCount);
        QTRY_VERIFY_WITH_TIMEOUT(station.output().contains(statusLine.toUtf8()), Generous);
        QVERIFY(station.stop());
        // The port list fits the log entry whole, without its closing NUL.
        QVERIFY(station.output().contains(": total number of ports: 1;Port1 Halvora-1 AGW replay;\n"));

        // Frame records byte for byte, each satellite frame followed by its time record.
        static const QRegularExpression timeText(
            QStringLiteral("^\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d\\.\\d{3} UTC$"));
        QList<CaptureFileReader::Record> records = station.captureRecords();
        for (const QByteArray &frame : std::as_const(sampleFrames)) {
            QVERIFY(!records.isEmpty());
            const CaptureFileReader::Record record = records.takeFirst();
            QCOMPARE(record.kind, CaptureFileReader::Kind::Frame);
            QCOMPARE(record.data.toHex(' '), frame.toHex(' '));
            if (isSatelliteFrame(frame)) {
                QVERIFY(!records.isEmpty() && records.front().kind == CaptureFileReader::Kind::TimeText);
                QVERIFY2(timeText.match(QString::fromLatin1(records.takeFirst().data)).hasMatch(), "time record");
            }
        }
        QVERIFY(records.isEmpty());
    }

    void commandLineErrors()
    {
        QTemporaryDir dir;
        const QString damaged = dir.filePath(QStringLiteral("capture.kss"));
        QVERIFY(writeFile(damaged, QByteArray::fromHex("C0000102C0C000DB05C0")));
        const QList<std::pair<QString, QString>> cases{
            {QStringLiteral("/nonexistent/x.kss"), QStringLiteral("/nonexistent/x.kss: cannot open")},
            {damaged, QStringLiteral("damaged at byte offset 7, after 1 good frame records: invalid escape")}};
        for (const auto &[file, expectedError] : cases) {
            const ProgramRun run = runProgram(QStringLiteral("agw-replay"), {"--port", "0", file});
            QVERIFY(run.exitCode > 0);
            QVERIFY2(QString::fromUtf8(run.err).contains(expectedError), run.err.constData());
            QVERIFY(!run.out.contains("listening on"));
        }
    }

    void splitAndCoalescedRecordsKeepTheirFields()
    {
        struct Expected { QByteArray frame; const char *from; const char *to; };
        const QList<Expected> expected{{SatelliteShort, "XR9K-11", "XR9KG-1"}, {SatelliteLong, "XR9K-11", "XR9KG-1"},
                                       {Foreign, "DL1HVR-9", "APRS"}, {QByteArray(1, '\0'), "", ""},
                                       {SatelliteShort, "XR9K-11", "XR9KG-1"}};
        QList<QByteArray> frames;
        for (const Expected &e : expected)
            frames << e.frame;

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
            QCOMPARE(field(record, AgwProtocol::FromCallOffset), QByteArray(expected[i].from));
            QCOMPARE(field(record, AgwProtocol::ToCallOffset), QByteArray(expected[i].to));
        }
    }

    void portInfoAndMonitoringToggle()
    {
        AgwReplayServer::Options options;
        options.rate = 50;
        options.loop = true;
        AgwReplayServer server({SatelliteShort}, options);
        QVERIFY(server.listen(QHostAddress::LocalHost, 0));
        Client client(server.serverPort());
        client.send(AgwProtocol::KindPortInfo);
        QTRY_COMPARE_WITH_TIMEOUT(client.records.size(), 1, Generous);
        const QByteArray &info = client.records[0];
        QCOMPARE(info[AgwProtocol::DataKindOffset], AgwProtocol::KindPortInfo);
        QVERIFY(info.startsWith(AgwProtocol::header('G', AgwProtocol::dataLength(info))));
        QVERIFY(info.sliced(AgwProtocol::HeaderSize).startsWith("1;Port1 "));
        QVERIFY(info.endsWith('\0')); // the length counts the closing NUL

        client.send(AgwProtocol::KindRawMonitoring);
        QTRY_VERIFY_WITH_TIMEOUT(client.records.size() >= 4, Generous);
        client.send(AgwProtocol::KindRawMonitoring); // a second "k" switches monitoring off
        QTest::qWait(200);                            // records already on their way
        const qsizetype stopped = client.records.size();
        QTest::qWait(300);
        QCOMPARE(client.records.size(), stopped);
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
