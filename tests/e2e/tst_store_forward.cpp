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

// A COM frame whose bytes 30..31 carry its number, so every frame is a different one.
QByteArray numberedFrame(int number)
{
    QByteArray data = SatelliteFrames::frameOf(SatelliteFrames::ComGroups, SatelliteFrames::ComLength);
    SatelliteFrames::putInt16(data, 30, number);
    return data;
}

// The body's frame field: the frame after the KISS command byte, as hex with blanks.
QString frameField(const QByteArray &recordData)
{
    return QString::fromLatin1(recordData.mid(1).toHex(' ').toUpper());
}

// Frame field -> the time record that follows the frame in the station's capture files, as the
// body's timestamp ("2026-12-06 21:03:07.123 UTC" -> "2026-12-06T21:03:07.123Z").
QHash<QString, QString> capturedTimestamps(const QDir &dir)
{
    QHash<QString, QString> timestamps;
    for (const QString &file : dir.entryList({QStringLiteral("*.kss")}, QDir::Files)) {
        const QList<CaptureFileReader::Record> records = readCaptureRecords(dir.filePath(file));
        for (qsizetype i = 0; i + 1 < records.size(); ++i) {
            if (records[i].kind != CaptureFileReader::Kind::Frame ||
                records[i + 1].kind != CaptureFileReader::Kind::TimeText)
                continue;
            QString time = QString::fromLatin1(records[i + 1].data);
            if (time.endsWith(QStringLiteral(" UTC")))
                time = time.chopped(4).replace(10, 1, u'T') + u'Z';
            timestamps.insert(frameField(records[i].data), time);
        }
    }
    return timestamps;
}

qsizetype capturedFrameCount(const QDir &dir)
{
    return capturedTimestamps(dir).size();
}

// Waiting entries as another reader of the station database sees them (-1: cannot be read).
qint64 waitingInDatabase(const QString &dir)
{
    StationDatabase database;
    if (!database.open(dir).ok)
        return -1;
    UploadQueueStore queue(database);
    const UploadQueueStore::Statistics statistics = queue.statistics();
    return statistics.error.isEmpty() ? statistics.waiting : -1;
}

QString field(const FormFields &fields, const QString &name)
{
    for (const auto &[key, value] : fields) {
        if (key == name)
            return value;
    }
    return {};
}

} // namespace

class TestStoreForward : public QObject
{
    Q_OBJECT
private slots:

    void everyFrameArrivesOnceAfterAHardKill()
    {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        AgwLoopbackServer engine;
        // The collection server's port is closed until the station has been killed.
        const quint16 serverPort = freeLoopbackPort();
        QVERIFY(serverPort != 0);
        const QString serverUrl = QStringLiteral("http://127.0.0.1:%1/telemetry").arg(serverPort);

        HeadlessStation first(dir.path());
        QVERIFY(first.writeConfiguration(engine.portValue(), serverUrl));
        QVERIFY(first.startUploading());
        QTRY_COMPARE_WITH_TIMEOUT(engine.connectionCount(), 1, Generous);
        for (int number = 0; number < BacklogFrames; ++number) {
            engine.send(AgwLoopbackServer::rawFrameRecord(numberedFrame(number)));
            QTest::qWait(10); // each frame its own reception time
        }
        QTRY_COMPARE_WITH_TIMEOUT(capturedFrameCount(dir.path()), BacklogFrames, Generous);
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
        QTRY_VERIFY_WITH_TIMEOUT(
            second.output().contains(QByteArray::number(BacklogFrames) +
                                     " frames wait for upload from an earlier run"),
            Generous);
        // The backlog goes out by itself, before any new frame arrives.
        QTRY_VERIFY_WITH_TIMEOUT(server.requests().size() >= BacklogFrames, Generous);
        for (int number = BacklogFrames; number < BacklogFrames + LiveFrames; ++number) {
            engine.send(AgwLoopbackServer::rawFrameRecord(numberedFrame(number)));
            QTest::qWait(10);
        }
        QTRY_COMPARE_WITH_TIMEOUT(capturedFrameCount(dir.path()), BacklogFrames + LiveFrames, Generous);
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
            const FormFields fields = decodeFormFields(request.body);
            const QString frame = field(fields, QStringLiteral("frame"));
            QVERIFY2(captured.contains(frame), qPrintable(frame));
            // The stored body: the reception time, not the time it was sent.
            QCOMPARE(field(fields, QStringLiteral("timestamp")), captured.value(frame));
            QCOMPARE(field(fields, QStringLiteral("source")), QStringLiteral("TEST"));
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
        QVERIFY(dir.isValid());
        AgwLoopbackServer engine;
        HeadlessStation running(dir.path());
        QVERIFY(running.writeConfiguration(engine.portValue()));
        QVERIFY(running.start());
        // Connected: its start, which takes the directory's lock, is over.
        QTRY_COMPARE_WITH_TIMEOUT(engine.connectionCount(), 1, Generous);

        HeadlessStation second(dir.path());
        QVERIFY(second.start());
        QVERIFY(second.process().waitForFinished(Generous));
        QCOMPARE(second.process().exitStatus(), QProcess::NormalExit);
        QVERIFY(second.process().exitCode() != 0);
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
