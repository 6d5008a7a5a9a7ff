// The field readers and BytesToNumber: sign rules, byte order, the bounds of the current frame
// (position 512 and the frame's end), and BytesToNumber's argument rules.
#include "decode/FieldReaders.h"

#include <QTest>

#include <vector>

namespace {

enum class Reader { Int16, UInt32, SByte };

// A frame of the given length filled with 0xEE, with bytes placed at position.
std::vector<std::uint8_t> frameWith(int length, int position, const QByteArray &bytes)
{
    std::vector<std::uint8_t> frame(std::size_t(length), 0xEE);
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        const qsizetype index = position - 1 + i;
        if (index >= 0 && index < length)
            frame[std::size_t(index)] = std::uint8_t(bytes[i]);
    }
    return frame;
}

} // namespace

Q_DECLARE_METATYPE(Reader)

class TestFieldReaders : public QObject
{
    Q_OBJECT
private slots:
    void readers_data();
    void readers();
    void bytesToNumber_data();
    void bytesToNumber();
};

void TestFieldReaders::readers_data()
{
    QTest::addColumn<Reader>("reader");
    QTest::addColumn<int>("frameLength");
    QTest::addColumn<int>("position");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<bool>("readable");
    QTest::addColumn<qint64>("expected");

    const auto row = [](const char *name, Reader reader, int length, int position,
                        const char *hex, bool readable, qint64 expected) {
        QTest::newRow(name) << reader << length << position << QByteArray::fromHex(hex)
                            << readable << expected;
    };
    // Byte order and sign of ReadInt16: low byte first, high byte two's complement.
    row("int16 little-endian", Reader::Int16, 100, 26, "3412", true, 4660);
    row("int16 -2", Reader::Int16, 100, 26, "FEFF", true, -2);
    row("int16 -32768", Reader::Int16, 100, 26, "0080", true, -32768);
    row("int16 32767", Reader::Int16, 100, 26, "FF7F", true, 32767);
    row("int16 low byte unsigned", Reader::Int16, 100, 26, "FF00", true, 255);
    // ReadUInt32: every byte unsigned, the full range.
    row("uint32 1", Reader::UInt32, 100, 35, "01000000", true, 1);
    row("uint32 10000", Reader::UInt32, 100, 35, "10270000", true, 10000);
    row("uint32 2147483647", Reader::UInt32, 100, 35, "FFFFFF7F", true, 2147483647);
    row("uint32 2147483648", Reader::UInt32, 100, 35, "00000080", true, 2147483648LL);
    row("uint32 4294967295", Reader::UInt32, 100, 35, "FFFFFFFF", true, 4294967295LL);
    // ReadSByte: two's complement.
    row("sbyte 0x7F", Reader::SByte, 100, 32, "7F", true, 127);
    row("sbyte 0x80", Reader::SByte, 100, 32, "80", true, -128);
    row("sbyte 0x81", Reader::SByte, 100, 32, "81", true, -127);
    row("sbyte 0xFF", Reader::SByte, 100, 32, "FF", true, -1);
    row("sbyte 0x00", Reader::SByte, 100, 32, "00", true, 0);
    row("sbyte 0xB5", Reader::SByte, 100, 32, "B5", true, -75);
    // Bounds of the 512 positions.
    row("int16 at 511", Reader::Int16, 512, 511, "0100", true, 1);
    row("int16 at 512", Reader::Int16, 512, 512, "01", false, 0);
    row("uint32 at 509", Reader::UInt32, 512, 509, "01000000", true, 1);
    row("uint32 at 510", Reader::UInt32, 512, 510, "01000000", false, 0);
    row("sbyte at 512", Reader::SByte, 512, 512, "05", true, 5);
    row("sbyte at 513", Reader::SByte, 600, 513, "05", false, 0);
    row("int16 at 0", Reader::Int16, 100, 0, "", false, 0);
    row("sbyte at -1", Reader::SByte, 100, -1, "", false, 0);
    // The end of the current frame: nothing past it is read.
    row("int16 last two bytes", Reader::Int16, 30, 29, "0200", true, 2);
    row("int16 second byte past end", Reader::Int16, 30, 30, "02", false, 0);
    row("uint32 one byte past end", Reader::UInt32, 37, 35, "010000", false, 0);
    row("sbyte last byte", Reader::SByte, 32, 32, "80", true, -128);
    row("sbyte past end", Reader::SByte, 31, 32, "", false, 0);
    row("empty frame", Reader::SByte, 0, 1, "", false, 0);
}

void TestFieldReaders::readers()
{
    QFETCH(Reader, reader);
    QFETCH(int, frameLength);
    QFETCH(int, position);
    QFETCH(QByteArray, bytes);
    QFETCH(bool, readable);
    QFETCH(qint64, expected);

    // Exactly frameLength bytes on the heap: the sanitizer build catches any read past them.
    const std::vector<std::uint8_t> frame = frameWith(frameLength, position, bytes);
    std::optional<qint64> value;
    switch (reader) {
    case Reader::Int16:
        if (auto v = ReadInt16(frame, position))
            value = *v;
        break;
    case Reader::UInt32:
        if (auto v = ReadUInt32(frame, position))
            value = *v;
        break;
    case Reader::SByte:
        if (auto v = ReadSByte(frame, position))
            value = *v;
        break;
    }
    QCOMPARE(value.has_value(), readable);
    if (readable)
        QCOMPARE(*value, expected);
}

void TestFieldReaders::bytesToNumber_data()
{
    QTest::addColumn<QByteArray>("entries"); // entry 1 first
    QTest::addColumn<int>("start");
    QTest::addColumn<int>("end");
    QTest::addColumn<bool>("isUnsigned");
    QTest::addColumn<double>("expected");
    QTest::addColumn<int>("endAfter");
    QTest::addColumn<bool>("message");

    const auto row = [](const char *name, const char *hex, int start, int end, bool isUnsigned,
                        double expected, int endAfter, bool message) {
        QTest::newRow(name) << QByteArray::fromHex(hex) << start << end << isUnsigned << expected
                            << endAfter << message;
    };
    row("two bytes signed", "FEFF", 1, 2, false, -2, 2, false);
    row("two bytes unsigned", "FEFF", 1, 2, true, 65534, 2, false);
    row("four bytes signed", "000000FF", 1, 4, false, -16777216, 4, false);
    row("four bytes unsigned", "000000FF", 1, 4, true, 4278190080.0, 4, false);
    row("one byte ignores the flag", "00FF00FF", 2, 2, false, 255, 2, false);
    row("single entry 3 of 0xFF", "0000FF00", 3, 3, false, 255, 3, false);
    row("middle range, sign on its last", "11228833", 2, 3, false, -30686, 3, false);
    row("end 0 becomes the upper bound", "01020304", 1, 0, true, 67305985, 4, false);
    row("end -5 becomes the upper bound", "0102", 2, -5, true, 2, 2, false);
    row("start above end", "01020304", 5, 4, false, -1, 4, true);
    row("start -1", "01020304", -1, 2, false, -1, 2, true);
    row("start 0 is outside the array", "01020304", 0, 2, false, 0, 2, false);
    row("end beyond the array", "0102", 1, 3, false, 0, 3, false);
    row("end beyond the 16-bit counter", "0102", 1, 32768, false, 0, 32768, false);
    row("start beyond the 16-bit counter", "0102", 32767, 32767, false, 0, 32767, false);
}

void TestFieldReaders::bytesToNumber()
{
    QFETCH(QByteArray, entries);
    QFETCH(int, start);
    QFETCH(int, end);
    QFETCH(bool, isUnsigned);
    QFETCH(double, expected);
    QFETCH(int, endAfter);
    QFETCH(bool, message);

    const std::vector<std::uint8_t> array(entries.begin(), entries.end());
    QStringList shown;
    std::int32_t endIndex = end;
    const double result = BytesToNumber(array, start, endIndex, isUnsigned,
                                        [&shown](const QString &text) { shown << text; });
    QVERIFY2(result == expected, qPrintable(QString::number(result, 'g', 17)));
    QCOMPARE(endIndex, endAfter);
    QCOMPARE(shown, message ? QStringList{QStringLiteral(
                                  "Start record can not be greater then End record...!")}
                            : QStringList{});
}

QTEST_GUILESS_MAIN(TestFieldReaders)
#include "tst_field_readers.moc"
