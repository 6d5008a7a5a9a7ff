// agw-replay and halvora1 --headless as separate processes over loopback TCP: every frame of
// the sample capture reaches the station's capture file unchanged, whatever the write pattern.
#include "decode/SatelliteFrames.h"
#include "support/HeadlessStation.h"
#include "support/Programs.h"

#include <QDir>
#include <QProcess>
#include <QRegularExpression>
#include <QTcpServer>
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

} // namespace

class TestAgwReplay : public QObject
{
    Q_OBJECT
private slots:
    void sampleArrivesWhole_data();
    void sampleArrivesWhole();
    void commandLineErrors_data();
    void commandLineErrors();
    void sampleMatchesItsGenerator();
};

void TestAgwReplay::sampleArrivesWhole_data()
{
    QTest::addColumn<QStringList>("writeMode");
    QTest::newRow("one record per write") << QStringList{};
    QTest::newRow("records split across writes") << QStringList{QStringLiteral("--split")};
    QTest::newRow("several records per write") << QStringList{QStringLiteral("--coalesce")};
    QTest::newRow("split and coalesced")
        << QStringList{QStringLiteral("--split"), QStringLiteral("--coalesce")};
}

void TestAgwReplay::sampleArrivesWhole()
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

void TestAgwReplay::commandLineErrors_data()
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

void TestAgwReplay::commandLineErrors()
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

void TestAgwReplay::sampleMatchesItsGenerator()
{
    // The committed sample must be what the committed generator writes.
    QTemporaryDir dir;
    const QString fresh = dir.filePath(QStringLiteral("fresh.kss"));
    QCOMPARE(runProgram(QStringLiteral("make-sample"), {fresh}).exitCode, 0);
    const QByteArray committed = readFile(samplePath());
    QVERIFY(!committed.isEmpty());
    QVERIFY(committed == readFile(fresh));
}

QTEST_GUILESS_MAIN(TestAgwReplay)
#include "tst_agwreplay.moc"
