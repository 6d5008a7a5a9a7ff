#pragma once

#include <QWidget>

class QKeyEvent;
class QLabel;

// The About window: version, program name, the packet engines it works with, a picture and
// contact lines. A window of its own, without an owner, so it can outlive the main window;
// the Info menu shows it.
class AboutWindow : public QWidget
{
    Q_OBJECT
public:
    static constexpr int ClientWidth = 448;  // 6720 twips
    static constexpr int ClientHeight = 248; // 3720 twips

    explicit AboutWindow(QWidget *parent = nullptr);

    QString versionText() const;
    // Shows the window over the middle of the given window.
    void showCentredOn(const QWidget &owner);

protected:
    void keyPressEvent(QKeyEvent *event) override;

private:
    QLabel *m_version;
};
