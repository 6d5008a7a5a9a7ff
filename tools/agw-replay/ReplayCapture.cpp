#include "ReplayCapture.h"

#include "decode/CaptureFileReader.h"

#include <QFile>

namespace ReplayCapture {

Loaded load(const QString &path)
{
    Loaded loaded;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        loaded.error = QStringLiteral("%1: cannot open: %2").arg(path, file.errorString());
        return loaded;
    }

    // A replay plays the file as it is: a damaged file is refused rather than played in part.
    CaptureFileReader reader(file);
    CaptureFileReader::Record record;
    for (;;) {
        const CaptureFileReader::Status status = reader.next(record);
        if (status == CaptureFileReader::Status::End)
            break;
        if (status == CaptureFileReader::Status::ReadError) {
            loaded.error = QStringLiteral("%1: cannot read: %2").arg(path, reader.readError());
            loaded.frames.clear();
            return loaded;
        }
        if (status == CaptureFileReader::Status::Damaged) {
            loaded.error = QStringLiteral("%1: damaged at byte offset %2, after %3 good frame "
                                          "records: %4")
                               .arg(path)
                               .arg(reader.damage().faultOffset)
                               .arg(loaded.frames.size())
                               .arg(reader.damage().reason);
            loaded.frames.clear();
            return loaded;
        }
        if (record.kind == CaptureFileReader::Kind::Frame)
            loaded.frames.append(record.data);
    }
    if (loaded.frames.isEmpty())
        loaded.error = QStringLiteral("%1: holds no frame records").arg(path);
    return loaded;
}

} // namespace ReplayCapture
