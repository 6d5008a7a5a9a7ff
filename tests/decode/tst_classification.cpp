// Naming a satellite frame by its header groups: the eight tests, short frames, case, and
// header groups that always equal the frame's hex text.
#include "decode/FrameBytes.h"
#include "decode/PacketClassifier.h"
#include "decode/SatelliteFrames.h"

#include <QTest>

#include <vector>

namespace {

using SatelliteFrames::Prefix;

std::vector<std::uint8_t> bytesOf(const QByteArray &data)
{
    return {data.begin(), data.end()};
}

} // namespace

Q_DECLARE_METATYPE(PacketType)

class TestClassification : public QObject
{
    Q_OBJECT
private slots:
    void headerTexts_data();
    void headerTexts();
    void frames_data();
    void frames();
    void headerGroupsMatchFrameHex();
    void satelliteAddress();
};

void TestClassification::headerTexts_data()
{
    QTest::addColumn<QString>("header1");
    QTest::addColumn<QString>("header2");
    QTest::addColumn<PacketType>("type");
    QTest::addColumn<QString>("name");

    const auto row = [](const char *name, const char *h1, const char *h2, PacketType type,
                        const char *typeName) {
        QTest::newRow(name) << QString::fromLatin1(h1) << QString::fromLatin1(h2) << type
                            << QString::fromLatin1(typeName);
    };
    row("1 EPS debug", "00 06 00 7A", "02 03 00 76", PacketType::EpsDebugData, "EPS debug data");
    row("2 ADCS measurements", "02 06 00 60", "02 62 20 5C", PacketType::AdcsMeasurements,
        "ADCS measurements");
    row("3 COM housekeeping", "01 06 00 19", "00 05 00 15", PacketType::ComHousekeeping,
        "COM housekeeping");
    row("4 CDHS beacon", "02 06 00 22", "02 00 20 1E", PacketType::CdhsBeacon, "CDHS beacon");
    row("5 ADCS beacon", "02 06 00 6E", "02 01 20 6A", PacketType::AdcsBeacon, "ADCS beacon");
    row("6 EPS beacon", "02 06 00 7A", "02 03 20 76", PacketType::EpsBeacon, "EPS beacon");
    row("7 COM beacon", "02 06 00 1D", "02 02 20 19", PacketType::ComBeacon, "COM beacon");
    row("8 camera, any second group", "05 06 00 00", "FF FF FF FF", PacketType::CameraData,
        "CAMERA data");
    row("8 camera, empty second group", "05 06 12 34", "", PacketType::CameraData, "CAMERA data");
    row("8 camera, first five characters only", "05 06", "", PacketType::CameraData,
        "CAMERA data");
    row("8 needs five characters", "05 0", "", PacketType::TelemetryOnRequest,
        "Telemetry on request");
    row("test 1 first group, other second", "00 06 00 7A", "02 03 20 76",
        PacketType::TelemetryOnRequest, "Telemetry on request");
    row("test 6 second group, other first", "00 06 00 7B", "02 03 20 76",
        PacketType::TelemetryOnRequest, "Telemetry on request");
    row("lower case never matches", "02 06 00 7a", "02 03 20 76",
        PacketType::TelemetryOnRequest, "Telemetry on request");
    row("lower case second group", "02 06 00 22", "02 00 20 1e",
        PacketType::TelemetryOnRequest, "Telemetry on request");
    row("trailing blank", "02 06 00 22 ", "02 00 20 1E", PacketType::TelemetryOnRequest,
        "Telemetry on request");
    row("both empty", "", "", PacketType::TelemetryOnRequest, "Telemetry on request");
}

void TestClassification::headerTexts()
{
    QFETCH(QString, header1);
    QFETCH(QString, header2);
    QFETCH(PacketType, type);
    QFETCH(QString, name);
    QCOMPARE(classify(header1, header2), type);
    QCOMPARE(packetTypeName(type), name);
}

void TestClassification::frames_data()
{
    QTest::addColumn<QByteArray>("data"); // record data: KISS command byte first
    QTest::addColumn<QString>("headerLine");
    QTest::addColumn<PacketType>("type");

    const auto row = [](const char *name, const QByteArray &data, const char *line, PacketType type) {
        QTest::newRow(name) << data << QString::fromLatin1(line) << type;
    };
    const QByteArray eps = Prefix + QByteArray::fromHex("0006007A02030076") + QByteArray(130, '\0');
    row("EPS debug frame", eps, "00 06 00 7A | 02 03 00 76", PacketType::EpsDebugData);
    row("EPS beacon frame", Prefix + QByteArray::fromHex("0206007A02032076AA"),
        "02 06 00 7A | 02 03 20 76", PacketType::EpsBeacon);
    row("exactly 25 positions", Prefix + QByteArray::fromHex("0206001D02022019"),
        "02 06 00 1D | 02 02 20 19", PacketType::ComBeacon);
    row("24 positions: second group cut", Prefix + QByteArray::fromHex("0206001D020220"),
        "02 06 00 1D | 02 02 20 ", PacketType::TelemetryOnRequest);
    row("20-byte AX.25 frame", Prefix + QByteArray::fromHex("02060000"), "02 06 00 00 | ",
        PacketType::TelemetryOnRequest);
    row("20-byte AX.25 camera frame", Prefix + QByteArray::fromHex("05060000"), "05 06 00 00 | ",
        PacketType::CameraData);
    row("19-byte AX.25 frame", Prefix + QByteArray::fromHex("050600"), "05 06 00  | ",
        PacketType::CameraData);
    row("18-byte AX.25 frame: 05 06 complete", Prefix + QByteArray::fromHex("0506"), "05 06  | ",
        PacketType::CameraData);
    row("17-byte AX.25 frame", Prefix + QByteArray::fromHex("05"), "05  | ",
        PacketType::TelemetryOnRequest);
    row("header only", Prefix, " | ", PacketType::TelemetryOnRequest);
}

void TestClassification::frames()
{
    QFETCH(QByteArray, data);
    QFETCH(QString, headerLine);
    QFETCH(PacketType, type);
    const std::vector<std::uint8_t> frame = bytesOf(data);
    const HeaderHex h1 = headerHex1(frame);
    const HeaderHex h2 = headerHex2(frame);
    QCOMPARE(h1.view().toString() + QStringLiteral(" | ") + h2.view().toString(), headerLine);
    QCOMPARE(classify(h1.view(), h2.view()), type);
}

void TestClassification::headerGroupsMatchFrameHex()
{
    // HeaderHex1 and 2 are characters 49..59 and 61..71 of FrameHex, whatever the length.
    for (int length = 0; length <= 40; ++length) {
        QByteArray data(length, '\0');
        for (int i = 0; i < length; ++i)
            data[i] = char(0x5A + 7 * i);
        FrameBytes bytes;
        bytes.assign(data);
        const QString hex = buildFrameHex(bytes);
        QCOMPARE(headerHex1(bytes.current()).view(), QStringView(hex).mid(48, 11));
        QCOMPARE(headerHex2(bytes.current()).view(), QStringView(hex).mid(60, 11));
    }
}

void TestClassification::satelliteAddress()
{
    QVERIFY(isSatelliteFrame(bytesOf(Prefix)));
    QVERIFY(isSatelliteFrame(bytesOf(Prefix.left(16))));
    QVERIFY(!isSatelliteFrame(bytesOf(Prefix.left(15))));
    QByteArray otherSsid = Prefix;
    otherSsid[7] = char(0x64); // XR9KG-2
    QVERIFY(!isSatelliteFrame(bytesOf(otherSsid)));
    QByteArray otherCommandByte = Prefix;
    otherCommandByte[0] = char(0x10); // a second radio port counts alike
    QVERIFY(isSatelliteFrame(bytesOf(otherCommandByte)));
}

QTEST_GUILESS_MAIN(TestClassification)
#include "tst_classification.moc"
