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

QByteArray timeRecord(const char *text)
{
    QByteArray out;
    Kiss::appendTimeRecord(out, text);
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
    QStringList events;
    CaptureFileReader::Record record;
    for (int guard = 0; guard < 100000; ++guard) {
        switch (reader.next(record)) {
        case CaptureFileReader::Status::End:
            return events;
        case CaptureFileReader::Status::ReadError:
            return events << QStringLiteral("read error: ") + reader.readError();
        case CaptureFileReader::Status::Damaged: {
            const CaptureFileReader::Damage &d = reader.damage();
            events << QStringLiteral("damage@%1 %2 fault %3: %4")
                          .arg(d.offset).arg(d.length).arg(d.faultOffset).arg(d.reason);
            break;
        }
        case CaptureFileReader::Status::Record: {
            static const char *const kinds[] = {"frame", "time", "ms"};
            const QString data = record.data.size() > 32
                                     ? QStringLiteral("%1 bytes").arg(record.data.size())
                                     : QString::fromLatin1(record.kind == CaptureFileReader::Kind::TimeText
                                                               ? record.data
                                                               : record.data.toHex());
            events << QStringLiteral("%1@%2 %3")
                          .arg(QLatin1String(kinds[int(record.kind)]))
                          .arg(record.offset)
                          .arg(data);
            break;
        }
        }
    }
    return events << QStringLiteral("next() never came to an end");
}

const char *const Time = "2014-08-02 13:05:09.123 UTC";

} // namespace

class TestCaptureReader : public QObject
{
    Q_OBJECT
private slots:
    void damagedFiles_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QStringList>("expected");

        const QByteArray a = frameRecord(hex("00AA01"));                  // 5 bytes
        const QByteArray b = frameRecord(hex("00BB02C0"));                // 7 bytes (escaped FEND)
        const QByteArray t = timeRecord(Time);                            // 30 bytes

        QTest::newRow("clean, our files") << a + t + b
            << QStringList{"frame@0 00aa01", QStringLiteral("time@5 ") + Time, "frame@35 00bb02c0"};
        QTest::newRow("invalid escape mid-file") << a + hex("C000DB0511C0") + b
            << QStringList{"frame@0 00aa01", "damage@6 4 fault 7: invalid escape", "frame@11 00bb02c0"};
        QTest::newRow("invalid escape right before the closing FEND") << a + hex("C000DBC0") + b
            << QStringList{"frame@0 00aa01", "damage@6 2 fault 7: invalid escape", "frame@9 00bb02c0"};
        QTest::newRow("oversized record")
            << a + hex("C0") + QByteArray(65537, '\x11') + hex("C0") + b
            << QStringList{"frame@0 00aa01",
                           "damage@6 65537 fault 65542: record longer than 65536 bytes",
                           "frame@65544 00bb02c0"};
        QTest::newRow("oversized by escapes, across a read boundary")
            << hex("C0") + QByteArray("\xDB\xDC").repeated(65537) + hex("C0") + a
            << QStringList{"damage@1 131074 fault 131073: record longer than 65536 bytes",
                           "frame@131076 00aa01"};
        QTest::newRow("record of exactly 65536 bytes")
            << hex("C0") + QByteArray(65536, '\x11') + hex("C0") + a
            << QStringList{"frame@0 65536 bytes", "frame@65538 00aa01"};
        QTest::newRow("truncated record at the end") << a + t + hex("C0000102")
            << QStringList{"frame@0 00aa01", QStringLiteral("time@5 ") + Time,
                           "damage@36 3 fault 39: truncated record at end of file"};
        QTest::newRow("truncated inside an escape") << a + hex("C000DB")
            << QStringList{"frame@0 00aa01", "damage@6 2 fault 8: truncated record at end of file"};
        QTest::newRow("a lone FEND at the end loses nothing") << a + hex("C0")
            << QStringList{"frame@0 00aa01"};
        QTest::newRow("garbage before the first record") << QByteArray("xyz") + a
            << QStringList{"damage@0 3 fault 0: bytes outside a record", "frame@3 00aa01"};
        QTest::newRow("garbage only") << QByteArray(100000, '\0')
            << QStringList{"damage@0 100000 fault 0: bytes outside a record"};
        QTest::newRow("garbage between frames with a bad escape") << a + hex("DB0177") + b
            << QStringList{"frame@0 00aa01", "damage@5 3 fault 5: invalid escape", "frame@8 00bb02c0"};
        // KISS cannot tell bytes between records from a record whose FENDs are shared.
        QTest::newRow("garbage between frames reads as a record") << a + "zz" + b
            << QStringList{"frame@0 00aa01", "frame@4 7a7a", "frame@7 00bb02c0"};
        QTest::newRow("other tools: ms records before frames, shared FENDs")
            << hex("C0090000013D5E33A2C5C000AA01C0090000013D5E33A2C6C000BBDBDCC0")
            << QStringList{"ms@0 0000013d5e33a2c5", "frame@10 00aa01", "ms@14 0000013d5e33a2c6",
                           "frame@24 00bbc0"};
        QTest::newRow("other tools: damage between shared FENDs")
            << hex("C000AA01C000DB99C000BB02C0")
            << QStringList{"frame@0 00aa01", "damage@5 3 fault 6: invalid escape", "frame@8 00bb02"};
        QTest::newRow("empty records") << hex("C0C0") + a + hex("C0C0") + b
            << QStringList{"frame@0 ", "frame@2 00aa01", "frame@7 ", "frame@9 00bb02c0"};
        // The bad escape is the last byte of the first 64 KiB read.
        const QByteArray filler = hex("C0") + QByteArray(65530, '\x22') + hex("C0");
        QTest::newRow("bad escape at the chunk boundary")
            << filler + hex("C000AADB05C0") + b
            << QStringList{"frame@0 65530 bytes", "damage@65533 4 fault 65535: invalid escape",
                           "frame@65538 00bb02c0"};
    }

    void damagedFiles()
    {
        QFETCH(QByteArray, content);
        QFETCH(QStringList, expected);

        CaptureFileReader inMemory(content);
        QCOMPARE(readAll(inMemory), expected);

        QBuffer buffer(&content);
        QVERIFY(buffer.open(QIODevice::ReadOnly));
        CaptureFileReader whole(buffer);
        QCOMPARE(readAll(whole), expected);

        TrickleDevice trickle(content, 3);
        CaptureFileReader trickled(trickle);
        QCOMPARE(readAll(trickled), expected);
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

    void millisecondsToText()
    {
        QCOMPARE(CaptureFileReader::millisecondsToText(hex("0000013D5E33A2C5")),
                 QStringLiteral("2013-03-12 10:44:35.141 UTC"));
    }
};

QTEST_GUILESS_MAIN(TestCaptureReader)
#include "tst_capture_reader.moc"
