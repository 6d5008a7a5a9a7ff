// The station database file: migration from version 1, damaged files moved aside, batched
// writes in order when the intake outruns the commits (in the WAL journal, so readers never wait
// for a writer), a write failure reported once and recovered, and frames stored once. Real
// SQLite files throughout.
#include "StoreTesting.h"

#include "store/SchemaMigrations.h"
#include "store/TelemetryArchive.h"
#include "store/UploadQueueStore.h"
#include "support/Programs.h"

#include <QFile>
#include <QSignalSpy>
#include <QTest>

namespace {

// A database with `frames` frames archived and queued (received at 1000, 1001, ...), closed.
void fillDatabase(const QString &directory, int frames)
{
    StationDatabase database;
    QVERIFY(database.open(directory).ok);
    TelemetryArchive archive(database);
    UploadQueueStore queue(database);
    for (int i = 0; i < frames; ++i) {
        archive.addFrame(epsFrame(1000 + i, i, i));
        queue.enqueue(1000 + i, frameBytes(i), QByteArray(200, 'b'));
    }
    QVERIFY(database.flush());
}

const QString CountWaiting = QStringLiteral("SELECT COUNT(*) FROM upload_queue WHERE state = 0");

} // namespace

class TestStationDatabase : public QObject
{
    Q_OBJECT
private slots:
    void migratesVersion1()
    {
        QTemporaryDir dir;
        RawConnection raw(dir.path());
        // Version 1 as it was released: frames and their upload state.
        for (const char *statement : {
                 "CREATE TABLE frames (id INTEGER PRIMARY KEY, rx_time_ms BIGINT NOT NULL, frame_hash BIGINT "
                 "NOT NULL, frame BLOB NOT NULL, packet_type TEXT NOT NULL)",
                 "CREATE UNIQUE INDEX frames_by_time ON frames (rx_time_ms, frame_hash)",
                 "CREATE TABLE upload_queue (id INTEGER PRIMARY KEY, frame_id BIGINT NOT NULL REFERENCES "
                 "frames (id), rx_time_ms BIGINT NOT NULL, state INTEGER NOT NULL, body BLOB NOT NULL, "
                 "attempts INTEGER NOT NULL DEFAULT 0, last_error TEXT NOT NULL DEFAULT '')",
                 "CREATE INDEX upload_queue_by_state ON upload_queue (state, rx_time_ms, id)",
                 "INSERT INTO upload_queue (frame_id, rx_time_ms, state, body, attempts) "
                 "VALUES (1, 5001, 0, 'body-1', 2), (2, 5002, 1, 'body-2', 0)",
                 "PRAGMA user_version = 1"})
            QCOMPARE(raw.exec(QLatin1String(statement)), QString());
        for (int i = 1; i <= 2; ++i)
            QCOMPARE(raw.exec(QStringLiteral("INSERT INTO frames VALUES (%1, %2, %3, X'%4', 'EPS debug data')")
                                  .arg(i)
                                  .arg(5000 + i)
                                  .arg(StoreWriter::frameHash(frameBytes(i)))
                                  .arg(QLatin1String(frameBytes(i).toHex()))),
                     QString());
        StationDatabase database;
        const StationDatabase::OpenResult opened = database.open(dir.path());
        QVERIFY2(opened.ok && opened.notice.isEmpty(), qPrintable(opened.error + opened.notice));
        QCOMPARE(raw.number(QStringLiteral("PRAGMA user_version")), qint64(SchemaMigrations::CurrentVersion));
        QCOMPARE(raw.number(QStringLiteral("SELECT COUNT(*) FROM frames WHERE sat_time = ''")), 2);
        UploadQueueStore queue(database);
        QCOMPARE(queue.statistics().delivered, 1);
        const std::optional<PendingUpload> oldest = queue.oldestWaiting();
        QVERIFY(oldest);
        QCOMPARE(oldest->body, QByteArray("body-1"));
        QCOMPARE(oldest->attempts, 2);
        // The old rows keep their identity: the waiting frame is recognised.
        QCOMPARE(queue.enqueue(5001, frameBytes(1), "again"), EnqueueResult::AlreadyWaiting);
        // And the archive added by the migration takes frames.
        TelemetryArchive archive(database);
        archive.addFrame(epsFrame(6000, 9, 1.0));
        QCOMPARE(archive.latest(Family::EpsDebug, 10).frames.size(), std::size_t(1));
    }

    void damagedFileMovedAside_data()
    {
        QTest::addColumn<QString>("damage");
        QTest::newRow("garbage bytes, old journal beside it") << "garbage";
        QTest::newRow("garbage pages inside") << "pages";
        QTest::newRow("newer schema version") << "newer";
    }

    void damagedFileMovedAside()
    {
        QFETCH(QString, damage);
        const bool withJournal = damage == u"garbage";
        QTemporaryDir dir;
        const QString path = dir.filePath(QLatin1String(StationDatabase::FileName));
        fillDatabase(dir.path(), 400);
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadWrite));
        if (damage == u"garbage")
            QVERIFY(file.resize(0) && file.write(QByteArray(5000, '\x5a')) == 5000);
        else if (damage == u"pages")
            QVERIFY(file.seek(file.size() / 2) && file.write(QByteArray(8192, '\x5a')) == 8192);
        else
            QCOMPARE(RawConnection(dir.path()).exec(
                         QStringLiteral("PRAGMA user_version = %1").arg(SchemaMigrations::CurrentVersion + 1)),
                     QString());
        file.close();
        QVERIFY(!withJournal || writeFile(path + QStringLiteral("-wal"), "old journal"));
        const QByteArray damagedBytes = readFile(path);

        StationDatabase database;
        const StationDatabase::OpenResult opened = database.open(dir.path());
        QVERIFY2(opened.ok && opened.notice.contains(u"moved aside"), qPrintable(opened.error + opened.notice));
        QCOMPARE(readFile(opened.movedAsidePath), damagedBytes);
        QCOMPARE(QFile::exists(opened.movedAsidePath + QStringLiteral("-wal")), withJournal);
        // A fresh, usable database in its place.
        UploadQueueStore queue(database);
        QCOMPARE(queue.enqueue(1, frameBytes(1), "body"), EnqueueResult::Queued);
        QCOMPARE(queue.waitingCount(), 1);
    }

    void unusableDirectoryIsAnError()
    {
        QTemporaryDir dir;
        const QString notADirectory = dir.filePath(QStringLiteral("plain-file"));
        QVERIFY(QFile(notADirectory).open(QIODevice::WriteOnly));
        StationDatabase database;
        const StationDatabase::OpenResult opened = database.open(notADirectory);
        QVERIFY2(!opened.ok && opened.error.contains(u"halvora1.sqlite"), qPrintable(opened.error));
        QCOMPARE(UploadQueueStore(database).enqueue(1, "x", "y"), EnqueueResult::Failed);
    }

    // Frames arriving faster than the commit thread writes them: full batches go at once, the
    // intake waits for a running one, and nothing is lost or reordered on the way.
    void batchesKeepOrderWhenIntakeOutrunsCommits()
    {
        TempStore s({.writer = {.maxBuffered = 64, .maxAhead = 16}}); // a buffer growing past a batch loses writes
        TelemetryArchive archive(s.database);
        UploadQueueStore queue(s.database);
        RawConnection other(s.dir.path());
        constexpr int Frames = 3000;
        for (int i = 0; i < Frames; ++i) {
            archive.addFrame(epsFrame(1000 + i, i, i));
            QCOMPARE(queue.enqueue(1000 + i, frameBytes(i), QByteArray::number(i)), EnqueueResult::Queued);
        }
        QVERIFY(other.number(QStringLiteral("SELECT COUNT(*) FROM frames")) > 0); // no event loop ran
        // The WAL journal: `halvora1 queue` beside a running station never waits for its writes.
        QCOMPARE(other.number(QStringLiteral("SELECT COUNT(*) FROM pragma_journal_mode WHERE journal_mode = 'wal'")), 1);
        QVERIFY(s.database.flush());
        QCOMPARE(other.number(QStringLiteral("SELECT COUNT(*) FROM eps_debug")), Frames);
        QCOMPARE(other.number(QStringLiteral("SELECT COUNT(*) FROM upload_queue q JOIN frames f ON f.id = q.frame_id "
                                             "WHERE q.rx_time_ms = f.rx_time_ms AND CAST(q.body AS TEXT) = CAST(f.rx_time_ms - 1000 AS TEXT)")),
                 Frames);
        QCOMPARE(other.number(QStringLiteral("SELECT COUNT(*) FROM upload_queue a JOIN upload_queue b "
                                             "ON b.id = a.id + 1 WHERE b.rx_time_ms <= a.rx_time_ms")),
                 0);
        // A lone write with nothing in flight: the batch timer commits it, no flush needed.
        queue.enqueue(1, frameBytes(-1), "lone");
        QTRY_COMPARE_WITH_TIMEOUT(other.number(CountWaiting), Frames + 1, 5000);
    }

    void writeFailureReportedOnceThenRecovered()
    {
        TempStore s({.busyTimeoutMs = 50, .writer = {.retryDelayMs = 20}});
        QSignalSpy failed(&s.database, &StationDatabase::writeFailed);
        QSignalSpy recovered(&s.database, &StationDatabase::writeRecovered);
        UploadQueueStore queue(s.database);

        // Another process holds the write lock longer than our busy timeout.
        RawConnection other(s.dir.path());
        QCOMPARE(other.exec(QStringLiteral("BEGIN IMMEDIATE")), QString());
        queue.enqueue(1, frameBytes(1), "one");
        QVERIFY(!s.database.flush());
        QCOMPARE(failed.count(), 1);
        QVERIFY2(failed.at(0).at(0).toString().contains(u"locked"), qPrintable(failed.at(0).at(0).toString()));
        queue.enqueue(2, frameBytes(2), "two");
        QCOMPARE(queue.enqueue(1, frameBytes(1), "one"), EnqueueResult::AlreadyWaiting);
        QTest::qWait(100); // retries run meanwhile
        QCOMPARE(failed.count(), 1);
        QVERIFY(!queue.oldestWaiting()); // nothing is sent that is not on disk
        QCOMPARE(queue.waitingCount(), 2);

        QCOMPARE(other.exec(QStringLiteral("ROLLBACK")), QString());
        QTRY_COMPARE_WITH_TIMEOUT(recovered.count(), 1, 5000); // the retry timer, no flush from us
        QCOMPARE(failed.count(), 1);
        QCOMPARE(other.number(CountWaiting), 2);
        QCOMPARE(queue.oldestWaiting()->body, QByteArray("one"));
    }

    void framesStoredOnce()
    {
        TempStore s;
        TelemetryArchive archive(s.database);
        archive.addFrame(epsFrame(1000, 1, 1.0));
        archive.addFrame(epsFrame(1000, 1, 1.0)); // same batch
        QVERIFY(s.database.flush());
        archive.addFrame(epsFrame(1000, 1, 1.0)); // already on disk
        archive.addFrame(epsFrame(1000, 2, 1.0)); // same time, other bytes
        archive.addFrame(epsFrame(1001, 1, 1.0)); // same bytes, other time
        // Queued before it was archived: archived once, with its values.
        UploadQueueStore(s.database).enqueue(1002, frameBytes(3), "body");
        archive.addFrame(epsFrame(1002, 3, 1.0));
        QVERIFY(s.database.flush());
        RawConnection raw(s.dir.path());
        QCOMPARE(raw.number(QStringLiteral("SELECT COUNT(*) FROM frames")), 4);
        QCOMPARE(raw.number(QStringLiteral("SELECT COUNT(*) FROM eps_debug")), 4);
        // Read back for the window's history after a restart: the newest, oldest first, whole.
        const std::vector<ArchivedFrame> latest = archive.latest(Family::EpsDebug, 2).frames;
        QCOMPARE(latest.size(), std::size_t(2));
        QCOMPARE(latest[0].rxTimeMs, 1001);
        QCOMPARE(latest[1].satTime, epsFrame(1002, 3, 1.0).satTime);
        QVERIFY(latest[1].values[1] == 7.25 && latest[1].present.test(3) && !latest[1].present.test(4));
    }
};

QTEST_GUILESS_MAIN(TestStationDatabase)
#include "tst_station_database.moc"
