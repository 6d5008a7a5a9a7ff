#pragma once

#include "display/PlotRange.h"
#include "display/PlotSeriesCache.h"

#include <QElapsedTimer>
#include <QString>
#include <QTimer>
#include <QWidget>

#include <map>
#include <vector>

class PlotChartView;
class QAbstractButton;
class QButtonGroup;
class QLabel;
class QLineSeries;
class QTreeWidget;
class QTreeWidgetItem;
class QValueAxis;
class TelemetryArchive;

// The "Plots" window: archived channels over time, several at once, one y axis per unit, with
// preset ranges, zoom and pan, a hover read-out, and CSV, PNG or SVG export of what is shown. Reads
// everything from the telemetry archive. The main window creates it (menu entry and a double
// click on a value box) and forwards the Station's frameArchived signal to it.
class PlotWindow : public QWidget
{
    Q_OBJECT
public:
    static constexpr int MinLiveRefreshIntervalMs = 250;

    explicit PlotWindow(TelemetryArchive &archive, QWidget *parent = nullptr);

    // Adds the channel to the plot and brings the window up.
    void showChannel(int channel);
    void setChannelShown(int channel, bool shown);
    std::vector<int> shownChannels() const;

    void setRange(PlotRange::Kind kind);
    PlotRange::Kind range() const { return m_range; }
    // Zooms to [fromMs, toMs) as the mouse would; resetZoom returns to the range's span.
    void setSpan(qint64 fromMs, qint64 toMs);
    void resetZoom();
    PlotRange::Span span() const;

    // Write what is shown; "" on success, else what failed.
    QString exportCsv(const QString &path);
    QString exportPng(const QString &path);
    QString exportSvg(const QString &path); // vector drawing of the chart, for print and papers

    // The read-out for a pointer at a position of the chart view ("" away from every line).
    QString readOutAt(const QPoint &viewPosition) const;

    PlotChartView *chartView() const { return m_view; }
    QLineSeries *seriesOf(int channel) const;
    QValueAxis *axisOfUnit(const QString &unit) const;
    QString lastError() const { return m_lastError; }

protected:
    void showEvent(QShowEvent *event) override;

public slots:
    // A satellite frame received at rxTimeMs was archived. Redraws at most 4 times a second.
    void frameArchived(qint64 rxTimeMs);

private:
    QWidget *buildToolBar();
    void fillChannelList();
    void channelItemChanged(QTreeWidgetItem *item);
    void applyRange();
    void reload();
    void liveRefresh();
    void showError(const QString &error);
    void addSeries(int channel);
    void removeSeries(int channel);
    QValueAxis *unitAxis(const QString &unit);
    enum class ExportFormat { Csv, Png, Svg };
    static QString exportTitle(ExportFormat format); // "Export CSV", ...
    void askExport(ExportFormat format);

    struct Plotted
    {
        QLineSeries *series = nullptr;
        QString unit;
        std::vector<SeriesDecimation::Point> points;
    };

    TelemetryArchive &m_archive;
    PlotSeriesCache m_cache;
    QTreeWidget *m_channelList;
    PlotChartView *m_view;
    QLabel *m_readOut;
    QLabel *m_status;
    QButtonGroup *m_rangeButtons;
    std::map<int, QTreeWidgetItem *> m_channelItems;
    std::map<int, Plotted> m_plotted;
    std::map<QString, QValueAxis *> m_unitAxes;
    PlotRange::Kind m_range = PlotRange::Kind::LastPass;
    PlotRange::Span m_rangeSpan;
    bool m_rangeApplied = false; // the first range is read when the window is first shown
    bool m_zoomed = false; // the user moved away from the range's span: live frames do not move it
    QTimer m_liveTimer;
    QElapsedTimer m_sinceLiveRefresh;
    QString m_lastError;
};
