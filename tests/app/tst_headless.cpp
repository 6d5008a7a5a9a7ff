// halvora1 as a user runs it: --headless against a loopback packet engine, the command line.
#include "support/AgwLoopbackServer.h"

#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>

namespace {
QString program()
{
    return qEnvironmentVariable("HALVORA_BIN_DIR") + QStringLiteral("/halvora1");
}
} // namespace

class TestHeadless : public QObject
{
    Q_OBJECT
private slots:
    void commandLine_data();
    void commandLine();
    void receivesAndExitsOnSignal_data();
    void receivesAndExitsOnSignal();
    void startupErrorGoesToStderrAndKeepsRunning();
};

void TestHeadless::commandLine_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("output"); // expected in stdout or stderr
    QTest::newRow("help") << QStringList{"--help"} << 0 << "--station-dir";
    QTest::newRow("version") << QStringList{"--version"} << 0 << "halvora1 1.4";
    QTest::newRow("unknown option") << QStringList{"--frobnicate"} << 2 << "Unknown option";
    QTest::newRow("stray argument") << QStringList{"--headless", "extra"} << 2 << "unexpected argument";
}

void TestHeadless::commandLine()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, exitCode);
    QFETCH(QString, output);
    QProcess process;
    process.start(program(), arguments);
    QVERIFY(process.waitForFinished(10000));
    QCOMPARE(process.exitCode(), exitCode);
    const QString all = QString::fromUtf8(process.readAllStandardOutput() + process.readAllStandardError());
    QVERIFY2(all.contains(output), qPrintable(all));
}

void TestHeadless::receivesAndExitsOnSignal_data()
{
    QTest::addColumn<int>("signal");
    QTest::newRow("SIGTERM") << int(SIGTERM);
    QTest::newRow("SIGINT") << int(SIGINT);
}

void TestHeadless::receivesAndExitsOnSignal()
{
    QFETCH(int, signal);
    AgwLoopbackServer server;
    QTemporaryDir dir;
    QFile config(dir.filePath(QStringLiteral("online_conf.ini")));
    QVERIFY(config.open(QIODevice::WriteOnly));
    config.write("PORT=" + server.portValue().toLatin1() + "\r\nMYCALL=N0CALL\r\n");
    config.close();

    QProcess process;
    process.start(program(), {"--headless", "--no-upload", "--station-dir", dir.path()});
    QVERIFY(process.waitForStarted());
    QTRY_COMPARE_WITH_TIMEOUT(server.received().size(), 72, 10000);
    server.send(AgwLoopbackServer::rawFrameRecord(
        QByteArray::fromHex("00B0A472968E4062B0A4729640407703F0")));
    QByteArray out;
    QTRY_VERIFY_WITH_TIMEOUT((out += process.readAllStandardOutput()).contains("RX packets: 1"), 10000);

    ::kill(pid_t(process.processId()), signal);
    QVERIFY(process.waitForFinished(10000));
    QCOMPARE(process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(process.exitCode(), 0);
    out += process.readAllStandardOutput();

    const QStringList lines = QString::fromUtf8(out).split(u'\n', Qt::SkipEmptyParts);
    const QRegularExpression entry(QStringLiteral(R"(^\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3}: (.*)$)"));
    QStringList messages;
    for (const QString &line : lines) {
        const auto match = entry.match(line);
        if (match.hasMatch())
            messages << match.captured(1);
    }
    QCOMPARE(messages.value(0), server.portValue() + QStringLiteral(" |  | N0CALL |  | "));
    QCOMPARE(messages.value(1), QStringLiteral("Winsock RemoteHost: 127.0.0.1"));
    QVERIFY(messages.contains(QStringLiteral("AGW winsock connection made")));
    QVERIFY(lines.contains(QStringLiteral("RX packets: 0 | HTTP POST OK: 0")));

    // The Exit path closed the capture file with its two records in it.
    const QStringList captures = QDir(dir.path()).entryList({QStringLiteral("N0CALL_*.kss")});
    QCOMPARE(captures.size(), 1);
    QFile capture(dir.filePath(captures.first()));
    QVERIFY(capture.open(QIODevice::ReadOnly));
    const QByteArray bytes = capture.readAll();
    QVERIFY(bytes.startsWith(QByteArray::fromHex("C000B0A472968E4062B0A4729640407703F0C0C009")));
    QCOMPARE(bytes.size(), 19 + 30);
}

void TestHeadless::startupErrorGoesToStderrAndKeepsRunning()
{
    QTemporaryDir dir; // no online_conf.ini
    QProcess process;
    process.start(program(), {"--headless", "--station-dir", dir.path()});
    QByteArray err;
    QTRY_VERIFY_WITH_TIMEOUT((err += process.readAllStandardError()).contains("Error # 53"), 10000);
    QVERIFY(err.contains("Open Error"));
    QCOMPARE(process.state(), QProcess::Running);
    process.terminate();
    QVERIFY(process.waitForFinished(10000));
    QCOMPARE(process.exitCode(), 0);
}

QTEST_GUILESS_MAIN(TestHeadless)
#include "tst_headless.moc"
