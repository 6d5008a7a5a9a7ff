#pragma once

#include <QMainWindow>
#include <QPointer>
#include <QTimer>

#include <array>
#include <memory>
#include <optional>

class AboutWindow;
class ArchiveActions;
class ChannelChartView;
class ClientScrollArea;
class SettingsDialog;
class StatusArea;
class QButtonGroup;
class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPlainTextEdit;
class QPushButton;
class QRadioButton;
class Station;
enum class MessageIcon;

// The main window: every control at its fixed place (twips / 15) in a client area that scrolls
// on small screens, a status-bar area below it, rendering the Station's texts and forwarding
// clicks, menus (Settings dialog included) and the one-second timer to it. Holds no telemetry
// logic.
// Created by main() (and the window tests) with the Station it shows.
class MainWindow : public QMainWindow
{
    Q_OBJECT
public:
    static constexpr int ClientWidth = 744;  // 11160 twips
    static constexpr int ClientHeight = 799; // 11985 twips
    static constexpr int MaxLogLines = 10000;
    static constexpr int MaxRawFrameLines = 10000;

    explicit MainWindow(Station &station, QWidget *parent = nullptr);
    ~MainWindow() override;

    ChannelChartView *chartView() const { return m_chartView; }
    AboutWindow *aboutWindow() const { return m_about.get(); }
    ArchiveActions *archiveActions() const { return m_archiveActions; }
    // The designed client area (inside the central scroll area).
    QWidget *clientArea() const;
    SettingsDialog *settingsDialog() const;
    // Options menu, "Settings...": one dialog at a time.
    void openSettings();
    // Puts the texts that arrived since the last batch into the text boxes and lists now.
    void flushPendingText();

    // The client area as a BMP file; the screenshot event calls it through the Station.
    std::optional<QString> saveClientArea(const QString &path);
    // The Exit path: the Station closes its capture file and cleans up, then every window closes.
    void exitStation();

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void buildStatusLine(QWidget *client);
    void buildChannelTable(QWidget *client);
    void buildBottomLine(QWidget *client);
    void buildHiddenStrip(QWidget *client);
    void buildMenus();
    void connectStation();

    void showCaptions();
    void showChannelTexts();
    void showSelection(int channel);
    void showChartCaption();
    void showLinkIndicator(bool green);
    void addLogEntry(const QString &entry, bool atTop);
    void scheduleTextFlush();
    void showMessageBox(const QString &title, const QString &text, MessageIcon icon);
    void showAbout();

    Station &m_station;
    QTimer m_clockTimer;
    QTimer m_textFlush;
    QStringList m_pendingLogTop;    // oldest first
    QStringList m_pendingLogBottom;
    QStringList m_pendingRawLines;
    QStringList m_pendingHeaderLines;
    QButtonGroup *m_selectors;
    ArchiveActions *m_archiveActions;
    std::array<QLineEdit *, 99> m_valueBoxes{};
    std::array<QLabel *, 99> m_unitLabels{};
    int m_highlighted = 0;

    QLabel *m_linkUpIndicator = nullptr;
    QLabel *m_linkDownIndicator = nullptr;
    QLabel *m_clockLabel = nullptr;
    QLabel *m_statusLabel = nullptr;
    QLabel *m_packetTypeLabel = nullptr;
    QGroupBox *m_chartBox = nullptr;
    ChannelChartView *m_chartView = nullptr;
    QPushButton *m_screenshotButton = nullptr;
    QCheckBox *m_uploadAllowedBox = nullptr;
    QPlainTextEdit *m_activityLogView = nullptr;
    QPlainTextEdit *m_rawFrameView = nullptr;
    QListWidget *m_headerList = nullptr;
    QListWidget *m_transferStateList = nullptr;
    std::unique_ptr<AboutWindow> m_about;
    ClientScrollArea *m_clientScroll = nullptr;
    StatusArea *m_statusArea = nullptr;
    QPointer<SettingsDialog> m_settings;
};
