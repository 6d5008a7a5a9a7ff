#include "link/Kiss.h"

namespace Kiss {

void appendFrameRecord(QByteArray &out, QByteArrayView data)
{
    // Worst case every byte escaped; grow geometrically, so records appended one by one to a
    // long buffer are not copied over and over.
    const qsizetype needed = out.size() + data.size() * 2 + 2;
    if (out.capacity() < needed)
        out.reserve(qMax(needed, out.capacity() * 2));
    out.append(FEND);
    for (const char byte : data) {
        if (byte == FESC) {
            out.append(FESC);
            out.append(TFESC);
        } else if (byte == FEND) {
            out.append(FESC);
            out.append(TFEND);
        } else {
            out.append(byte);
        }
    }
    out.append(FEND);
}

void appendTimeRecord(QByteArray &out, QByteArrayView text)
{
    out.append(FEND);
    out.append(TimeRecordCommand);
    out.append(text.data(), text.size());
    out.append(FEND);
}

} // namespace Kiss
