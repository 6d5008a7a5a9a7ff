// The durable upload queue: order and states after a table of operations (also after a restart),
// the already-waiting answer, and the limit that drops the oldest waiting frames.
#include "StoreTesting.h"

#include "store/UploadQueueStore.h"

#include <QTemporaryDir>
#include <QTest>

class TestUploadQueueStore : public QObject
{
    Q_OBJECT
private slots:
    void operations_data()
    {
        // Operations: "q<rx>" enqueues a frame received at rx (seed = rx), "d" / "f" / "r" mark
        // the oldest waiting entry delivered / failed once / rejected, "D" marks the last
        // delivered entry delivered again, "R" puts rejected entries back, "F" flushes.
        QTest::addColumn<QString>("operations");
        QTest::addColumn<int>("waiting");
        QTest::addColumn<int>("delivered");
        QTest::addColumn<int>("rejected");
        QTest::addColumn<int>("oldestRx"); // -1: nothing waits
        QTest::addColumn<int>("oldestAttempts");
        QTest::newRow("oldest reception first") << "q30 q10 q20" << 3 << 0 << 0 << 10 << 0;
        QTest::newRow("oldest first across commits") << "q30 F q10 F q20" << 3 << 0 << 0 << 10 << 0;
        QTest::newRow("delivered leaves the queue") << "q10 q20 d" << 1 << 1 << 0 << 20 << 0;
        QTest::newRow("failed attempts stay first") << "q10 q20 f f" << 2 << 0 << 0 << 10 << 2;
        QTest::newRow("rejected leaves the queue") << "q10 q20 r" << 1 << 0 << 1 << 20 << 0;
        QTest::newRow("retry rejected") << "q10 q20 r R" << 2 << 0 << 0 << 10 << 0;
        QTest::newRow("delivered twice counts once") << "q10 q20 d D" << 1 << 1 << 0 << 20 << 0;
        QTest::newRow("queued again after delivery") << "q10 d q10" << 1 << 1 << 0 << 10 << 0;
        QTest::newRow("everything delivered") << "q10 q20 d d" << 0 << 2 << 0 << -1 << 0;
    }

    void operations()
    {
        QFETCH(QString, operations);
        QFETCH(int, waiting);
        QFETCH(int, delivered);
        QFETCH(int, rejected);
        QFETCH(int, oldestRx);
        QFETCH(int, oldestAttempts);
        QTemporaryDir dir;
        {
            StationDatabase database;
            QVERIFY(database.open(dir.path()).ok);
            UploadQueueStore queue(database);
            qint64 lastDelivered = 0;
            for (const QString &operation : operations.split(u' ')) {
                const QChar kind = operation.at(0);
                if (kind == u'q') {
                    const int rx = operation.mid(1).toInt();
                    QCOMPARE(queue.enqueue(rx, frameBytes(rx), "body " + QByteArray::number(rx)), EnqueueResult::Queued);
                } else if (kind == u'R') {
                    QString error;
                    QVERIFY(queue.retryRejected(&error) >= 0);
                } else if (kind == u'F') {
                    QVERIFY(database.flush());
                } else if (kind == u'D') {
                    queue.markDelivered(lastDelivered);
                } else {
                    const std::optional<PendingUpload> oldest = queue.oldestWaiting();
                    QVERIFY(oldest);
                    if (kind == u'd')
                        queue.markDelivered(lastDelivered = oldest->id);
                    else if (kind == u'f')
                        queue.markFailedAttempt(oldest->id, QStringLiteral("Connection refused"));
                    else
                        queue.markRejected(oldest->id, QStringLiteral("HTTP/1.1 400 Bad Request"));
                }
            }
            QCOMPARE(queue.waitingCount(), waiting);
            checkState(queue, waiting, delivered, rejected, oldestRx, oldestAttempts);
        }
        // The same after a restart.
        StationDatabase reopened;
        QVERIFY(reopened.open(dir.path()).ok);
        UploadQueueStore queue(reopened);
        QCOMPARE(queue.waitingCount(), waiting);
        checkState(queue, waiting, delivered, rejected, oldestRx, oldestAttempts);
    }

    void alreadyWaiting()
    {
        QTemporaryDir dir;
        StationDatabase database;
        QVERIFY(database.open(dir.path()).ok);
        UploadQueueStore queue(database);
        QCOMPARE(queue.enqueue(100, frameBytes(1), "body"), EnqueueResult::Queued);
        QCOMPARE(queue.enqueue(100, frameBytes(1), "body"), EnqueueResult::AlreadyWaiting); // buffered
        QVERIFY(database.flush());
        QCOMPARE(queue.enqueue(100, frameBytes(1), "other body"), EnqueueResult::AlreadyWaiting); // on disk
        QCOMPARE(queue.enqueue(100, frameBytes(2), "body"), EnqueueResult::Queued);  // other bytes
        QCOMPARE(queue.enqueue(101, frameBytes(1), "body"), EnqueueResult::Queued);  // other time
        QCOMPARE(queue.enqueue(99, frameBytes(1), "body"), EnqueueResult::Queued);   // older time
        QCOMPARE(queue.waitingCount(), 4);

        // Delivered (even before its outcome is committed) no longer waits.
        const std::optional<PendingUpload> oldest = queue.oldestWaiting();
        QCOMPARE(oldest->rxTimeMs, 99);
        queue.markDelivered(oldest->id);
        QCOMPARE(queue.enqueue(99, frameBytes(1), "body"), EnqueueResult::Queued);
        QVERIFY(database.flush());

        StationDatabase restarted;
        database.close();
        QVERIFY(restarted.open(dir.path()).ok);
        UploadQueueStore queueAfterRestart(restarted);
        QCOMPARE(queueAfterRestart.enqueue(100, frameBytes(1), "body"), EnqueueResult::AlreadyWaiting);
        QCOMPARE(queueAfterRestart.enqueue(99, frameBytes(1), "body"), EnqueueResult::AlreadyWaiting);
        QCOMPARE(queueAfterRestart.waitingCount(), 4);
    }

    void limitDropsOldest_data()
    {
        QTest::addColumn<bool>("flushEach");
        QTest::newRow("one commit") << false;
        QTest::newRow("commit after each frame") << true;
    }

    void limitDropsOldest()
    {
        QFETCH(bool, flushEach);
        QTemporaryDir dir;
        StationDatabase database;
        QVERIFY(database.open(dir.path()).ok);
        UploadQueueStore queue(database);
        queue.setMaxWaiting(3);
        for (int rx = 1; rx <= 5; ++rx) {
            queue.enqueue(rx, frameBytes(rx), "body");
            if (flushEach)
                QVERIFY(database.flush());
        }
        QCOMPARE(queue.waitingCount(), 3);
        QCOMPARE(queue.oldestWaiting()->rxTimeMs, 3);
        QCOMPARE(queue.takeDroppedCount(), 2);
        QCOMPARE(queue.takeDroppedCount(), 0);
        // Delivered entries do not count against the limit.
        queue.markDelivered(queue.oldestWaiting()->id);
        queue.enqueue(6, frameBytes(6), "body");
        QCOMPARE(queue.waitingCount(), 3);
        QCOMPARE(queue.takeDroppedCount(), 0);
        const UploadQueueStore::Statistics statistics = queue.statistics();
        QCOMPARE(statistics.waiting, 3);
        QCOMPARE(statistics.delivered, 1);
        // The dropped frames stay in the archive of received frames.
        QCOMPARE(RawConnection(dir.path()).number(QStringLiteral("SELECT COUNT(*) FROM frames")), 6);

        // A limit lowered (configuration read at start) applies without waiting for a new frame.
        queue.setMaxWaiting(1);
        QCOMPARE(queue.waitingCount(), 1);
        QCOMPARE(queue.oldestWaiting()->rxTimeMs, 6);
        QCOMPARE(queue.takeDroppedCount(), 2);
    }

private:
    static void checkState(UploadQueueStore &queue, int waiting, int delivered, int rejected, int oldestRx,
                           int oldestAttempts)
    {
        const UploadQueueStore::Statistics statistics = queue.statistics();
        QVERIFY2(statistics.error.isEmpty(), qPrintable(statistics.error));
        QCOMPARE(statistics.waiting, waiting);
        QCOMPARE(statistics.delivered, delivered);
        QCOMPARE(statistics.rejected, rejected);
        const std::optional<PendingUpload> oldest = queue.oldestWaiting();
        QCOMPARE(oldest.has_value(), oldestRx >= 0);
        QCOMPARE(statistics.oldestWaitingRxTimeMs.has_value(), oldestRx >= 0);
        if (!oldest)
            return;
        QCOMPARE(oldest->rxTimeMs, oldestRx);
        QCOMPARE(*statistics.oldestWaitingRxTimeMs, oldestRx);
        QCOMPARE(oldest->body, "body " + QByteArray::number(oldestRx));
        QCOMPARE(oldest->attempts, oldestAttempts);
    }
};

QTEST_GUILESS_MAIN(TestUploadQueueStore)
#include "tst_upload_queue_store.moc"
