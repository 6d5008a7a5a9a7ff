// The field readers, BytesToNumber, naming frames by their header groups, the family decoders,
// the history ring and the box texts. Expected values are literals worked out independently.
#include "decode/ChannelRefresh.h"
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
using Texts = std::array<QString, TelemetryHistory::ChannelCount + 1>;

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
    void readers_data();
    void readers();
    void bytesToNumber_data();
    void bytesToNumber();
    void headerTexts_data();
    void headerTexts();
    void shortFrames_data();
    void shortFrames();
    void satelliteAddress();
    void epsCalibration_data();
    void epsCalibration();
    void fieldsPastTheFrameEnd_data();
    void fieldsPastTheFrameEnd();
    void namedOnlyTypesChangeNothing_data();
    void namedOnlyTypesChangeNothing();
    void historyKeepsNewest2000();
    void boxTexts_data();
    void boxTexts();
    void refreshWritesLatestRecordOfEachFamily();
};

void TestDecoding::readers_data()
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
    row("uint32 at 509", Reader::UInt32, 512, 509, "01000000", true, 1);
    row("uint32 at 510", Reader::UInt32, 512, 510, "01000000", false, 0);
    row("sbyte at 512", Reader::SByte, 512, 512, "05", true, 5);
    row("sbyte at 513", Reader::SByte, 600, 513, "05", false, 0);
    row("int16 at 0", Reader::Int16, 100, 0, "", false, 0);
    row("sbyte at -1", Reader::SByte, 100, -1, "", false, 0);
    // The end of the current frame: nothing past it is read.
    row("int16 second byte past end", Reader::Int16, 30, 30, "02", false, 0);
    row("uint32 one byte past end", Reader::UInt32, 37, 35, "010000", false, 0);
    row("sbyte last byte", Reader::SByte, 32, 32, "80", true, -128);
    row("sbyte past end", Reader::SByte, 31, 32, "", false, 0);
    row("empty frame", Reader::SByte, 0, 1, "", false, 0);
}

void TestDecoding::readers()
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

void TestDecoding::bytesToNumber_data()
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

void TestDecoding::bytesToNumber()
{
    QFETCH(QByteArray, entries);
    QFETCH(int, start);
    QFETCH(int, end);
    QFETCH(bool, isUnsigned);
    QFETCH(double, expected);
    QFETCH(int, endAfter);
    QFETCH(bool, message);

    QStringList shown;
    std::int32_t endIndex = end;
    const double result = BytesToNumber(bytesOf(entries), start, endIndex, isUnsigned,
                                        [&shown](const QString &text) { shown << text; });
    QVERIFY2(result == expected, qPrintable(QString::number(result, 'g', 17)));
    QCOMPARE(endIndex, endAfter);
    QCOMPARE(shown, message ? QStringList{"Start record can not be greater then End record...!"}
                            : QStringList{});
}

void TestDecoding::headerTexts_data()
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
    row("02 06 00 1D", "02 02 20 19", PacketType::ComBeacon, "COM beacon");
    row("05 06 00 00", "FF FF FF FF", PacketType::CameraData, "CAMERA data", "camera, any second group");
    row("05 06", "", PacketType::CameraData, "CAMERA data", "camera, first five characters only");
    const PacketType other = PacketType::TelemetryOnRequest;
    row("05 0", "", other, "Telemetry on request", "camera needs five characters");
    row("00 06 00 7A", "02 03 20 76", other, "Telemetry on request", "EPS debug first group only");
    row("00 06 00 7B", "02 03 20 76", other, "Telemetry on request", "EPS beacon second group only");
    row("02 06 00 7a", "02 03 20 76", other, "Telemetry on request", "lower case never matches");
    row("02 06 00 22 ", "02 00 20 1E", other, "Telemetry on request", "trailing blank");
}

void TestDecoding::headerTexts()
{
    QFETCH(QString, header1);
    QFETCH(QString, header2);
    QFETCH(PacketType, type);
    QFETCH(QString, name);
    QCOMPARE(classify(header1, header2), type);
    QCOMPARE(packetTypeName(type), name);
}

void TestDecoding::shortFrames_data()
{
    QTest::addColumn<QByteArray>("groups"); // what follows the addresses, control and PID
    QTest::addColumn<QString>("headerLine");
    QTest::addColumn<PacketType>("type");

    QTest::newRow("exactly 25 positions") << QByteArray::fromHex("0206001D02022019")
                                          << "02 06 00 1D | 02 02 20 19" << PacketType::ComBeacon;
    QTest::newRow("24 positions: second group cut") << QByteArray::fromHex("0206001D020220")
        << "02 06 00 1D | 02 02 20 " << PacketType::TelemetryOnRequest;
    QTest::newRow("20-byte AX.25 camera frame") << QByteArray::fromHex("05060000")
                                                << "05 06 00 00 | " << PacketType::CameraData;
    QTest::newRow("19-byte AX.25 frame") << QByteArray::fromHex("050600") << "05 06 00  | "
                                         << PacketType::CameraData;
    QTest::newRow("18-byte AX.25 frame: 05 06 complete") << QByteArray::fromHex("0506")
                                                         << "05 06  | " << PacketType::CameraData;
    QTest::newRow("17-byte AX.25 frame") << QByteArray::fromHex("05") << "05  | "
                                         << PacketType::TelemetryOnRequest;
    QTest::newRow("header only") << QByteArray() << " | " << PacketType::TelemetryOnRequest;
}

void TestDecoding::shortFrames()
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

void TestDecoding::satelliteAddress()
{
    QByteArray otherSsid = Prefix;
    otherSsid[7] = char(0x64); // XR9KG-2
    QVERIFY(!isSatelliteFrame(bytesOf(otherSsid)));
    QByteArray otherCommandByte = Prefix;
    otherCommandByte[0] = char(0x10); // a second radio port counts alike
    QVERIFY(isSatelliteFrame(bytesOf(otherCommandByte)));
}

void TestDecoding::epsCalibration_data()
{
    QTest::addColumn<int>("channel");
    QTest::addColumn<int>("raw");
    QTest::addColumn<double>("expected");

    QTest::newRow("1 Bus Voltage raw 700") << 1 << 700 << 12.37506542172398;
    QTest::newRow("1 Bus Voltage raw -1 (FF FF)") << 1 << -1 << -0.005384375972610999;
    QTest::newRow("2 MPB >1119 raw 32767") << 2 << 32767 << 1050.3157655334244;
    QTest::newRow("5 3V3 A Curr raw 1000, offset not scaled") << 5 << 1000 << 307.7333102173162;
    QTest::newRow("12 12V B Curr raw -32768") << 12 << -32768 << -20290.9923816474;
    QTest::newRow("19 Batt A Temp raw 100") << 19 << 100 << 10.2789;
    QTest::newRow("22 BP B TB Curr raw 1234, positive offset") << 22 << 1234 << 8433.776321031264;
    QTest::newRow("23 Batt B Temp raw -5") << 23 << -5 << -64.6806;
    QTest::newRow("28 ADCurr Curr raw 4000") << 28 << 4000 << 185.8872626316482;
    QTest::newRow("29 COM 3V3 raw 3300") << 29 << 3300 << 4.085437361283745;
    QTest::newRow("35 CDHS BSW 3 raw 2500") << 35 << 2500 << 3.098061934812503;
    QTest::newRow("37 COM 3V3 raw 3300, other constants") << 37 << 3300 << 4.088320542483104;
    QTest::newRow("46 Coil A Curr raw -100") << 46 << -100 << -6.1034999999999995;
    QTest::newRow("48 Coil C Curr raw 0") << 48 << 0 << 0.0;
}

void TestDecoding::epsCalibration()
{
    QFETCH(int, channel);
    QFETCH(int, raw);
    QFETCH(double, expected);

    QByteArray data = frameOf(EpsDebugGroups, EpsDebugLength);
    putInt16(data, 24 + 2 * channel, raw);
    TelemetryHistory history;
    const FrameDecodeResult result = decode(data, history);
    QCOMPARE(result.type, PacketType::EpsDebugData);
    const double value = history.latest(Family::EpsDebug)->values[std::size_t(channel)];
    QVERIFY2(value == expected && std::signbit(value) == std::signbit(expected),
             qPrintable(QString::number(value, 'g', 17)));
    // Channels 49 and 50 (and 0) are never filled.
    QCOMPARE(result.stored.count(), std::size_t(48));
    QVERIFY(!result.stored.test(0) && !result.stored.test(49) && !result.stored.test(50));
}

void TestDecoding::fieldsPastTheFrameEnd_data()
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
    put(eps, 138, "3B3B17640DFF"); // no plausibility test
    QTest::newRow("EPS day 100, month 13") << eps << 48 << 48 << "2255/13/100 23:59:59";
    QTest::newRow("COM without its last byte") << frameOf(ComGroups, 45) << 57 << 7 << "";
    QTest::newRow("ADCS without its last byte") << frameOf(AdcsGroups, 116) << 96 << 19 << "";
    QTest::newRow("CDHS groups only") << frameOf(CdhsGroups, 25) << 0 << 0 << "";
}

void TestDecoding::fieldsPastTheFrameEnd()
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

void TestDecoding::namedOnlyTypesChangeNothing_data()
{
    QTest::addColumn<QByteArray>("groups");
    QTest::newRow("ADCS beacon") << QByteArray::fromHex("0206006E0201206A");
    QTest::newRow("EPS beacon") << QByteArray::fromHex("0206007A02032076");
    QTest::newRow("COM beacon") << QByteArray::fromHex("0206001D02022019");
    QTest::newRow("camera data") << QByteArray::fromHex("0506000000000000");
    QTest::newRow("telemetry on request") << QByteArray::fromHex("0306000000000000");
}

void TestDecoding::namedOnlyTypesChangeNothing()
{
    QFETCH(QByteArray, groups);
    TelemetryHistory history;
    decode(frameOf(EpsDebugGroups, EpsDebugLength), history);
    const TelemetryHistory::Record before = *history.latest(Family::EpsDebug);

    QByteArray data = frameOf(groups, 200);
    data.replace(25, 175, QByteArray(175, char(0x11))); // every field position holds something
    const FrameDecodeResult result = decode(data, history);
    QVERIFY(!result.family);
    QCOMPARE(result.stored.count(), std::size_t(0));
    for (Family family : {Family::ComHousekeeping, Family::CdhsBeacon, Family::AdcsMeasurement})
        QCOMPARE(history.storedCount(family), 0);
    QCOMPARE(history.count(Family::EpsDebug), 1);
    QCOMPARE(history.latest(Family::EpsDebug)->values, before.values);
}

void TestDecoding::historyKeepsNewest2000()
{
    TelemetryHistory history;
    QByteArray data = frameOf(ComGroups, ComLength);
    for (int n = 1; n <= 2001; ++n) {
        putInt16(data, 26, n); // channel 51 = frame number
        decode(data, history);
        if (n == 2000) {
            QCOMPARE(history.storedCount(Family::ComHousekeeping), 2000);
            QCOMPARE(history.stored(Family::ComHousekeeping, 0).values[51], 1.0);
        }
    }
    QCOMPARE(history.count(Family::ComHousekeeping), 2001);
    QCOMPARE(history.storedCount(Family::ComHousekeeping), 2000);
    QCOMPARE(history.stored(Family::ComHousekeeping, 0).values[51], 2.0); // frame 1 dropped
    QCOMPARE(history.stored(Family::ComHousekeeping, 1999).values[51], 2001.0);
    QCOMPARE(history.latest(Family::ComHousekeeping)->values[51], 2001.0);
    QCOMPARE(history.count(Family::EpsDebug), 0);
}

void TestDecoding::boxTexts_data()
{
    QTest::addColumn<double>("value");
    QTest::addColumn<int>("channel");
    QTest::addColumn<QString>("decimalPoint");
    QTest::addColumn<QString>("text");

    const auto row = [](const char *name, double value, int channel, const char *point,
                        const char *text) {
        QTest::newRow(name) << value << channel << QString::fromUtf8(point) << QString::fromUtf8(text);
    };
    row("EPS 307.733", 307.7333102173162, 5, ".", "307.73");
    row("EPS -0.00538", -0.005384375972610999, 1, ".", "-0.01");
    row("EPS rounds to zero: no sign", -0.003097088415096, 6, ".", "0.00");
    row("EPS decimal comma", 10.2789, 19, ",", "10,28");
    row("whole: half to even, down", 2.5, 97, ".", "2");
    row("whole: half to even, up", 3.5, 97, ".", "4");
    row("whole: negative half", -2.5, 97, ".", "-2");
    row("whole: -0.4", -0.4, 97, ".", "0");
}

void TestDecoding::boxTexts()
{
    QFETCH(double, value);
    QFETCH(int, channel);
    QFETCH(QString, decimalPoint);
    QFETCH(QString, text);
    QCOMPARE(formatBoxText(value, boxFormatOf(channel), decimalPoint), text);
}

void TestDecoding::refreshWritesLatestRecordOfEachFamily()
{
    TelemetryHistory history;
    Texts untouched;
    untouched.fill(QStringLiteral("untouched"));
    Texts texts = untouched;
    RefreshChannelDisplay(history, texts, u".");
    QCOMPARE(texts, untouched); // no records: no box touched

    QByteArray com = frameOf(ComGroups, ComLength);
    put(com, 28, "0C00");
    decode(com, history);
    decode(frameOf(CdhsGroups, CdhsLength), history);
    RefreshChannelDisplay(history, texts, u".");
    QCOMPARE(texts[52], QStringLiteral("12.00"));
    // No box: 49, 50, 59..65, 68..77, 98; no place in the CDHS record: 66, 67; no family yet.
    for (int channel : {1, 48, 49, 50, 59, 62, 63, 66, 67, 77, 78, 97, 98})
        QCOMPARE(texts[std::size_t(channel)], QStringLiteral("untouched"));
}

QTEST_GUILESS_MAIN(TestDecoding)
#include "tst_decoding.moc"
