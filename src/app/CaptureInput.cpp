#include "app/CaptureInput.h"

#include <QFile>

#include <sys/stat.h>
#include <unistd.h>

QString openCaptureInput(const QString &path, QFile &file)
{
    const auto flags = QIODevice::ReadOnly | QIODevice::Unbuffered;
    if (path == u"-")
        return file.open(STDIN_FILENO, flags) ? QString() : file.errorString();
    struct stat status = {};
    if (::stat(QFile::encodeName(path).constData(), &status) == 0) {
        if (S_ISDIR(status.st_mode))
            return QStringLiteral("is a directory, not a capture file");
        if (!S_ISREG(status.st_mode) && !S_ISFIFO(status.st_mode))
            return QStringLiteral("is neither a regular file nor a pipe");
    }
    file.setFileName(path);
    return file.open(flags) ? QString() : file.errorString();
}

void printCaptureDamage(std::FILE *err, const QString &path, const CaptureFileReader::Damage &damage)
{
    std::fprintf(err, "%s: offset %lld: %lld bytes skipped (%s)\n", qPrintable(path),
                 static_cast<long long>(damage.offset), static_cast<long long>(damage.length),
                 qPrintable(damage.reason));
}
