// Store and forward across a hard kill: the real `halvora1 --headless` receives satellite frames
// while the collection server is down, is killed with SIGKILL, and after a restart on the same
// station directory delivers every frame once (at most a few duplicates), each with the
// reception time its capture file recorded. A second station on a directory in use refuses.
#include "decode/SatelliteFrames.h"
#include "store/StationDatabase.h"
#include "store/UploadQueueStore.h"
#include "support/AgwLoopbackServer.h"
#include "support/HeadlessStation.h"
#include "support/LoopbackHttpServer.h"
#include "upload/FormFields.h"

#include <QDir>
#include <QHash>
#include <QTemporaryDir>
#include <QTest>

namespace {

constexpr int Generous = 30000;
constexpr int BacklogFrames = 40;
constexpr int LiveFrames = 5;
constexpr int AllowedDuplicates = 3;

// COM frames from..to-1, each its own reception time; bytes 30..31 carry the number, so every
// frame is a different one.
void sendFrames(AgwLoopbackServer &engine, int from, int to)
{
    QByteArray data = SatelliteFrames::frameOf(SatelliteFrames::ComGroups, SatelliteFrames::ComLength);
    for (int number = from; number < to; ++number) {
        SatelliteFrames::putInt16(data, 30, number);
        engine.send(AgwLoopbackServer::rawFrameRecord(data));
        QTest::qWait(10);
    }
}

// Frame field of the upload body (the frame after the KISS command byte, hex with blanks) ->
// the time record after it in the station's capture files, as the body's timestamp
// ("2026-12-06 21:03:07.123 UTC" -> "2026-12-06T21:03:07.123Z").
QHash<QString, QString> capturedTimestamps(const QDir &dir)
{
    QHash<QString, QString> timestamps;
    for (const QString &file : dir.entryList({QStringLiteral("*.kss")}, QDir::Files)) {
        const QList<CaptureFileReader::Record> records = readCaptureRecords(dir.filePath(file));
        for (qsizetype i = 0; i + 1 < records.size(); ++i) {
            if (records[i + 1].kind == CaptureFileReader::Kind::TimeText)
                timestamps.insert(QString::fromLatin1(records[i].data.mid(1).toHex(' ').toUpper()),
                                  QString::fromLatin1(records[i + 1].data.chopped(4)).replace(10, 1, u'T') + u'Z');
        }
    }
    return timestamps;
}

// Waiting entries as another reader of the station database sees them (-1: cannot be read).
qint64 waitingInDatabase(const QString &dir)
{
    StationDatabase database;
    if (!database.open(dir).ok)
        return -1;
    const UploadQueueStore::Statistics statistics = UploadQueueStore(database).statistics();
    return statistics.error.isEmpty() ? statistics.waiting : -1;
}

} // namespace

class TestStoreForward : public QObject
{
    Q_OBJECT
private slots:

    void everyFrameArrivesOnceAfterAHardKill()
    {
        QTemporaryDir dir;
        AgwLoopbackServer engine;
        // The collection server's port is closed until the station has been killed.
        const quint16 serverPort = freeLoopbackPort();
        HeadlessStation first(dir.path());
        const QString serverUrl = QStringLiteral("http://127.0.0.1:%1/telemetry").arg(serverPort);
        QVERIFY(first.writeConfiguration(engine.portValue(), serverUrl));
        QVERIFY(first.startUploading());
        QTRY_COMPARE_WITH_TIMEOUT(engine.connectionCount(), 1, Generous);
        sendFrames(engine, 0, BacklogFrames);
        QTRY_COMPARE_WITH_TIMEOUT(capturedTimestamps(dir.path()).size(), BacklogFrames, Generous);
        // Stored as waiting (the writer commits in batches) while every upload is refused.
        QTRY_COMPARE_WITH_TIMEOUT(waitingInDatabase(dir.path()), qint64(BacklogFrames), Generous);
        QTRY_VERIFY_WITH_TIMEOUT(first.output().contains("upload failing: "), Generous);

        first.process().kill(); // SIGKILL: no exit path runs
        QVERIFY(first.process().waitForFinished(Generous));
        QCOMPARE(first.process().exitStatus(), QProcess::CrashExit);

        LoopbackHttpServer server;
        server.setKeepAlive(true);
        QVERIFY(server.listen(QHostAddress::LocalHost, serverPort));

        HeadlessStation second(dir.path());
        QVERIFY(second.startUploading());
        QTRY_COMPARE_WITH_TIMEOUT(engine.connectionCount(), 2, Generous);
        QTRY_VERIFY_WITH_TIMEOUT(second.output().contains("40 frames wait for upload from an earlier run"), Generous);
        // The backlog goes out by itself, before any new frame arrives.
        QTRY_VERIFY_WITH_TIMEOUT(server.requests().size() >= BacklogFrames, Generous);
        sendFrames(engine, BacklogFrames, BacklogFrames + LiveFrames);
        QTRY_COMPARE_WITH_TIMEOUT(capturedTimestamps(dir.path()).size(), BacklogFrames + LiveFrames, Generous);
        QTRY_VERIFY_WITH_TIMEOUT(server.requests().size() >= BacklogFrames + LiveFrames, Generous);
        QTRY_VERIFY_WITH_TIMEOUT(second.output().contains("upload queue: 0 frames waiting"), Generous);
        // Every delivery goes on record (a third start would send nothing again) and stays there.
        QTRY_COMPARE_WITH_TIMEOUT(waitingInDatabase(dir.path()), qint64(0), Generous);
        QVERIFY(second.stop());
        QCOMPARE(waitingInDatabase(dir.path()), qint64(0));

        const QHash<QString, QString> captured = capturedTimestamps(dir.path());
        QCOMPARE(captured.size(), BacklogFrames + LiveFrames);
        QHash<QString, int> arrivals;
        QString previousTimestamp;
        for (const HttpRequest &request : server.requests()) {
            QHash<QString, QString> fields;
            for (const auto &[key, value] : decodeFormFields(request.body))
                fields.insert(key, value);
            const QString frame = fields.value(QStringLiteral("frame"));
            QVERIFY2(captured.contains(frame), qPrintable(frame));
            // The stored body: the reception time, not the time it was sent.
            QCOMPARE(fields.value(QStringLiteral("timestamp")), captured.value(frame));
            QCOMPARE(fields.value(QStringLiteral("source")), QStringLiteral("TEST"));
            if (arrivals[frame]++ == 0) {
                // First arrivals oldest first, the backlog before or between the new frames.
                QVERIFY2(previousTimestamp <= captured.value(frame),
                         qPrintable(previousTimestamp + u' ' + captured.value(frame)));
                previousTimestamp = captured.value(frame);
            }
        }
        QCOMPARE(arrivals.size(), BacklogFrames + LiveFrames);
        QVERIFY2(server.requests().size() - arrivals.size() <= AllowedDuplicates,
                 qPrintable(QString::number(server.requests().size())));
    }

    void secondStationOnTheSameDirectoryRefuses()
    {
        QTemporaryDir dir;
        AgwLoopbackServer engine;
        HeadlessStation running(dir.path());
        QVERIFY(running.writeConfiguration(engine.portValue()));
        QVERIFY(running.start());
        // Connected: its start, which takes the directory's lock, is over.
        QTRY_COMPARE_WITH_TIMEOUT(engine.connectionCount(), 1, Generous);

        HeadlessStation second(dir.path());
        QVERIFY(second.start());
        QVERIFY(second.process().waitForFinished(Generous));
        QVERIFY(second.process().exitStatus() == QProcess::NormalExit && second.process().exitCode() != 0);
        const QByteArray error = second.errorOutput();
        QVERIFY2(error.contains("Another station runs on the station directory " +
                                QDir::toNativeSeparators(dir.path()).toUtf8()),
                 error.constData());
        // The first one runs on, untouched.
        QCOMPARE(running.process().state(), QProcess::Running);
        QVERIFY(running.stop());
    }
};

QTEST_GUILESS_MAIN(TestStoreForward)
#include "tst_store_forward.moc"
