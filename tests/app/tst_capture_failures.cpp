// A capture file that fails while the station runs: the failure is logged once with the OS
// reason and shown as a warning, the file is retried (created again when removed), success is
// logged, and no record is ever left half written.
#include "decode/SatelliteFrames.h"
#include "link/Kiss.h"
#include "support/AgwLoopbackServer.h"
#include "support/StationHarness.h"

#include <QFile>
#include <QTest>

using namespace SatelliteFrames;

class TestCaptureFailures : public QObject
{
    Q_OBJECT
private slots:
    void failureIsLoggedRetriedAndRecovered_data()
    {
        QTest::addColumn<bool>("diskFull"); // else: the file is removed while open
        QTest::addColumn<QString>("logged");
        QTest::newRow("disk full") << true << QStringLiteral("Capture file write error: No space left on device");
        QTest::newRow("file removed") << false << QStringLiteral("Capture file write error: the capture file was removed");
    }

    void failureIsLoggedRetriedAndRecovered()
    {
        QFETCH(bool, diskFull);
        QFETCH(QString, logged);
        StationOptions options;
        options.captureRetryIntervalMs = 50;
        options.uploadAllowed = false;
        StationHarness h("PORT=127.0.0.1:1\r\nMYCALL=N0CALL\r\nSERVER=http://127.0.0.1:9/\r\n", options);
        const QString capture = h.path(QStringLiteral("N0CALL_02082014_1305.kss"));
        if (diskFull)
            QVERIFY(QFile::link(QStringLiteral("/dev/full"), capture));
        h.station->start();
        QCOMPARE(h.station->captureFilePath(), capture);
        const QByteArray data = frameOf(ComGroups, ComLength);
        const auto feed = [&] { h.station->handleRecord(AgwLoopbackServer::rawFrameRecord(data)); };

        feed();
        if (!diskFull) {
            QVERIFY(QFile::remove(capture));
        }
        QTRY_COMPARE(h.logMessages().filter(QStringLiteral("Capture file write error")).size(), 1);
        QCOMPARE(h.logMessages().filter(QStringLiteral("Capture file write error")).first(), logged);
        QVERIFY(!h.station->warningText().isEmpty());
        feed(); // while failing: not logged again
        QCOMPARE(h.logMessages().filter(QStringLiteral("Capture file write error")).size(), 1);

        if (diskFull)
            QVERIFY(QFile::remove(capture)); // room again: the retry creates a plain file
        QTRY_VERIFY(QFile::exists(capture) && !QFileInfo(capture).isSymLink());
        QTest::qWait(120);
        feed();
        QTRY_VERIFY(h.logMessages().contains(QStringLiteral("capture file writing again")));
        QVERIFY(h.station->warningText().isEmpty());
        // Whole records only: the new file holds the frame and its time record, nothing torn.
        QByteArray expected;
        Kiss::appendFrameRecord(expected, data);
        QVERIFY(h.captureBytes().startsWith(expected));
        QCOMPARE(h.captureBytes().count(char(0xC0)) % 4, 0); // frame and time records, whole
    }
};

QTEST_GUILESS_MAIN(TestCaptureFailures)
#include "tst_capture_failures.moc"
