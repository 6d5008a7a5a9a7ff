// The field readers, BytesToNumber, naming frames by their header groups, the family decoders,
// the history ring. Expected values are literals worked out independently.
#include "decode/FieldReaders.h"
#include "decode/FrameDecoder.h"
#include "decode/PacketClassifier.h"
#include "decode/SatelliteFrames.h"

#include <QTest>

#include <cmath>
#include <vector>

using namespace SatelliteFrames;

namespace {

enum class Reader { Int16, UInt32, SByte };

// Exactly the given bytes on the heap: the sanitizer build catches any read past them.
std::vector<std::uint8_t> bytesOf(const QByteArray &data)
{
    return {data.begin(), data.end()};
}

FrameDecodeResult decode(const QByteArray &data, TelemetryHistory &history)
{
    return decodeSatelliteFrame(bytesOf(data), QStringLiteral("2014-08-02 13:05:09.123 UTC"), history);
}

} // namespace

Q_DECLARE_METATYPE(Reader)
Q_DECLARE_METATYPE(PacketType)

class TestDecoding : public QObject
{
    Q_OBJECT
private slots:

    void readers_data()
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
        row("int16 -2", Reader::Int16, 100, 26, "FEFF", true, -2);
        row("int16 low byte unsigned", Reader::Int16, 100, 26, "FF00", true, 255);
        row("uint32 4294967295", Reader::UInt32, 100, 35, "FFFFFFFF", true, 4294967295LL);
        row("sbyte 0x7F", Reader::SByte, 100, 32, "7F", true, 127);
        row("sbyte 0x80", Reader::SByte, 100, 32, "80", true, -128);
        // Bounds of the 512 positions.
        row("int16 at 511", Reader::Int16, 512, 511, "0100", true, 1);
        row("int16 at 512", Reader::Int16, 512, 512, "01", false, 0);
        row("uint32 at 510", Reader::UInt32, 512, 510, "01000000", false, 0);
        row("sbyte at 512", Reader::SByte, 512, 512, "05", true, 5);
        // The end of the current frame: nothing past it is read.
        row("int16 second byte past end", Reader::Int16, 30, 30, "02", false, 0);
        row("uint32 one byte past end", Reader::UInt32, 37, 35, "010000", false, 0);
        row("sbyte past end", Reader::SByte, 31, 32, "", false, 0);
    }

    void readers()
    {
        QFETCH(Reader, reader);
        QFETCH(int, frameLength);
        QFETCH(int, position);
        QFETCH(QByteArray, bytes);
        QFETCH(bool, readable);
        QFETCH(qint64, expected);

        QByteArray data(frameLength, char(0xEE));
        if (position > 0)
            data.replace(position - 1, qMin(bytes.size(), frameLength - position + 1), bytes);
        const std::vector<std::uint8_t> frame = bytesOf(data.left(frameLength));
        std::optional<qint64> value;
        if (reader == Reader::Int16)
            value = ReadInt16(frame, position);
        else if (reader == Reader::UInt32)
            value = ReadUInt32(frame, position);
        else
            value = ReadSByte(frame, position);
        QCOMPARE(value.has_value(), readable);
        QCOMPARE(value.value_or(0), expected);
    }

    void bytesToNumber_data()
    {
        QTest::addColumn<QByteArray>("entries"); // entry 1 first
        QTest::addColumn<int>("start");
        QTest::addColumn<int>("end");
        QTest::addColumn<bool>("isUnsigned");
        QTest::addColumn<double>("expected");
        QTest::addColumn<int>("endAfter"); // a result of -1 comes with the message

        const auto row = [](const char *name, const char *hex, int start, int end, bool isUnsigned,
                            double expected, int endAfter) {
            QTest::newRow(name) << QByteArray::fromHex(hex) << start << end << isUnsigned << expected
                                << endAfter;
        };
        row("two bytes signed", "FEFF", 1, 2, false, -2, 2);
        row("four bytes unsigned", "000000FF", 1, 4, true, 4278190080.0, 4);
        row("one byte ignores the flag", "00FF00FF", 2, 2, false, 255, 2);
        row("middle range, sign on its last", "11228833", 2, 3, false, -30686, 3);
        row("end 0 becomes the upper bound", "01020304", 1, 0, true, 67305985, 4);
        row("start above end", "01020304", 5, 4, false, -1, 4);
        row("start -1", "01020304", -1, 2, false, -1, 2);
        row("end beyond the array", "0102", 1, 3, false, 0, 3);
        row("end beyond the 16-bit counter", "0102", 1, 32768, false, 0, 32768);
    }

    void bytesToNumber()
    {
        QFETCH(QByteArray, entries);
        QFETCH(int, start);
        QFETCH(int, end);
        QFETCH(bool, isUnsigned);
        QFETCH(double, expected);
        QFETCH(int, endAfter);

        QStringList shown;
        std::int32_t endIndex = end;
        const double result = BytesToNumber(bytesOf(entries), start, endIndex, isUnsigned,
                                            [&shown](const QString &text) { shown << text; });
        QVERIFY2(result == expected, qPrintable(QString::number(result, 'g', 17)));
        QCOMPARE(endIndex, endAfter);
        QCOMPARE(shown, expected == -1 ? QStringList{"Start record can not be greater then End record...!"}
                                : QStringList{});
    }

    void headerTexts_data()
    {
        QTest::addColumn<QString>("header1");
        QTest::addColumn<QString>("header2");
        QTest::addColumn<PacketType>("type");
        QTest::addColumn<QString>("name");

        const auto row = [](const char *h1, const char *h2, PacketType type, const char *typeName,
                            const char *name = nullptr) {
            QTest::newRow(name ? name : typeName) << QString::fromLatin1(h1) << QString::fromLatin1(h2)
                                                  << type << QString::fromLatin1(typeName);
        };
        // The decoded families and the EPS beacon are named through the Station elsewhere.
        row("02 06 00 6E", "02 01 20 6A", PacketType::AdcsBeacon, "ADCS beacon");
        row("05 06 00 00", "FF FF FF FF", PacketType::CameraData, "CAMERA data", "camera, any second group");
        row("05 06", "", PacketType::CameraData, "CAMERA data", "camera, first five characters only");
        const PacketType other = PacketType::TelemetryOnRequest;
        row("05 0", "", other, "Telemetry on request", "camera needs five characters");
        row("00 06 00 7A", "02 03 20 76", other, "Telemetry on request", "EPS debug first group only");
        row("02 06 00 7a", "02 03 20 76", other, "Telemetry on request", "lower case never matches");
    }

    void headerTexts()
    {
        QFETCH(QString, header1);
        QFETCH(QString, header2);
        QFETCH(PacketType, type);
        QFETCH(QString, name);
        QCOMPARE(classify(header1, header2), type);
        QCOMPARE(packetTypeName(type), name);
    }

    void shortFrames_data()
    {
        QTest::addColumn<QByteArray>("groups"); // what follows the addresses, control and PID
        QTest::addColumn<QString>("headerLine");
        QTest::addColumn<PacketType>("type");

        const auto row = [](const char *name, const char *hex, const char *line, PacketType type) {
            QTest::newRow(name) << QByteArray::fromHex(hex) << QString::fromLatin1(line) << type;
        };
        row("exactly 25 positions", "0206001D02022019", "02 06 00 1D | 02 02 20 19", PacketType::ComBeacon);
        row("24 positions: second group cut", "0206001D020220", "02 06 00 1D | 02 02 20 ",
            PacketType::TelemetryOnRequest);
        row("18-byte AX.25 frame: 05 06 complete", "0506", "05 06  | ", PacketType::CameraData);
        row("17-byte AX.25 frame", "05", "05  | ", PacketType::TelemetryOnRequest);
    }

    void shortFrames()
    {
        QFETCH(QByteArray, groups);
        QFETCH(QString, headerLine);
        QFETCH(PacketType, type);
        const std::vector<std::uint8_t> frame = bytesOf(Prefix + groups);
        const HeaderHex h1 = headerHex1(frame);
        const HeaderHex h2 = headerHex2(frame);
        QCOMPARE(h1.view().toString() + QStringLiteral(" | ") + h2.view().toString(), headerLine);
        QCOMPARE(classify(h1.view(), h2.view()), type);
    }

    void epsCalibration_data()
    {
        QTest::addColumn<int>("channel");
        QTest::addColumn<int>("raw");
        QTest::addColumn<double>("expected");

        QTest::newRow("1 Bus Voltage raw -1 (FF FF)") << 1 << -1 << -0.005384375972610999;
        QTest::newRow("5 3V3 A Curr raw 1000, offset not scaled") << 5 << 1000 << 307.7333102173162;
        QTest::newRow("19 Batt A Temp raw 100") << 19 << 100 << 10.2789;
        QTest::newRow("22 BP B TB Curr raw 1234, positive offset") << 22 << 1234 << 8433.776321031264;
        QTest::newRow("23 Batt B Temp raw -5") << 23 << -5 << -64.6806;
        QTest::newRow("37 COM 3V3 raw 3300, other constants") << 37 << 3300 << 4.088320542483104;
        QTest::newRow("46 Coil A Curr raw -100") << 46 << -100 << -6.1034999999999995;
    }

    void epsCalibration()
    {
        QFETCH(int, channel);
        QFETCH(int, raw);
        QFETCH(double, expected);

        QByteArray data = frameOf(EpsDebugGroups, EpsDebugLength);
        putInt16(data, 24 + 2 * channel, raw);
        TelemetryHistory history;
        decode(data, history);
        const double value = history.latest(Family::EpsDebug)->values[std::size_t(channel)];
        QVERIFY2(value == expected && std::signbit(value) == std::signbit(expected),
                 qPrintable(QString::number(value, 'g', 17)));
    }

    void fieldsPastTheFrameEnd_data()
    {
        QTest::addColumn<QByteArray>("data");
        QTest::addColumn<int>("lastStored"); // 0: none
        QTest::addColumn<int>("storedCount");
        QTest::addColumn<QString>("satTime"); // empty: not stored

        QByteArray eps = frameOf(EpsDebugGroups, EpsDebugLength);
        put(eps, 138, "090807030B0F");
        QTest::newRow("EPS whole") << eps << 48 << 48 << "2015/11/03 07:08:09";
        QTest::newRow("EPS cut after channel 17") << eps.left(60) << 17 << 17 << "";
        QTest::newRow("EPS without the year byte") << eps.left(142) << 48 << 48 << "";
        QTest::newRow("COM without its last byte") << frameOf(ComGroups, 45) << 57 << 7 << "";
        QTest::newRow("ADCS without its last byte") << frameOf(AdcsGroups, 116) << 96 << 19 << "";
        QTest::newRow("CDHS groups only") << frameOf(CdhsGroups, 25) << 0 << 0 << "";
    }

    void fieldsPastTheFrameEnd()
    {
        QFETCH(QByteArray, data);
        QFETCH(int, lastStored);
        QFETCH(int, storedCount);
        QFETCH(QString, satTime);

        TelemetryHistory history;
        const FrameDecodeResult result = decode(data, history);
        QVERIFY(result.family);
        QCOMPARE(history.count(*result.family), 1); // a record even when no field fits
        QCOMPARE(result.stored.count(), std::size_t(storedCount));
        if (lastStored)
            QVERIFY(result.stored.test(std::size_t(lastStored)));
        QVERIFY(!result.stored.test(std::size_t(lastStored + 1)));
        QCOMPARE(result.satTimeStored, !satTime.isEmpty());
        QCOMPARE(history.latest(*result.family)->satTime, satTime);
    }

    void namedOnlyTypesChangeNothing()
    {
        TelemetryHistory history;
        decode(frameOf(EpsDebugGroups, EpsDebugLength), history);
        const auto before = history.latest(Family::EpsDebug)->values;
        // ADCS beacon, COM beacon, camera data; every field position holds something.
        for (const char *groups : {"0206006E0201206A", "0206001D02022019", "0506000000000000"}) {
            QByteArray data = frameOf(QByteArray::fromHex(groups), 25);
            data.resize(200, char(0x11));
            const FrameDecodeResult result = decode(data, history);
            QVERIFY(!result.family);
            QCOMPARE(result.stored.count(), std::size_t(0));
        }
        for (Family family : {Family::ComHousekeeping, Family::CdhsBeacon, Family::AdcsMeasurement})
            QCOMPARE(history.storedCount(family), 0);
        QCOMPARE(history.count(Family::EpsDebug), 1);
        QCOMPARE(history.latest(Family::EpsDebug)->values, before);
    }

    void historyKeepsNewest2000()
    {
        TelemetryHistory history;
        QByteArray data = frameOf(ComGroups, ComLength);
        for (int n = 1; n <= 2001; ++n) {
            putInt16(data, 26, n); // channel 51 = frame number
            decode(data, history);
            if (n == 2000) {
                QCOMPARE(history.stored(Family::ComHousekeeping, 0).values[51], 1.0);
            }
        }
        QCOMPARE(history.count(Family::ComHousekeeping), 2001);
        QCOMPARE(history.storedCount(Family::ComHousekeeping), 2000);
        QCOMPARE(history.stored(Family::ComHousekeeping, 0).values[51], 2.0); // frame 1 dropped
        QCOMPARE(history.latest(Family::ComHousekeeping)->values[51], 2001.0);
    }

};

QTEST_GUILESS_MAIN(TestDecoding)
#include "tst_decoding.moc"
