#include "app/HeadlessRunner.h"

#include "app/Station.h"

#include <QCoreApplication>
#include <QSocketNotifier>

#include <csignal>
#include <sys/socket.h>
#include <unistd.h>

namespace {

int signalPipe[2] = {-1, -1};

void onSignal(int)
{
    const char byte = 1;
    // Only async-signal-safe work here: wake the event loop.
    [[maybe_unused]] const ssize_t written = ::write(signalPipe[0], &byte, 1);
}

void print(std::FILE *stream, const QString &text)
{
    const QByteArray bytes = text.toUtf8();
    std::fwrite(bytes.constData(), 1, std::size_t(bytes.size()), stream);
    std::fputc('\n', stream);
    std::fflush(stream);
}

} // namespace

HeadlessRunner::HeadlessRunner(Station &station, std::FILE *out, std::FILE *err)
    : m_station(station), m_out(out), m_err(err)
{
    connect(&station, &Station::activityLogEntryAdded, this,
            [this](const QString &entry, bool) {
                // One entry may span lines (upload errors); the terminal wants plain LF.
                QString text = entry.endsWith(QStringLiteral("\r\n")) ? entry.chopped(2) : entry;
                print(m_out, text.replace(QStringLiteral("\r\n"), QStringLiteral("\n")));
            });
    connect(&station, &Station::statusLineChanged, this, [this](const QString &text) {
        const QString type = m_station.packetType();
        print(m_out, type.isEmpty() ? text : text + QStringLiteral(" | ") + type);
    });
    connect(&station, &Station::messageBoxRequested, this,
            [this](const QString &title, const QString &text, MessageIcon) {
                QString flat = text;
                flat.replace(QStringLiteral("\r\n"), QStringLiteral(" / "));
                print(m_err, title + QStringLiteral(": ") + flat);
            });
}

HeadlessRunner::~HeadlessRunner() = default;

void HeadlessRunner::installSignalHandlers()
{
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, signalPipe) != 0)
        return;
    auto *notifier = new QSocketNotifier(signalPipe[1], QSocketNotifier::Read, this);
    connect(notifier, &QSocketNotifier::activated, this, [this, notifier] {
        char byte = 0;
        [[maybe_unused]] const ssize_t got = ::read(signalPipe[1], &byte, 1);
        notifier->setEnabled(false);
        shutDown();
    });
    struct sigaction action{};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

void HeadlessRunner::shutDown()
{
    // The Exit path as the window takes it: Exit item, then the window's unload steps.
    m_station.MnuExit_Click();
    m_station.Form_QueryUnload();
    m_station.Form_Unload();
    QCoreApplication::exit(0);
}
