// Damaged capture files through the streaming reader: which records each still yields, and
// which spans are reported skipped, at which offsets. Every file is read three ways (in
// memory, from a buffer device, and from a device that hands out three bytes per read) so a
// record, an escape or a damaged span cut by a read boundary is read like any other.
#include "decode/CaptureFileReader.h"
#include "link/Kiss.h"

#include <QBuffer>
#include <QTest>

namespace {

// Three bytes per read at most.
class TrickleDevice : public QBuffer
{
public:
    using QBuffer::QBuffer;

protected:
    qint64 readData(char *data, qint64 maxSize) override { return QBuffer::readData(data, qMin(maxSize, 3)); }
};

QByteArray hex(const char *text)
{
    return QByteArray::fromHex(text);
}

// What the reader gave, joined by " | ": "frame@OFFSET HEX" (long data as "N bytes"),
// "time@..", "ms@..", and "damage@OFFSET LENGTH fault FAULT: REASON".
QString readAll(CaptureFileReader &reader)
{
    QStringList events;
    CaptureFileReader::Record r;
    using Status = CaptureFileReader::Status;
    for (Status status; (status = reader.next(r)) != Status::End && status != Status::ReadError;) {
        const CaptureFileReader::Damage &d = reader.damage();
        if (status == Status::Damaged) {
            events << QStringLiteral("damage@%1 %2 fault %3: %4").arg(d.offset).arg(d.length).arg(d.faultOffset).arg(d.reason);
            continue;
        }
        const bool text = r.kind == CaptureFileReader::Kind::TimeText;
        const char *kind = text ? "time" : r.kind == CaptureFileReader::Kind::Frame ? "frame" : "ms";
        events << QStringLiteral("%1@%2 %3")
                      .arg(QLatin1String(kind))
                      .arg(r.offset)
                      .arg(r.data.size() > 32 ? QStringLiteral("%1 bytes").arg(r.data.size())
                                              : QString::fromLatin1(text ? r.data : r.data.toHex()));
    }
    return events.join(u" | ");
}

} // namespace

class TestCaptureReader : public QObject
{
    Q_OBJECT
private slots:
    void damagedFiles_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("expected");

        QByteArray a, b, t;
        Kiss::appendFrameRecord(a, hex("00AA01"));   // 5 bytes
        Kiss::appendFrameRecord(b, hex("00BB02C0")); // 7 bytes (escaped FEND)
        Kiss::appendTimeRecord(t, "2014-08-02 13:05:09.123 UTC"); // 30 bytes
        const auto row = [](const char *name, const QByteArray &content, const char *expected) {
            QTest::newRow(name) << content << QString::fromLatin1(expected);
        };
        row("clean, our files", a + t + b,
            "frame@0 00aa01 | time@5 2014-08-02 13:05:09.123 UTC | frame@35 00bb02c0");
        row("invalid escape mid-file", a + hex("C000DB0511C0") + b,
            "frame@0 00aa01 | damage@6 4 fault 7: invalid escape | frame@11 00bb02c0");
        row("oversized by escapes, across a read boundary",
            hex("C0") + QByteArray("\xDB\xDC").repeated(65537) + hex("C0") + a,
            "damage@1 131074 fault 131073: record longer than 65536 bytes | frame@131076 00aa01");
        row("record of exactly 65536 bytes", hex("C0") + QByteArray(65536, '\x11') + hex("C0") + a,
            "frame@0 65536 bytes | frame@65538 00aa01");
        row("truncated record at the end", a + hex("C0000102"),
            "frame@0 00aa01 | damage@6 3 fault 9: truncated record at end of file");
        row("a lone FEND at the end loses nothing", a + hex("C0"), "frame@0 00aa01");
        row("garbage before the first record", "xyz" + a, "damage@0 3 fault 0: bytes outside a record | frame@3 00aa01");
        row("other tools: ms records before frames, shared FENDs",
            hex("C0090000013D5E33A2C5C000AA01C0090000013D5E33A2C6C000BBDBDCC0"),
            "ms@0 0000013d5e33a2c5 | frame@10 00aa01 | ms@14 0000013d5e33a2c6 | frame@24 00bbc0");
        // The bad escape is the last byte of the first 64 KiB read.
        row("bad escape at the chunk boundary",
            hex("C0") + QByteArray(65530, '\x22') + hex("C0") + hex("C000AADB05C0") + b,
            "frame@0 65530 bytes | damage@65533 4 fault 65535: invalid escape | frame@65538 00bb02c0");
    }

    void damagedFiles()
    {
        QFETCH(QByteArray, content);
        QFETCH(QString, expected);

        CaptureFileReader inMemory(content);
        QCOMPARE(readAll(inMemory), expected);
        QBuffer buffer(&content);
        TrickleDevice trickle(&content);
        for (QBuffer *device : {&buffer, static_cast<QBuffer *>(&trickle)}) {
            QVERIFY(device->open(QIODevice::ReadOnly));
            CaptureFileReader reader(*device);
            QCOMPARE(readAll(reader), expected);
        }
    }
};

QTEST_GUILESS_MAIN(TestCaptureReader)
#include "tst_capture_reader.moc"
