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
    const QByteArray content = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        loaded.error = QStringLiteral("%1: cannot read: %2").arg(path, file.errorString());
        return loaded;
    }

    CaptureFileReader reader(content);
    CaptureFileReader::Record record;
    for (;;) {
        const CaptureFileReader::Status status = reader.next(record);
        if (status == CaptureFileReader::Status::End)
            break;
        if (status == CaptureFileReader::Status::Damaged) {
            loaded.error = QStringLiteral("%1: damaged at byte offset %2, after %3 good frame "
                                          "records: %4")
                               .arg(path)
                               .arg(reader.errorOffset())
                               .arg(loaded.frames.size())
                               .arg(reader.errorText());
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
