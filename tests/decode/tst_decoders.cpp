// The four family decoders, the history ring and the box texts, on frames built here. Expected
// calibrated values are literal doubles worked out independently of the decoder's formula.
#include "decode/ChannelRefresh.h"
#include "decode/FrameDecoder.h"
#include "decode/SatelliteFrames.h"

#include <QTest>

#include <cmath>
#include <vector>

namespace {

using namespace SatelliteFrames;

const QString RxTime = QStringLiteral("2014-08-02 13:05:09.123 UTC");

FrameDecodeResult decode(const QByteArray &data, TelemetryHistory &history)
{
    const std::vector<std::uint8_t> frame(data.begin(), data.end()); // exactly the frame
    return decodeSatelliteFrame(frame, RxTime, history);
}

bool same(double a, double b)
{
    return a == b && std::signbit(a) == std::signbit(b);
}

} // namespace

Q_DECLARE_METATYPE(Family)

class TestDecoders : public QObject
{
    Q_OBJECT
private slots:
    void epsCalibration_data();
    void epsCalibration();
    void epsSatTime();
    void rawFamilies_data();
    void rawFamilies();
    void fieldsPastTheFrameEndStayZero();
    void namedOnlyTypesChangeNothing_data();
    void namedOnlyTypesChangeNothing();
    void historyKeepsNewest2000();
    void boxTexts_data();
    void boxTexts();
    void refreshWritesLatestRecordOfEachFamily();
};

void TestDecoders::epsCalibration_data()
{
    QTest::addColumn<int>("channel");
    QTest::addColumn<int>("raw");
    QTest::addColumn<double>("expected");

    QTest::newRow("1 Bus Voltage raw 0") << 1 << 0 << 0.01227675070028;
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

void TestDecoders::epsCalibration()
{
    QFETCH(int, channel);
    QFETCH(int, raw);
    QFETCH(double, expected);

    QByteArray data = frameOf(EpsDebugGroups, EpsDebugLength);
    putInt16(data, 24 + 2 * channel, raw);
    TelemetryHistory history;
    const FrameDecodeResult result = decode(data, history);
    QCOMPARE(result.type, PacketType::EpsDebugData);
    QCOMPARE(result.family, std::optional<Family>(Family::EpsDebug));
    const double value = history.latest(Family::EpsDebug)->values[std::size_t(channel)];
    QVERIFY2(same(value, expected), qPrintable(QString::number(value, 'g', 17)));
    // Channels 49 and 50 (and 0) are never filled.
    QCOMPARE(result.stored.count(), std::size_t(48));
    QVERIFY(!result.stored.test(0) && !result.stored.test(49) && !result.stored.test(50));
}

void TestDecoders::epsSatTime()
{
    QByteArray data = frameOf(EpsDebugGroups, EpsDebugLength);
    put(data, 138, "090807030B0F");
    TelemetryHistory history;
    decode(data, history);
    QCOMPARE(history.latest(Family::EpsDebug)->satTime, QStringLiteral("2015/11/03 07:08:09"));
    QCOMPARE(history.latest(Family::EpsDebug)->rxTime, RxTime);

    put(data, 138, "3B3B17640DFF"); // no plausibility test: day 100, month 13, year 2255
    decode(data, history);
    QCOMPARE(history.latest(Family::EpsDebug)->satTime, QStringLiteral("2255/13/100 23:59:59"));
}

void TestDecoders::rawFamilies_data()
{
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<Family>("family");
    QTest::addColumn<int>("channel");
    QTest::addColumn<double>("expected");

    QByteArray com = frameOf(ComGroups, ComLength);
    put(com, 26, "0500");     // 51 reset counts
    put(com, 28, "1900");     // 52: 25
    put(com, 30, "F6FF");     // 53: -10
    put(com, 32, "B5");       // 54 RSSI: -75
    put(com, 33, "7F");       // not used
    put(com, 34, "80");       // 55: -128
    put(com, 35, "10270000"); // 56: 10000
    put(com, 39, "FFFFFFFF"); // 57: 4294967295
    put(com, 43, "00000080"); // 58: 2147483648
    QTest::newRow("COM 51 int16") << com << Family::ComHousekeeping << 51 << 5.0;
    QTest::newRow("COM 52 int16") << com << Family::ComHousekeeping << 52 << 25.0;
    QTest::newRow("COM 53 negative") << com << Family::ComHousekeeping << 53 << -10.0;
    QTest::newRow("COM 54 RSSI B5") << com << Family::ComHousekeeping << 54 << -75.0;
    QTest::newRow("COM 55 byte 80") << com << Family::ComHousekeeping << 55 << -128.0;
    QTest::newRow("COM 56 uint32") << com << Family::ComHousekeeping << 56 << 10000.0;
    QTest::newRow("COM 57 uint32 max") << com << Family::ComHousekeeping << 57 << 4294967295.0;
    QTest::newRow("COM 58 top bit set") << com << Family::ComHousekeeping << 58 << 2147483648.0;

    QByteArray adcs = frameOf(AdcsGroups, AdcsLength);
    for (int k = 0; k < 20; ++k)
        putInt16(adcs, 78 + 2 * k, 1000 * k - 9000);
    put(adcs, 82, "9CFF"); // 80: -100
    QTest::newRow("ADCS 78 first") << adcs << Family::AdcsMeasurement << 78 << -9000.0;
    QTest::newRow("ADCS 80 9C FF") << adcs << Family::AdcsMeasurement << 80 << -100.0;
    QTest::newRow("ADCS 97 last") << adcs << Family::AdcsMeasurement << 97 << 10000.0;
    QTest::newRow("ADCS 98 never stored") << adcs << Family::AdcsMeasurement << 98 << 0.0;

    QByteArray cdhs = frameOf(CdhsGroups, CdhsLength);
    put(cdhs, 26, "01000000");
    put(cdhs, 30, "FFFFFF7F");
    put(cdhs, 34, "00000080");
    put(cdhs, 38, "78563412");
    QTest::newRow("CDHS 59") << cdhs << Family::CdhsBeacon << 59 << 1.0;
    QTest::newRow("CDHS 60") << cdhs << Family::CdhsBeacon << 60 << 2147483647.0;
    QTest::newRow("CDHS 61 top bit set") << cdhs << Family::CdhsBeacon << 61 << 2147483648.0;
    QTest::newRow("CDHS 62") << cdhs << Family::CdhsBeacon << 62 << 305419896.0;
}

void TestDecoders::rawFamilies()
{
    QFETCH(QByteArray, data);
    QFETCH(Family, family);
    QFETCH(int, channel);
    QFETCH(double, expected);

    TelemetryHistory history;
    const FrameDecodeResult result = decode(data, history);
    QCOMPARE(result.family, std::optional<Family>(family));
    QCOMPARE(history.count(family), 1);
    const TelemetryHistory::Record &record = *history.latest(family);
    QVERIFY2(same(record.values[std::size_t(channel)], expected),
             qPrintable(QString::number(record.values[std::size_t(channel)], 'g', 17)));
    QCOMPARE(record.rxTime, family == Family::AdcsMeasurement ? QString() : RxTime);
    QCOMPARE(record.satTime, QString());
}

void TestDecoders::fieldsPastTheFrameEndStayZero()
{
    // Fill every family's fields, then cut the frame: fields reaching past the cut are not
    // stored, the others are.
    TelemetryHistory history;
    QByteArray eps = frameOf(EpsDebugGroups, EpsDebugLength);
    for (int channel = 1; channel <= 48; ++channel)
        putInt16(eps, 24 + 2 * channel, 1000);
    put(eps, 138, "090807030B0F");
    FrameDecodeResult result = decode(eps.left(60), history); // channel 17 = 58..59 is the last
    const TelemetryHistory::Record *record = history.latest(Family::EpsDebug);
    QCOMPARE(result.stored.count(), std::size_t(17));
    QVERIFY(result.stored.test(17) && !result.stored.test(18));
    QVERIFY(record->values[17] != 0);
    QCOMPARE(record->values[18], 0.0);
    QCOMPARE(record->values[48], 0.0);
    QVERIFY(!result.satTimeStored);
    QCOMPARE(record->satTime, QString());

    result = decode(eps.left(142), history); // all values, but not the year byte
    QCOMPARE(result.stored.count(), std::size_t(48));
    QVERIFY(!result.satTimeStored);

    QByteArray com = frameOf(ComGroups, ComLength);
    put(com, 43, "01000000");
    result = decode(com.left(45), history);
    QCOMPARE(result.stored.count(), std::size_t(7));
    QVERIFY(!result.stored.test(58));

    QByteArray adcs = frameOf(AdcsGroups, AdcsLength);
    result = decode(adcs.left(116), history);
    QCOMPARE(result.stored.count(), std::size_t(19));
    QVERIFY(!result.stored.test(97));

    result = decode(frameOf(CdhsGroups, 25), history); // the groups and nothing else
    QCOMPARE(result.family, std::optional<Family>(Family::CdhsBeacon));
    QCOMPARE(result.stored.count(), std::size_t(0));
    QCOMPARE(history.count(Family::CdhsBeacon), 1);
}

void TestDecoders::namedOnlyTypesChangeNothing_data()
{
    QTest::addColumn<QByteArray>("groups");
    QTest::newRow("ADCS beacon") << QByteArray::fromHex("0206006E0201206A");
    QTest::newRow("EPS beacon") << QByteArray::fromHex("0206007A02032076");
    QTest::newRow("COM beacon") << QByteArray::fromHex("0206001D02022019");
    QTest::newRow("camera data") << QByteArray::fromHex("0506000000000000");
    QTest::newRow("telemetry on request") << QByteArray::fromHex("0306000000000000");
}

void TestDecoders::namedOnlyTypesChangeNothing()
{
    QFETCH(QByteArray, groups);
    TelemetryHistory history;
    decode(frameOf(EpsDebugGroups, EpsDebugLength), history);
    const TelemetryHistory::Record before = *history.latest(Family::EpsDebug);

    QByteArray data = frameOf(groups, 200);
    for (int position = 26; position <= 200; ++position) // every field position holds something
        data[position - 1] = char(0x11);
    const FrameDecodeResult result = decode(data, history);
    QVERIFY(!result.family);
    QCOMPARE(result.stored.count(), std::size_t(0));
    for (Family family : {Family::ComHousekeeping, Family::CdhsBeacon, Family::AdcsMeasurement}) {
        QCOMPARE(history.count(family), 0);
        QCOMPARE(history.storedCount(family), 0);
    }
    QCOMPARE(history.count(Family::EpsDebug), 1);
    QCOMPARE(history.latest(Family::EpsDebug)->values, before.values);
}

void TestDecoders::historyKeepsNewest2000()
{
    TelemetryHistory history;
    QByteArray data = frameOf(ComGroups, ComLength);
    const auto decodeNumbered = [&](int n) {
        putInt16(data, 26, n); // channel 51 = frame number
        decode(data, history);
    };
    for (int n = 1; n <= 2000; ++n)
        decodeNumbered(n);
    QCOMPARE(history.count(Family::ComHousekeeping), 2000);
    QCOMPARE(history.storedCount(Family::ComHousekeeping), 2000);
    QCOMPARE(history.stored(Family::ComHousekeeping, 0).values[51], 1.0);
    QCOMPARE(history.latest(Family::ComHousekeeping)->values[51], 2000.0);

    decodeNumbered(2001);
    QCOMPARE(history.count(Family::ComHousekeeping), 2001);
    QCOMPARE(history.storedCount(Family::ComHousekeeping), 2000);
    QCOMPARE(history.stored(Family::ComHousekeeping, 0).values[51], 2.0); // frame 1 dropped
    QCOMPARE(history.stored(Family::ComHousekeeping, 1999).values[51], 2001.0);
    QCOMPARE(history.latest(Family::ComHousekeeping)->values[51], 2001.0);
    QCOMPARE(history.count(Family::EpsDebug), 0);
    std::array<QString, TelemetryHistory::ChannelCount + 1> texts;
    RefreshChannelDisplay(history, texts, u".");
    QCOMPARE(texts[51], QStringLiteral("2001")); // the boxes show the latest frame
}

void TestDecoders::boxTexts_data()
{
    QTest::addColumn<double>("value");
    QTest::addColumn<int>("channel");
    QTest::addColumn<QString>("decimalPoint");
    QTest::addColumn<QString>("text");

    const auto row = [](const char *name, double value, int channel, const char *point,
                        const char *text) {
        QTest::newRow(name) << value << channel << QString::fromUtf8(point)
                            << QString::fromUtf8(text);
    };
    row("EPS 307.733", 307.7333102173162, 5, ".", "307.73");
    row("EPS 12.375065", 12.37506542172398, 1, ".", "12.38");
    row("EPS 0.0122", 0.01227675070028, 1, ".", "0.01");
    row("EPS -0.00538", -0.005384375972610999, 1, ".", "-0.01");
    row("EPS -6.1035", -6.1034999999999995, 46, ".", "-6.10");
    row("EPS rounds to zero: no sign", -0.003097088415096, 6, ".", "0.00");
    row("EPS decimal comma", 10.2789, 19, ",", "10,28");
    row("COM 52 two decimals", 12, 52, ".", "12.00");
    row("COM 53 decimal comma", 25, 53, ",", "25,00");
    row("COM 51 whole", 12, 51, ",", "12");
    row("COM 54 whole negative", -75, 54, ".", "-75");
    row("COM 58 beyond 32 bits signed", 2147483648.0, 58, ".", "2147483648");
    row("COM 57 uint32 max", 4294967295.0, 57, ".", "4294967295");
    row("ADCS -5", -5, 80, ".", "-5");
    row("whole: half to even, down", 2.5, 97, ".", "2");
    row("whole: half to even, up", 3.5, 97, ".", "4");
    row("whole: negative half", -2.5, 97, ".", "-2");
    row("whole: -0.4", -0.4, 97, ".", "0");
}

void TestDecoders::boxTexts()
{
    QFETCH(double, value);
    QFETCH(int, channel);
    QFETCH(QString, decimalPoint);
    QFETCH(QString, text);
    QCOMPARE(formatBoxText(value, boxFormatOf(channel), decimalPoint), text);
}

void TestDecoders::refreshWritesLatestRecordOfEachFamily()
{
    TelemetryHistory history;
    std::array<QString, TelemetryHistory::ChannelCount + 1> texts;
    const auto marked = [] {
        std::array<QString, TelemetryHistory::ChannelCount + 1> t;
        t.fill(QStringLiteral("untouched"));
        return t;
    };

    texts = marked();
    RefreshChannelDisplay(history, texts, u".");
    QCOMPARE(texts, marked()); // no records: no box touched

    QByteArray com = frameOf(ComGroups, ComLength);
    put(com, 26, "0C00");
    put(com, 28, "0C00");
    decode(com, history);
    QByteArray eps = frameOf(EpsDebugGroups, EpsDebugLength);
    for (int n = 1; n <= 3; ++n) {
        putInt16(eps, 26, 100 * n);
        decode(eps, history);
    }
    QByteArray cdhs = frameOf(CdhsGroups, CdhsLength);
    put(cdhs, 26, "05000000");
    decode(cdhs, history);

    texts = marked();
    RefreshChannelDisplay(history, texts, u".");
    QCOMPARE(texts[1], QStringLiteral("5.31")); // third EPS frame: 0.01766 * 300 + 0.0123
    QCOMPARE(texts[51], QStringLiteral("12"));
    QCOMPARE(texts[52], QStringLiteral("12.00"));
    QCOMPARE(texts[55], QStringLiteral("0"));
    for (int channel = 1; channel <= 48; ++channel)
        QVERIFY(texts[std::size_t(channel)] != QStringLiteral("untouched"));
    // No box: 49, 50, 59..65, 68..77, 98; no place in the CDHS record: 66, 67; no family yet: ADCS.
    for (int channel : {49, 50, 59, 60, 61, 62, 63, 66, 67, 77, 78, 80, 97, 98})
        QCOMPARE(texts[std::size_t(channel)], QStringLiteral("untouched"));

    decode(frameOf(AdcsGroups, AdcsLength), history);
    RefreshChannelDisplay(history, texts, u".");
    QCOMPARE(texts[78], QStringLiteral("0"));
    QCOMPARE(texts[97], QStringLiteral("0"));
    QCOMPARE(texts[98], QStringLiteral("untouched"));
}

QTEST_GUILESS_MAIN(TestDecoders)
#include "tst_decoders.moc"
