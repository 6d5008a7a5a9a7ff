// The About window and the ways out of the window mode: About is centred and readable and closes
// with Escape; Exit ends the program even with About open; SIGINT and SIGTERM take the Exit path
// in window mode too.
#include "app/gui/AboutWindow.h"
#include "app/gui/MainWindow.h"
#include "support/Programs.h"
#include "support/StationHarness.h"

#include <QAction>
#include <QLabel>
#include <QProcess>
#include <QTest>

#include <csignal>

namespace {
const QByteArray Config = "PORT=127.0.0.1:1\r\nMYCALL=A\r\nSERVER=http://127.0.0.1:9/\r\n";
}

class TestAboutExit : public QObject
{
    Q_OBJECT
private slots:
    // About closes with Escape; opened again, Exit still ends everything.
    void aboutThenExit()
    {
        StationHarness h(Config);
        auto *window = new MainWindow(*h.station);
        window->setAttribute(Qt::WA_DeleteOnClose);
        window->show();
        QAction *aboutAction = window->findChild<QAction *>(u"aboutAction"_qs);
        aboutAction->trigger();
        AboutWindow *about = window->aboutWindow();
        QVERIFY(about && about->isVisible());
        // Centred on the main window, no label clipped, the window's face applied.
        const QPoint offset = about->frameGeometry().center() - window->frameGeometry().center();
        QVERIFY2(offset.manhattanLength() <= 2, qPrintable(u"%1,%2"_qs.arg(offset.x()).arg(offset.y())));
        QCOMPARE(about->font().pixelSize(), 10);
        for (const QLabel *label : about->findChildren<QLabel *>())
            QVERIFY2(label->wordWrap() || label->fontMetrics().horizontalAdvance(label->text()) <= label->width(),
                     qPrintable(label->text()));
        QTest::keyClick(about, Qt::Key_Escape);
        QVERIFY(!about->isVisible());

        aboutAction->trigger();
        QVERIFY(window->aboutWindow()->isVisible());
        window->findChild<QAction *>(u"exitAction"_qs)->trigger();
        const auto anyVisible = [] {
            const QWidgetList windows = QApplication::topLevelWidgets();
            return std::any_of(windows.begin(), windows.end(), [](QWidget *w) { return w->isVisible(); });
        };
        QTRY_VERIFY(!anyVisible());
    }

    void signalsTakeTheExitPathInWindowMode_data()
    {
        QTest::addColumn<int>("signalNumber");
        QTest::newRow("SIGINT") << int(SIGINT);
        QTest::newRow("SIGTERM") << int(SIGTERM);
    }

    void signalsTakeTheExitPathInWindowMode()
    {
        QFETCH(int, signalNumber);
        QTemporaryDir dir;
        QVERIFY(writeFile(dir.filePath(u"online_conf.ini"_qs), Config));
        QProcess window;
        window.start(builtProgram(u"halvora1"_qs), {u"--station-dir"_qs, dir.path(), u"--no-upload"_qs});
        QVERIFY(window.waitForStarted());
        // The run's capture file appears once the start-up sequence has run.
        QTRY_VERIFY_WITH_TIMEOUT(!QDir(dir.path()).entryList({u"*.kss"_qs}).isEmpty(), 15000);
        ::kill(pid_t(window.processId()), signalNumber);
        QVERIFY(window.waitForFinished(15000));
        QCOMPARE(window.exitStatus(), QProcess::NormalExit);
        QCOMPARE(window.exitCode(), 0);
        // The Exit path closed the empty capture file and cleaned it up.
        QVERIFY(QDir(dir.path()).entryList({u"*.kss"_qs}).isEmpty());
    }
};

QTEST_MAIN(TestAboutExit)
#include "tst_about_exit.moc"
