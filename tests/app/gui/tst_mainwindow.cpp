// The screenshot button: the bitmap of the client area and the converter's arguments.
#include "app/Station.h"
#include "app/gui/MainWindow.h"
#include "support/Programs.h"
#include "support/StationHarness.h"

#include <QPlainTextEdit>
#include <QPushButton>
#include <QScopeGuard>
#include <QTest>

namespace {

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
    StationHarness harness;
    Station &station;
    MainWindow window;
    FakeTimeSource &clock;
};

} // namespace

class TestMainWindow : public QObject
{
    Q_OBJECT
private slots:
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
        Opened opened("PORT=127.0.0.1:1\r\nMYCALL=XR9ABC\r\nSERVER=http://127.0.0.1:9/\r\nIMAGE_PATH=" + shots.toUtf8() + "\r\n");
        auto *log = opened.control<QPlainTextEdit>(u"activityLogView"_qs);
        QTest::mouseClick(opened.control<QPushButton>(u"screenshotButton"_qs), Qt::LeftButton);
        const QString bitmap = shots + u"halvora1_05122026.bmp"_qs;
        QCOMPARE(QImage(bitmap).size(), QSize(744, 799));
        QTRY_VERIFY(QFile::exists(QString::fromUtf8(args)));
        QCOMPARE(QString::fromUtf8(readFile(QString::fromUtf8(args))).split(u'\n', Qt::SkipEmptyParts),
                 (QStringList{"-out", "png", "-transpcolor", "240", "240", "240", "-colors", "256", "-crop", "1", "37",
                              "735", "610", "-quiet", "-D", bitmap}));
        opened.window.flushPendingText();
        QCOMPARE(log->toPlainText().section(u'\n', -1), shots + u"halvora1_05122026.png converted and saved"_qs);
    }
};

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
