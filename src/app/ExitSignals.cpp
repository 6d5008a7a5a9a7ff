#include "app/ExitSignals.h"

#include <QSocketNotifier>

#include <csignal>
#include <sys/socket.h>
#include <unistd.h>

namespace {

int wakeSockets[2] = {-1, -1};

void onSignal(int)
{
    const char byte = 1;
    // Only async-signal-safe work here: wake the event loop.
    [[maybe_unused]] const ssize_t written = ::write(wakeSockets[0], &byte, 1);
}

} // namespace

ExitSignals::ExitSignals(QObject *parent) : QObject(parent) {}

ExitSignals::~ExitSignals() = default;

bool ExitSignals::install()
{
    if (wakeSockets[0] < 0 && ::socketpair(AF_UNIX, SOCK_STREAM, 0, wakeSockets) != 0)
        return false;
    auto *notifier = new QSocketNotifier(wakeSockets[1], QSocketNotifier::Read, this);
    connect(notifier, &QSocketNotifier::activated, this, [this, notifier] {
        char byte = 0;
        [[maybe_unused]] const ssize_t got = ::read(wakeSockets[1], &byte, 1);
        notifier->setEnabled(false);
        emit exitRequested();
    });
    struct sigaction action{};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    return true;
}
