#pragma once

#include <QObject>
#include <QPointer>

#include "display/gui/PlotWindow.h"
class QMenu;
class QWidget;
class Station;

// The archive's entries of the main window: "Plots..." (also a double click on a value box)
// and "Import capture files..." with a progress dialog that can be cancelled. Created by the
// main window when the station has an archive; the plots follow new frames live.
class ArchiveActions : public QObject
{
    Q_OBJECT
public:
    ArchiveActions(Station &station, QWidget *window, QObject *parent = nullptr);

    void addTo(QMenu *menu);
    // A double click on the box opens the plots with its channel.
    void watchValueBox(QWidget *box, int channel);
    PlotWindow *plotWindow() const { return m_plots; }

    void showPlots(int channel = 0);
    // Imports the files under a progress dialog; returns one summary line per file.
    QStringList importFiles(const QStringList &paths);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    Station &m_station;
    QWidget *m_window;
    QPointer<PlotWindow> m_plots;
};
