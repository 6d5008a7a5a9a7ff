// The window's archive entries: a double click on a value box opens the plots with that channel,
// and importing a capture file adds its frames to the archive the plots read.
#include "app/gui/ArchiveActions.h"
#include "app/gui/MainWindow.h"
#include "decode/SatelliteFrames.h"
#include "display/gui/PlotWindow.h"
#include "link/Kiss.h"
#include "support/Programs.h"

#include <QLineEdit>
#include <QtEndian>
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

    void importAddsFrames()
    {
        auto harness = startQuietStation();
        MainWindow window(*harness->station);
        // Another tool's capture: an 8-byte millisecond time record before each frame.
        QByteArray capture;
        for (int i = 0; i < 3; ++i) {
            QByteArray ms(8, 0);
            qToBigEndian<qint64>(1764000000000 + i * 1000, ms.data());
            Kiss::appendTimeRecord(capture, ms);
            Kiss::appendFrameRecord(capture, frameOf(ComGroups, ComLength));
        }
        const QString path = harness->path(QStringLiteral("other.kss"));
        QVERIFY(writeFile(path, capture));

        // A second import adding nothing is the import command's test: the same CaptureImport.
        QCOMPARE(window.archiveActions()->importFiles({path}),
                 QStringList{path + QStringLiteral(": 3 frames imported, 0 already present, "
                                                   "0 frames without a time record, 0 damaged spans")});
    }
};

QTEST_MAIN(TestArchiveActions)
#include "tst_archive_actions.moc"
