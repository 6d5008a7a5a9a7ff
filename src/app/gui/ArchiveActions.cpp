#include "app/gui/ArchiveActions.h"

#include "app/CaptureImport.h"
#include "app/Station.h"
#include "display/gui/PlotWindow.h"
#include "store/StationDatabase.h"

#include <QApplication>
#include <QEvent>
#include <QFile>
#include <QFileDialog>
#include <QMenu>
#include <QMessageBox>
#include <QProgressDialog>

ArchiveActions::ArchiveActions(Station &station, QWidget *window, QObject *parent)
    : QObject(parent), m_station(station), m_window(window)
{
}

void ArchiveActions::addTo(QMenu *menu)
{
    QAction *plots = menu->addAction(QStringLiteral("Plots..."));
    plots->setObjectName(QStringLiteral("plotsAction"));
    connect(plots, &QAction::triggered, this, [this] { showPlots(); });
    QAction *import = menu->addAction(QStringLiteral("Import capture files..."));
    import->setObjectName(QStringLiteral("importAction"));
    connect(import, &QAction::triggered, this, [this] {
        const QStringList paths = QFileDialog::getOpenFileNames(
            m_window, QStringLiteral("Import capture files"), m_station.programDir(),
            QStringLiteral("Capture files (*.kss);;All files (*)"));
        if (paths.isEmpty())
            return;
        const QStringList lines = importFiles(paths);
        QMessageBox::information(m_window, QStringLiteral("Import"), lines.join(u'\n'));
    });
}

void ArchiveActions::watchValueBox(QWidget *box, int channel)
{
    box->setProperty("plotChannel", channel);
    box->installEventFilter(this);
}

bool ArchiveActions::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::MouseButtonDblClick) {
        showPlots(watched->property("plotChannel").toInt());
        return true;
    }
    return QObject::eventFilter(watched, event);
}

void ArchiveActions::showPlots(int channel)
{
    TelemetryArchive *archive = m_station.store().archive();
    if (!archive) {
        QMessageBox::information(m_window, QStringLiteral("Plots"),
                                 QStringLiteral("The station database is not open: nothing to plot."));
        return;
    }
    if (!m_plots) {
        m_plots = new PlotWindow(*archive, m_window);
        connect(&m_station, &Station::frameArchived, m_plots, &PlotWindow::frameArchived);
    }
    if (channel > 0) {
        m_plots->showChannel(channel);
        return;
    }
    m_plots->show();
    m_plots->raise();
}

QStringList ArchiveActions::importFiles(const QStringList &paths)
{
    // The import uses a connection of its own, as `halvora1 import` does beside a station.
    m_station.store().flush();
    StationDatabase database;
    const StationDatabase::OpenResult opened = database.open(m_station.programDir());
    if (!opened.ok)
        return {QStringLiteral("Station database: ") + opened.error};

    QStringList lines;
    QProgressDialog progress(QStringLiteral("Importing capture files..."), QStringLiteral("Cancel"),
                             0, 1000, m_window);
    progress.setWindowModality(Qt::WindowModal);
    progress.setMinimumDuration(300);
    for (const QString &path : paths) {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly)) {
            lines << path + QStringLiteral(": ") + file.errorString();
            continue;
        }
        progress.setLabelText(QStringLiteral("Importing %1").arg(path));
        CaptureImport import(file, database);
        CaptureImport::Status status = CaptureImport::Status::Running;
        while (status == CaptureImport::Status::Running || status == CaptureImport::Status::Damaged) {
            if (progress.wasCanceled()) {
                import.cancel();
                break;
            }
            status = import.step();
            if (import.totalBytes() > 0)
                progress.setValue(int(1000 * import.bytesRead() / import.totalBytes()));
            QApplication::processEvents();
        }
        lines << import.summary().line(path) +
                     (status == CaptureImport::Status::Failed ? QStringLiteral(" (") + import.error() + u')'
                                                              : QString());
        m_station.report(QStringLiteral("Import: ") + lines.last());
        if (progress.wasCanceled())
            break;
    }
    progress.setValue(1000);
    return lines;
}
