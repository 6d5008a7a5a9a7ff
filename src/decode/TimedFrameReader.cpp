#include "decode/TimedFrameReader.h"

#include "decode/PacketClassifier.h"

TimedFrameReader::Status TimedFrameReader::giveWaitingFrame(QByteArrayView time)
{
    m_frameWaitsForTime = false;
    m_time = time.toByteArray();
    return Status::Frame;
}

TimedFrameReader::Status TimedFrameReader::next()
{
    for (;;) {
        if (!m_recordPending) {
            m_recordStatus = m_reader.next(m_record);
            m_recordPending = true;
        }
        if (m_recordStatus != CaptureFileReader::Status::Record) {
            // A time record lost in the damage, or never written: the waiting frame goes out
            // without a time, and a time read before the damage belongs to no later frame.
            m_hasTimeForNextFrame = false;
            if (m_frameWaitsForTime)
                return giveWaitingFrame({}); // the status follows on the next call
            m_recordPending = false;
            switch (m_recordStatus) {
            case CaptureFileReader::Status::Damaged:
                return Status::Damaged;
            case CaptureFileReader::Status::ReadError:
                return Status::ReadError;
            default:
                return Status::End;
            }
        }

        switch (m_record.kind) {
        case CaptureFileReader::Kind::Frame: {
            if (m_frameWaitsForTime)
                return giveWaitingFrame({}); // its time record is missing
            m_recordPending = false;
            m_frame.assign(m_record.data);
            m_frameData = m_record.data;
            const bool timed = m_hasTimeForNextFrame;
            m_hasTimeForNextFrame = false;
            if (isSatelliteFrame(m_frame.current())) {
                if (timed) {
                    m_time = m_timeForNextFrame;
                    return Status::Frame;
                }
                m_frameWaitsForTime = true;
            }
            break;
        }
        case CaptureFileReader::Kind::TimeText:
            m_recordPending = false;
            if (m_frameWaitsForTime)
                return giveWaitingFrame(m_record.data);
            break;
        case CaptureFileReader::Kind::TimeMilliseconds:
            if (m_frameWaitsForTime)
                return giveWaitingFrame({});
            m_recordPending = false;
            m_timeForNextFrame = CaptureFileReader::millisecondsToText(m_record.data).toLatin1();
            m_hasTimeForNextFrame = true;
            break;
        }
    }
}
