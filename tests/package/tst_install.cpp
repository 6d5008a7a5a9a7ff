// Installs this build tree into a temporary root as the package does and checks what lands
// there: the file list, the desktop files and user unit against each other and the program, and
// the example configuration against the reader.
#include "app/Configuration.h"
#include "app/SettingsValidators.h"
#include "support/Programs.h"

#include <QDirIterator>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

namespace {

// The exit code (-1: crashed or never finished) and the output, stdout and stderr together.
std::pair<int, QByteArray> run(const QString &program, const QStringList &arguments,
                               const QProcessEnvironment &environment = QProcessEnvironment::systemEnvironment())
{
    QProcess process;
    process.setProcessEnvironment(environment);
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(program, arguments);
    const bool finished = process.waitForFinished(50000) && process.exitStatus() == QProcess::NormalExit;
    return {finished ? process.exitCode() : -1, process.readAll()};
}

} // namespace

class TestInstall : public QObject
{
    Q_OBJECT
private:
    QTemporaryDir m_root;

    QString installed(const QString &path) const { return m_root.path() + path; }

private slots:

    void initTestCase()
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("DESTDIR"), m_root.path());
        const auto [exitCode, output] = run(QStringLiteral(HALVORA_CMAKE_COMMAND),
                                            {"--install", HALVORA_BUILD_DIR, "--prefix", "/usr"}, environment);
        QVERIFY2(exitCode == 0, output.constData());
    }

    void fileList()
    {
        QStringList files;
        QDirIterator it(m_root.path(), QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
        while (it.hasNext())
            files << it.next().mid(m_root.path().size());
        files.sort();
        QCOMPARE(files, (QStringList{
                            "/usr/bin/halvora1", "/usr/bin/halvora1-agw-replay",
                            "/usr/lib/systemd/user/halvora1.service",
                            "/usr/share/applications/org.halvora1.Halvora1.desktop",
                            "/usr/share/doc/halvora1/changelog.gz", "/usr/share/doc/halvora1/copyright",
                            "/usr/share/doc/halvora1/examples/online_conf.ini",
                            "/usr/share/halvora1/samples/halvora1-sample.kss",
                            "/usr/share/icons/hicolor/scalable/apps/halvora1.svg",
                            "/usr/share/man/man1/halvora1-agw-replay.1.gz", "/usr/share/man/man1/halvora1.1.gz",
                            "/usr/share/metainfo/org.halvora1.Halvora1.metainfo.xml"}));
        for (const QString &file : files)
            QVERIFY2(QFileInfo(installed(file)).isExecutable() == file.startsWith(u"/usr/bin/"), qPrintable(file));
    }

    // Each valid by its own tool where there is one (hints are fine; warnings and errors are
    // not), and pointing at each other and at the installed program.
    void desktopFiles_data()
    {
        QTest::addColumn<QString>("tool");
        QTest::addColumn<QString>("file");
        QTest::addColumn<QByteArrayList>("lines");
        QTest::newRow("desktop entry")
            << "desktop-file-validate" << "/usr/share/applications/org.halvora1.Halvora1.desktop"
            << QByteArrayList{"\nExec=halvora1\n", "\nIcon=halvora1\n"};
        QTest::newRow("AppStream metainfo")
            << "appstreamcli" << "/usr/share/metainfo/org.halvora1.Halvora1.metainfo.xml"
            << QByteArrayList{"<launchable type=\"desktop-id\">org.halvora1.Halvora1.desktop</launchable>",
                              "<binary>halvora1</binary>", "<release version=\"" HALVORA_VERSION "\""};
        QTest::newRow("user unit runs the station headless")
            << "" << "/usr/lib/systemd/user/halvora1.service"
            << QByteArrayList{"\nExecStart=/usr/bin/halvora1 --headless\n", "\nWantedBy=default.target"};
    }

    void desktopFiles()
    {
        QFETCH(QString, tool);
        QFETCH(QString, file);
        QFETCH(QByteArrayList, lines);
        const QByteArray content = readFile(installed(file));
        for (const QByteArray &line : lines)
            QVERIFY2(content.contains(line), line.constData());
        if (tool.isEmpty())
            return;
        const QString program = QStandardPaths::findExecutable(tool);
        if (program.isEmpty())
            QSKIP(qPrintable(tool + QStringLiteral(" is not installed (scripts/setup installs it)")));
        const QStringList arguments = tool == u"appstreamcli" ? QStringList{"validate", "--no-net"} : QStringList{};
        const auto [exitCode, output] = run(program, arguments + QStringList{installed(file)});
        QVERIFY2(exitCode == 0 && !output.contains("error") && !output.contains("warning"), output.constData());
    }

    void exampleConfigurationIsValid()
    {
        const ConfigurationReadResult read =
            readConfiguration(installed("/usr/share/doc/halvora1/examples/online_conf.ini"), {});
        QVERIFY(!read.error);
        const Configuration &c = read.configuration;
        QVERIFY(!missingRequiredValue(c) && isValidPortValue(c.port));
        QVERIFY(isValidServerUrl(c.server) && isValidCallsign(c.mycall));
        QVERIFY(isValidLatitude(c.qthLat) && isValidLongitude(c.qthLong));
    }
};

QTEST_GUILESS_MAIN(TestInstall)
#include "tst_install.moc"
