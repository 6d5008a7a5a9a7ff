// The durable upload queue: order, states, the already-waiting answer and the limit that drops
// the oldest waiting frames, after a table of operations. (Rejected entries put back:
// tst_commands_queue; the queue after a restart: tst_store_forward and the version-1 migration.)
#include "StoreTesting.h"

#include "store/UploadQueueStore.h"

#include <QSet>
#include <QTest>

namespace {

// "waiting/delivered/rejected", then the oldest waiting entry as "rx@attempts"; marked
// inconsistent when the statistics, the waiting count or the stored body disagree with it.
QString queueState(UploadQueueStore &queue)
{
    const UploadQueueStore::Statistics counts = queue.statistics();
    const std::optional<PendingUpload> oldest = queue.oldestWaiting();
    QString state = QStringLiteral("%1/%2/%3").arg(counts.waiting).arg(counts.delivered).arg(counts.rejected);
    if (oldest)
        state += QStringLiteral(" %1@%2").arg(oldest->rxTimeMs).arg(oldest->attempts);
    if (counts.oldestWaitingRxTimeMs != (oldest ? std::optional(oldest->rxTimeMs) : std::nullopt) ||
        queue.waitingCount() != counts.waiting || !counts.error.isEmpty() ||
        (oldest && oldest->body != "body " + QByteArray::number(oldest->rxTimeMs)))
        state += QStringLiteral(" inconsistent");
    return state;
}

} // namespace

class TestUploadQueueStore : public QObject
{
    Q_OBJECT
private slots:
    void operations_data()
    {
        // Operations: "q<rx>" enqueues a frame received at rx (seed rx % 100, so rx 100 and 200
        // carry the same bytes), "o<rx>" one with other bytes, "w<rx>" the "q" frame again and
        // expects it already waiting; "d" / "f" / "r" mark the oldest waiting entry delivered /
        // failed once / rejected, "F" flushes, "L<n>" limits the waiting entries to n.
        QTest::addColumn<QString>("operations");
        QTest::addColumn<QString>("state"); // see queueState
        QTest::addColumn<int>("dropped");   // over the limit
        QTest::newRow("oldest reception first, failed stays first") << "q30 q10 q20 f f" << "3/0/0 10@2" << 0;
        QTest::newRow("delivered leaves the queue") << "q10 q20 d" << "1/1/0 20@0" << 0;
        QTest::newRow("rejected leaves the queue") << "q10 q20 r" << "1/0/1 20@0" << 0;
        // Waiting while buffered and on disk; other bytes or another time are other frames; a
        // delivered entry (its outcome not yet committed) no longer waits.
        QTest::newRow("already waiting") << "q200 w200 F w200 o200 q100 d q100" << "3/1/0 100@0" << 0;
        QTest::newRow("limit drops the oldest") << "L3 q1 q2 q3 q4 q5" << "3/0/0 3@0" << 2;
        QTest::newRow("limit, a commit after each") << "L3 q1 F q2 F q3 F q4 F q5" << "3/0/0 3@0" << 2;
        QTest::newRow("limit: delivered do not count") << "L3 q1 q2 q3 d q4" << "3/1/0 2@0" << 0;
        // A limit lowered at start applies without waiting for a new frame.
        QTest::newRow("limit lowered") << "q1 q2 q3 F L1" << "1/0/0 3@0" << 2;
    }

    void operations()
    {
        QFETCH(QString, operations);
        QFETCH(QString, state);
        QFETCH(int, dropped);
        TempStore s;
        UploadQueueStore queue(s.database);
        QSet<QPair<int, int>> received; // (rx, seed)
        for (const QString &operation : operations.split(u' ')) {
            const QChar kind = operation.at(0);
            if (kind == u'q' || kind == u'o' || kind == u'w') {
                const int rx = operation.mid(1).toInt();
                const int seed = rx % 100 + (kind == u'o' ? 50 : 0);
                received.insert({rx, seed});
                QCOMPARE(queue.enqueue(rx, frameBytes(seed), "body " + QByteArray::number(rx)),
                         kind == u'w' ? EnqueueResult::AlreadyWaiting : EnqueueResult::Queued);
            } else if (kind == u'L') {
                queue.setMaxWaiting(operation.mid(1).toInt());
            } else if (kind == u'F') {
                QVERIFY(s.database.flush());
            } else {
                const std::optional<PendingUpload> oldest = queue.oldestWaiting();
                QVERIFY(oldest);
                if (kind == u'd')
                    queue.markDelivered(oldest->id);
                else if (kind == u'f')
                    queue.markFailedAttempt(oldest->id, QStringLiteral("Connection refused"));
                else
                    queue.markRejected(oldest->id, QStringLiteral("HTTP/1.1 400 Bad Request"));
            }
        }
        QCOMPARE(queueState(queue), state);
        QCOMPARE(queue.takeDroppedCount(), dropped);
        QCOMPARE(queue.takeDroppedCount(), 0);
        // Dropped or not, every frame stays in the archive of received frames.
        QCOMPARE(RawConnection(s.dir.path()).number(QStringLiteral("SELECT COUNT(*) FROM frames")), received.size());
    }
};

QTEST_GUILESS_MAIN(TestUploadQueueStore)
#include "tst_upload_queue_store.moc"
