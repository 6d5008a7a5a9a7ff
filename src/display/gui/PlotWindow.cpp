#include "display/gui/PlotWindow.h"

#include "display/PlotCsvExport.h"
#include "display/PlotTimeTicks.h"
#include "display/gui/PlotChartView.h"
#include "store/ArchiveSchema.h"
#include "telemetry/ChannelTable.h"

#include <QButtonGroup>
#include <QCategoryAxis>
#include <QDateTime>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineSeries>
#include <QPushButton>
#include <QSplitter>
#include <QTreeWidget>
#include <QValueAxis>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

namespace {

constexpr int ChannelRole = Qt::UserRole + 1;
constexpr PlotRange::Kind RangeKinds[] = {PlotRange::Kind::LastPass, PlotRange::Kind::Last24Hours,
                                          PlotRange::Kind::Last7Days, PlotRange::Kind::All};

QString axisTitle(const QString &unit)
{
    return unit.isEmpty() ? QStringLiteral("(no unit)") : unit;
}

} // namespace

PlotWindow::PlotWindow(TelemetryArchive &archive, QWidget *parent)
    : QWidget(parent, Qt::Window),
      m_archive(archive),
      m_cache(archive),
      m_channelList(new QTreeWidget),
      m_view(new PlotChartView),
      m_readOut(new QLabel),
      m_status(new QLabel),
      m_rangeButtons(new QButtonGroup(this))
{
    setWindowTitle(QStringLiteral("Plots"));
    resize(1100, 600);

    m_channelList->setHeaderHidden(true);
    m_channelList->setMinimumWidth(220);
    fillChannelList();
    connect(m_channelList, &QTreeWidget::itemChanged, this, &PlotWindow::channelItemChanged);

    m_status->setStyleSheet(QStringLiteral("color: #b00000"));
    m_status->setWordWrap(true);
    m_status->hide();

    auto *splitter = new QSplitter;
    splitter->addWidget(m_channelList);
    splitter->addWidget(m_view);
    splitter->setStretchFactor(1, 1);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(buildToolBar());
    layout->addWidget(splitter, 1);
    layout->addWidget(m_readOut);
    layout->addWidget(m_status);

    connect(m_view, &PlotChartView::spanChanged, this, [this] {
        m_zoomed = true;
        reload();
    });
    connect(m_view, &PlotChartView::resetRequested, this, &PlotWindow::resetZoom);
    connect(m_view, &PlotChartView::hovered, this,
            [this](const QPoint &position) { m_readOut->setText(readOutAt(position)); });

    m_liveTimer.setSingleShot(true);
    connect(&m_liveTimer, &QTimer::timeout, this, &PlotWindow::liveRefresh);
    m_sinceLiveRefresh.start();
    if (QAbstractButton *button = m_rangeButtons->button(int(m_range)))
        button->setChecked(true);
}

void PlotWindow::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    // Frames may have arrived while hidden: a range the user has not zoomed catches up.
    if (!m_rangeApplied || !m_zoomed)
        applyRange();
    else
        reload();
}

QWidget *PlotWindow::buildToolBar()
{
    auto *bar = new QWidget;
    auto *layout = new QHBoxLayout(bar);
    layout->setContentsMargins(0, 0, 0, 0);
    for (const PlotRange::Kind kind : RangeKinds) {
        auto *button = new QPushButton(PlotRange::title(kind));
        button->setCheckable(true);
        m_rangeButtons->addButton(button, int(kind));
        layout->addWidget(button);
    }
    connect(m_rangeButtons, &QButtonGroup::idClicked, this, [this](int id) { setRange(PlotRange::Kind(id)); });
    auto *reset = new QPushButton(QStringLiteral("Reset zoom"));
    connect(reset, &QPushButton::clicked, this, &PlotWindow::resetZoom);
    layout->addWidget(reset);
    layout->addStretch(1);
    for (const ExportFormat format : {ExportFormat::Csv, ExportFormat::Png, ExportFormat::Svg}) {
        auto *button = new QPushButton(exportTitle(format) + QStringLiteral("..."));
        connect(button, &QPushButton::clicked, this, [this, format] { askExport(format); });
        layout->addWidget(button);
    }
    return bar;
}

void PlotWindow::fillChannelList()
{
    // Grouped like the main window's group boxes; only channels the archive keeps.
    for (const ChannelTable::GroupBox &box : ChannelTable::groupBoxes()) {
        QTreeWidgetItem *group = nullptr;
        for (const ChannelTable::Row &row : ChannelTable::rows()) {
            if (row.group != box.group || !ArchiveSchema::tableOfChannel(row.channel))
                continue;
            if (!group) {
                group = new QTreeWidgetItem(m_channelList, {QString::fromUtf8(box.caption)});
                group->setFlags(Qt::ItemIsEnabled);
            }
            auto *item = new QTreeWidgetItem(group, {PlotCsvExport::columnTitle(row.channel)});
            item->setData(0, ChannelRole, row.channel);
            item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsUserCheckable);
            item->setCheckState(0, Qt::Unchecked);
            m_channelItems[row.channel] = item;
        }
    }
    m_channelList->expandAll();
}

void PlotWindow::showChannel(int channel)
{
    setChannelShown(channel, true);
    show();
    raise();
    activateWindow();
}

void PlotWindow::setChannelShown(int channel, bool shown)
{
    const auto item = m_channelItems.find(channel);
    if (item == m_channelItems.end()) {
        if (shown)
            showError(QStringLiteral("channel %1 is not archived, so it cannot be plotted").arg(channel));
        return;
    }
    item->second->setCheckState(0, shown ? Qt::Checked : Qt::Unchecked); // itemChanged does the rest
}

std::vector<int> PlotWindow::shownChannels() const
{
    std::vector<int> channels;
    for (const auto &[channel, plotted] : m_plotted)
        channels.push_back(channel);
    return channels;
}

void PlotWindow::channelItemChanged(QTreeWidgetItem *item)
{
    const QVariant channel = item->data(0, ChannelRole);
    if (!channel.isValid())
        return;
    const bool shown = item->checkState(0) == Qt::Checked;
    if (shown == m_plotted.contains(channel.toInt()))
        return;
    if (shown)
        addSeries(channel.toInt());
    else
        removeSeries(channel.toInt());
    reload();
}

void PlotWindow::addSeries(int channel)
{
    Plotted &plotted = m_plotted[channel];
    plotted.unit = ChannelTable::unitOf(channel);
    plotted.series = new QLineSeries;
    plotted.series->setName(PlotCsvExport::columnTitle(channel));
    m_view->chart()->addSeries(plotted.series);
    plotted.series->attachAxis(m_view->timeAxis());
    plotted.series->attachAxis(unitAxis(plotted.unit));
}

void PlotWindow::removeSeries(int channel)
{
    const auto found = m_plotted.find(channel);
    const QString unit = found->second.unit;
    m_view->chart()->removeSeries(found->second.series);
    delete found->second.series;
    m_plotted.erase(found);
    // The unit's axis goes with its last series.
    if (std::none_of(m_plotted.begin(), m_plotted.end(), [&](const auto &entry) { return entry.second.unit == unit; })) {
        QValueAxis *axis = m_unitAxes.at(unit);
        m_view->chart()->removeAxis(axis);
        delete axis;
        m_unitAxes.erase(unit);
    }
}

QValueAxis *PlotWindow::unitAxis(const QString &unit)
{
    if (const auto found = m_unitAxes.find(unit); found != m_unitAxes.end())
        return found->second;
    auto *axis = new QValueAxis;
    axis->setTitleText(axisTitle(unit));
    // Alternate sides so several units stay readable.
    m_view->chart()->addAxis(axis, m_unitAxes.size() % 2 == 0 ? Qt::AlignLeft : Qt::AlignRight);
    m_unitAxes[unit] = axis;
    return axis;
}

QLineSeries *PlotWindow::seriesOf(int channel) const
{
    const auto found = m_plotted.find(channel);
    return found == m_plotted.end() ? nullptr : found->second.series;
}

QValueAxis *PlotWindow::axisOfUnit(const QString &unit) const
{
    const auto found = m_unitAxes.find(unit);
    return found == m_unitAxes.end() ? nullptr : found->second;
}

void PlotWindow::setRange(PlotRange::Kind kind)
{
    m_range = kind;
    if (QAbstractButton *button = m_rangeButtons->button(int(kind)))
        button->setChecked(true);
    // A hidden window reads the range when it is shown: reading it twice would double the wait.
    if (isVisible())
        applyRange();
    else
        m_rangeApplied = false;
}

void PlotWindow::applyRange()
{
    QString error;
    const std::optional<PlotRange::Span> span = PlotRange::compute(m_range, m_archive, &error);
    if (!error.isEmpty())
        showError(QStringLiteral("cannot read the archive's time range: %1").arg(error));
    // An empty archive: the last hour up to now, until frames arrive.
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    m_rangeSpan = span.value_or(PlotRange::Span{now - 60 * 60 * 1000, now});
    m_rangeApplied = true;
    m_zoomed = false;
    m_view->setSpan(m_rangeSpan.fromMs, m_rangeSpan.toMs);
    reload();
}

void PlotWindow::setSpan(qint64 fromMs, qint64 toMs)
{
    m_zoomed = true;
    m_view->setSpan(fromMs, toMs);
    reload();
}

void PlotWindow::resetZoom()
{
    applyRange();
}

PlotRange::Span PlotWindow::span() const
{
    return {m_view->fromMs(), m_view->toMs()};
}

void PlotWindow::reload()
{
    if (!m_rangeApplied)
        return; // nothing to show before the window is first shown or given a range
    const qint64 from = m_view->fromMs();
    const qint64 to = m_view->toMs();
    const int columns = m_view->plotColumns();
    std::map<QString, std::pair<double, double>> limits; // per unit: lowest, highest
    QString error;
    for (auto &[channel, plotted] : m_plotted) {
        PlotSeriesCache::Points read = m_cache.points(channel, from, to, columns);
        if (!read.error.isEmpty() && error.isEmpty())
            error = QStringLiteral("cannot read channel %1 from the archive: %2").arg(channel).arg(read.error);
        plotted.points = std::move(read.points);
        QList<QPointF> line;
        line.reserve(qsizetype(plotted.points.size()));
        for (const SeriesDecimation::Point &point : plotted.points) {
            line.append(QPointF(double(point.timeMs), point.value));
            auto [limit, added] = limits.try_emplace(plotted.unit, point.value, point.value);
            limit->second.first = std::min(limit->second.first, point.value);
            limit->second.second = std::max(limit->second.second, point.value);
        }
        plotted.series->replace(line);
    }
    for (const auto &[unit, axis] : m_unitAxes) {
        const auto limit = limits.find(unit);
        if (limit == limits.end()) {
            axis->setRange(0, 1);
            continue;
        }
        const auto [low, high] = limit->second;
        const double margin = high > low ? (high - low) * 0.05 : std::max(1.0, std::fabs(low) * 0.05);
        axis->setRange(low - margin, high + margin);
    }
    if (error.isEmpty())
        m_status->hide();
    else
        showError(error);
}

void PlotWindow::frameArchived(qint64 rxTimeMs)
{
    m_cache.frameArchived(rxTimeMs);
    if (m_liveTimer.isActive())
        return;
    const qint64 wait = MinLiveRefreshIntervalMs - m_sinceLiveRefresh.elapsed();
    m_liveTimer.start(int(std::clamp<qint64>(wait, 0, MinLiveRefreshIntervalMs)));
}

void PlotWindow::liveRefresh()
{
    m_sinceLiveRefresh.restart();
    if (!isVisible())
        return; // showEvent catches up
    // A range the user has not zoomed follows the newest frame; a zoomed view stays put.
    if (m_zoomed)
        reload();
    else
        applyRange();
}

QString PlotWindow::readOutAt(const QPoint &viewPosition) const
{
    const qint64 time = m_view->timeAt(viewPosition);
    const QPointF scenePosition = m_view->mapToScene(viewPosition);
    const QPointF chartPosition = m_view->chart()->mapFromScene(scenePosition);
    // The point nearest to the pointer among each line's point nearest in time.
    constexpr double MaxDistancePixels = 30;
    double best = MaxDistancePixels;
    QString text;
    for (const auto &[channel, plotted] : m_plotted) {
        const auto &points = plotted.points;
        auto next = std::lower_bound(points.begin(), points.end(), time,
                                     [](const SeriesDecimation::Point &p, qint64 t) { return p.timeMs < t; });
        for (auto candidate : {next, next == points.begin() ? next : std::prev(next)}) {
            if (candidate == points.end())
                continue;
            const QPointF at = m_view->chart()->mapToPosition(QPointF(double(candidate->timeMs), candidate->value),
                                                              plotted.series);
            const double distance = std::hypot(at.x() - chartPosition.x(), at.y() - chartPosition.y());
            if (distance >= best)
                continue;
            best = distance;
            const QString unit = plotted.unit.isEmpty() ? QString() : u' ' + plotted.unit;
            text = QStringLiteral("%1   %2: %3%4")
                       .arg(PlotTimeTicks::readOut(candidate->timeMs), PlotCsvExport::columnTitle(channel),
                            QString::number(candidate->value, 'g', 10), unit);
        }
    }
    return text;
}

void PlotWindow::showError(const QString &error)
{
    m_lastError = error;
    m_status->setText(error);
    m_status->show();
}
