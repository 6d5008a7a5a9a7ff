#pragma once

#include "link/CaptureFile.h"

#include <QObject>
#include <QTimer>

#include <optional>

// Keeps the run's capture file written: records go in whole or not at all; a failed write (disk
// full, file or directory removed) is logged once with the OS reason and retried once a minute
// (a removed file is created again), and success after a failure is logged. Owned by the frame
// intake.
class CaptureKeeper : public QObject
{
    Q_OBJECT
public:
    static constexpr int DefaultRetryIntervalMs = 60000;

    explicit CaptureKeeper(QObject *parent = nullptr);

    std::optional<QString> open(const QString &path);
    void close();
    bool isOpen() const { return m_file.isOpen(); }
    bool isFailing() const { return m_failing; }
    qint64 bytesWritten() const { return m_file.bytesWritten(); }
    void setRetryInterval(int milliseconds) { m_check.setInterval(milliseconds); }

    void writeFrame(QByteArrayView data) { afterWrite(!m_failing && m_file.writeFrameRecord(data)); }
    void writeTime(QByteArrayView text) { afterWrite(!m_failing && m_file.writeTimeRecord(text)); }

signals:
    void logMessage(const QString &message);
    void failingChanged(bool failing);

private:
    void afterWrite(bool written);
    void fail(const QString &reason);
    void check();

    CaptureFile m_file;
    QTimer m_check;
    bool m_failing = false;
    bool m_recovering = false; // reopened after a failure: the next write tells
};
