#include "app/HeadlessRunner.h"

#include "app/ExitSignals.h"
#include "app/Station.h"

#include <QCoreApplication>

namespace {

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
    connect(&station.log(), &ActivityLog::entryAdded, this,
            [this](const QString &entry, bool) {
                // One entry may span lines (upload errors); the terminal wants plain LF.
                QString text = entry.endsWith(QStringLiteral("\r\n")) ? entry.chopped(2) : entry;
                print(m_out, text.replace(QStringLiteral("\r\n"), QStringLiteral("\n")));
            });
    connect(&station, &Station::statusLineChanged, this, [this](const QString &text) {
        const QString type = m_station.intake().packetType();
        print(m_out, type.isEmpty() ? text : text + QStringLiteral(" | ") + type);
    });
    connect(&station, &Station::statusAreaChanged, this, &HeadlessRunner::reportQueue);
    connect(&station.uploads(), &UploadController::failureKindChanged, this,
            [this](const QString &kind) {
                print(m_out, kind.isEmpty() ? QStringLiteral("upload: frames are delivered again")
                                            : QStringLiteral("upload failing: ") + kind);
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
    auto *exitSignals = new ExitSignals(this);
    connect(exitSignals, &ExitSignals::exitRequested, this, &HeadlessRunner::shutDown);
    exitSignals->install();
}

void HeadlessRunner::reportQueue()
{
    // A line when the backlog empties, starts, or halves or doubles: not one per frame.
    const qint64 waiting = m_station.waitingUploads();
    const bool crossedZero = (waiting == 0) != (m_reportedWaiting == 0);
    const bool doubled = m_reportedWaiting > 0 && waiting >= 2 * m_reportedWaiting;
    const bool halved = waiting > 0 && waiting * 2 <= m_reportedWaiting;
    if (!crossedZero && !doubled && !halved)
        return;
    m_reportedWaiting = waiting;
    print(m_out, QStringLiteral("upload queue: %1 frames waiting").arg(waiting));
}

void HeadlessRunner::shutDown()
{
    // The Exit path as the window takes it: Exit item, then the window's unload steps.
    m_station.exit();
    m_station.prepareClose();
    m_station.finishClose();
    QCoreApplication::exit(0);
}
