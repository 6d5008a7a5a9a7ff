#include "link/Kiss.h"

namespace Kiss {

void appendFrameRecord(QByteArray &out, QByteArrayView data)
{
    out.reserve(out.size() + data.size() * 2 + 2);
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
