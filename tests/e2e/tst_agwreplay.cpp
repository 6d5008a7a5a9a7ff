// agw-replay and halvora1 --headless as separate processes over loopback TCP: every frame of
// the sample capture reaches the station's capture file unchanged, with records split across
// writes and several in one write. The simulator's server on its own: the call fields of its
// records and a client that asks too much.
#include "AgwReplayServer.h"
#include "decode/SatelliteFrames.h"
#include "link/AgwProtocol.h"
#include "support/HeadlessStation.h"
#include "support/Programs.h"

#include <QProcess>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>

namespace {

constexpr int Generous = 60000;
const QByteArray SatelliteShort = SatelliteFrames::Prefix + QByteArray::fromHex("0206007A02032076C0DB");

bool isSatelliteFrame(const QByteArray &data)
{
    return data.startsWith(SatelliteFrames::Prefix.left(16)); // up to the control byte
}

QByteArray callField(const QByteArray &record, int offset)
{
    return QByteArray(record.constData() + offset, qstrnlen(record.constData() + offset, AgwProtocol::CallsignSize));
}

} // namespace

class TestAgwReplay : public QObject
{
    Q_OBJECT
private slots:
    void sampleArrivesWhole()
    {
        QStringList expected;
        const QString sample = qEnvironmentVariable("HALVORA_SOURCE_DIR") + "/samples/halvora1-sample.kss";
        for (const CaptureFileReader::Record &record : readCaptureRecords(sample)) {
            if (record.kind != CaptureFileReader::Kind::Frame)
                continue;
            expected << record.data.toHex(' ');
            if (isSatelliteFrame(record.data)) {
                expected << "time";
            }
        }
        QVERIFY(expected.size() > 100);

        ScopedProcess replay;
        replay.start(builtProgram(u"agw-replay"_qs), {"--port", "0", "--rate", "0", "--exit-when-done", "--split",
                                                      "--coalesce"});
        QTRY_VERIFY(replay.canReadLine());
        const QByteArray listening = replay.readLine().trimmed();
        QVERIFY2(listening.startsWith("listening on 127.0.0.1:"), listening.constData());
        QTemporaryDir dir;
        HeadlessStation station(dir.path());
        QVERIFY(station.writeConfiguration(QString::fromLatin1(listening.mid(listening.lastIndexOf(' ') + 1))));
        QVERIFY(station.start());
        QTRY_COMPARE_WITH_TIMEOUT(station.captureSummary().size(), expected.size(), Generous);
        // The simulator leaves once the last frame has gone to its only client.
        QTRY_VERIFY_WITH_TIMEOUT(replay.state() == QProcess::NotRunning, Generous);
        QCOMPARE(replay.exitCode(), 0);
        QVERIFY(replay.readAllStandardOutput().endsWith("all frames sent\n"));
        const QByteArray statusLine = "RX packets: " + QByteArray::number(expected.count("time")) + " | HTTP POST OK: 0";
        QTRY_VERIFY_WITH_TIMEOUT(station.output().contains(statusLine), Generous);
        QVERIFY(station.stop());

        // Frame records byte for byte, each satellite frame followed by its time record.
        QCOMPARE(station.captureSummary(), expected);
    }

    void commandLineErrors()
    {
        QTemporaryDir dir;
        const QString damaged = dir.filePath(QStringLiteral("capture.kss"));
        QVERIFY(writeFile(damaged, QByteArray::fromHex("C0000102C0C000DB05C0")));
        for (const auto &[file, error] : {std::pair{u"/nonexistent/x.kss"_qs, u"/nonexistent/x.kss: cannot open"_qs},
                                          {damaged, u"damaged at byte offset 7, after 1 good frame records: "
                                                    "invalid escape"_qs}}) {
            const ProgramRun run = runProgram(QStringLiteral("agw-replay"), {"--port", "0", file});
            QVERIFY(run.exitCode > 0);
            QVERIFY2(QString::fromUtf8(run.err).contains(error), run.err.constData());
            QVERIFY(!run.out.contains("listening on"));
        }
    }

    void callFields_data()
    {
        QTest::addColumn<QByteArray>("frame"); // KISS command byte and AX.25 frame
        QTest::addColumn<QByteArray>("from");
        QTest::addColumn<QByteArray>("to");
        QTest::newRow("satellite") << SatelliteShort << QByteArray("XR9K-11") << QByteArray("XR9KG-1");
        QTest::newRow("foreign") << QByteArray::fromHex("0082A0A4A640406088986290ACA47303F0") + "!hello"
                                 << QByteArray("DL1HVR-9") << QByteArray("APRS");
        QTest::newRow("addresses only") << SatelliteShort.left(15) << QByteArray("XR9K-11") << QByteArray("XR9KG-1");
        QTest::newRow("no addresses") << SatelliteShort.left(14) << QByteArray() << QByteArray();
    }

    void callFields()
    {
        QFETCH(QByteArray, frame);
        QFETCH(QByteArray, from);
        QFETCH(QByteArray, to);
        // The kind, length and data reach the station in sampleArrivesWhole.
        const QByteArray record = AgwReplayServer::rawFrameRecord(frame);
        QCOMPARE(callField(record, AgwProtocol::FromCallOffset), from);
        QCOMPARE(callField(record, AgwProtocol::ToCallOffset), to);
    }

    void oversizeRequestClosesTheClient()
    {
        AgwReplayServer server({SatelliteShort}, {});
        QVERIFY(server.listen(QHostAddress::LocalHost, 0));
        QTcpSocket client;
        client.connectToHost(QHostAddress::LocalHost, server.serverPort());
        client.write(AgwProtocol::header('X', AgwProtocol::MaxDataLength + 1));
        QTRY_COMPARE_WITH_TIMEOUT(client.state(), QAbstractSocket::UnconnectedState, Generous);
    }
};

QTEST_GUILESS_MAIN(TestAgwReplay)
#include "tst_agwreplay.moc"
