// The station directory's lock file against a real second process: refused while that process
// lives (the message names the directory and the process), taken once it is killed and its lock
// file is left stale.
// The test program itself is the second process when started with --hold-lock DIR.
#include "store/StationLock.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <cstdio>

namespace {

constexpr char HoldLockArgument[] = "--hold-lock";

// Child mode: takes the lock, prints "locked" or the refusal, and holds it until stdin closes.
int holdLock(const QString &directory)
{
    StationLock lock(directory);
    const QString error = lock.tryLock();
    std::puts(qPrintable(error.isEmpty() ? QStringLiteral("locked") : error));
    std::fflush(stdout);
    while (error.isEmpty() && std::fgetc(stdin) != EOF) {
    }
    return error.isEmpty() ? 0 : 1;
}

void startHolder(QProcess &process, const QString &directory)
{
    process.start(QCoreApplication::applicationFilePath(), {QLatin1String(HoldLockArgument), directory});
}

} // namespace

class TestStationLock : public QObject
{
    Q_OBJECT
private slots:
    void refusedWhileHeldTakenAfterKill()
    {
        QTemporaryDir dir;
        QProcess holder;
        startHolder(holder, dir.path());
        QVERIFY(holder.waitForReadyRead(10000));
        QCOMPARE(holder.readLine().trimmed(), QByteArray("locked"));

        StationLock lock(dir.path());
        const QString refusal = lock.tryLock();
        QVERIFY2(refusal.contains(QDir::toNativeSeparators(QDir(dir.path()).absolutePath())), qPrintable(refusal));
        QVERIFY2(refusal.contains(QStringLiteral("process %1").arg(holder.processId())), qPrintable(refusal));
        QVERIFY(!lock.isLocked());

        holder.kill(); // SIGKILL: no clean-up, the lock file stays with a dead process id
        QVERIFY(holder.waitForFinished(10000));
        QVERIFY(QFile::exists(dir.filePath(QLatin1String(StationLock::FileName))));
        QCOMPARE(lock.tryLock(), QString());
        QVERIFY(lock.isLocked());

        // Now a second process is refused in turn.
        QProcess second;
        startHolder(second, dir.path());
        QVERIFY(second.waitForFinished(10000));
        QCOMPARE(second.exitCode(), 1);
        QVERIFY(second.readAllStandardOutput().contains(
            QStringLiteral("process %1").arg(QCoreApplication::applicationPid()).toUtf8()));
    }
};

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    if (argc == 3 && qstrcmp(argv[1], HoldLockArgument) == 0)
        return holdLock(QString::fromLocal8Bit(argv[2]));
    TestStationLock test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_station_lock.moc"
