// Min/max decimation for plots: which points each pixel column keeps (worked out by hand for
// small series), and on a long series with spikes that every column's lowest and highest
// value survive, so no spike is lost.
#include "decode/SeriesDecimation.h"

#include <QTest>

#include <cmath>
#include <limits>
#include <map>
#include <random>

using SeriesDecimation::Point;
using Points = std::vector<Point>;

namespace {

// "column:first,minimum,maximum,last" for each kept column.
QStringList describe(const std::vector<SeriesDecimation::Column> &columns)
{
    QStringList text;
    for (const SeriesDecimation::Column &c : columns)
        text << QStringLiteral("%1:%2,%3,%4,%5").arg(c.column).arg(c.first).arg(c.minimum).arg(c.maximum).arg(c.last);
    return text;
}

Points flatWithSpike(double spike)
{
    Points points;
    for (qint64 t = 0; t < 10; ++t)
        points.push_back({t, t == 5 ? spike : 0.0});
    return points;
}

constexpr qint64 Min = std::numeric_limits<qint64>::min();
constexpr qint64 Max = std::numeric_limits<qint64>::max();

} // namespace

Q_DECLARE_METATYPE(Points)

class TestSeriesDecimation : public QObject
{
    Q_OBJECT
private slots:
    void columns_data()
    {
        QTest::addColumn<Points>("points");
        QTest::addColumn<qint64>("from");
        QTest::addColumn<qint64>("to");
        QTest::addColumn<int>("columnCount");
        QTest::addColumn<QStringList>("expected");

        QTest::newRow("spike up") << flatWithSpike(100) << qint64(0) << qint64(9) << 2
                                  << QStringList{"0:0,0,0,4", "1:5,6,5,9"};
        QTest::newRow("spike down on a column edge") << flatWithSpike(-100) << qint64(0) << qint64(9) << 2
                                                     << QStringList{"0:0,0,0,4", "1:5,5,6,9"};
        // Width 11 ms in two columns: 0..5 and 6..10.
        QTest::newRow("edges belong to one column, to to the last")
            << Points{{0, 1}, {5, 2}, {6, 3}, {10, 4}} << qint64(0) << qint64(10) << 2
            << QStringList{"0:0,0,1,1", "1:2,2,3,3"};
        QTest::newRow("outside the range and NaN left out")
            << Points{{-5, 9}, {0, 1}, {3, std::nan("")}, {4, 2}, {12, 9}} << qint64(0) << qint64(9) << 1
            << QStringList{"0:1,1,3,3"};
        QTest::newRow("empty columns stay empty") << Points{{0, 1}, {95, 2}} << qint64(0) << qint64(99) << 10
                                                  << QStringList{"0:0,0,0,0", "9:1,1,1,1"};
        QTest::newRow("more columns than milliseconds")
            << Points{{0, 1}, {1, 2}, {2, 3}} << qint64(0) << qint64(2) << 10
            << QStringList{"0:0,0,0,0", "3:1,1,1,1", "6:2,2,2,2"};
        QTest::newRow("the whole time range") << Points{{Min, 1}, {0, 2}, {Max, 3}} << Min << Max << 4
                                              << QStringList{"0:0,0,0,0", "2:1,1,1,1", "3:2,2,2,2"};
        QTest::newRow("from after to") << Points{{0, 1}} << qint64(1) << qint64(0) << 4 << QStringList{};
        QTest::newRow("no column") << Points{{0, 1}} << qint64(0) << qint64(1) << 0 << QStringList{};
    }

    void columns()
    {
        QFETCH(Points, points);
        QFETCH(qint64, from);
        QFETCH(qint64, to);
        QFETCH(int, columnCount);
        QFETCH(QStringList, expected);
        QCOMPARE(describe(SeriesDecimation::decimate(points, from, to, columnCount)), expected);
    }

    void everyMinimumAndMaximumSurvives()
    {
        // Noise with a spike every few hundred points, at irregular times.
        std::mt19937 random(13);
        Points points;
        qint64 time = 1'000'000;
        for (int i = 0; i < 200'000; ++i) {
            time += 1 + qint64(random() % 50);
            double value = double(random() % 1000) / 100.0;
            if (random() % 300 == 0)
                value = (random() % 2 ? 1 : -1) * double(100 + random() % 1000);
            points.push_back({time, value});
        }
        const qint64 from = points[1000].timeMs + 7;
        const qint64 to = points[190'000].timeMs - 3;
        constexpr int ColumnCount = 777;

        // Each column's points worked out directly: index of first, lowest, highest, last.
        std::map<int, std::array<qsizetype, 4>> byColumn;
        for (qsizetype i = 0; i < qsizetype(points.size()); ++i) {
            const Point &p = points[std::size_t(i)];
            if (p.timeMs < from || p.timeMs > to)
                continue;
            const int column = int((p.timeMs - from) * ColumnCount / (to - from + 1));
            auto [entry, added] = byColumn.try_emplace(column, std::array<qsizetype, 4>{i, i, i, i});
            auto &kept = entry->second;
            kept[3] = i;
            if (p.value < points[std::size_t(kept[1])].value)
                kept[1] = i;
            if (p.value > points[std::size_t(kept[2])].value)
                kept[2] = i;
        }

        const auto columns = SeriesDecimation::decimate(points, from, to, ColumnCount);
        QCOMPARE(columns.size(), byColumn.size());
        for (const SeriesDecimation::Column &c : columns) {
            const auto it = byColumn.find(c.column);
            QVERIFY2(it != byColumn.end(), qPrintable(QString::number(c.column)));
            QCOMPARE((std::array<qsizetype, 4>{c.first, c.minimum, c.maximum, c.last}), it->second);
        }

        // The line drawn: at most four points a column, in time order, and in each column it
        // reaches at least as low and as high as every point there, so every spike shows.
        const auto columnOf = [&](qint64 t) { return int((t - from) * ColumnCount / (to - from + 1)); };
        const Points line = SeriesDecimation::polyline(points, columns);
        QVERIFY(line.size() <= 4 * columns.size());
        std::map<int, std::pair<double, double>> drawn;
        for (std::size_t i = 0; i < line.size(); ++i) {
            QVERIFY(i == 0 || line[i - 1].timeMs < line[i].timeMs);
            auto [entry, added] = drawn.try_emplace(columnOf(line[i].timeMs), line[i].value, line[i].value);
            entry->second.first = std::min(entry->second.first, line[i].value);
            entry->second.second = std::max(entry->second.second, line[i].value);
        }
        int spikes = 0;
        for (const Point &p : points) {
            if (p.timeMs < from || p.timeMs > to)
                continue;
            spikes += std::fabs(p.value) >= 100;
            const auto [low, high] = drawn.at(columnOf(p.timeMs));
            QVERIFY2(low <= p.value && p.value <= high,
                     qPrintable(QStringLiteral("%1 at %2 not drawn").arg(p.value).arg(p.timeMs)));
        }
        QVERIFY(spikes > 100);
    }
};

QTEST_GUILESS_MAIN(TestSeriesDecimation)
#include "tst_series_decimation.moc"
