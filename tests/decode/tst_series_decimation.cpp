// Min/max decimation for plots: which points each pixel column keeps and the line drawn through
// them, worked out by hand; a spike up or down is never lost.
#include "decode/SeriesDecimation.h"

#include <QTest>

#include <cmath>
#include <limits>

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

// "time=value ..." along the line.
QString describe(const Points &line)
{
    QStringList text;
    for (const Point &p : line)
        text << QStringLiteral("%1=%2").arg(p.timeMs).arg(p.value);
    return text.join(u' ');
}

constexpr qint64 Min = std::numeric_limits<qint64>::min();
constexpr qint64 Max = std::numeric_limits<qint64>::max();

} // namespace

Q_DECLARE_METATYPE(Points)

class TestSeriesDecimation : public QObject
{
    Q_OBJECT
private slots:
    void columnsAndLine_data()
    {
        QTest::addColumn<Points>("points");
        QTest::addColumn<qint64>("from");
        QTest::addColumn<qint64>("to");
        QTest::addColumn<int>("columnCount");
        QTest::addColumn<QStringList>("columns");
        QTest::addColumn<QString>("line");

        QTest::newRow("spike") << Points{{0, 0}, {4, 0}, {5, 100}, {6, 0}, {9, 0}} << qint64(0) << qint64(9) << 2
                               << QStringList{"0:0,0,0,1", "1:2,3,2,4"} << "0=0 4=0 5=100 6=0 9=0";
        // Width 11 ms in two columns: 0..5 and 6..10.
        QTest::newRow("edges belong to one column, to to the last")
            << Points{{0, 1}, {5, 2}, {6, 3}, {10, 4}} << qint64(0) << qint64(10) << 2
            << QStringList{"0:0,0,1,1", "1:2,2,3,3"} << "0=1 5=2 6=3 10=4";
        QTest::newRow("outside the range and NaN left out")
            << Points{{-5, 9}, {0, 1}, {3, std::nan("")}, {4, 2}, {12, 9}} << qint64(0) << qint64(9) << 1
            << QStringList{"0:1,1,3,3"} << "0=1 4=2";
        QTest::newRow("more columns than milliseconds")
            << Points{{0, 1}, {1, 2}, {2, 3}} << qint64(0) << qint64(2) << 10
            << QStringList{"0:0,0,0,0", "3:1,1,1,1", "6:2,2,2,2"} << "0=1 1=2 2=3";
        QTest::newRow("the whole time range") << Points{{Min, 1}, {0, 2}, {Max, 3}} << Min << Max << 4
                                              << QStringList{"0:0,0,0,0", "2:1,1,1,1", "3:2,2,2,2"}
                                              << "-9223372036854775808=1 0=2 9223372036854775807=3";
        QTest::newRow("from after to") << Points{{0, 1}} << qint64(1) << qint64(0) << 4 << QStringList{} << "";
        QTest::newRow("no column") << Points{{0, 1}} << qint64(0) << qint64(1) << 0 << QStringList{} << "";
    }

    void columnsAndLine()
    {
        QFETCH(Points, points);
        QFETCH(qint64, from);
        QFETCH(qint64, to);
        QFETCH(int, columnCount);
        QFETCH(QStringList, columns);
        QFETCH(QString, line);
        const auto kept = SeriesDecimation::decimate(points, from, to, columnCount);
        QCOMPARE(describe(kept), columns);
        QCOMPARE(describe(SeriesDecimation::polyline(points, kept)), line);
    }
};

QTEST_GUILESS_MAIN(TestSeriesDecimation)
#include "tst_series_decimation.moc"
