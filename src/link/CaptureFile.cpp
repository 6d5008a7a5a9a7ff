#include "link/CaptureFile.h"

#include "link/Kiss.h"

QString CaptureFile::fileName(const QString &mycall, const QDateTime &utcStart)
{
    return mycall + u'_' + utcStart.toString(QStringLiteral("ddMMyyyy_HHmm")) +
           QStringLiteral(".kss");
}

std::optional<QString> CaptureFile::open(const QString &path)
{
    m_file.close();
    m_file.setFileName(path);
    if (!m_file.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered))
        return m_file.errorString();
    return std::nullopt;
}

bool CaptureFile::writeFrameRecord(QByteArrayView data)
{
    m_record.clear();
    Kiss::appendFrameRecord(m_record, data);
    return writeRecord();
}

bool CaptureFile::writeTimeRecord(QByteArrayView text)
{
    m_record.clear();
    Kiss::appendTimeRecord(m_record, text);
    return writeRecord();
}

bool CaptureFile::writeRecord()
{
    if (!m_file.isOpen())
        return false;
    // Unbuffered: one write call per record puts it in the file at once.
    return m_file.write(m_record) == m_record.size();
}

QString CaptureFile::errorString() const
{
    return m_file.isOpen() ? m_file.errorString() : QStringLiteral("the capture file is not open");
}

void CaptureFile::close()
{
    m_file.close();
}
