// Damaged capture files through the streaming reader: which records each still yields, and
// which spans are reported skipped, at which offsets. Every file is read three ways (in
// memory, from a buffer device, and from a device that hands out a few bytes per read) so a
// record, an escape or a damaged span cut by a read boundary is read like any other.
#include "decode/CaptureFileReader.h"
#include "link/Kiss.h"

#include <QBuffer>
#include <QTest>

namespace {

// A device over content that gives at most step bytes per read and fails at failAt.
class TrickleDevice : public QIODevice
{
public:
    TrickleDevice(QByteArray content, qint64 step, qint64 failAt = -1)
        : m_content(std::move(content)), m_step(step), m_failAt(failAt)
    {
        open(QIODevice::ReadOnly);
    }
    bool isSequential() const override { return true; }

protected:
    qint64 readData(char *data, qint64 maxSize) override
    {
        if (m_failAt >= 0 && m_position >= m_failAt) {
            setErrorString(QStringLiteral("input/output error"));
            return -1;
        }
        qint64 n = std::min({maxSize, m_step, qint64(m_content.size()) - m_position});
        if (m_failAt >= 0)
            n = std::min(n, m_failAt - m_position);
        std::memcpy(data, m_content.constData() + m_position, std::size_t(n));
        m_position += n;
        return n;
    }
    qint64 writeData(const char *, qint64) override { return -1; }

private:
    QByteArray m_content;
    qint64 m_step;
    qint64 m_failAt;
    qint64 m_position = 0;
};

QByteArray frameRecord(const QByteArray &data)
{
    QByteArray out;
    Kiss::appendFrameRecord(out, data);
    return out;
}

QByteArray hex(const char *text)
{
    return QByteArray::fromHex(text);
}

// What the reader gave, one line each: "frame@OFFSET HEX" (long data as "N bytes"), "time@..",
// "ms@..", "damage@OFFSET LENGTH fault FAULT: REASON", and "read error: TEXT" at the end.
QStringList readAll(CaptureFileReader &reader)
{
    using Status = CaptureFileReader::Status;
    QStringList events;
    CaptureFileReader::Record r;
    for (int guard = 0; guard < 100000; ++guard) {
        const Status status = reader.next(r);
        const CaptureFileReader::Damage &d = reader.damage();
        if (status == Status::End)
            return events;
        if (status == Status::ReadError)
            return events << QStringLiteral("read error: ") + reader.readError();
        if (status == Status::Damaged) {
            events << QStringLiteral("damage@%1 %2 fault %3: %4")
                          .arg(d.offset).arg(d.length).arg(d.faultOffset).arg(d.reason);
            continue;
        }
        const bool text = r.kind == CaptureFileReader::Kind::TimeText;
        events << QStringLiteral("%1@%2 %3")
                      .arg(QLatin1String(text ? "time" : r.kind == CaptureFileReader::Kind::Frame ? "frame" : "ms"))
                      .arg(r.offset)
                      .arg(r.data.size() > 32 ? QStringLiteral("%1 bytes").arg(r.data.size())
                                              : QString::fromLatin1(text ? r.data : r.data.toHex()));
    }
    return events << QStringLiteral("next() never came to an end");
}

} // namespace

class TestCaptureReader : public QObject
{
    Q_OBJECT
private slots:
    void damagedFiles_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("expected"); // events joined by " | "

        const QByteArray a = frameRecord(hex("00AA01"));   // 5 bytes
        const QByteArray b = frameRecord(hex("00BB02C0")); // 7 bytes (escaped FEND)
        QByteArray t;                                      // 30 bytes
        Kiss::appendTimeRecord(t, "2014-08-02 13:05:09.123 UTC");
        const auto row = [](const char *name, const QByteArray &content, const char *expected) {
            QTest::newRow(name) << content << QString::fromLatin1(expected);
        };
        row("clean, our files", a + t + b,
            "frame@0 00aa01 | time@5 2014-08-02 13:05:09.123 UTC | frame@35 00bb02c0");
        row("invalid escape mid-file", a + hex("C000DB0511C0") + b,
            "frame@0 00aa01 | damage@6 4 fault 7: invalid escape | frame@11 00bb02c0");
        row("invalid escape right before the closing FEND", a + hex("C000DBC0") + b,
            "frame@0 00aa01 | damage@6 2 fault 7: invalid escape | frame@9 00bb02c0");
        row("oversized record", a + hex("C0") + QByteArray(65537, '\x11') + hex("C0") + b,
            "frame@0 00aa01 | damage@6 65537 fault 65542: record longer than 65536 bytes | frame@65544 00bb02c0");
        row("oversized by escapes, across a read boundary",
            hex("C0") + QByteArray("\xDB\xDC").repeated(65537) + hex("C0") + a,
            "damage@1 131074 fault 131073: record longer than 65536 bytes | frame@131076 00aa01");
        row("record of exactly 65536 bytes", hex("C0") + QByteArray(65536, '\x11') + hex("C0") + a,
            "frame@0 65536 bytes | frame@65538 00aa01");
        row("truncated record at the end", a + t + hex("C0000102"),
            "frame@0 00aa01 | time@5 2014-08-02 13:05:09.123 UTC | "
            "damage@36 3 fault 39: truncated record at end of file");
        row("truncated inside an escape", a + hex("C000DB"),
            "frame@0 00aa01 | damage@6 2 fault 8: truncated record at end of file");
        row("a lone FEND at the end loses nothing", a + hex("C0"), "frame@0 00aa01");
        row("garbage before the first record", "xyz" + a, "damage@0 3 fault 0: bytes outside a record | frame@3 00aa01");
        row("garbage only", QByteArray(100000, '\0'), "damage@0 100000 fault 0: bytes outside a record");
        row("garbage between frames with a bad escape", a + hex("DB0177") + b,
            "frame@0 00aa01 | damage@5 3 fault 5: invalid escape | frame@8 00bb02c0");
        // KISS cannot tell bytes between records from a record whose FENDs are shared.
        row("garbage between frames reads as a record", a + "zz" + b, "frame@0 00aa01 | frame@4 7a7a | frame@7 00bb02c0");
        row("other tools: ms records before frames, shared FENDs",
            hex("C0090000013D5E33A2C5C000AA01C0090000013D5E33A2C6C000BBDBDCC0"),
            "ms@0 0000013d5e33a2c5 | frame@10 00aa01 | ms@14 0000013d5e33a2c6 | frame@24 00bbc0");
        row("other tools: damage between shared FENDs", hex("C000AA01C000DB99C000BB02C0"),
            "frame@0 00aa01 | damage@5 3 fault 6: invalid escape | frame@8 00bb02");
        row("empty records", hex("C0C0") + a + hex("C0C0") + b,
            "frame@0  | frame@2 00aa01 | frame@7  | frame@9 00bb02c0");
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
        QCOMPARE(readAll(inMemory).join(" | "), expected);
        QBuffer buffer(&content);
        QVERIFY(buffer.open(QIODevice::ReadOnly));
        TrickleDevice trickle(content, 3);
        for (QIODevice *device : {static_cast<QIODevice *>(&buffer), static_cast<QIODevice *>(&trickle)}) {
            CaptureFileReader reader(*device);
            QCOMPARE(readAll(reader).join(" | "), expected);
        }
    }

    void readErrorEndsTheInput()
    {
        const QByteArray content = frameRecord(hex("00AA01")) + frameRecord(hex("00BB02"));
        TrickleDevice device(content, 4, 7);
        CaptureFileReader reader(device);
        QCOMPARE(readAll(reader),
                 (QStringList{"frame@0 00aa01", "read error: input/output error"}));
        CaptureFileReader::Record record;
        QCOMPARE(reader.next(record), CaptureFileReader::Status::ReadError);
    }
};

QTEST_GUILESS_MAIN(TestCaptureReader)
#include "tst_capture_reader.moc"
