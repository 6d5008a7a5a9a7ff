// The number reader, the channel table, naming frames by their header groups, the family
// decoders at a cut frame. Expected values are literals worked out independently.
#include "decode/FieldReaders.h"
#include "decode/FrameDecoder.h"
#include "decode/PacketClassifier.h"
#include "decode/SatelliteFrames.h"
#include "telemetry/ChannelTable.h"

#include <QTest>

#include <algorithm>
#include <vector>

using namespace SatelliteFrames;

namespace {

// Exactly the given bytes on the heap: the sanitizer build catches any read past them.
std::vector<std::uint8_t> bytesOf(const QByteArray &data)
{
    return {data.begin(), data.end()};
}

} // namespace

class TestDecoding : public QObject
{
    Q_OBJECT
private slots:
    // The number reader's own argument check: no decoder reaches it, a caller of the reader may.
    void numberReaderRefusesAStartBeyondItsEnd()
    {
        const std::vector<std::uint8_t> bytes{1, 2, 3};
        QStringList shown;
        std::int32_t end = 2;
        QCOMPARE(BytesToNumber(bytes, 3, end, true, [&](const QString &text) { shown << text; }), -1.0);
        QCOMPARE(shown, QStringList{u"Start record can not be greater then End record...!"_qs});
        end = 3;
        QCOMPARE(BytesToNumber(bytes, 2, end, true), 2.0 + 3 * 256);
    }

    // Each channel number has at most one row; which numbers have one is fixed by the frames.
    void channelTableNumbersEachChannelOnce()
    {
        QList<int> expected;
        for (const auto &[first, last] : {std::pair{1, 48}, {51, 58}, {66, 67}, {78, 97}})
            for (int c = first; c <= last; ++c)
                expected << c;
        QList<int> numbers;
        for (const ChannelTable::Row &row : ChannelTable::rows())
            numbers << row.channel;
        std::sort(numbers.begin(), numbers.end());
        QCOMPARE(numbers, expected);
        for (int c = 0; c <= 99; ++c)
            QCOMPARE(ChannelTable::find(c) ? ChannelTable::find(c)->channel : 0, expected.contains(c) ? c : 0);
    }

    void classification_data()
    {
        QTest::addColumn<QByteArray>("groups"); // what follows the addresses, control and PID
        QTest::addColumn<QString>("headerLine");
        QTest::addColumn<QString>("name");

        // The decoded families and the EPS beacon are named through the Station elsewhere.
        const auto row = [](const char *name, const char *hex, const char *line, const char *typeName) {
            QTest::newRow(name) << QByteArray::fromHex(hex) << QString::fromLatin1(line)
                                << QString::fromLatin1(typeName);
        };
        row("COM beacon in exactly 25 positions", "0206001D02022019", "02 06 00 1D | 02 02 20 19", "COM beacon");
        row("24 positions: second group cut", "0206001D020220", "02 06 00 1D | 02 02 20 ", "Telemetry on request");
        row("camera in an 18-byte frame", "0506", "05 06  | ", "CAMERA data");
        row("EPS debug first group only", "0006007A02032076", "00 06 00 7A | 02 03 20 76", "Telemetry on request");
    }

    void classification()
    {
        QFETCH(QByteArray, groups);
        QFETCH(QString, headerLine);
        QFETCH(QString, name);
        const std::vector<std::uint8_t> frame = bytesOf(Prefix + groups);
        const HeaderHex h1 = headerHex1(frame);
        const HeaderHex h2 = headerHex2(frame);
        QCOMPARE(h1.view().toString() + QStringLiteral(" | ") + h2.view().toString(), headerLine);
        QCOMPARE(packetTypeName(classify(h1.view(), h2.view())), name);
    }

    // Values past the end are checked by the fuzz test; here which fields count as stored (an
    // int16 cut by the end is not). A whole frame is checked through the Station.
    void fieldsPastTheFrameEnd_data()
    {
        QTest::addColumn<QByteArray>("data");
        QTest::addColumn<int>("storedCount"); // channels from the family's first one on
        QTest::addColumn<QString>("satTime"); // empty: not stored

        QByteArray eps = frameOf(EpsDebugGroups, EpsDebugLength);
        put(eps, 138, "090807030B0F");
        QTest::newRow("EPS cut after channel 17") << eps.left(60) << 17 << "";
        QTest::newRow("EPS without the year byte") << eps.left(142) << 48 << "";
        QTest::newRow("CDHS groups only") << frameOf(CdhsGroups, 25) << 0 << "";
    }

    void fieldsPastTheFrameEnd()
    {
        QFETCH(QByteArray, data);
        QFETCH(int, storedCount);
        QFETCH(QString, satTime);

        TelemetryHistory history;
        const FrameDecodeResult result =
            decodeSatelliteFrame(bytesOf(data), QStringLiteral("2014-08-02 13:05:09.123 UTC"), history);
        QVERIFY(result.family);
        QCOMPARE(history.count(*result.family), 1); // a record even when no field fits
        QCOMPARE(result.stored.count(), std::size_t(storedCount));
        QVERIFY(!storedCount || result.stored.test(std::size_t(storedCount)));
        QCOMPARE(result.satTimeStored, !satTime.isEmpty());
        QCOMPARE(history.latest(*result.family)->satTime, satTime);
    }
};

QTEST_GUILESS_MAIN(TestDecoding)
#include "tst_decoding.moc"
