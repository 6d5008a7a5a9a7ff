// `halvora1 decode` run as a program on damaged files, a pipe, stdin and a device: which frames come out, what is reported on stderr, the exit status, and the memory
// it takes on an endless record.
#include "decode/SatelliteFrames.h"
#include "link/Kiss.h"
#include "support/Programs.h"

#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

using namespace SatelliteFrames;

namespace {

const char *const T1 = "2014-08-02 13:05:09.123 UTC";
const char *const T2 = "2014-08-02 13:06:10.456 UTC";

// The record of a COM housekeeping frame (eight decoded channels) with a marker in its first
// channel.
QByteArray comRecord(int marker)
{
    QByteArray data = frameOf(ComGroups, ComLength);
    putInt16(data, 26, marker);
    QByteArray out;
    Kiss::appendFrameRecord(out, data);
    return out;
}

// Our order: the frame, then its time text.
QByteArray satelliteWithTime(int marker, const char *time)
{
    QByteArray out = comRecord(marker);
    Kiss::appendTimeRecord(out, time);
    return out;
}

// "rx_time value-of-channel-51" for each decoded frame, in output order.
QStringList decodedFrames(const QByteArray &csv)
{
    QStringList frames;
    for (const QByteArray &line : csv.split('\n')) {
        const QList<QByteArray> fields = line.split(',');
        if (fields.value(3) == "51")
            frames << QString::fromLatin1(fields[0] + ' ' + fields.last());
    }
    return frames;
}

// The highest resident set of a running process, in KiB; -1 if unknown.
qint64 peakResidentKiB(qint64 pid)
{
    const QByteArray status = readFile(QStringLiteral("/proc/%1/status").arg(pid));
    const qsizetype at = status.indexOf("VmHWM:");
    return at < 0 ? -1 : status.mid(at + 6, status.indexOf('\n', at) - at - 6).trimmed().split(' ').value(0).toLongLong();
}

} // namespace

class TestDecodeCommand : public QObject
{
    Q_OBJECT
private slots:
    void damagedInput_data()
    {
        QTest::addColumn<QString>("input"); // "file", or "pipe" for a named pipe
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QStringList>("frames");
        QTest::addColumn<QByteArray>("errors"); // INPUT stands for the path

        const QByteArray one = satelliteWithTime(1, T1);
        const QByteArray two = satelliteWithTime(2, T2);
        QTest::newRow("pipe, damaged time record: its frame has no time, the next its own")
            << "pipe" << satelliteWithTime(1, "2014-08-02 13:05:09.1\xDB\x01 UTC") + two
            << QStringList{QStringLiteral(" 1"), QStringLiteral("%1 2").arg(T2)}
            << "INPUT: offset " + QByteArray::number(one.size() - 29) + ": 28 bytes skipped (invalid escape)\n";
        // Other tools' order (the 8-byte millisecond record, then the frame; FENDs shared); the
        // second frame is lost, and the time record before it with it.
        const QByteArray timed = QByteArray::fromHex("C0090000013D5E33A2C5") + comRecord(1);
        QTest::newRow("other tools: a lost frame's time stays with it")
            << "file" << timed + QByteArray::fromHex("C0090000013D5E33A6ADC000DB05C0") + comRecord(2)
            << QStringList{QStringLiteral("2013-03-12 10:44:35.141 UTC 1"), QStringLiteral(" 2")}
            << "INPUT: offset " + QByteArray::number(timed.size() + 11) + ": 3 bytes skipped (invalid escape)\n";
        // A frame heard on the second radio port (KISS port nibble 1) with its own time record
        // before it: that time is its own, not the next frame's.
        QByteArray otherPort = QByteArray::fromHex("C0090000013D5E33A2C5");
        Kiss::appendFrameRecord(otherPort, QByteArray::fromHex("10A8A4A6A6404060AE6E8A96A2406103F0") + "x");
        QTest::newRow("a frame on another radio port keeps its time")
            << "file" << otherPort + one << QStringList{QStringLiteral("%1 1").arg(T1)} << QByteArray();
    }

    void damagedInput()
    {
        QFETCH(QString, input);
        QFETCH(QByteArray, content);
        QFETCH(QStringList, frames);
        QFETCH(QByteArray, errors);

        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("capture.kss"));
        if (input == u"file")
            QVERIFY(writeFile(path, content));
        if (input == u"pipe")
            QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
        ScopedProcess decode;
        decode.start(builtProgram(QStringLiteral("halvora1")), {"decode", path});
        QVERIFY(decode.waitForStarted());
        if (input == u"pipe") {
            QFile writer(path); // opening waits for the reader
            QVERIFY(writer.open(QIODevice::WriteOnly));
            QCOMPARE(writer.write(content), content.size());
        }
        QVERIFY(decode.waitForFinished(20000));
        QCOMPARE(decode.readAllStandardError(), errors.replace("INPUT", path.toUtf8()));
        QCOMPARE(decode.exitCode(), 0);
        QCOMPARE(decodedFrames(decode.readAllStandardOutput()), frames);
    }

    void inputsThatAreNotCaptureFiles_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QByteArray>("error");
        QTest::newRow("character device")
            << "/dev/zero" << QByteArray("cannot read /dev/zero: is neither a regular file nor a pipe");
        // A regular file whose first read fails (the unmapped page at address 0).
        QTest::newRow("read error")
            << "/proc/self/mem" << QByteArray("cannot read /proc/self/mem: Input/output error");
    }

    void inputsThatAreNotCaptureFiles()
    {
        QFETCH(QString, path);
        QFETCH(QByteArray, error);

        // The good file after the bad argument is still decoded.
        QTemporaryDir dir;
        const QString good = dir.filePath(QStringLiteral("good.kss"));
        QVERIFY(writeFile(good, satelliteWithTime(1, T1)));
        const ProgramRun run = runProgram(QStringLiteral("halvora1"), {"decode", path, good});
        QCOMPARE(run.exitCode, 1);
        QVERIFY2(run.err.startsWith("halvora1 decode: " + error), run.err);
        QCOMPARE(decodedFrames(run.out), QStringList{QStringLiteral("%1 1").arg(T1)});
    }

    // One record opened and never closed.
    void endlessInputKeepsMemoryBounded()
    {
        constexpr qint64 Total = 200LL * 1024 * 1024;
        ScopedProcess decode;
        decode.start(builtProgram(QStringLiteral("halvora1")), {"decode", "-"});
        QVERIFY(decode.waitForStarted());
        const QByteArray zeros(1024 * 1024, '\0');
        decode.write(QByteArray::fromHex("C000"));
        qint64 sent = 2;
        for (; sent < Total; sent += zeros.size()) {
            decode.write(zeros);
            while (decode.bytesToWrite() > 0)
                QVERIFY(decode.waitForBytesWritten(10000));
        }
        // Still running, all of it read or in the pipe: its peak so far.
        const qint64 peakKiB = peakResidentKiB(decode.processId());
        decode.closeWriteChannel();
        QVERIFY(decode.waitForFinished(20000));
        QCOMPARE(decode.exitCode(), 0);
        const QByteArray err = decode.readAllStandardError();
        // All but the opening FEND.
        QVERIFY2(err.endsWith(" " + QByteArray::number(sent - 1) + " bytes skipped (record longer than 65536 bytes)\n"), err);
#if defined(__SANITIZE_ADDRESS__)
        Q_UNUSED(peakKiB);
        QSKIP("the sanitizer's shadow memory makes the peak meaningless");
#else
        QVERIFY2(peakKiB > 0 && peakKiB < 50 * 1024, QByteArray::number(peakKiB) + " KiB");
#endif
    }
};

QTEST_GUILESS_MAIN(TestDecodeCommand)
#include "tst_decode_command.moc"
