#include "app/CaptureKeeper.h"

CaptureKeeper::CaptureKeeper(QObject *parent) : QObject(parent)
{
    m_check.setInterval(DefaultRetryIntervalMs);
    connect(&m_check, &QTimer::timeout, this, &CaptureKeeper::check);
}

std::optional<QString> CaptureKeeper::open(const QString &path)
{
    if (auto error = m_file.open(path))
        return error;
    m_check.start();
    return std::nullopt;
}

void CaptureKeeper::close()
{
    m_check.stop();
    m_file.close();
}

void CaptureKeeper::afterWrite(bool written)
{
    if (!m_file.isOpen() || (m_failing && !written))
        return; // no capture file (start-up stopped early), or a failure already reported
    if (written) {
        if (m_recovering) {
            m_recovering = false;
            emit logMessage(QStringLiteral("capture file writing again"));
            emit failingChanged(false);
        }
        return;
    }
    if (m_recovering) {
        m_recovering = false; // still failing: stay quiet until a write works
        m_failing = true;
        return;
    }
    fail(m_file.errorString());
}

void CaptureKeeper::fail(const QString &reason)
{
    m_failing = true;
    emit logMessage(QStringLiteral("Capture file write error: ") + reason);
    emit failingChanged(true);
}

void CaptureKeeper::check()
{
    if (!m_failing && m_file.isMissing())
        fail(QStringLiteral("the capture file was removed"));
    if (!m_failing)
        return;
    if (m_file.reopen())
        return; // the directory is still gone or unwritable: try again next time
    m_failing = false;
    m_recovering = true;
}
