// A station started without --station-dir and without a portable configuration lives in the
// user's folders; the first headless start writes a commented template there and exits with 78.
#include "support/Programs.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

class TestFirstStart : public QObject
{
    Q_OBJECT
private slots:
    void headlessWritesTemplateAndExits()
    {
        QTemporaryDir home;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("HOME"), home.path());
        environment.insert(QStringLiteral("XDG_CONFIG_HOME"), home.filePath(QStringLiteral("config")));
        environment.insert(QStringLiteral("XDG_DATA_HOME"), home.filePath(QStringLiteral("data")));
        const auto run = [&] {
            QProcess process;
            process.setProcessEnvironment(environment);
            process.start(builtProgram(QStringLiteral("halvora1")), {QStringLiteral("--headless")});
            process.waitForFinished(30000);
            return std::pair{process.exitCode(), process.readAllStandardError()};
        };
        const QString config = home.filePath(QStringLiteral("config/halvora1/online_conf.ini"));

        auto [status, err] = run();
        QCOMPARE(status, 78);
        QVERIFY2(err.contains(config.toUtf8()), err);
        QFile written(config);
        QVERIFY(written.open(QIODevice::ReadOnly));
        const QByteArray text = written.readAll();
        QVERIFY(text.contains("\nPORT=") && text.contains("\nSERVER=") && text.contains("# "));

        // The template leaves SERVER and MYCALL to the user: the next start names what is missing.
        std::tie(status, err) = run();
        QCOMPARE(status, 78);
        QVERIFY2(err.contains("is empty"), err);
    }
};

QTEST_GUILESS_MAIN(TestFirstStart)
#include "tst_first_start.moc"
