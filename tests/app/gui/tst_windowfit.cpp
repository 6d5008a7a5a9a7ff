#include "app/Station.h"
#include "app/gui/ClientScrollArea.h"
#include "app/gui/MainWindow.h"
#include "support/StationHarness.h"

#include <QApplication>
#include <QTemporaryDir>
#include <QScreen>
#include <QScrollBar>
#include <QTest>

namespace {

struct Opened
{
    Opened() : harness("PORT=127.0.0.1:1\r\nMYCALL=XR9ABC\r\n"), window(*harness.station)
    {
        harness.station->start();
        window.show();
    }
    ClientScrollArea *scrollArea() const { return qobject_cast<ClientScrollArea *>(window.centralWidget()); }
    StationHarness harness;
    MainWindow window;
};

const QSize LaptopScreen(1366, 768);

// The controls of the hidden strip, which lie beyond the client area's right edge.
const char *const HiddenStrip[] = {"connectButton", "postButton", "portList", "headerList",
                                   "transferStateList", "rawFrameView", "selector_66",
                                   "valueBox_67"};

} // namespace

class TestWindowFit : public QObject
{
    Q_OBJECT
private slots:

    // Opened on the laptop screen, the window is only too high: it scrolls, and the hidden strip
    // stays out of sight however far it is scrolled.
    void scrollingAndHiddenStrip()
    {
        Opened opened;
        QVERIFY(QTest::qWaitForWindowExposed(&opened.window));
        QCOMPARE(opened.window.screen()->availableGeometry().size(), LaptopScreen);
        QVERIFY(opened.window.height() <= LaptopScreen.height());
        // The client area keeps its size whatever the window's: it scrolls, never stretches.
        QCOMPARE(opened.window.clientArea()->size(), QSize(MainWindow::ClientWidth, MainWindow::ClientHeight));
        ClientScrollArea *scroll = opened.scrollArea();
        QVERIFY(!scroll->horizontalScrollBar()->isVisible());
        QVERIFY(scroll->verticalScrollBar()->isVisible());

        // The activity log in the bottom corner can always be brought into view.
        auto *log = opened.window.findChild<QWidget *>(u"activityLogView"_qs);
        scroll->ensureWidgetVisible(log, 0, 0);
        QVERIFY(!log->visibleRegion().isEmpty());
        // Scrolled as far as it goes to the right and down, the strip still does not show.
        scroll->horizontalScrollBar()->setValue(scroll->horizontalScrollBar()->maximum());
        scroll->verticalScrollBar()->setValue(scroll->verticalScrollBar()->maximum());
        for (const char *control : HiddenStrip)
            QVERIFY2(opened.window.findChild<QWidget *>(QString::fromLatin1(control))->visibleRegion().isEmpty(), control);
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
