#include "app/Station.h"
#include "app/gui/MainWindow.h"
#include "display/gui/ChannelChartView.h"
#include "support/AgwLoopbackServer.h"
#include "support/Programs.h"
#include "support/StationHarness.h"

#include <QApplication>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QLineSeries>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScopeGuard>
#include <QRadioButton>
#include <QTest>

namespace {

const QColor White(255, 255, 255);
const QColor Highlight(255, 255, 192);

// A running station and its window, as the program opens them (5 December 2026, 13:05 UTC).
struct Opened
{
    explicit Opened(const QByteArray &config)
        : harness(config), station(*harness.station), window(station), clock(harness.clock)
    {
        clock.set(QDate(2026, 12, 5), QTime(13, 5, 9, 123));
        station.start();
        window.show();
    }
    template<typename T = QWidget>
    T *control(const QString &name) const { return window.findChild<T *>(name); }
    QColor base(int channel) const
    {
        return control<QLineEdit>(u"valueBox_%1"_qs.arg(channel))->palette().color(QPalette::Base);
    }
    StationHarness harness;
    Station &station;
    MainWindow window;
    FakeTimeSource &clock;
};

QByteArray config(const QByteArray &extra = {})
{
    return "PORT=127.0.0.1:1\r\nMYCALL=XR9ABC\r\nSERVER=http://127.0.0.1:9/\r\n" + extra;
}

} // namespace

class TestMainWindow : public QObject
{
    Q_OBJECT
private slots:

    void layout_data()
    {
        QTest::addColumn<QString>("control");
        QTest::addColumn<QRect>("geometry"); // in the client area; null: not checked
        QTest::addColumn<QString>("text");   // caption, title or label after start-up; null: not checked

        const auto row = [](const char *name, const char *control, QRect geometry, const char *text) {
            QTest::newRow(name) << QString::fromLatin1(control) << geometry << (text ? QString::fromUtf8(text) : QString());
        };
        row("client area", "ClientArea", QRect(0, 0, 744, 799), nullptr);
        row("clock before the first tick", "clockLabel", QRect(608, 8, 129, 25), "UTC");
        row("EPS box", "epsBox", QRect(8, 40, 177, 353), nullptr);
        row("SPB / MPPT box", "spbMpptBox", QRect(376, 40, 177, 233), "SPB / MPPT");
        row("COM box", "comBox", QRect(376, 280, 177, 113), nullptr);
        row("SPB first box", "valueBox_1", QRect(480, 64, 41, 19), nullptr);
        row("Power after the gap", "selector_4", QRect(200, 208, 89, 17), nullptr);
        row("ADCS first unit", "unitLabel_80", QRect(712, 64, 17, 17), "\u00B0/s");
        row("chart box", "chartBox", QRect(8, 400, 729, 241), nullptr);
        row("counters", "statusLabel", QRect(480, 648, 257, 17), "RX packets: 0 | HTTP POST OK: 0");
        row("activity log", "activityLogView", QRect(8, 672, 729, 121), nullptr);
        row("hidden 67 unit", "unitLabel_67", QRect(992, 816, 17, 17), "C");
        row("selector 10", "selector_10", {}, "12V out");
        row("no unit for 51", "unitLabel_51", {}, "");
    }

    void layout()
    {
        QFETCH(QString, control);
        QFETCH(QRect, geometry);
        QFETCH(QString, text);
        Opened opened(config("SCREENSHOT=YES\r\n"));
        QCOMPARE(opened.window.windowTitle(), QStringLiteral("Halvora-1 Online Telemetry Decoder (Narvek)"));
        QWidget *client = opened.window.clientArea();
        QWidget *widget = control == QLatin1String("ClientArea") ? client : opened.control(control);
        QVERIFY(widget);
        const QPoint topLeft = widget == client ? QPoint() : widget->mapTo(client, QPoint());
        if (!geometry.isNull())
            QCOMPARE(QRect(topLeft, widget->size()), geometry);
        const auto *button = qobject_cast<QAbstractButton *>(widget);
        const auto *label = qobject_cast<QLabel *>(widget);
        const auto *box = qobject_cast<QGroupBox *>(widget);
        if (!text.isNull())
            QCOMPARE(button ? button->text() : label ? label->text() : box ? box->title() : QString(), text);
    }

    void selection_data()
    {
        QTest::addColumn<QList<int>>("clicks");
        QTest::addColumn<QString>("chartCaption");

        QTest::newRow("across group boxes") << QList<int>{4, 30} << "CAM 3V3 Curr [mA]";
        QTest::newRow("degree unit") << QList<int>{1, 80} << "Gyro 0 X [\u00B0/s]";
        QTest::newRow("hidden strip channel 66") << QList<int>{19, 66} << "  [C]";
    }

    void selection()
    {
        QFETCH(QList<int>, clicks);
        QFETCH(QString, chartCaption);
        Opened opened(config());
        // Start-up selects channel 1 for the chart but marks nothing.
        QCOMPARE(opened.station.display().selectedChannel(), 1);
        QCOMPARE(opened.base(1), White);

        for (int channel : clicks) {
            auto *selector = opened.control<QRadioButton>(QStringLiteral("selector_%1").arg(channel));
            QVERIFY(selector);
            if (selector->isVisible())
                QTest::mouseClick(selector, Qt::LeftButton, {}, QPoint(4, selector->height() / 2));
            else
                selector->click(); // the hidden strip lies beyond the visible area
        }
        const int last = clicks.last();
        QCOMPARE(opened.station.display().selectedChannel(), last);
        const QList<QRadioButton *> selectors = opened.window.findChildren<QRadioButton *>();
        QCOMPARE(selectors.size(), 78);
        for (QRadioButton *selector : selectors) {
            const int channel = selector->objectName().section(u'_', 1).toInt();
            QCOMPARE(selector->isChecked(), channel == last);
            QCOMPARE(opened.base(channel), channel == last ? Highlight : White);
        }
        QCOMPARE(opened.control<QGroupBox>(QStringLiteral("chartBox"))->title(), chartCaption);
        QTRY_COMPARE(opened.window.chartView()->series()->count(), 0); // no record yet
    }

    // What Timer1 does every second: the clock label in UTC and the link indicator.
    void tickShowsClockAndLink()
    {
        AgwLoopbackServer engine;
        Opened opened("PORT=" + engine.portValue().toLatin1() + "\r\nMYCALL=A\r\nSERVER=http://127.0.0.1:9/\r\n");
        auto *green = opened.control(u"linkUpIndicator"_qs);
        auto *red = opened.control(u"linkDownIndicator"_qs);
        QVERIFY(!green->isVisible() && red->isVisible()); // until the first tick
        TimeZoneInfo twoHoursEast;
        twoHoursEast.baseBias = -120;
        opened.clock.set(QDate(2026, 12, 6), QTime(1, 30, 0), twoHoursEast);
        opened.station.tick(); // still connecting: counts as not closed
        QCOMPARE(opened.control<QLabel>(u"clockLabel"_qs)->text(), u"23:30:00 UTC"_qs);
        QVERIFY(opened.station.linkState() != 0);
        QVERIFY(green->isVisible() && !red->isVisible());
        QTRY_COMPARE(opened.station.linkState(), 7);
        opened.station.tick();
        QVERIFY(green->isVisible());
        opened.station.prepareClose(); // closes the link
        QCOMPARE(opened.station.linkState(), 0);
        opened.station.tick();
        QVERIFY(!green->isVisible() && red->isVisible());
    }

    // With a converter on PATH (a stand-in that writes the arguments it receives, one per line)
    // the bitmap is converted; without one the user is told and the bitmap stays.
    void screenshot_data()
    {
        QTest::addColumn<bool>("converter");
        QTest::newRow("converter found") << true;
        QTest::newRow("no converter") << false;
    }

    void screenshot()
    {
        QFETCH(bool, converter);
        QTemporaryDir dir;
        QVERIFY(QDir(dir.path()).mkpath(u"bin"_qs) && QDir(dir.path()).mkpath(u"shots"_qs));
        const QByteArray args = dir.filePath(u"args.txt"_qs).toUtf8();
        const QString script = dir.filePath(u"bin/nconvert"_qs);
        if (converter) {
            QVERIFY(writeFile(script, "#!/bin/sh\nprintf '%s\\n' \"$@\" > \"" + args + ".part\"\nmv \"" + args + ".part\" \"" +
                                          args + "\"\n"));
            QVERIFY(QFile::setPermissions(script, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
        }
        const QByteArray oldPath = qgetenv("PATH");
        qputenv("PATH", dir.filePath(u"bin"_qs).toUtf8() + (converter ? ':' + oldPath : QByteArray()));
        const auto restorePath = qScopeGuard([&] { qputenv("PATH", oldPath); });

        const QString shots = dir.filePath(u"shots/"_qs);
        Opened opened(config("IMAGE_PATH=" + shots.toUtf8() + "\r\n"));
        auto *log = opened.control<QPlainTextEdit>(u"activityLogView"_qs);
        opened.window.flushPendingText();
        const QString logBefore = log->toPlainText();
        QTest::mouseClick(opened.control<QPushButton>(u"screenshotButton"_qs), Qt::LeftButton);
        const QString bitmap = shots + u"halvora1_05122026.bmp"_qs;
        QCOMPARE(QImage(bitmap).size(), QSize(744, 799));
        opened.window.flushPendingText();
        if (!converter) {
            auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
            QVERIFY(box);
            QCOMPARE(box->windowTitle() + u'|' + box->text(), u"Error|nconvert.exe not found"_qs);
            QCOMPARE(box->icon(), QMessageBox::Information);
            box->close();
            QCOMPARE(log->toPlainText(), logBefore);
            return;
        }
        QTRY_VERIFY(QFile::exists(QString::fromUtf8(args)));
        QCOMPARE(QString::fromUtf8(readFile(QString::fromUtf8(args))).split(u'\n', Qt::SkipEmptyParts),
                 (QStringList{"-out", "png", "-transpcolor", "240", "240", "240", "-colors", "256", "-crop", "1", "37",
                              "735", "610", "-quiet", "-D", bitmap}));
        QCOMPARE(opened.control<QLabel>(u"clockLabel"_qs)->text(), bitmap + u" saved"_qs);
        opened.window.flushPendingText();
        QCOMPARE(log->toPlainText().section(u'\n', -1), shots + u"halvora1_05122026.png converted and saved"_qs);
    }
};

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
