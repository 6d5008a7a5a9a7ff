// The Settings dialog (checks, saving, what a save changes at once) and edits of the file made
// outside the program while it runs.
#include "app/Station.h"
#include "app/gui/MainWindow.h"
#include "app/gui/SettingsDialog.h"
#include "support/AgwLoopbackServer.h"
#include "support/LoopbackHttpServer.h"
#include "support/Programs.h"
#include "support/StationHarness.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSaveFile>
#include <QTest>

namespace {

// A station and its window with the Settings dialog open.
struct Opened
{
    explicit Opened(const QByteArray &config) : harness(config), station(*harness.station), window(station)
    {
        station.start();
        if (station.configurationWatcher())
            station.configurationWatcher()->setSettleInterval(20);
        window.show();
        window.openSettings();
    }
    SettingsDialog *dialog() const { return window.settingsDialog(); }
    QLineEdit *field(const QString &key) const { return dialog()->findChild<QLineEdit *>(key); }
    QPushButton *saveButton() const { return dialog()->findChild<QPushButton *>(u"saveButton"_qs); }
    QString problem() const { return dialog()->findChild<QLabel *>(u"problemLabel"_qs)->text(); }
    void save(const QString &key, const QString &value)
    {
        field(key)->setText(value);
        QTest::mouseClick(saveButton(), Qt::LeftButton);
    }
    QString configPath() const { return harness.path(u"online_conf.ini"_qs); }
    bool logHas(const QString &message) const { return harness.logMessages().contains(message); }

    StationHarness harness;
    Station &station;
    MainWindow window;
};

QByteArray validConfig(const QByteArray &port = "127.0.0.1:1")
{
    return "PORT=" + port + "\r\nSERVER=http://127.0.0.1:1/upload\r\nMYCALL=XR9ABC\r\nQTH_LAT=48.1\r\nQTH_LONG=11.5\r\n";
}

} // namespace

class TestSettings : public QObject
{
    Q_OBJECT
private slots:
    // The rules themselves have a table of their own (tst_configuration); one field shows the
    // dialog's part: a wrong value disables Save until typed right again. A refused write is not
    // reported as saved: the dialog stays, the file and the running configuration keep what they had.
    void validationAndFailedSave()
    {
        Opened opened(validConfig());
        QLineEdit *edit = opened.field(u"IMAGE_PATH"_qs);
        const QString asWritten = edit->text();
        edit->setText(opened.harness.dir.filePath(u"missing/"_qs));
        QVERIFY(!opened.saveButton()->isEnabled());
        edit->setText(asWritten);
        QVERIFY(opened.saveButton()->isEnabled());

        const QByteArray file = validConfig() + QByteArray(70 * 1024, '#');
        QVERIFY(writeFile(opened.configPath(), file));
        opened.save(u"MYCALL"_qs, u"DL0TST"_qs);
        QVERIFY(opened.dialog() && opened.dialog()->isVisible());
        QVERIFY2(opened.problem().startsWith(u"Not saved: "_qs + opened.configPath()), qPrintable(opened.problem()));
        QCOMPARE(readFile(opened.configPath()), file);
        QCOMPARE(opened.station.configuration().mycall, u"XR9ABC"_qs);
    }

    // A save applies at once: a new PORT opens a new link, a new SERVER and position serve the
    // next frame.
    void savedValuesApplyAtOnce()
    {
        AgwLoopbackServer first;
        AgwLoopbackServer second;
        LoopbackHttpServer before;
        LoopbackHttpServer after;
        QVERIFY(before.start() && after.start());
        Opened opened("PORT=" + first.portValue().toLatin1() + "\r\nSERVER=" + before.url().toLatin1() +
                      "\r\nMYCALL=XR9ABC\r\nQTH_LAT=48.1\r\nQTH_LONG=11.5\r\n");
        QTRY_VERIFY(!first.received().isEmpty()); // the start requests
        const QByteArray frame =
            AgwLoopbackServer::rawFrameRecord(QByteArray::fromHex("00B0A472968E4062B0A472964040770301020304"));
        opened.station.handleRecord(frame);
        QTRY_COMPARE(before.requests().size(), 1);
        opened.field(u"PORT"_qs)->setText(second.portValue());
        opened.field(u"SERVER"_qs)->setText(after.url());
        opened.field(u"QTH_LAT"_qs)->setText(u"-33.25"_qs);
        opened.save(u"QTH_LONG"_qs, u"151.2"_qs);
        QTRY_VERIFY(!opened.dialog()); // closed on success
        QTRY_VERIFY(!second.received().isEmpty()); // start requests sent on the new link
        opened.station.handleRecord(frame);
        QTRY_COMPARE(after.requests().size(), 1);
        QVERIFY(before.requests().first().body.contains("&longitude=11.5&latitude=48.1"));
        QVERIFY(after.requests().first().body.contains("&longitude=151.2&latitude=-33.25"));
    }

    // Edits by other programs, one after another: replaced (as editors and QSaveFile do, so only
    // the directory watch still sees later ones), written in place, removed and written again;
    // a broken file is not applied.
    void externalEdits()
    {
        Opened opened(validConfig());
        const auto replace = [&](const QByteArray &content) {
            QSaveFile file(opened.configPath());
            return file.open(QIODevice::WriteOnly) && file.write(content) == content.size() && file.commit();
        };
        const auto withServer = [](const QByteArray &server) {
            return "PORT=127.0.0.1:1\r\nSERVER=" + server + "\r\nMYCALL=XR9ABC\r\n";
        };
        const auto server = [&] { return opened.station.configuration().server; };
        QVERIFY(replace(withServer("https://127.0.0.1:3/x")));
        QTRY_COMPARE(server(), u"https://127.0.0.1:3/x"_qs);
        QVERIFY(replace(withServer("https://127.0.0.1:4/x")));
        QTRY_COMPARE(server(), u"https://127.0.0.1:4/x"_qs);
        QVERIFY(writeFile(opened.configPath(), withServer("https://127.0.0.1:5/y")));
        QTRY_COMPARE(server(), u"https://127.0.0.1:5/y"_qs);

        QVERIFY(QFile::remove(opened.configPath()));
        QTRY_VERIFY(opened.logHas(u"configuration file changed: not applied: 53 File not found"_qs));
        QVERIFY(writeFile(opened.configPath(), withServer("https://127.0.0.1:6/z")));
        QTRY_COMPARE(server(), u"https://127.0.0.1:6/z"_qs);

        QVERIFY(replace(withServer("")));
        QTRY_VERIFY(opened.logHas(u"configuration file changed: not applied: 380 SERVER is empty"_qs));
        QCOMPARE(server(), u"https://127.0.0.1:6/z"_qs);
    }
};

QTEST_MAIN(TestSettings)
#include "tst_settings.moc"
