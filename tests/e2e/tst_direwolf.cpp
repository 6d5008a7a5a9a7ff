// halvora1 --headless against a real AGW packet engine: Dire Wolf, its audio looped back through
// a FIFO. Frames written to its KISS port are modulated, demodulated and delivered to the station
// on its AGW port; the capture file and the log must show them byte for byte.
#include "support/HeadlessStation.h"
#include "support/Programs.h"

#include "link/Kiss.h"

#include <QDir>
#include <QProcess>
#include <QStandardPaths>
#include <QTcpSocket>
#include <QTest>

#include <sys/stat.h>

namespace {

constexpr int Generous = 90000;

// KISS command byte (port 0, data), AX.25 addresses and PID: the start of what a "K" record carries.
const QByteArray Satellite = QByteArray::fromHex("00B0A472968E4062B0A4729640407703F0");
const QByteArray Foreign = QByteArray::fromHex("0082A0A4A640406088986290ACA47303F0");

// Dire Wolf on two loopback ports, run in its own directory. Its transmit audio goes into the
// FIFO it also reads: a radio link without a radio. The FIFO name stays relative, since Dire Wolf
// cuts long output names; read-write on the FIFO, it never sees an end of input.
bool startDireWolf(QProcess &process, const QString &dir, quint16 agwPort, quint16 kissPort)
{
    const QByteArray conf = QStringLiteral("ADEVICE stdin file:loop.fifo,raw\nARATE 44100\nACHANNELS 1\n"
                                           "CHANNEL 0\nMODEM 1200\nFULLDUP OFF\nDWAIT 0\nSLOTTIME 50\n"
                                           "PERSIST 255\nTXDELAY 10\nTXTAIL 2\nAGWPORT %1\nKISSPORT %2\n")
                                .arg(agwPort).arg(kissPort).toLatin1();
    if (!writeFile(QDir(dir).filePath(QStringLiteral("dw.conf")), conf) ||
        ::mkfifo(QFile::encodeName(QDir(dir).filePath(QStringLiteral("loop.fifo"))).constData(), 0600) != 0)
        return false;
    process.setWorkingDirectory(dir);
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(QStringLiteral("/bin/sh"), // exec keeps the PID Dire Wolf's
                  {QStringLiteral("-c"), QStringLiteral("exec direwolf -t 0 -q hd -d a -c dw.conf <> loop.fifo")});
    return process.waitForStarted(10000);
}

} // namespace

class TestDireWolf : public QObject
{
    Q_OBJECT
private slots:
    void framesArriveByteForByte()
    {
        QVERIFY2(!QStandardPaths::findExecutable(QStringLiteral("direwolf")).isEmpty(),
                 "direwolf is not installed (scripts/setup installs it)");
        QByteArray pattern; // every byte value, 0xC0 and 0xDB among them
        for (int i = 0; i < 230; ++i)
            pattern.append(char((i * 37 + 11) & 0xFF));
        const QList<QByteArray> frames{
            Satellite + QByteArray::fromHex("0206007A02032076C0DB"),
            Foreign + "!5230.12N/01322.45E>" + QByteArray::fromHex("C0DBDCDD"),
            Satellite + pattern,
        };

        // The capture file: every frame byte for byte, a time record after each satellite frame.
        QStringList expected;
        QByteArray stream;
        for (const QByteArray &f : frames) {
            Kiss::appendFrameRecord(stream, f);
            expected << f.toHex(' ');
            if (f.startsWith(Satellite))
                expected << "time";
        }

        QTemporaryDir dir; // Dire Wolf's files and the station's
        const quint16 agwPort = freeLoopbackPort();
        quint16 kissPort = agwPort;
        while (kissPort == agwPort)
            kissPort = freeLoopbackPort();

        ScopedProcess direwolf;
        QByteArray direwolfOutput;
        const auto output = [&] { return direwolfOutput += direwolf.readAll(); };
        QVERIFY(startDireWolf(direwolf, dir.path(), agwPort, kissPort));
        QTRY_VERIFY2_WITH_TIMEOUT(output().contains("Ready to accept KISS TCP client"), output().constData(),
                                  Generous);
        HeadlessStation station(dir.path());
        QVERIFY(station.writeConfiguration(QStringLiteral("127.0.0.1:%1").arg(agwPort)));
        QVERIFY(station.start());
        // Frames decoded before the station's "k" are never delivered: wait until it took effect.
        QTRY_VERIFY2_WITH_TIMEOUT(output().contains("Activate reception of Frames in raw format"),
                                  output().constData(), Generous);

        QTcpSocket kiss;
        kiss.connectToHost(QHostAddress::LocalHost, kissPort);
        QVERIFY(kiss.waitForConnected(Generous));
        kiss.write(stream);
        // Stay connected until the frames are out: closing would drop them.
        QTRY_COMPARE_WITH_TIMEOUT(station.captureSummary().size(), expected.size(), Generous);
        QTRY_VERIFY_WITH_TIMEOUT(station.output().contains("RX packets: 2 | HTTP POST OK: 0"), Generous);
        QVERIFY(station.stop());

        QCOMPARE(station.captureSummary(), expected);
        // The engine's own port list, from its answer to the station's "G".
        QVERIFY(station.output().contains(": total number of ports: 1;Port1 first soundcard mono;\n"));
    }
};

QTEST_GUILESS_MAIN(TestDireWolf)
#include "tst_direwolf.moc"
