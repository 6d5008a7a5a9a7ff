// Store and forward across a hard kill: the real `halvora1 --headless` receives satellite frames
// while the collection server is down (a second station on its directory refuses to start), is
// killed with SIGKILL, and after a restart on the same station directory delivers every frame
// once (at most a few duplicates), each with the reception time its capture file recorded.
#include "decode/SatelliteFrames.h"
#include "store/StationDatabase.h"
#include "store/UploadQueueStore.h"
#include "support/AgwLoopbackServer.h"
#include "support/HeadlessStation.h"
#include "support/LoopbackHttpServer.h"

#include <QDir>
#include <QSet>
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

// The upload body of each frame in the station's capture files, with the reception time of the
// time record after it ("2026-12-06 21:03:07.123 UTC" -> "2026-12-06T21:03:07.123Z").
QSet<QByteArray> expectedBodies(const QDir &dir)
{
    QSet<QByteArray> bodies;
    for (const QString &file : dir.entryList({QStringLiteral("*.kss")}, QDir::Files)) {
        const QList<CaptureFileReader::Record> records = readCaptureRecords(dir.filePath(file));
        for (qsizetype i = 0; i + 1 < records.size(); ++i) {
            if (records[i + 1].kind != CaptureFileReader::Kind::TimeText)
                continue;
            const QByteArray time = records[i + 1].data.chopped(4).replace(10, 1, "T") + 'Z';
            bodies.insert("noradID=48263&source=TEST&timestamp=" + time + "&frame=" +
                          records[i].data.mid(1).toHex(' ').toUpper() +
                          "&locator=longLat&longitude=13.40&latitude=52.52&tncPort=0");
        }
    }
    return bodies;
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
        QVERIFY(first.writeConfiguration(engine.portValue(), u"http://127.0.0.1:%1/telemetry"_qs.arg(serverPort)));
        QVERIFY(first.startUploading());
        QTRY_COMPARE_WITH_TIMEOUT(engine.connectionCount(), 1, Generous);
        sendFrames(engine, 0, BacklogFrames);
        // Stored as waiting (the writer commits in batches) while every upload is refused.
        QTRY_COMPARE_WITH_TIMEOUT(waitingInDatabase(dir.path()), qint64(BacklogFrames), Generous);

        // Another station on the directory in use refuses to start and the first runs on. The
        // engine takes one client at a time, so it is closed to this one.
        engine.stopListening();
        HeadlessStation intruder(dir.path());
        QVERIFY(intruder.start() && intruder.process().waitForFinished(Generous));
        QVERIFY(intruder.process().exitStatus() == QProcess::NormalExit && intruder.process().exitCode() != 0);
        QVERIFY2(intruder.errorOutput().contains("Another station runs on the station directory " + dir.path().toUtf8()),
                 intruder.errorOutput().constData());
        QCOMPARE(first.process().state(), QProcess::Running);
        QVERIFY(engine.listenAgain());
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
        QTRY_COMPARE_WITH_TIMEOUT(expectedBodies(dir.path()).size(), BacklogFrames + LiveFrames, Generous);
        QTRY_VERIFY_WITH_TIMEOUT(server.requests().size() >= BacklogFrames + LiveFrames, Generous);
        // Every delivery goes on record (a third start would send nothing again) and stays there.
        QTRY_COMPARE_WITH_TIMEOUT(waitingInDatabase(dir.path()), qint64(0), Generous);
        QVERIFY(second.stop());
        QCOMPARE(waitingInDatabase(dir.path()), qint64(0));

        // Each body as stored at reception (its time, not the time it was sent).
        const QSet<QByteArray> bodies = expectedBodies(dir.path());
        QSet<QByteArray> arrived;
        for (const HttpRequest &request : server.requests()) {
            QVERIFY2(bodies.contains(request.body), request.body.constData());
            arrived.insert(request.body);
        }
        QCOMPARE(arrived.size(), BacklogFrames + LiveFrames);
        QVERIFY2(server.requests().size() - arrived.size() <= AllowedDuplicates,
                 qPrintable(QString::number(server.requests().size())));
    }
};

QTEST_GUILESS_MAIN(TestStoreForward)
#include "tst_store_forward.moc"
