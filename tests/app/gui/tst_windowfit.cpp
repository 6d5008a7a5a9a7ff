#include "app/Station.h"
#include "app/gui/ClientScrollArea.h"
#include "app/gui/MainWindow.h"
#include "support/StationHarness.h"

#include <QApplication>
#include <QTemporaryDir>
#include <QScreen>
#include <QScrollBar>
#include <QTest>

const QSize LaptopScreen(1366, 768);

class TestWindowFit : public QObject
{
    Q_OBJECT
private slots:
    // Opened on the laptop screen, the window is only too high: it fits the screen and scrolls.
    void fitsAndScrolls()
    {
        StationHarness harness("PORT=127.0.0.1:1\r\nMYCALL=XR9ABC\r\n");
        MainWindow window(*harness.station);
        harness.station->start();
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QCOMPARE(window.screen()->availableGeometry().size(), LaptopScreen);
        QVERIFY(window.height() <= LaptopScreen.height());
        auto *scroll = qobject_cast<ClientScrollArea *>(window.centralWidget());
        QVERIFY(!scroll->horizontalScrollBar()->isVisible());
        QVERIFY(scroll->verticalScrollBar()->isVisible());
    }
};

// The window opens on a screen of a common laptop, 1366 x 768, lower than the client area.
int main(int argc, char **argv)
{
    QTemporaryDir dir;
    const QString config = dir.filePath(u"screens.json"_qs);
    if (!writeFile(config, u"{\"screens\": [{\"name\": \"laptop\", \"x\": 0, \"y\": 0, \"width\": %1, \"height\": %2, "
                           "\"logicalDpi\": 96, \"logicalBaseDpi\": 96, \"dpr\": 1}]}"_qs
                               .arg(LaptopScreen.width()).arg(LaptopScreen.height()).toUtf8()))
        return 1;
    qputenv("QT_QPA_PLATFORM", "offscreen:configfile=" + config.toUtf8());
    QApplication app(argc, argv);
    TestWindowFit test;
    return QTest::qExec(&test, argc, argv);
}
#include "tst_windowfit.moc"
