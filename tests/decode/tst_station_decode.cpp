// Satellite frames of every family through the Station (packet type, header list, box texts,
// history, headless output) and the Station's own capture file through `halvora1 decode`,
// which must give the same values; then the decode command on a missing and a damaged file.
#include "app/HeadlessRunner.h"
#include "decode/ChannelRefresh.h"
#include "decode/SatelliteFrames.h"
#include "telemetry/ChannelTable.h"
#include "link/Kiss.h"
#include "support/Programs.h"

#include <QTest>

#include <cstdio>

using namespace SatelliteFrames;

namespace {

// One CSV line with RFC 4180 quoting (no line breaks inside fields).
QStringList csvFields(const QString &line)
{
    QStringList fields{QString()};
    bool quoted = false;
    for (qsizetype i = 0; i < line.size(); ++i) {
        if (line[i] == u'"' && quoted && i + 1 < line.size() && line[i + 1] == u'"')
            fields.last() += line[++i];
        else if (line[i] == u'"')
            quoted = !quoted;
        else if (line[i] == u',' && !quoted)
            fields << QString();
        else
            fields.last() += line[i];
    }
    return fields;
}

// Each row as rx_time|packet_type|sat_time|channel|caption|unit|value, the value with all its
// digits; empty when the header or a row's shape is wrong.
QStringList csvRows(const QByteArray &output)
{
    QStringList lines = QString::fromUtf8(output).split(u'\n', Qt::SkipEmptyParts);
    if (lines.isEmpty() || lines.takeFirst() != u"rx_time,packet_type,sat_time,channel,caption,unit,value")
        return {};
    QStringList rows;
    for (const QString &line : lines) {
        QStringList f = csvFields(line);
        if (f.size() != 7)
            return {};
        f[6] = QString::number(std::strtod(f[6].toLatin1().constData(), nullptr), 'g', 17);
        rows << f.join(u'|');
    }
    return rows;
}

ProgramRun runDecode(const QStringList &arguments)
{
    return runProgram(QStringLiteral("halvora1"), QStringList{QStringLiteral("decode")} + arguments);
}

QByteArray epsFrame(int seed)
{
    QByteArray data = frameOf(EpsDebugGroups, EpsDebugLength);
    for (int channel = 1; channel <= 48; ++channel)
        putInt16(data, 24 + 2 * channel, (channel * 977 + seed * 131) % 4096 - 1024);
    put(data, 138, "090807030B0F");
    return data;
}

QByteArray comFrame()
{
    QByteArray data = frameOf(ComGroups, ComLength);
    put(data, 26, "0700");
    put(data, 28, "1900"); // 52: 25 -> "25.00"
    put(data, 30, "F6FF");
    put(data, 32, "B5");   // RSSI -75
    put(data, 34, "80");   // -128
    put(data, 35, "10270000");
    put(data, 39, "01020000");
    put(data, 43, "00000080"); // 2147483648
    return data;
}

QByteArray adcsFrame()
{
    QByteArray data = frameOf(AdcsGroups, AdcsLength);
    for (int k = 0; k < 20; ++k)
        putInt16(data, 78 + 2 * k, 37 * k - 300);
    put(data, 82, "9CFF"); // 80: -100
    return data;
}

QByteArray cdhsFrame()
{
    QByteArray data = frameOf(CdhsGroups, CdhsLength);
    put(data, 26, "01000000FFFFFFFF0000008078563412");
    return data;
}

} // namespace

class TestStationDecode : public QObject
{
    Q_OBJECT
private slots:

    void everyFamilyThroughStationAndDecodeCommand()
    {
        auto harness = startQuietStation();
        Station &station = *harness->station;
        QStringList types;
        connect(&station.intake(), &FrameIntake::packetTypeChanged, this, [&](const QString &t) { types << t; });

        // What the decode command must print for the Station's capture file, frame by frame: the
        // Station's values, and the frame's time even where the record keeps none (ADCS).
        QStringList expected;
        const auto arriveExpecting = [&](const QByteArray &data, Family family, int first, int last) {
            arrive(station, data);
            const TelemetryHistory::Record &record = *station.history().latest(family);
            for (int channel = first; channel <= last; ++channel) {
                const ChannelTable::Row *row = ChannelTable::find(channel);
                expected << QStringList{station.intake().frameTimeText(), station.intake().packetType(), record.satTime,
                                        QString::number(channel), QString::fromUtf8(row ? row->caption : ""),
                                        QString::fromUtf8(row ? row->unit : ""),
                                        QString::number(record.values[std::size_t(channel)], 'g', 17)}
                                .join(u'|');
            }
            harness->clock.advanceMs(1500);
        };

        arriveExpecting(epsFrame(1), Family::EpsDebug, 1, 48);
        arrive(station, QByteArray::fromHex("00A8A4A6A6404060AE6E8A96A2406103F0") + "foreign");
        arriveExpecting(comFrame(), Family::ComHousekeeping, 51, 58);
        arriveExpecting(adcsFrame(), Family::AdcsMeasurement, 78, 97);
        const QStringList boxTexts{"7", "25.00", "-10.00", "-75", "-128", "10000", "513", "2147483648",
                                   "-300", "-100", "403", ""};
        int k = 0;
        for (int channel : {51, 52, 53, 54, 55, 56, 57, 58, 78, 80, 97, 98})
            QCOMPARE(station.display().text(channel), boxTexts[k++]);
        QCOMPARE(station.history().latest(Family::AdcsMeasurement)->rxTime, QString());

        std::array<QString, Station::ChannelCount + 1> textsBefore;
        for (int channel = 1; channel <= Station::ChannelCount; ++channel)
            textsBefore[std::size_t(channel)] = station.display().text(channel);
        arriveExpecting(cdhsFrame(), Family::CdhsBeacon, 59, 62);
        QCOMPARE(station.history().latest(Family::CdhsBeacon)->values[61], 2147483648.0);
        arrive(station, frameOf(EpsBeaconGroups, 60));
        arrive(station, frameOf(QByteArray::fromHex("05060000"), 21)); // a 20-byte AX.25 frame
        // The CDHS beacon and the named-only frames change no box.
        for (int channel = 1; channel <= Station::ChannelCount; ++channel)
            QCOMPARE(station.display().text(channel), textsBefore[std::size_t(channel)]);

        arriveExpecting(epsFrame(2), Family::EpsDebug, 1, 48);
        QCOMPARE(types, (QStringList{"EPS debug data", "COM housekeeping", "ADCS measurements",
                                     "CDHS beacon", "EPS beacon", "CAMERA data", "EPS debug data"}));
        const QStringList lines{"00 06 00 7A | 02 03 00 76", "01 06 00 19 | 00 05 00 15",
                                "02 06 00 60 | 02 62 20 5C", "02 06 00 22 | 02 00 20 1E",
                                "02 06 00 7A | 02 03 20 76", "05 06 00 00 | ",
                                "00 06 00 7A | 02 03 00 76"};
        QCOMPARE(QStringList(station.intake().headerLines().begin(), station.intake().headerLines().end()), lines);
        QCOMPARE(station.intake().satelliteFrameCount(), 7);
        for (int channel = 1; channel <= 48; ++channel) { // the boxes show the latest frame
            QCOMPARE(station.display().text(channel),
                     formatBoxText(station.history().latest(Family::EpsDebug)->values[std::size_t(channel)],
                                   BoxFormat::TwoDecimals, u"."));
        }

        // The capture file the Station wrote, decoded offline: the same values, in frame order.
        const ProgramRun run = runDecode({station.captureFilePath()});
        QCOMPARE(run.exitCode, 0);
        QCOMPARE(csvRows(run.out), expected);
        QVERIFY(expected.first().startsWith(u"2014-08-02 13:05:09.123 UTC|EPS debug data|2015/11/03 07:08:09|1|"));
    }

    void headlessOutputNamesThePacketType()
    {
        auto harness = startQuietStation();
        std::FILE *out = std::tmpfile();
        {
            HeadlessRunner runner(*harness->station, out, out);
            arrive(*harness->station, comFrame());
            arrive(*harness->station, frameOf(QByteArray::fromHex("0306"), 40));
        }
        std::rewind(out);
        QByteArray printed(4096, '\0');
        printed.resize(qsizetype(std::fread(printed.data(), 1, std::size_t(printed.size()), out)));
        std::fclose(out);
        QVERIFY2(printed.contains("RX packets: 1 | HTTP POST OK: 0 | COM housekeeping\n"), printed);
        QVERIFY2(printed.contains("RX packets: 2 | HTTP POST OK: 0 | Telemetry on request\n"), printed);
    }

    void decodeCommandFailures()
    {
        QByteArray good;
        Kiss::appendFrameRecord(good, comFrame());
        Kiss::appendTimeRecord(good, "2014-08-02 13:05:09.123 UTC");
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("capture.kss"));
        ProgramRun run = runDecode({path});
        QCOMPARE(run.exitCode, 1);
        QVERIFY2(run.err.contains("cannot read") && run.err.contains(path.toUtf8()), run.err);

        // Bytes after the last record that no FEND closes: reported, and the file counts as
        // read to its end.
        QVERIFY(writeFile(path, good + "junk"));
        run = runDecode({path});
        QCOMPARE(run.exitCode, 0);
        QCOMPARE(csvRows(run.out).size(), 8);
        const QByteArray damage = path.toUtf8() + ": offset " + QByteArray::number(good.size()) +
                                  ": 4 bytes skipped (truncated record at end of file)\n";
        QCOMPARE(run.err, damage);
    }

};

QTEST_GUILESS_MAIN(TestStationDecode)
#include "tst_station_decode.moc"
