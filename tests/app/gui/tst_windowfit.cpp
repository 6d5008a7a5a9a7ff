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
    ClientScrollArea *scrollArea() const
    {
        return qobject_cast<ClientScrollArea *>(window.centralWidget());
    }
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
        QTest::addColumn<QSize>("wanted");
        QTest::addColumn<QSize>("available");
        QTest::addColumn<QSize>("fitting");
        QTest::newRow("large screen") << QSize(744, 850) << QSize(1920, 1050) << QSize(744, 850);
        QTest::newRow("laptop 768 high") << QSize(744, 850) << QSize(1366, 740) << QSize(760, 740);
        QTest::newRow("narrow only") << QSize(744, 850) << QSize(700, 1050) << QSize(700, 866);
        QTest::newRow("narrow and low") << QSize(744, 850) << QSize(640, 450) << QSize(640, 450);
        QTest::newRow("no screen known") << QSize(744, 850) << QSize() << QSize(744, 850);
    }

    void fittingSize()
    {
        QFETCH(QSize, wanted);
        QFETCH(QSize, available);
        QFETCH(QSize, fitting);
        QCOMPARE(ClientScrollArea::fittingSize(wanted, available, 16), fitting);
    }

    void opensWithinALaptopScreen()
    {
        Opened opened;
        QVERIFY(QTest::qWaitForWindowExposed(&opened.window));
        QCOMPARE(opened.window.screen()->availableGeometry().size(), LaptopScreen);
        QVERIFY(opened.window.width() <= LaptopScreen.width());
        QVERIFY(opened.window.height() <= LaptopScreen.height());
        // Only too high for it: the rows scroll, every column shows.
        QVERIFY(opened.scrollArea()->verticalScrollBar()->isVisible());
        QVERIFY(!opened.scrollArea()->horizontalScrollBar()->isVisible());
        QVERIFY(opened.scrollArea());
        QCOMPARE(opened.scrollArea()->clientArea(), opened.window.clientArea());
    }

    void hiddenStripStaysHidden_data()
    {
        QTest::addColumn<QSize>("windowSize");
        QTest::newRow("tiny") << QSize(320, 240);
        QTest::newRow("laptop") << QSize(744, 700);
        QTest::newRow("designed") << QSize(744, 860);
        QTest::newRow("wide") << QSize(1400, 900);
        QTest::newRow("huge") << QSize(2400, 1600);
    }

    void hiddenStripStaysHidden()
    {
        QFETCH(QSize, windowSize);
        Opened opened;
        opened.window.resize(windowSize);
        QVERIFY(QTest::qWaitForWindowExposed(&opened.window));
        QWidget *client = opened.window.clientArea();
        QCOMPARE(client->size(), QSize(MainWindow::ClientWidth, MainWindow::ClientHeight));

        // Scrolled as far as it goes to the right and down, the strip still does not show.
        ClientScrollArea *scroll = opened.scrollArea();
        scroll->horizontalScrollBar()->setValue(scroll->horizontalScrollBar()->maximum());
        scroll->verticalScrollBar()->setValue(scroll->verticalScrollBar()->maximum());
        for (const char *control : HiddenStrip) {
            auto *widget = opened.window.findChild<QWidget *>(QString::fromLatin1(control));
            QVERIFY2(widget, control);
            QVERIFY2(widget->visibleRegion().isEmpty(), control);
        }
    }

    void smallWindowScrollsToEveryControl()
    {
        Opened opened;
        opened.window.resize(600, 500);
        QVERIFY(QTest::qWaitForWindowExposed(&opened.window));
        ClientScrollArea *scroll = opened.scrollArea();
        QVERIFY(scroll->horizontalScrollBar()->isVisible());
        QVERIFY(scroll->verticalScrollBar()->isVisible());
        // The activity log in the bottom corner can be brought into view.
        auto *log = opened.window.findChild<QWidget *>(QStringLiteral("activityLogView"));
        QVERIFY(log->visibleRegion().isEmpty());
        scroll->ensureWidgetVisible(log, 0, 0);
        QVERIFY(!log->visibleRegion().isEmpty());
    }

    void largeWindowNeedsNoScrolling()
    {
        Opened opened;
        opened.window.resize(1000, 1000);
        QVERIFY(QTest::qWaitForWindowExposed(&opened.window));
        QVERIFY(!opened.scrollArea()->horizontalScrollBar()->isVisible());
        QVERIFY(!opened.scrollArea()->verticalScrollBar()->isVisible());
    }

    void statusAreaLiesBelowTheClientArea()
    {
        Opened opened;
        opened.window.resize(800, 900);
        QVERIFY(QTest::qWaitForWindowExposed(&opened.window));
        auto *area = opened.window.findChild<StatusArea *>(QStringLiteral("statusArea"));
        QVERIFY(area);
        QVERIFY(opened.window.statusBar()->isAncestorOf(area));
        const QRect client(opened.window.clientArea()->mapTo(&opened.window, QPoint()),
                           opened.window.clientArea()->size());
        const QRect status(area->mapTo(&opened.window, QPoint()), area->size());
        QVERIFY(!client.intersects(status));
        QVERIFY(status.top() >= client.bottom());
    }

    void statusAreaShowsTexts()
    {
        StatusArea area;
        area.show();
        auto *warning = area.findChild<QLabel *>(QStringLiteral("warningLabel"));
        auto *queue = area.findChild<QLabel *>(QStringLiteral("queueLabel"));
        QVERIFY(!warning->isVisible()); // nothing failing

        area.setTexts(QStringLiteral("capture file not written: No space left on device"),
                      QStringLiteral("12 waiting, next try 13:05:30"),
                      QStringLiteral("503 Service Unavailable"));
        QVERIFY(warning->isVisible());
        QCOMPARE(warning->text(), QStringLiteral("capture file not written: No space left on device"));
        QCOMPARE(queue->text(), QStringLiteral("12 waiting, next try 13:05:30"));
        QCOMPARE(queue->toolTip(), QStringLiteral("503 Service Unavailable"));

        area.setTexts({}, QStringLiteral("0 waiting"), {});
        QVERIFY(!warning->isVisible());
        QCOMPARE(queue->toolTip(), QString());
    }
};

// The window opens on a screen of a common laptop, 1366 x 768, lower than the client area.
int main(int argc, char **argv)
{
    QTemporaryDir dir;
    const QString config = dir.filePath(QStringLiteral("screens.json"));
    QFile file(config);
    if (!file.open(QIODevice::WriteOnly))
        return 1;
    file.write(QStringLiteral(R"({"screens": [{"name": "laptop", "x": 0, "y": 0, "width": %1,
                                 "height": %2, "logicalDpi": 96, "logicalBaseDpi": 96, "dpr": 1}]})")
                   .arg(LaptopScreen.width())
                   .arg(LaptopScreen.height())
                   .toUtf8());
    file.close();
    qputenv("QT_QPA_PLATFORM", "offscreen:configfile=" + config.toUtf8());
    QApplication app(argc, argv);
    TestWindowFit test;
    return QTest::qExec(&test, argc, argv);
}
#include "tst_windowfit.moc"
