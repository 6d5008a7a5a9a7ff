#include "app/Station.h"
#include "app/gui/MainWindow.h"
#include "display/gui/ChannelChartView.h"
#include "support/Programs.h"
#include "support/StationHarness.h"

#include <QApplication>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QLineSeries>
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

    // Spot checks of the layout the screenshot crops and the counters line; the screenshot's
    // size checks the client area.
    void layout()
    {
        Opened opened(config());
        QCOMPARE(opened.window.windowTitle(), QStringLiteral("Halvora-1 Online Telemetry Decoder (Narvek)"));
        auto *counters = opened.control<QLabel>(u"statusLabel"_qs);
        QCOMPARE(QRect(counters->mapTo(opened.window.clientArea(), QPoint()), counters->size()), QRect(480, 648, 257, 17));
        QCOMPARE(counters->text(), u"RX packets: 0 | HTTP POST OK: 0"_qs);
    }

    // A click across group boxes moves the mark and the chart to the last channel clicked.
    void selection()
    {
        Opened opened(config());
        // Start-up selects channel 1 for the chart but marks nothing.
        QCOMPARE(opened.station.display().selectedChannel(), 1);
        QCOMPARE(opened.base(1), White);

        const int last = 30;
        for (int channel : {4, last}) {
            auto *selector = opened.control<QRadioButton>(QStringLiteral("selector_%1").arg(channel));
            QTest::mouseClick(selector, Qt::LeftButton, {}, QPoint(4, selector->height() / 2));
        }
        QCOMPARE(opened.station.display().selectedChannel(), last);
        QCOMPARE(opened.base(last), Highlight);
        QCOMPARE(opened.base(4), White);
        QCOMPARE(opened.control<QGroupBox>(QStringLiteral("chartBox"))->title(), u"CAM 3V3 Curr [mA]"_qs);
        QTRY_COMPARE(opened.window.chartView()->series()->count(), 0); // no record yet
    }

    // With a converter on PATH (a stand-in that writes the arguments it receives, one per line)
    // the bitmap is converted.
    void screenshot()
    {
        QTemporaryDir dir;
        QVERIFY(QDir(dir.path()).mkpath(u"bin"_qs) && QDir(dir.path()).mkpath(u"shots"_qs));
        const QByteArray args = dir.filePath(u"args.txt"_qs).toUtf8();
        const QString script = dir.filePath(u"bin/nconvert"_qs);
        QVERIFY(writeFile(script, "#!/bin/sh\nprintf '%s\\n' \"$@\" > \"" + args + ".part\"\nmv \"" + args + ".part\" \"" +
                                      args + "\"\n"));
        QVERIFY(QFile::setPermissions(script, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
        const QByteArray oldPath = qgetenv("PATH");
        qputenv("PATH", dir.filePath(u"bin"_qs).toUtf8() + ':' + oldPath);
        const auto restorePath = qScopeGuard([&] { qputenv("PATH", oldPath); });

        const QString shots = dir.filePath(u"shots/"_qs);
        Opened opened(config("IMAGE_PATH=" + shots.toUtf8() + "\r\n"));
        auto *log = opened.control<QPlainTextEdit>(u"activityLogView"_qs);
        QTest::mouseClick(opened.control<QPushButton>(u"screenshotButton"_qs), Qt::LeftButton);
        const QString bitmap = shots + u"halvora1_05122026.bmp"_qs;
        QCOMPARE(QImage(bitmap).size(), QSize(744, 799));
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
