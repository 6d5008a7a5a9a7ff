#include "app/EmptyFileCleanup.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

void removeEmptyOwnFiles(const QStringList &directories, const QString &keepPath)
{
    // Only this program's own output names: capture files and debug reports
    // (MYCALL_ddmmyyyy_hhmm.kss / .txt) and screenshots (halvora1_DDMMYYYY.bmp / .png).
    static const QRegularExpression ownName(
        QStringLiteral(R"(^(.*_\d{8}_\d{4}\.(kss|txt)|halvora1_\d{8}\.(bmp|png))$)"),
        QRegularExpression::CaseInsensitiveOption);
    const QString keep = keepPath.isEmpty() ? QString() : QFileInfo(keepPath).absoluteFilePath();

    for (const QString &dirPath : directories) {
        // Collect first, delete after, so deleting does not disturb the listing.
        QStringList empty;
        const QDir dir(dirPath);
        for (const QFileInfo &info :
             dir.entryInfoList(QDir::Files | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot)) {
            if (info.isFile() && !info.isSymLink() && info.size() == 0 &&
                info.absoluteFilePath() != keep && ownName.match(info.fileName()).hasMatch())
                empty << info.absoluteFilePath();
        }
        for (const QString &path : empty)
            QFile::remove(path);
    }
}
