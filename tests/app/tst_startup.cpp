// The start-up sequence stopping at each step, and the shutdown clean-up.
#include "support/AgwLoopbackServer.h"
#include "support/StationHarness.h"

#include <QDir>
#include <QSignalSpy>
#include <QTest>

class TestStartup : public QObject
{
    Q_OBJECT
private slots:
    void stopsAtFailingStep_data();
    void stopsAtFailingStep();
    void completeStart();
    void cleanupRemovesOnlyOwnEmptyFiles();
    void exitDeletesEmptyCaptureFile();
};

void TestStartup::stopsAtFailingStep_data()
{
    QTest::addColumn<QByteArray>("config"); // null: no file
    QTest::addColumn<QString>("report");    // "" when the start completes
    QTest::addColumn<QStringList>("log");   // messages, newest first (connection lines excluded)
    QTest::addColumn<bool>("captureFile");

    const QString head = QStringLiteral("The following error occured: \r\nError # ");
    QTest::newRow("missing file") << QByteArray() << head + "53\r\nonline_conf.ini File not found"
                                  << QStringList{} << false;
    QTest::newRow("empty file") << QByteArray("") << head + "62\r\nonline_conf.ini Input past end of file"
                                << QStringList{} << false;
    QTest::newRow("line without =")
        << QByteArray("MYCALL=A\r\nPORT\r\n")
        << head + "5\r\nonline_conf.ini Invalid procedure call or argument" << QStringList{} << false;
    QTest::newRow("PORT without colon")
        << QByteArray("PORT=localhost\r\nMYCALL=A\r\n")
        << head + "5\r\nonline_conf.ini Invalid procedure call or argument"
        << QStringList{"localhost |  | A |  | "} << false;
    QTest::newRow("empty PORT") << QByteArray("MYCALL=A\r\n")
                                << head + "5\r\nonline_conf.ini Invalid procedure call or argument"
                                << QStringList{" |  | A |  | "} << false;
    QTest::newRow("port not a number")
        << QByteArray("PORT=localhost:80a0\r\n") << head + "13\r\nonline_conf.ini Type mismatch"
        << QStringList{"localhost:80a0 |  |  |  | "} << false;
    QTest::newRow("port out of range")
        << QByteArray("PORT=localhost:70000\r\n")
        << head + "380\r\nonline_conf.ini Invalid property value"
        << QStringList{"localhost:70000 |  |  |  | "} << false;
    QTest::newRow("capture file cannot be created")
        << QByteArray("PORT=127.0.0.1:1\r\nMYCALL=no/such/dir\r\n")
        << head + "75\r\nonline_conf.ini Path/File access error"
        << QStringList{"Winsock RemotePort: 1", "Winsock RemoteHost: 127.0.0.1",
                       "127.0.0.1:1 |  | no/such/dir |  | "}
        << false;
}

void TestStartup::stopsAtFailingStep()
{
    QFETCH(QByteArray, config);
    QFETCH(QString, report);
    QFETCH(QStringList, log);
    QFETCH(bool, captureFile);

    StationHarness h(config);
    h.station->Form_Load();
    QCOMPARE(h.messageBoxes, QStringList{"Open Error|" + report});
    QStringList messages = h.logMessages();
    messages.removeIf([](const QString &m) { return m.startsWith(QStringLiteral("Winsock Error")); });
    QCOMPARE(messages, log);
    QCOMPARE(QDir(h.dir.path()).entryList({QStringLiteral("*.kss")}).isEmpty(), !captureFile);
    // Captions and units of the start-up never came; the chart channel stays 0.
    QCOMPARE(h.station->channelCaption(10), QString());
    QCOMPARE(h.station->channelUnit(19), QString());
    QCOMPARE(h.station->channelCaption(51), QStringLiteral("Reset counts"));
    QCOMPARE(h.station->selectedChannel(), 0);
    QCOMPARE(h.station->statusLine(), QStringLiteral("RX packets: 0 | HTTP POST OK: 0"));
}

void TestStartup::completeStart()
{
    StationHarness h("SCREENSHOT=NO\r\nPORT = 127.0.0.1:1 \r\n");
    QSignalSpy hidden(h.station.get(), &Station::screenshotButtonVisibleChanged);
    h.station->Form_Load();
    QVERIFY(h.messageBoxes.isEmpty());
    QCOMPARE(hidden.size(), 1);
    QVERIFY(!h.station->screenshotButtonVisible());
    // No MYCALL: the name begins with "_".
    QCOMPARE(QFileInfo(h.station->captureFilePath()).fileName(),
             QStringLiteral("_02082014_1305.kss"));
    QCOMPARE(QFileInfo(h.station->captureFilePath()).size(), 0);
    QCOMPARE(h.station->channelCaption(10), QStringLiteral("12V out"));
    QCOMPARE(h.station->channelUnit(10), QStringLiteral("V"));
    QCOMPARE(h.station->channelUnit(19), QStringLiteral("C"));
    QCOMPARE(h.station->channelUnit(54), QStringLiteral("dB"));
    QCOMPARE(h.station->channelUnit(80), QString::fromUtf8("\xC2\xB0/s"));
    QCOMPARE(h.station->channelUnit(92), QString());
    QCOMPARE(h.station->channelUnit(66), QStringLiteral("C"));
    QCOMPARE(h.station->selectedChannel(), 1);
}

void TestStartup::cleanupRemovesOnlyOwnEmptyFiles()
{
    QTemporaryDir working;
    StationOptions options;
    options.workingDir = working.path();
    StationHarness h("PORT=127.0.0.1:1\r\nMYCALL=N0CALL\r\n", options);
    h.station->Form_Load();

    auto make = [](const QString &path, const QByteArray &content) {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(content);
    };
    const QStringList removed{"N0CALL_01012026_0000.kss", "OTHER_31122025_2359.TXT",
                              "halvora1_05122026.bmp", "HALVORA1_05122026.png"};
    const QStringList kept{"Notes.TXT", "N0CALL_01012026_0001.kss.bak", "readme.kss"};
    for (const QString &name : removed + kept)
        make(working.filePath(name), {});
    make(working.filePath(QStringLiteral("N0CALL_02012026_0000.kss")), "x");
    make(h.path(QStringLiteral("N0CALL_03012026_0000.txt")), {});
    QVERIFY(QDir(working.path()).mkdir(QStringLiteral("empty_01012026_0000.kss")));

    h.station->Form_Unload();
    const QStringList left = QDir(working.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot);
    for (const QString &name : removed)
        QVERIFY2(!left.contains(name), qPrintable(name));
    for (const QString &name : kept + QStringList{"N0CALL_02012026_0000.kss", "empty_01012026_0000.kss"})
        QVERIFY2(left.contains(name), qPrintable(name));
    QVERIFY(!QFile::exists(h.path(QStringLiteral("N0CALL_03012026_0000.txt"))));
    QVERIFY(QFile::exists(h.path(QStringLiteral("online_conf.ini"))));
}

void TestStartup::exitDeletesEmptyCaptureFile()
{
    StationHarness h("PORT=127.0.0.1:1\r\nMYCALL=N0CALL\r\n");
    h.station->Form_Load();
    const QString capture = h.station->captureFilePath();
    QVERIFY(QFile::exists(capture));
    h.station->MnuExit_Click();
    h.station->Form_QueryUnload();
    h.station->Form_Unload();
    QVERIFY(!QFile::exists(capture));

    // A capture file with a record survives the exit.
    StationHarness g("PORT=127.0.0.1:1\r\nMYCALL=N0CALL\r\n");
    g.station->Form_Load();
    g.station->Winsock1_DataArrival(AgwLoopbackServer::rawFrameRecord(QByteArray(1, '\0')));
    g.station->MnuExit_Click();
    QCOMPARE(g.captureBytes(), QByteArray::fromHex("C000C0"));
}

QTEST_GUILESS_MAIN(TestStartup)
#include "tst_startup.moc"
