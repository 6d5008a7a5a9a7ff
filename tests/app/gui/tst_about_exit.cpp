// The About window and the ways out of the window mode: About sits over the main window with
// readable labels and closes with Escape; Exit ends the program even with About open; SIGINT and
// SIGTERM take the Exit path in window mode too.
#include "app/gui/AboutWindow.h"
#include "app/gui/MainWindow.h"
#include "support/Programs.h"
#include "support/StationHarness.h"

#include <QAction>
#include <QLabel>
#include <QProcess>
#include <QTest>

#include <csignal>

class TestAboutExit : public QObject
{
    Q_OBJECT
private slots:
    void aboutIsCentredReadableAndClosesWithEscape()
    {
        StationHarness h("PORT=127.0.0.1:1\r\nMYCALL=A\r\nSERVER=http://127.0.0.1:9/\r\n");
        MainWindow window(*h.station);
        window.show();
        window.findChild<QAction *>(QStringLiteral("aboutAction"))->trigger();
        AboutWindow *about = window.aboutWindow();
        QVERIFY(about && about->isVisible());
        const QPoint offset = about->frameGeometry().center() - window.frameGeometry().center();
        QVERIFY2(offset.manhattanLength() <= 2, qPrintable(QStringLiteral("%1,%2").arg(offset.x()).arg(offset.y())));
        QCOMPARE(about->font().pixelSize(), 10);
        for (const QLabel *label : about->findChildren<QLabel *>()) {
            if (label->text().isEmpty() || label->wordWrap())
                continue;
            QVERIFY2(label->fontMetrics().horizontalAdvance(label->text()) <= label->width(),
                     qPrintable(label->text()));
        }
        QTest::keyClick(about, Qt::Key_Escape);
        QVERIFY(!about->isVisible());
    }

    void exitWithAboutOpenClosesEverything()
    {
        StationHarness h("PORT=127.0.0.1:1\r\nMYCALL=A\r\nSERVER=http://127.0.0.1:9/\r\n");
        auto *window = new MainWindow(*h.station);
        window->setAttribute(Qt::WA_DeleteOnClose);
        window->show();
        window->findChild<QAction *>(QStringLiteral("aboutAction"))->trigger();
        QPointer<AboutWindow> about = window->aboutWindow();
        window->findChild<QAction *>(QStringLiteral("exitAction"))->trigger();
        QVERIFY(about.isNull() || !about->isVisible());
        QTRY_VERIFY(QApplication::topLevelWidgets().isEmpty() ||
                    std::none_of(QApplication::topLevelWidgets().begin(), QApplication::topLevelWidgets().end(),
                                 [](QWidget *w) { return w->isVisible(); }));
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
        QVERIFY(writeFile(dir.filePath(QStringLiteral("online_conf.ini")),
                          "PORT=127.0.0.1:1\r\nMYCALL=A\r\nSERVER=http://127.0.0.1:9/\r\n"));
        QProcess window;
        window.start(builtProgram(QStringLiteral("halvora1")),
                     {QStringLiteral("--station-dir"), dir.path(), QStringLiteral("--no-upload")});
        QVERIFY(window.waitForStarted());
        // The run's capture file appears once the start-up sequence has run.
        QTRY_VERIFY_WITH_TIMEOUT(!QDir(dir.path()).entryList({QStringLiteral("*.kss")}).isEmpty(), 15000);
        ::kill(pid_t(window.processId()), signalNumber);
        QVERIFY(window.waitForFinished(15000));
        QCOMPARE(window.exitStatus(), QProcess::NormalExit);
        QCOMPARE(window.exitCode(), 0);
        // The Exit path closed the empty capture file and cleaned it up.
        QVERIFY(QDir(dir.path()).entryList({QStringLiteral("*.kss")}).isEmpty());
    }
};

QTEST_MAIN(TestAboutExit)
#include "tst_about_exit.moc"
