#pragma once

#include "decode/TelemetryHistory.h"
#include "decode/TimedFrameReader.h"
#include "store/ArchivedFrame.h"
#include "store/TelemetryArchive.h"

#include <QString>

#include <vector>

class StationDatabase;

// Adds the satellite frames of one capture file to the telemetry archive, with the reception
// times of their time records, in slices: `halvora1 import` runs it to the end, the window runs
// step() on its event loop under a progress dialog that can cancel. Frames are decoded and
// archived as the live station does; a frame already archived is counted, not added twice.
class CaptureImport
{
public:
    struct Summary
    {
        qint64 imported = 0;       // new in the archive
        qint64 alreadyPresent = 0; // same reception time and bytes archived before
        qint64 withoutTime = 0;    // satellite frames without a (readable) time record, skipped
        qint64 damagedSpans = 0;

        // "FILE: N frames imported, N already present, N frames without a time record, N damaged spans"
        QString line(const QString &path) const;
    };
    enum class Status {
        Running,  // call step() again
        Damaged,  // damage() tells what was skipped; call step() again
        Finished, // the input is read and everything archived: summary() is final
        Failed    // error() tells why (the input or the database); what was archived stays
    };

    // input (open, read from its current position) and database (open) outlive the import.
    CaptureImport(QIODevice &input, StationDatabase &database);

    // Reads up to maxFrames satellite frames, or to the next damaged span or the end.
    Status step(int maxFrames = 2000);
    // Archives what was read so far and stops (the window's Cancel). Returns error() or "".
    QString cancel();

    const Summary &summary() const { return m_summary; }
    const CaptureFileReader::Damage &damage() const { return m_reader.damage(); }
    QString error() const { return m_error; }
    // Progress: bytes read so far of the input's size (0 when unknown, as for a pipe).
    qint64 bytesRead() const;
    qint64 totalBytes() const { return m_totalBytes; }

    // Frames archived per commit: bounded memory, few transactions.
    static constexpr std::size_t BatchSize = 8192;

private:
    void take();
    bool commitBatch();

    QIODevice &m_input;
    StationDatabase &m_database;
    TelemetryArchive m_archive;
    TimedFrameReader m_reader;
    TelemetryHistory m_history;
    std::vector<ArchivedFrame> m_batch;
    qint64 m_totalBytes = 0;
    Summary m_summary;
    QString m_error;
    bool m_done = false;
};

// The reception time in a time text "yyyy-MM-dd HH:nn:ss.zzz UTC", ms since 1970 UTC; none
// for any other text.
std::optional<qint64> receptionTimeFromText(QByteArrayView text);
