// Satellite frames of every family through the Station (box texts, chart, stored times) and the
// Station's capture file through `halvora1 decode`. Every expected text and CSV value
// below was worked out by hand from the raw bytes, never taken from the product's formatter.
#include "decode/SatelliteFrames.h"
#include "support/CommandRun.h"
#include "support/Programs.h"

#include <QRegularExpression>
#include <QSignalSpy>
#include <QTest>

using namespace SatelliteFrames;

namespace {

struct Expected
{
    int channel;
    const char *boxText;  // nullptr: the family shows no box for it
    const char *csvRow;   // channel,caption,unit,value
};

// EPS channel c reads int16 at 24 + 2c; sat time from the six bytes at 138.
QByteArray epsFrame(int channel1Raw)
{
    QByteArray data = frameOf(EpsDebugGroups, EpsDebugLength);
    putInt16(data, 26, channel1Raw); // 1: 0.017661126672891 * raw + 0.01227675070028 V
    putInt16(data, 68, 1234);        // 22: positive offset
    putInt16(data, 118, -1);         // 47: -0.061035 mA
    put(data, 138, "090807030B0F");  // 2015/11/03 07:08:09
    return data;                     // 3 stays 0: -0.001670625667674 V rounds to "0.00"
}

const QList<Expected> EpsExpected = {
    {1, "17.67", "1,Bus Voltage,V,17.673403423591278"},
    {3, "0.00", "3,MPB >1230,V,-0.001670625667674"},
    {22, "8433.78", "22,BP B TB Curr,mA,8433.776321031264"},
    {47, "-0.06", "47,Coil B Curr,mA,-0.061035"},
};
const QList<Expected> EpsSecondExpected = {{1, "-0.01", "1,Bus Voltage,V,-0.005384375972610999"}};

QByteArray comFrame()
{
    QByteArray data = frameOf(ComGroups, ComLength);
    // 51..53 int16 at 26, 54 at 32, 55 at 34, 56..58 uint32 at 35.
    put(data, 26, "07001900F6FFB50080102700000102000000000080");
    return data;
}

const QList<Expected> ComExpected = {
    {51, "7", "51,Reset counts,,7"},       {53, "-10.00", "53,\" \",C,-10"},
    {54, "-75", "54,RSSI,dB,-75"},         {55, "-128", "55,\" \",,-128"},
    {56, "10000", "56,pkts to GS,,10000"}, {58, "2147483648", "58,pkts dropped,,2147483648"},
};

QByteArray adcsFrame()
{
    QByteArray data = frameOf(AdcsGroups, AdcsLength);
    put(data, 82, "9CFF");  // 80: -100
    put(data, 116, "9301"); // 97: 403
    return data;
}

const QList<Expected> AdcsExpected = {
    {80, "-100", "80,Gyro 0 X,\xC2\xB0/s,-100"},
    {97, "403", "97,Magn 1 Z,,403"},
};

QByteArray cdhsFrame()
{
    QByteArray data = frameOf(CdhsGroups, CdhsLength);
    put(data, 26, "01000000FFFFFFFF0000008078563412");
    return data;
}

const QList<Expected> CdhsExpected = {
    {59, nullptr, "59,,,1"}, {60, nullptr, "60,,,4294967295"},
    {61, nullptr, "61,,,2147483648"}, {62, nullptr, "62,,,305419896"},
};

} // namespace

class TestStationDecode : public QObject
{
    Q_OBJECT
private slots:

    void everyFamilyThroughStationAndDecodeCommand()
    {
        auto harness = startQuietStation();
        Station &station = *harness->station;
        station.selectChannel(54); // RSSI
        QSignalSpy chartRedraws(&station.display(), &ChannelDisplay::chartChanged);

        // The CSV rows of the listed channels, keyed "channel": rx time and packet type first.
        QMap<int, QStringList> expectedRows;
        const auto feed = [&](const QByteArray &data, Family family,
                              const QList<Expected> &expected, const char *prefix) {
            const qsizetype redraws = chartRedraws.size();
            arrive(station, data);
            QCOMPARE(chartRedraws.size(), redraws + 1); // each frame redraws the chart
            // Stamped before decoding: the history holds this frame's time, not the previous one's.
            if (family != Family::AdcsMeasurement)
                QCOMPARE(station.history().latest(family)->rxTime, QString::fromLatin1(prefix, 27));
            for (const Expected &e : expected) {
                if (e.boxText)
                    QCOMPARE(station.display().text(e.channel), QString::fromUtf8(e.boxText));
                expectedRows[e.channel] << QString::fromUtf8(prefix) + QString::fromUtf8(e.csvRow);
            }
            harness->clock.advanceMs(1500);
        };

        feed(epsFrame(1000), Family::EpsDebug, EpsExpected,
             "2014-08-02 13:05:09.123 UTC,EPS debug data,2015/11/03 07:08:09,");
        arrive(station, QByteArray::fromHex("00A8A4A6A6404060AE6E8A96A2406103F0") + "foreign");
        feed(comFrame(), Family::ComHousekeeping, ComExpected, "2014-08-02 13:05:10.623 UTC,COM housekeeping,,");
        QCOMPARE(station.display().chart().value(0), -75.0);
        // The ADCS record keeps no time of its own; the CSV still gets the frame's.
        feed(adcsFrame(), Family::AdcsMeasurement, AdcsExpected, "2014-08-02 13:05:12.123 UTC,ADCS measurements,,");
        QCOMPARE(station.history().latest(Family::AdcsMeasurement)->rxTime, QString());
        feed(cdhsFrame(), Family::CdhsBeacon, CdhsExpected, "2014-08-02 13:05:13.623 UTC,CDHS beacon,,");
        arrive(station, frameOf(EpsBeaconGroups, 60));
        arrive(station, frameOf(QByteArray::fromHex("05060000"), 21)); // a 20-byte AX.25 frame
        // Named-only frames change no box: the COM text above still stands.
        QCOMPARE(station.display().text(54), u"-75");
        feed(epsFrame(-1), Family::EpsDebug, EpsSecondExpected,
             "2014-08-02 13:05:15.123 UTC,EPS debug data,2015/11/03 07:08:09,");

        // The capture file the Station wrote, decoded offline: the same values, in frame order.
        const ProgramRun run = runProgram(QStringLiteral("halvora1"), {"decode", station.captureFilePath()});
        QCOMPARE(run.exitCode, 0);
        QStringList rows = QString::fromUtf8(run.out).split(u'\n', Qt::SkipEmptyParts);
        QCOMPARE(rows.takeFirst(), u"rx_time,packet_type,sat_time,channel,caption,unit,value");
        QCOMPARE(rows.size(), 48 + 8 + 20 + 4 + 48);
        // EPS channels other than 1 are checked in the first EPS frame only.
        for (auto it = expectedRows.cbegin(); it != expectedRows.cend(); ++it) {
            const QRegularExpression ofChannel(QStringLiteral("^([^,]*,){3}%1,").arg(it.key()));
            const QStringList rowsOfChannel = rows.filter(ofChannel);
            QCOMPARE(rowsOfChannel.mid(0, it.value().size()), it.value());
        }
    }
};

QTEST_GUILESS_MAIN(TestStationDecode)
#include "tst_station_decode.moc"
