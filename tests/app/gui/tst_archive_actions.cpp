// The window's archive entries: a double click on a value box opens the plots with that channel.
// Importing is the import command's test: the window's entry runs the same CaptureImport.
#include "app/gui/ArchiveActions.h"
#include "app/gui/MainWindow.h"
#include "decode/SatelliteFrames.h"
#include "display/gui/PlotWindow.h"
#include "support/Programs.h"

#include <QLineEdit>
#include <QTest>

using namespace SatelliteFrames;

class TestArchiveActions : public QObject
{
    Q_OBJECT
private slots:
    void doubleClickOpensPlotsOfThatChannel()
    {
        auto harness = startQuietStation();
        MainWindow window(*harness->station);
        window.show();
        arrive(*harness->station, frameOf(EpsDebugGroups, EpsDebugLength));
        auto *box = window.findChild<QLineEdit *>(QStringLiteral("valueBox_14"));
        QTest::mouseDClick(box, Qt::LeftButton);
        PlotWindow *plots = window.archiveActions()->plotWindow();
        QVERIFY(plots && plots->isVisible());
        QCOMPARE(plots->shownChannels(), std::vector<int>{14});
    }
};

QTEST_MAIN(TestArchiveActions)
#include "tst_archive_actions.moc"
