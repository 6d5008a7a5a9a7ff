#pragma once

#include <QObject>

// Turns SIGINT and SIGTERM into a signal on the event loop, so both the window and the headless
// station take their ordinary Exit path (capture file closed, clean-up) when the service manager
// or the user at the terminal stops them. One per process; created by main().
class ExitSignals : public QObject
{
    Q_OBJECT
public:
    explicit ExitSignals(QObject *parent = nullptr);
    ~ExitSignals() override;

    // Installs the handlers; false (with errno set) when the wake-up socket cannot be made.
    bool install();

signals:
    void exitRequested(); // once, for the first signal
};
