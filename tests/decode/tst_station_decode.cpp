// Satellite frames of every family through the Station (packet type, header list, box texts,
// history, headless output) and the Station's own capture file through `halvora1 decode`,
// which must give the same values; then the decode command on other tools' files and on bad
// input.
#include "app/HeadlessRunner.h"
#include "decode/ChannelRefresh.h"
#include "decode/SatelliteFrames.h"
#include "display/ChannelTable.h"
#include "link/Kiss.h"
#include "support/Programs.h"

#include <QLocale>
#include <QTest>

#include <cstdio>

using namespace SatelliteFrames;

namespace {

struct CsvRow
{
    QString rxTime, packetType, satTime, caption, unit;
    int channel = 0;
    double value = 0;
};

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

QList<CsvRow> csvRows(const QByteArray &output)
{
    QStringList lines = QString::fromUtf8(output).split(u'\n', Qt::SkipEmptyParts);
    if (lines.isEmpty() || lines.takeFirst() != u"rx_time,packet_type,sat_time,channel,caption,unit,value")
        return {};
    QList<CsvRow> rows;
    for (const QString &line : lines) {
        const QStringList f = csvFields(line);
        if (f.size() != 7)
            return {};
        rows << CsvRow{f[0], f[1], f[2], f[4], f[5], f[3].toInt(),
                       std::strtod(f[6].toLatin1().constData(), nullptr)};
    }
    return rows;
}

// A row as one line, the value with all its digits, for comparing lists of rows.
QString text(const CsvRow &r)
{
    return QStringList{r.rxTime, r.packetType, r.satTime, QString::number(r.channel), r.caption,
                       r.unit, QString::number(r.value, 'g', 17)}
        .join(u'|');
}

QStringList texts(const QList<CsvRow> &rows)
{
    QStringList lines;
    for (const CsvRow &row : rows)
        lines << text(row);
    return lines;
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
        QStringList headerLines;
        int textRefreshes = 0;
        connect(&station, &Station::packetTypeChanged, this, [&](const QString &t) { types << t; });
        connect(&station, &Station::headerLineAdded, this, [&](const QString &l) { headerLines << l; });
        connect(&station, &Station::channelTextsChanged, this, [&] { ++textRefreshes; });

        // What the decode command must print for the Station's capture file, frame by frame: the
        // Station's values, and the frame's time even where the record keeps none (ADCS).
        QList<CsvRow> expected;
        const auto arriveExpecting = [&](const QByteArray &data, Family family, int first, int last) {
            arrive(station, data);
            const TelemetryHistory::Record &record = *station.history().latest(family);
            for (int channel = first; channel <= last; ++channel) {
                const ChannelTable::Row *row = ChannelTable::find(channel);
                expected << CsvRow{station.frameTimeText(), station.packetType(), record.satTime,
                                   QString::fromUtf8(row ? row->caption : ""),
                                   QString::fromUtf8(row ? row->unit : ""), channel,
                                   record.values[std::size_t(channel)]};
            }
            harness->clock.advanceMs(1500);
        };

        arriveExpecting(epsFrame(1), Family::EpsDebug, 1, 48);
        arrive(station, QByteArray::fromHex("00A8A4A6A6404060AE6E8A96A2406103F0") + "foreign");
        arriveExpecting(comFrame(), Family::ComHousekeeping, 51, 58);
        const QStringList comTexts{"7", "25.00", "-10.00", "-75", "-128", "10000", "513", "2147483648"};
        for (int channel = 51; channel <= 58; ++channel)
            QCOMPARE(station.channelText(channel), comTexts[channel - 51]);

        arriveExpecting(adcsFrame(), Family::AdcsMeasurement, 78, 97);
        QCOMPARE(station.channelText(78), QStringLiteral("-300"));
        QCOMPARE(station.channelText(80), QStringLiteral("-100"));
        QCOMPARE(station.channelText(97), QStringLiteral("403"));
        QCOMPARE(station.channelText(98), QString());
        QCOMPARE(station.history().latest(Family::AdcsMeasurement)->rxTime, QString());

        std::array<QString, Station::ChannelCount + 1> textsBefore;
        for (int channel = 1; channel <= Station::ChannelCount; ++channel)
            textsBefore[std::size_t(channel)] = station.channelText(channel);
        arriveExpecting(cdhsFrame(), Family::CdhsBeacon, 59, 62);
        QCOMPARE(station.history().latest(Family::CdhsBeacon)->values[61], 2147483648.0);
        arrive(station, frameOf(EpsBeaconGroups, 60));
        arrive(station, frameOf(QByteArray::fromHex("05060000"), 21)); // a 20-byte AX.25 frame
        // The CDHS beacon and the named-only frames change no box.
        for (int channel = 1; channel <= Station::ChannelCount; ++channel)
            QCOMPARE(station.channelText(channel), textsBefore[std::size_t(channel)]);

        arriveExpecting(epsFrame(2), Family::EpsDebug, 1, 48);
        QCOMPARE(types, (QStringList{"EPS debug data", "COM housekeeping", "ADCS measurements",
                                     "CDHS beacon", "EPS beacon", "CAMERA data", "EPS debug data"}));
        const QStringList lines{"00 06 00 7A | 02 03 00 76", "01 06 00 19 | 00 05 00 15",
                                "02 06 00 60 | 02 62 20 5C", "02 06 00 22 | 02 00 20 1E",
                                "02 06 00 7A | 02 03 20 76", "05 06 00 00 | ",
                                "00 06 00 7A | 02 03 00 76"};
        QCOMPARE(headerLines, lines);
        QCOMPARE(QStringList(station.headerLines().begin(), station.headerLines().end()), lines);
        QCOMPARE(textRefreshes, 7);
        QCOMPARE(station.rxPackets(), 7);
        QCOMPARE(station.history().count(Family::EpsDebug), 2);
        for (int channel = 1; channel <= 48; ++channel) { // the boxes show the latest frame
            QCOMPARE(station.channelText(channel),
                     formatBoxText(station.history().latest(Family::EpsDebug)->values[std::size_t(channel)],
                                   BoxFormat::TwoDecimals, u"."));
        }

        // The capture file the Station wrote, decoded offline: the same values, in frame order.
        const ProgramRun run = runDecode({station.captureFilePath()});
        QCOMPARE(run.exitCode, 0);
        QCOMPARE(run.err, QByteArray());
        const QList<CsvRow> rows = csvRows(run.out);
        QCOMPARE(texts(rows), texts(expected));
        QCOMPARE(rows.first().satTime, QStringLiteral("2015/11/03 07:08:09"));
        QCOMPARE(rows.first().rxTime, QStringLiteral("2014-08-02 13:05:09.123 UTC"));
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

    void headerListKeepsNewest10000()
    {
        auto harness = startQuietStation();
        QByteArray data = frameOf(QByteArray::fromHex("0306000000000000"), 25);
        for (int n = 0; n <= Station::MaxHeaderLines; ++n) {
            putInt16(data, 20, n);
            arrive(*harness->station, data);
        }
        const auto &lines = harness->station->headerLines();
        QCOMPARE(int(lines.size()), Station::MaxHeaderLines);
        QCOMPARE(lines.front(), QStringLiteral("03 06 01 00 | 00 00 00 00")); // frame 0 dropped
        QCOMPARE(lines.back(), QStringLiteral("03 06 10 27 | 00 00 00 00"));  // frame 10000
    }

    void boxesUseTheLocaleDecimalSeparator()
    {
        const QLocale previous;
        QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
        auto harness = startQuietStation();
        arrive(*harness->station, comFrame());
        QLocale::setDefault(previous);
        QCOMPARE(harness->station->channelText(52), QStringLiteral("25,00"));
        QCOMPARE(harness->station->channelText(56), QStringLiteral("10000")); // no grouping
    }

    void otherToolsTimeRecords()
    {
        // Other ground-station tools: an 8-byte big-endian millisecond count (KISS-escaped like
        // data) before the frame, and one FEND between records.
        const auto msRecord = [](qint64 ms) {
            QByteArray bytes(1, char(Kiss::TimeRecordCommand));
            for (int shift = 56; shift >= 0; shift -= 8)
                bytes += char((ms >> shift) & 0xFF);
            QByteArray out;
            Kiss::appendFrameRecord(out, bytes);
            return out;
        };
        QByteArray file;
        // 2014-08-02 13:05:09.123 UTC = 1406984709123 ms.
        file += msRecord(1406984709123);
        Kiss::appendFrameRecord(file, comFrame());
        file.chop(1);                         // records share their FENDs
        file += msRecord(0x00000147974DF9C0); // 2014-08-02 15:19:35.616 UTC; 0xC0 gets escaped
        file.remove(file.size() - 1, 1);
        Kiss::appendFrameRecord(file, cdhsFrame());

        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("other.kss"));
        QVERIFY(writeFile(path, file));
        const ProgramRun run = runDecode({path});
        QCOMPARE(run.exitCode, 0);
        const QList<CsvRow> rows = csvRows(run.out);
        QCOMPARE(rows.size(), 8 + 4);
        QCOMPARE(rows[0].rxTime, QStringLiteral("2014-08-02 13:05:09.123 UTC"));
        QCOMPARE(rows[0].packetType, QStringLiteral("COM housekeeping"));
        QCOMPARE(rows[7].value, 2147483648.0);
        QCOMPARE(rows[8].rxTime, QStringLiteral("2014-08-02 15:19:35.616 UTC"));
        QCOMPARE(rows[8].channel, 59);
        QCOMPARE(rows[11].value, 305419896.0);
    }

    void decodeCommandFailures_data()
    {
        QTest::addColumn<QByteArray>("content"); // null: no file at all
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<int>("rows");
        QTest::addColumn<QString>("errorText");

        QByteArray good;
        Kiss::appendFrameRecord(good, comFrame());
        Kiss::appendTimeRecord(good, "2014-08-02 13:05:09.123 UTC");

        QTest::newRow("missing file") << QByteArray() << QStringList{} << 1 << 0
                                      << QStringLiteral("cannot read");
        QTest::newRow("empty file") << QByteArray("") << QStringList{} << 0 << 0 << QString();
        QTest::newRow("bytes after the last record")
            << good + "junk" << QStringList{} << 1 << 8
            << QStringLiteral("damaged at byte offset %1").arg(good.size() - 1); // its shared FEND
        QTest::newRow("record not closed")
            << good + good.left(20) << QStringList{} << 1 << 8
            << QStringLiteral("damaged at byte offset %1").arg(good.size());
        QTest::newRow("bad escape")
            << good + QByteArray::fromHex("C000DB01C0") << QStringList{} << 1 << 8
            << QStringLiteral("damaged at byte offset %1").arg(good.size() + 2);
        QTest::newRow("frame without its time record")
            << good.left(good.size() - 30) << QStringList{} << 0 << 8 << QString();
        QTest::newRow("no file given") << QByteArray("") << QStringList{QStringLiteral("--none")} << 2
                                       << 0 << QStringLiteral("no capture file given");
        QTest::newRow("unknown option") << QByteArray("") << QStringList{QStringLiteral("--bogus")}
                                        << 2 << 0 << QStringLiteral("Unknown option 'bogus'");
    }

    void decodeCommandFailures()
    {
        QFETCH(QByteArray, content);
        QFETCH(QStringList, options);
        QFETCH(int, exitCode);
        QFETCH(int, rows);
        QFETCH(QString, errorText);

        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("capture.kss"));
        QVERIFY(content.isNull() || writeFile(path, content));
        const QStringList arguments =
            options == QStringList{QStringLiteral("--none")} ? QStringList{} : options + QStringList{path};
        const ProgramRun run = runDecode(arguments);
        QCOMPARE(run.exitCode, exitCode);
        if (exitCode != 2)
            QCOMPARE(csvRows(run.out).size(), rows);
        if (errorText.isEmpty()) {
            QCOMPARE(run.err, QByteArray());
        } else {
            QVERIFY2(run.err.contains(errorText.toUtf8()), run.err);
            if (exitCode == 1)
                QVERIFY2(run.err.contains(path.toUtf8()), run.err); // says which file
        }
    }

};

QTEST_GUILESS_MAIN(TestStationDecode)
#include "tst_station_decode.moc"
