#include "app/Station.h"
#include "app/gui/MainWindow.h"
#include "app/gui/SettingsDialog.h"
#include "support/AgwLoopbackServer.h"
#include "support/LoopbackHttpServer.h"
#include "support/Programs.h"
#include "support/StationHarness.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSaveFile>
#include <QTest>

namespace {

// A station and its window with the Settings dialog open.
struct Opened
{
    explicit Opened(const QByteArray &config)
        : harness(config), station(*harness.station), window(station)
    {
        station.start();
        if (station.configurationWatcher())
            station.configurationWatcher()->setSettleInterval(20);
        window.show();
        window.openSettings();
    }
    SettingsDialog *dialog() const { return window.settingsDialog(); }
    QLineEdit *field(const QString &key) const { return dialog()->findChild<QLineEdit *>(key); }
    QPushButton *saveButton() const
    {
        return dialog()->findChild<QPushButton *>(QStringLiteral("saveButton"));
    }
    QString configPath() const { return harness.path(QStringLiteral("online_conf.ini")); }
    bool logHas(const QString &message) const { return harness.logMessages().contains(message); }

    StationHarness harness;
    Station &station;
    MainWindow window;
};

QByteArray validConfig(const QByteArray &port = "127.0.0.1:1")
{
    return "PORT=" + port + "\r\nSERVER=http://127.0.0.1:1/upload\r\nMYCALL=XR9ABC\r\n"
           "QTH_LAT=48.1\r\nQTH_LONG=11.5\r\n";
}

// Replaces the file the way editors and QSaveFile do: a new file renamed over the old one.
bool replaceFile(const QString &path, const QByteArray &content)
{
    QSaveFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(content) == content.size() && file.commit();
}

} // namespace

class TestSettings : public QObject
{
    Q_OBJECT
private slots:

    void validation_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("text"); // "@dir" stands for the station directory
        QTest::addColumn<bool>("accepted");

        const auto row = [](const char *name, const char *key, const char *text, bool accepted) {
            QTest::newRow(name) << QString::fromLatin1(key) << QString::fromUtf8(text) << accepted;
        };
        row("port host:port", "PORT", "localhost:8000", true);
        row("port IPv6", "PORT", "[::1]:8000", true);
        row("port IPv6 without brackets", "PORT", "::1:8000", false);
        row("port zero", "PORT", "127.0.0.1:0", false);
        row("port above 65535", "PORT", "127.0.0.1:65536", false);
        row("port without colon", "PORT", "127.0.0.1", false);
        row("port without host", "PORT", ":8000", false);
        row("server https", "SERVER", "https://127.0.0.1/upload", true);
        row("server ftp", "SERVER", "ftp://127.0.0.1/upload", false);
        row("server empty", "SERVER", "", false);
        row("callsign portable", "MYCALL", "DL0TST/P", true);
        row("callsign climbing out", "MYCALL", "../../x", false);
        row("callsign too long", "MYCALL", "ABCDEFGHIJKLM", false);
        row("callsign empty", "MYCALL", "", false);
        row("latitude south", "QTH_LAT", "-89.5", true);
        row("latitude beyond the pole", "QTH_LAT", "90.1", false);
        row("longitude west edge", "QTH_LONG", "-180", true);
        row("longitude with exponent", "QTH_LONG", "1e2", false);
        row("longitude with comma", "QTH_LONG", "11,5", false);
        row("image directory", "IMAGE_PATH", "@dir/", true);
        row("image directory missing", "IMAGE_PATH", "@dir/missing/", false);
        row("image path is a file", "IMAGE_PATH", "@dir/online_conf.ini", false);
        row("image path empty", "IMAGE_PATH", "", false);
    }

    void validation()
    {
        QFETCH(QString, key);
        QFETCH(QString, text);
        QFETCH(bool, accepted);
        Opened opened(validConfig());
        QVERIFY(opened.dialog());
        QVERIFY(opened.saveButton()->isEnabled()); // the file as written is valid

        QLineEdit *edit = opened.field(key);
        QVERIFY(edit);
        const QString asWritten = edit->text();
        edit->setText(text.replace(QStringLiteral("@dir"), opened.harness.dir.path()));
        QCOMPARE(edit->property("invalid").toBool(), !accepted);
        QCOMPARE(opened.saveButton()->isEnabled(), accepted);
        const QString problem =
            opened.dialog()->findChild<QLabel *>(QStringLiteral("problemLabel"))->text();
        QCOMPARE(problem.startsWith(key + u':'), !accepted);

        // Typing it right again enables Save.
        edit->setText(asWritten);
        QVERIFY(opened.saveButton()->isEnabled());
        QVERIFY(!edit->property("invalid").toBool());
    }

    void savedFileKeepsItsShape_data()
    {
        QTest::addColumn<QByteArray>("lineEnd");
        QTest::newRow("CR LF") << QByteArray("\r\n");
        QTest::newRow("LF") << QByteArray("\n");
    }

    void savedFileKeepsItsShape()
    {
        QFETCH(QByteArray, lineEnd);
        const QByteArray before = QByteArray(
            "# station settings\r\n"
            "MYCALL=XR9ABC\r\n"
            "PORT = 127.0.0.1:1 \r\n"
            "\r\n"
            "# where frames go\r\n"
            "SERVER=http://127.0.0.1:1/upload\r\n"
            "CLUB=keep me\r\n"
            "QTH_LAT=48.1\r\nQTH_LONG=11.5\r\n").replace("\r\n", lineEnd);
        Opened opened(before);
        opened.field(QStringLiteral("SERVER"))->setText(QStringLiteral("https://127.0.0.1:2/frames"));
        opened.field(QStringLiteral("QTH_LAT"))->setText(QStringLiteral("-33.25"));
        QTest::mouseClick(opened.saveButton(), Qt::LeftButton);

        QTRY_VERIFY(!opened.dialog()); // closed on success
        const QByteArray expected = QByteArray(
            "# station settings\r\n"
            "MYCALL=XR9ABC\r\n"
            "PORT = 127.0.0.1:1 \r\n"
            "\r\n"
            "# where frames go\r\n"
            "SERVER=https://127.0.0.1:2/frames\r\n"
            "CLUB=keep me\r\n"
            "QTH_LAT=-33.25\r\nQTH_LONG=11.5\r\n").replace("\r\n", lineEnd);
        QCOMPARE(readFile(opened.configPath()), expected);
        QCOMPARE(opened.station.configuration().server, QStringLiteral("https://127.0.0.1:2/frames"));
        QCOMPARE(opened.station.configuration().qthLat, QStringLiteral("-33.25"));
        QVERIFY(opened.logHas(QStringLiteral("settings saved: applied")));
    }

    void invalidFieldWritesNothing()
    {
        Opened opened(validConfig());
        opened.field(QStringLiteral("MYCALL"))->setText(QStringLiteral("../x"));
        QTest::mouseClick(opened.saveButton(), Qt::LeftButton);
        QVERIFY(opened.dialog()); // still open
        QCOMPARE(readFile(opened.configPath()), validConfig());
        QCOMPARE(opened.station.configuration().mycall, QStringLiteral("XR9ABC"));
    }

    void failedSaveKeepsTheDialogOpen()
    {
        Opened opened(validConfig());
        // A file the writer refuses to touch: far larger than any configuration.
        const QByteArray huge = validConfig() + QByteArray(70 * 1024, '#');
        QVERIFY(writeFile(opened.configPath(), huge));
        opened.field(QStringLiteral("MYCALL"))->setText(QStringLiteral("DL0TST"));
        QTest::mouseClick(opened.saveButton(), Qt::LeftButton);
        QVERIFY(opened.dialog() && opened.dialog()->isVisible());
        const QString shown =
            opened.dialog()->findChild<QLabel *>(QStringLiteral("problemLabel"))->text();
        QVERIFY2(shown.startsWith(QStringLiteral("Not saved: ") + opened.configPath()), qPrintable(shown));
        QCOMPARE(readFile(opened.configPath()), huge);
        QCOMPARE(opened.station.configuration().mycall, QStringLiteral("XR9ABC"));
    }

    void newPortReconnects()
    {
        AgwLoopbackServer first;
        AgwLoopbackServer second;
        Opened opened(validConfig(first.portValue().toLatin1()));
        QTRY_COMPARE(first.connectionCount(), 1);
        QTRY_VERIFY(!first.received().isEmpty()); // the start requests

        opened.field(QStringLiteral("PORT"))->setText(second.portValue());
        QTest::mouseClick(opened.saveButton(), Qt::LeftButton);
        QTRY_VERIFY(!opened.dialog());
        QTRY_COMPARE(second.connectionCount(), 1);
        QTRY_VERIFY(!second.received().isEmpty()); // start requests sent on the new link
        QCOMPARE(first.connectionCount(), 1);
        QVERIFY(opened.logHas(QStringLiteral("Winsock RemotePort: %1").arg(second.port())));
        QVERIFY(readFile(opened.configPath()).contains("PORT=" + second.portValue().toLatin1() + "\r\n"));
    }

    void newServerAndPositionApplyToTheNextFrame()
    {
        LoopbackHttpServer before;
        LoopbackHttpServer after;
        QVERIFY(before.start() && after.start());
        Opened opened("PORT=127.0.0.1:1\r\nSERVER=" + before.url().toLatin1() +
                      "\r\nMYCALL=XR9ABC\r\nQTH_LAT=48.1\r\nQTH_LONG=11.5\r\n");
        const QByteArray frame = AgwLoopbackServer::rawFrameRecord(
            QByteArray::fromHex("00B0A472968E4062B0A472964040770301020304"));
        opened.station.handleRecord(frame);
        QTRY_COMPARE(before.requests().size(), 1);
        QVERIFY(before.requests().first().body.contains("&latitude=48.1"));

        opened.field(QStringLiteral("SERVER"))->setText(after.url());
        opened.field(QStringLiteral("QTH_LAT"))->setText(QStringLiteral("-33.25"));
        opened.field(QStringLiteral("QTH_LONG"))->setText(QStringLiteral("151.2"));
        QTest::mouseClick(opened.saveButton(), Qt::LeftButton);
        opened.station.handleRecord(frame);
        QTRY_COMPARE(after.requests().size(), 1);
        const QByteArray body = after.requests().first().body;
        QVERIFY2(body.contains("&longitude=151.2&latitude=-33.25"), body.constData());
        QCOMPARE(before.requests().size(), 1);
    }

    void screenshotButtonFollowsSetting()
    {
        Opened opened(validConfig() + "SCREENSHOT=YES\r\n");
        auto *button = opened.window.findChild<QPushButton *>(QStringLiteral("screenshotButton"));
        QVERIFY(button->isVisible());
        auto *box = opened.dialog()->findChild<QCheckBox *>(QStringLiteral("screenshotBox"));
        QVERIFY(box->isChecked());
        box->setChecked(false);
        QTest::mouseClick(opened.saveButton(), Qt::LeftButton);
        QVERIFY(!button->isVisible());
        QVERIFY(readFile(opened.configPath()).endsWith("SCREENSHOT=NO\r\n"));
    }

    void callsignNoteAndUnchangedCapture()
    {
        Opened opened(validConfig());
        QVERIFY(opened.dialog()->findChild<QLabel *>(QStringLiteral("noteLabel"))->text().contains(
            QStringLiteral("next capture file")));
        const QString capture = opened.station.captureFilePath();
        opened.field(QStringLiteral("MYCALL"))->setText(QStringLiteral("DL0TST/P"));
        QTest::mouseClick(opened.saveButton(), Qt::LeftButton);
        QCOMPARE(opened.station.configuration().mycall, QStringLiteral("DL0TST/P"));
        QCOMPARE(opened.station.captureFilePath(), capture); // the open file keeps its name
    }

    void externalEditIsApplied()
    {
        Opened opened(validConfig() + "SCREENSHOT=YES\r\n");
        auto *button = opened.window.findChild<QPushButton *>(QStringLiteral("screenshotButton"));
        const QString applied = QStringLiteral("configuration file changed: applied");

        QVERIFY(replaceFile(opened.configPath(),
                            "PORT=127.0.0.1:1\r\nSERVER=https://127.0.0.1:3/x\r\nMYCALL=XR9ABC\r\n"));
        QTRY_COMPARE(opened.station.configuration().server, QStringLiteral("https://127.0.0.1:3/x"));
        QVERIFY(opened.logHas(applied));
        QVERIFY(button->isVisible()); // no SCREENSHOT line: the designed state

        // The file was replaced, so only the directory watch still sees it: a second edit too.
        QVERIFY(replaceFile(opened.configPath(),
                            "PORT=127.0.0.1:1\r\nSERVER=https://127.0.0.1:3/x\r\nMYCALL=XR9ABC\r\n"
                            "SCREENSHOT=NO\r\n"));
        QTRY_VERIFY(!button->isVisible());

        // An edit in place (no rename) is noticed through the file's own watch.
        QVERIFY(writeFile(opened.configPath(),
                          "PORT=127.0.0.1:1\r\nSERVER=https://127.0.0.1:4/y\r\nMYCALL=XR9ABC\r\n"
                          "SCREENSHOT=NO\r\n"));
        QTRY_COMPARE(opened.station.configuration().server, QStringLiteral("https://127.0.0.1:4/y"));
    }

    void fileRemovedAndWrittenAgain()
    {
        Opened opened(validConfig());
        // Some editors and copy tools delete the file and write a new one later.
        QVERIFY(QFile::remove(opened.configPath()));
        QTRY_VERIFY(opened.logHas(
            QStringLiteral("configuration file changed: not applied: 53 File not found")));
        QVERIFY(writeFile(opened.configPath(),
                          "PORT=127.0.0.1:1\r\nSERVER=https://127.0.0.1:6/z\r\nMYCALL=XR9ABC\r\n"));
        QTRY_COMPARE(opened.station.configuration().server, QStringLiteral("https://127.0.0.1:6/z"));
        QVERIFY(opened.logHas(QStringLiteral("configuration file changed: applied")));
    }

    void brokenExternalEditIsNotApplied()
    {
        Opened opened(validConfig());
        QVERIFY(replaceFile(opened.configPath(), "PORT=127.0.0.1:1\r\nSERVER=\r\nMYCALL=XR9ABC\r\n"));
        QTRY_VERIFY(opened.logHas(
            QStringLiteral("configuration file changed: not applied: 380 SERVER is empty")));
        QCOMPARE(opened.station.configuration().server, QStringLiteral("http://127.0.0.1:1/upload"));

        QVERIFY(replaceFile(opened.configPath(), "PORT=127.0.0.1\r\nSERVER=http://127.0.0.1:5/\r\nMYCALL=XR9ABC\r\n"));
        QTRY_VERIFY(opened.logHas(QStringLiteral(
            "configuration file changed: not applied: PORT 127.0.0.1: Invalid procedure call or argument")));
        QCOMPARE(opened.station.configuration().port, QStringLiteral("127.0.0.1:1"));
        QCOMPARE(opened.station.configuration().server, QStringLiteral("http://127.0.0.1:1/upload"));
    }

    void ownSaveIsNotReportedAsExternal()
    {
        Opened opened(validConfig());
        opened.field(QStringLiteral("QTH_LONG"))->setText(QStringLiteral("12"));
        QTest::mouseClick(opened.saveButton(), Qt::LeftButton);
        // Let the watcher see the saved file and settle.
        QTest::qWait(300);
        const QStringList messages = opened.harness.logMessages();
        QCOMPARE(messages.count(QStringLiteral("settings saved: applied")), 1);
        for (const QString &message : messages)
            QVERIFY2(!message.startsWith(QStringLiteral("configuration file changed")), qPrintable(message));
    }
};

QTEST_MAIN(TestSettings)
#include "tst_settings.moc"
