#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QFile>
#include <QString>

#include <optional>

// The per-run KISS capture file: every raw frame, and a time record after each satellite frame.
// Owned by the Station, opened at start-up, closed by Exit. Each record reaches the disk as it is
// written, so a crash loses no completed record.
class CaptureFile
{
public:
    // "MYCALL_ddMMyyyy_hhmm.kss" for the given UTC start time.
    static QString fileName(const QString &mycall, const QDateTime &utcStart);

    // Opens for appending: a second start within the same UTC minute keeps the first run's records.
    // Returns the operating system's reason when the file cannot be opened.
    std::optional<QString> open(const QString &path);
    bool isOpen() const { return m_file.isOpen(); }
    QString path() const { return m_file.fileName(); }

    // Both return false when the record could not be written (not open, disk full, ...).
    bool writeFrameRecord(QByteArrayView data);
    bool writeTimeRecord(QByteArrayView text);
    QString errorString() const;
    qint64 bytesWritten() const { return m_bytesWritten; } // whole records, this run
    // The file was removed or renamed while open.
    bool isMissing() const;
    // Opens the same path again for appending (creating it again if it was removed).
    std::optional<QString> reopen();
    void close();

private:
    bool writeRecord();

    QFile m_file;
    QByteArray m_record; // reused for every record
    qint64 m_bytesWritten = 0;
};
