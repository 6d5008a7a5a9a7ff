#include "link/CaptureFile.h"

#include "link/Kiss.h"

#include <QFileInfo>

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
    // Unbuffered: one write call per record puts it in the file at once. A record cut short
    // (disk full) is taken back, so the file never holds part of a record.
    const qint64 written = m_file.write(m_record);
    if (written == m_record.size()) {
        m_bytesWritten += written;
        return true;
    }
    if (written > 0)
        m_file.resize(m_file.size() - written);
    return false;
}

QString CaptureFile::errorString() const
{
    return m_file.isOpen() ? m_file.errorString() : QStringLiteral("the capture file is not open");
}

bool CaptureFile::isMissing() const
{
    // On Linux a removed file still takes writes; they would vanish with it.
    return m_file.isOpen() && !QFileInfo::exists(m_file.fileName());
}

std::optional<QString> CaptureFile::reopen()
{
    return open(m_file.fileName());
}

void CaptureFile::close()
{
    m_file.close();
}
