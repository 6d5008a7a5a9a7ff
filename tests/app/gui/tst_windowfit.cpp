#include "app/Station.h"
#include "app/gui/ClientScrollArea.h"
#include "app/gui/MainWindow.h"
#include "app/gui/StatusArea.h"
#include "support/StationHarness.h"

#include <QApplication>
#include <QLabel>
#include <QTemporaryDir>
#include <QScreen>
#include <QScrollBar>
#include <QStatusBar>
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

    void fittingSize_data()
    {
        QTest::addColumn<QSize>("available"); // for a client area of 744 x 850
        QTest::addColumn<QSize>("fitting");
        QTest::newRow("large screen") << QSize(1920, 1050) << QSize(744, 850);
        QTest::newRow("laptop 768 high") << QSize(1366, 740) << QSize(760, 740);
        QTest::newRow("narrow only") << QSize(700, 1050) << QSize(700, 866);
        QTest::newRow("narrow and low") << QSize(640, 450) << QSize(640, 450);
        QTest::newRow("no screen known") << QSize() << QSize(744, 850);
    }

    void fittingSize()
    {
        QFETCH(QSize, available);
        QFETCH(QSize, fitting);
        QCOMPARE(ClientScrollArea::fittingSize(QSize(744, 850), available, 16), fitting);
    }

    // Null: the size the window opens with on the laptop screen.
    void scrollingAndHiddenStrip_data()
    {
        QTest::addColumn<QSize>("windowSize");
        QTest::addColumn<bool>("horizontalBar");
        QTest::addColumn<bool>("verticalBar");
        QTest::newRow("opened on a laptop screen: only too high") << QSize() << false << true;
        QTest::newRow("tiny") << QSize(320, 240) << true << true;
        QTest::newRow("large") << QSize(1000, 1000) << false << false;
    }

    void scrollingAndHiddenStrip()
    {
        QFETCH(QSize, windowSize);
        QFETCH(bool, horizontalBar);
        QFETCH(bool, verticalBar);
        Opened opened;
        if (windowSize.isValid())
            opened.window.resize(windowSize);
        QVERIFY(QTest::qWaitForWindowExposed(&opened.window));
        QCOMPARE(opened.window.screen()->availableGeometry().size(), LaptopScreen);
        QVERIFY(opened.window.width() <= qMax(LaptopScreen.width(), windowSize.width()));
        QVERIFY(opened.window.height() <= qMax(LaptopScreen.height(), windowSize.height()));
        // The client area keeps its size whatever the window's: it scrolls, never stretches.
        QCOMPARE(opened.window.clientArea()->size(), QSize(MainWindow::ClientWidth, MainWindow::ClientHeight));
        ClientScrollArea *scroll = opened.scrollArea();
        QCOMPARE(scroll->horizontalScrollBar()->isVisible(), horizontalBar);
        QCOMPARE(scroll->verticalScrollBar()->isVisible(), verticalBar);

        // The activity log in the bottom corner can always be brought into view.
        auto *log = opened.window.findChild<QWidget *>(u"activityLogView"_qs);
        scroll->ensureWidgetVisible(log, 0, 0);
        QVERIFY(!log->visibleRegion().isEmpty());
        // Scrolled as far as it goes to the right and down, the strip still does not show.
        scroll->horizontalScrollBar()->setValue(scroll->horizontalScrollBar()->maximum());
        scroll->verticalScrollBar()->setValue(scroll->verticalScrollBar()->maximum());
        for (const char *control : HiddenStrip)
            QVERIFY2(opened.window.findChild<QWidget *>(QString::fromLatin1(control))->visibleRegion().isEmpty(), control);

        // The status area lies below the client area, in the status bar.
        auto *area = opened.window.findChild<StatusArea *>(u"statusArea"_qs);
        QVERIFY(opened.window.statusBar()->isAncestorOf(area));
        if (!verticalBar)
            QVERIFY(area->mapTo(&opened.window, QPoint()).y() >
                    opened.window.clientArea()->mapTo(&opened.window, QPoint(0, MainWindow::ClientHeight - 1)).y());
    }

    void statusAreaShowsTexts()
    {
        StatusArea area;
        area.show();
        auto *warning = area.findChild<QLabel *>(u"warningLabel"_qs);
        auto *queue = area.findChild<QLabel *>(u"queueLabel"_qs);
        QVERIFY(!warning->isVisible()); // nothing failing
        area.setTexts(u"capture file not written: No space left on device"_qs, u"12 waiting, next try 13:05:30"_qs,
                      u"503 Service Unavailable"_qs);
        QVERIFY(warning->isVisible());
        QCOMPARE(queue->text() + u'|' + queue->toolTip(), u"12 waiting, next try 13:05:30|503 Service Unavailable"_qs);
        area.setTexts({}, u"0 waiting"_qs, {});
        QVERIFY(!warning->isVisible());
        QCOMPARE(queue->toolTip(), QString());
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
