// `halvora1 import` and `halvora1 export` on real capture files and a real station database:
// the archive gives back what `halvora1 decode` reads from the same capture, a second import
// adds nothing, frames without time records and damaged spans are counted, and the export's
// column and time selection and its argument errors.
#include "app/CaptureImport.h"
#include "app/DecodeCommand.h"
#include "app/ExportCommand.h"
#include "app/ImportCommand.h"
#include "decode/SatelliteFrames.h"
#include "link/Kiss.h"
#include "store/StationDatabase.h"
#include "support/CommandRun.h"
#include "telemetry/ChannelTable.h"

#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>
#include <QtEndian>

using namespace SatelliteFrames;

namespace {

constexpr qint64 FirstRxMs = 1796581509123; // 2026-12-06 18:25:09.123 UTC

// Frame `index` of the test captures: a decoded family's frame with random payload after its
// groups, so values vary; the same index always gives the same bytes.
QByteArray randomFrame(int index)
{
    QRandomGenerator random(quint32(1000 + index));
    static const std::pair<const QByteArray *, int> kinds[] = {
        {&EpsDebugGroups, EpsDebugLength}, {&ComGroups, ComLength},
        {&AdcsGroups, AdcsLength}, {&CdhsGroups, CdhsLength}, {&EpsBeaconGroups, 80}};
    const auto &[groups, length] = kinds[index % 5];
    QByteArray data = frameOf(*groups, length);
    for (int i = Prefix.size() + groups->size(); i < data.size(); ++i)
        data[i] = char(random.bounded(256));
    return data;
}

QByteArray timeText(qint64 ms)
{
    return QDateTime::fromMSecsSinceEpoch(ms, Qt::UTC).toString(u"yyyy-MM-dd HH:mm:ss.zzz").toLatin1() + " UTC";
}

// The fields of one CSV line (quoted fields with doubled quotes, no line break inside).
QList<QByteArray> csvFields(const QByteArray &line)
{
    QList<QByteArray> fields(1);
    bool quoted = false;
    for (qsizetype i = 0; i < line.size(); ++i) {
        const char c = line[i];
        if (quoted && c == '"' && i + 1 < line.size() && line[i + 1] == '"')
            fields.last() += line[++i];
        else if (c == '"')
            quoted = !quoted;
        else if (c == ',' && !quoted)
            fields.append(QByteArray());
        else
            fields.last() += c;
    }
    return fields;
}

// Frames first .. first + count - 1, frame i received at FirstRxMs + i * msApart: ours (time
// text after the frame), or other tools' (8-byte big-endian ms record before it).
QByteArray capture(int count, bool otherTools = false, int first = 0, qint64 msApart = 1000)
{
    QByteArray out;
    for (int i = first; i < first + count; ++i) {
        const qint64 ms = FirstRxMs + i * msApart;
        // Each record built on its own: the escaper reserves exactly what it appends, so
        // appending thousands of records to one array would copy it every time.
        QByteArray records;
        if (otherTools) { // escaped like a frame: the big-endian bytes may hold FEND or FESC
            QByteArray timeRecord(1 + 8, Kiss::TimeRecordCommand);
            qToBigEndian(ms, timeRecord.data() + 1);
            Kiss::appendFrameRecord(records, timeRecord);
        }
        Kiss::appendFrameRecord(records, randomFrame(i));
        if (!otherTools)
            Kiss::appendTimeRecord(records, timeText(ms));
        out += records;
    }
    return out;
}

} // namespace

class CommandsTest : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->isValid());
    }

    // The families' values come back with their own frames in reception order, however the
    // archive's row ids run.
    void exportLongEqualsDecode_data()
    {
        QTest::addColumn<QList<QByteArray>>("captures"); // in reception order
        QTest::addColumn<bool>("importLaterFirst");
        QTest::newRow("other tools' millisecond records") << QList<QByteArray>{capture(60, true)} << false;
        QTest::newRow("the later file imported first")
            << QList<QByteArray>{capture(30), capture(30, false, 30)} << true;
        QTest::newRow("frames sharing a reception time") << QList<QByteArray>{capture(60, false, 0, 0)} << false;
    }
    void exportLongEqualsDecode()
    {
        QFETCH(QList<QByteArray>, captures);
        QFETCH(bool, importLaterFirst);
        QStringList files;
        for (const QByteArray &content : captures)
            files << writeCapture(u"pass%1.kss"_qs.arg(files.size()), content);
        const CommandRun decoded = runCommand(runDecodeCommand, files);
        QCOMPARE(decoded.status, 0);

        for (const QString &file : importLaterFirst ? QStringList(files.rbegin(), files.rend()) : files)
            QCOMPARE(importFiles({file}).status, 0);
        const CommandRun exported = exportArchive({u"--long"_qs});
        QCOMPARE(exported.status, 0);
        QCOMPARE(exported.err, QByteArray());
        QVERIFY(decoded.out.count('\n') > 60 * 5);
        QCOMPARE(exported.out, decoded.out);
    }

    // Every value decode reads appears in the wide export's row of its frame and column of its
    // channel, with the same text; every other cell is empty.
    void wideExportHoldsDecodedValues()
    {
        const QString file = writeCapture(u"pass.kss"_qs, capture(25));
        QCOMPARE(importFiles({file}).status, 0);
        const QList<QByteArray> rows = exportArchive({}).out.trimmed().split('\n');
        QCOMPARE(rows.size(), 1 + 25);
        QCOMPARE(rows[1].split(',').first(), QByteArray("2026-12-06T18:25:09.123Z"));
        const QList<QByteArray> header = csvFields(rows[0]);
        QCOMPARE(header.mid(0, 3), (QList<QByteArray>{"rx_time", "packet_type", "sat_time"}));
        QHash<QByteArray, QByteArray> decoded; // "rx_time channel" in decode's text -> value
        for (const QByteArray &line : runCommand(runDecodeCommand, {file}).out.trimmed().split('\n').mid(1)) {
            const QList<QByteArray> cells = csvFields(line);
            decoded.insert(cells[0] + ' ' + cells[3], cells.last());
        }
        QVERIFY(decoded.size() > 100);
        qsizetype filled = 0;
        for (const QByteArray &row : rows.mid(1)) {
            const QList<QByteArray> cells = csvFields(row);
            QCOMPARE(cells.size(), header.size());
            const QDateTime time = QDateTime::fromString(QString::fromLatin1(cells[0]), Qt::ISODateWithMs);
            for (qsizetype column = 3; column < cells.size(); ++column) {
                const QByteArray channel = header[column].split(' ').first();
                QCOMPARE(cells[column], decoded.value(timeText(time.toMSecsSinceEpoch()) + ' ' + channel));
                filled += !cells[column].isEmpty();
            }
        }
        QCOMPARE(filled, decoded.size()); // no value without its cell

        // A selection keeps the chosen channels' columns (a list with a range) and the rows in the
        // time span, --from inclusive and --to a date taking the whole day.
        const QList<QByteArray> selected = exportArchive({u"--channels"_qs, u"53-55,57"_qs, u"--from"_qs,
                                                          u"2026-12-06T18:25:14.123Z"_qs, u"--to"_qs, u"2026-12-06"_qs})
                                               .out.trimmed().split('\n');
        QList<QByteArray> chosen = header.mid(0, 3);
        for (const QByteArray &title : header)
            if (QByteArrayList{"53", "54", "55", "57"}.contains(title.split(' ').first()))
                chosen << title;
        QCOMPARE(csvFields(selected[0]), chosen);
        QCOMPARE(selected.size(), 1 + 20); // frames 5 to 24
    }

    void importTwiceAddsNothing()
    {
        const QString file = writeCapture(u"pass.kss"_qs, capture(40, true));
        QCOMPARE(importFiles({file}).status, 0);
        const QByteArray first = exportArchive({}).out;
        // A second file overlapping the first by 10 frames.
        const QString overlap = writeCapture(u"later.kss"_qs, capture(20, false, 30));
        const CommandRun again = importFiles({file, overlap});
        QCOMPARE(again.status, 0);
        QCOMPARE(again.out, file.toUtf8() + ": 0 frames imported, 40 already present, 0 frames without a time record, 0 damaged spans\n"
                          + overlap.toUtf8() + ": 10 frames imported, 10 already present, 0 frames without a time record, 0 damaged spans\n");
        QCOMPARE(exportArchive({u"--to"_qs, u"2026-12-06T18:25:48.123"_qs}).out, first);
    }

    void framesWithoutTimeAndDamageAreCounted()
    {
        QByteArray content = capture(3);
        Kiss::appendFrameRecord(content, randomFrame(3)); // no time record follows
        content += QByteArray::fromHex("C000DB05C0");                // an invalid escape
        Kiss::appendFrameRecord(content, randomFrame(4));
        Kiss::appendTimeRecord(content, "not a time");             // unreadable
        content += capture(2, false, 10);
        const QString file = writeCapture(u"damaged.kss"_qs, content);

        const CommandRun imported = importFiles({file});
        QCOMPARE(imported.status, 0);
        QCOMPARE(imported.out, file.toUtf8() + ": 5 frames imported, 0 already present, "
                                               "2 frames without a time record, 1 damaged spans\n");
        QVERIFY(imported.err.startsWith(file.toUtf8() + ": offset ")); // the damaged span
        QCOMPARE(exportArchive({}).out.count('\n'), 1 + 5);
    }

    void importCanBeCancelledAndKeepsWhatItRead()
    {
        const QString path = writeCapture(u"big.kss"_qs, capture(3 * int(CaptureImport::BatchSize) / 2));
        QVERIFY(QDir().mkpath(station()));
        StationDatabase database;
        QVERIFY(database.open(station()).ok);
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        CaptureImport import(file, database);
        QCOMPARE(import.step(100), CaptureImport::Status::Running);
        QCOMPARE(import.step(int(CaptureImport::BatchSize)), CaptureImport::Status::Running);
        QCOMPARE(import.cancel(), QString());
        QCOMPARE(import.summary().imported, qint64(CaptureImport::BatchSize) + 100);
        QCOMPARE(import.step(), CaptureImport::Status::Finished);
        database.close();
        QCOMPARE(exportArchive({}).out.count('\n'), 1 + qsizetype(CaptureImport::BatchSize) + 100);
    }

    // Refused runs write nothing to stdout; a refused export creates no station database.
    void refusals_data()
    {
        QTest::addColumn<bool>("import"); // else export
        QTest::addColumn<QStringList>("arguments"); // @dir: the station's parent directory
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("error");
        QTest::newRow("bad from") << false << QStringList{u"--from"_qs, u"yesterday"_qs} << 2
                                  << QByteArray("halvora1 export: bad --from time 'yesterday'");
        QTest::newRow("no archive") << false << QStringList() << 2 << QByteArray("halvora1 export: no station database at ");
        QTest::newRow("missing file") << true << QStringList{u"@dir/missing.kss"_qs} << 1
                                      << QByteArray("halvora1 import: cannot read ");
    }
    void refusals()
    {
        QFETCH(bool, import);
        QFETCH(QStringList, arguments);
        QFETCH(int, status);
        QFETCH(QByteArray, error);
        arguments.replaceInStrings(u"@dir"_qs, m_dir->path());
        const CommandRun run = import ? importFiles(arguments) : exportArchive(arguments);
        QCOMPARE(run.status, status);
        QCOMPARE(run.out, QByteArray());
        QVERIFY2(run.err.startsWith(error), run.err.constData());
        if (!import)
            QVERIFY(!QFile::exists(QDir(station()).filePath(QLatin1String(StationDatabase::FileName))));
    }

private:
    QString station() const { return m_dir->filePath(u"station"_qs); }
    CommandRun importFiles(const QStringList &files)
    {
        return runCommand(runImportCommand, QStringList{u"--station-dir"_qs, station()} + files);
    }
    CommandRun exportArchive(const QStringList &arguments)
    {
        return runCommand(runExportCommand, QStringList{u"--station-dir"_qs, station()} + arguments);
    }
    QString writeCapture(const QString &name, const QByteArray &content)
    {
        const QString path = m_dir->filePath(name);
        if (!writeFile(path, content))
            qFatal("cannot write %s", qPrintable(path));
        return path;
    }

    std::unique_ptr<QTemporaryDir> m_dir;
};

QTEST_GUILESS_MAIN(CommandsTest)
#include "tst_commands.moc"
