// The plot window's exports: the shown channels' frames as CSV, the chart as PNG or SVG.
#include "display/gui/PlotWindow.h"

#include "display/PlotCsvExport.h"
#include "display/gui/PlotChartView.h"

#include <QFileDialog>
#include <QImageWriter>
#include <QMessageBox>
#include <QPainter>
#include <QSaveFile>
#include <QSvgGenerator>

QString PlotWindow::exportCsv(const QString &path)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return QStringLiteral("cannot write %1: %2").arg(path, file.errorString());
    const QString error = PlotCsvExport::write(m_archive, shownChannels(), m_view->fromMs(), m_view->toMs(), file);
    if (!error.isEmpty())
        return QStringLiteral("cannot export %1: %2").arg(path, error);
    if (!file.commit())
        return QStringLiteral("cannot write %1: %2").arg(path, file.errorString());
    return {};
}

QString PlotWindow::exportPng(const QString &path)
{
    QImageWriter writer(path, "png");
    if (!writer.write(m_view->grab().toImage()))
        return QStringLiteral("cannot write the image %1: %2").arg(path, writer.errorString());
    return {};
}

QString PlotWindow::exportSvg(const QString &path)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return QStringLiteral("cannot write the image %1: %2").arg(path, file.errorString());
    QSvgGenerator generator;
    generator.setOutputDevice(&file);
    generator.setSize(m_view->size());
    generator.setViewBox(m_view->rect());
    generator.setTitle(windowTitle());
    QPainter painter;
    if (!painter.begin(&generator))
        return QStringLiteral("cannot draw the image %1").arg(path);
    // The view's scene drawn through the painter: lines and text stay vectors.
    m_view->render(&painter);
    painter.end();
    if (!file.commit())
        return QStringLiteral("cannot write the image %1: %2").arg(path, file.errorString());
    return {};
}

namespace {

struct ExportDialog
{
    const char *title;
    const char *filter;
};

// By PlotWindow::ExportFormat.
constexpr ExportDialog ExportDialogs[] = {{"Export CSV", "CSV files (*.csv)"},
                                          {"Export PNG", "PNG images (*.png)"},
                                          {"Export SVG", "SVG images (*.svg)"}};

} // namespace

QString PlotWindow::exportTitle(ExportFormat format)
{
    return QLatin1String(ExportDialogs[int(format)].title);
}

void PlotWindow::askExport(ExportFormat format)
{
    const QString path = QFileDialog::getSaveFileName(this, exportTitle(format), QString(),
                                                      QLatin1String(ExportDialogs[int(format)].filter));
    if (path.isEmpty())
        return;
    const QString error = format == ExportFormat::Csv ? exportCsv(path)
        : format == ExportFormat::Png                 ? exportPng(path)
                                                      : exportSvg(path);
    if (!error.isEmpty())
        QMessageBox::warning(this, QStringLiteral("Plots"), error);
}
