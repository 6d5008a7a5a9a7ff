// Reading online_conf.ini in its encodings and shapes, the PORT address, the settings checks,
// the writer that keeps the rest of the file, and callsigns made safe for file names.
#include "app/Configuration.h"
#include "app/ConfigurationTemplate.h"
#include "app/ConfigurationWriter.h"
#include "app/PortAddress.h"
#include "app/SafeFileName.h"
#include "app/SettingsValidators.h"
#include "support/Programs.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

#include <unistd.h>

class TestConfiguration : public QObject
{
    Q_OBJECT
private slots:

    void reading_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QStringList>("expected"); // port, server, mycall, lat, long, image dir
        QTest::addColumn<int>("screenshot");       // -1 absent, 0 hidden, 1 shown
        QTest::addColumn<int>("errorNumber");      // 0: none

        const QString image = QStringLiteral("/prog/");
        QTest::newRow("all keys, CR LF")
            << QByteArray("PORT=localhost:8000\r\nSERVER=https://x.example/api\r\nMYCALL=N0CALL\r\n"
                          "QTH_LAT=48.1\r\nQTH_LONG=11.5\r\nIMAGE_PATH=/shots/\r\nSCREENSHOT=YES\r\n")
            << QStringList{"localhost:8000", "https://x.example/api", "N0CALL", "48.1", "11.5", "/shots/"}
            << 1 << 0;
        QTest::newRow("any order, comments and blank lines, LF, no final line end")
            << QByteArray("# station\n\nMYCALL=N0CALL\n#PORT=ignored:1\nPORT=h:1\n\nSERVER=s")
            << QStringList{"h:1", "s", "N0CALL", "", "", image} << -1 << 0;
        QTest::newRow("blanks around = and after the value, = inside the value")
            << QByteArray("PORT = localhost:8000 \r\nSERVER=https://x/?a=1&b=2\r\n")
            << QStringList{"localhost:8000", "https://x/?a=1&b=2", "", "", "", image} << -1 << 0;
        QTest::newRow("later line wins, lower-case key ignored")
            << QByteArray("MYCALL=A\r\nmycall=B\r\nMYCALL=C\r\n")
            << QStringList{"", "", "C", "", "", image} << -1 << 0;
        QTest::newRow("screenshot yes in lower case hides")
            << QByteArray("SCREENSHOT=yes\r\n") << QStringList{"", "", "", "", "", image} << 0 << 0;
        QTest::newRow("byte-order mark before the first key")
            << QByteArray("\xEF\xBB\xBFMYCALL=DL0TST\r\nPORT=h:1\r\n")
            << QStringList{"h:1", "", "DL0TST", "", "", image} << -1 << 0;
        QTest::newRow("byte-order mark before a comment")
            << QByteArray("\xEF\xBB\xBF# comment\r\nMYCALL=DL0TST\r\n")
            << QStringList{"", "", "DL0TST", "", "", image} << -1 << 0;
        QTest::newRow("byte-order mark only is an empty file")
            << QByteArray("\xEF\xBB\xBF") << QStringList{"", "", "", "", "", image} << -1 << 62;
        QTest::newRow("tabs around key and value")
            << QByteArray("\tMYCALL\t=\tDL0TST \t\r\nPORT\t= h:1\t\r\n")
            << QStringList{"h:1", "", "DL0TST", "", "", image} << -1 << 0;
        QTest::newRow("UTF-8 callsign")
            << QByteArray("MYCALL=\xC3\x96" "E1ABC\r\n")
            << QStringList{"", "", QStringLiteral("\u00D6E1ABC"), "", "", image} << -1 << 0;
        QTest::newRow("Latin-1 callsign (not valid UTF-8)")
            << QByteArray("MYCALL=\xD6" "E1ABC\r\nQTH_LAT=48\xB0\r\n")
            << QStringList{"", "", QStringLiteral("\u00D6E1ABC"), QStringLiteral("48\u00B0"), "", image}
            << -1 << 0;
        QTest::newRow("IPv6 packet engine address kept as written")
            << QByteArray("PORT=[::1]:8000\r\n")
            << QStringList{"[::1]:8000", "", "", "", "", image} << -1 << 0;
        QTest::newRow("odd callsigns kept as written")
            << QByteArray("MYCALL=../../x\r\nMYCALL=DL0TST/P\r\n")
            << QStringList{"", "", "DL0TST/P", "", "", image} << -1 << 0;
        QTest::newRow("empty values are read (checked later)")
            << QByteArray("MYCALL=\r\nSERVER= \t\r\n") << QStringList{"", "", "", "", "", image}
            << -1 << 0;
        QTest::newRow("line of blanks only is an error")
            << QByteArray("MYCALL=A\r\n   \r\nPORT=h:1\r\n")
            << QStringList{"", "", "A", "", "", image} << -1 << 5;
        QTest::newRow("line of tabs only is an error")
            << QByteArray("MYCALL=A\n\t\nPORT=h:1\n") << QStringList{"", "", "A", "", "", image}
            << -1 << 5;
        QTest::newRow("blank then # without = is an error, earlier values stay")
            << QByteArray("MYCALL=A\r\nSCREENSHOT=NO\r\n # comment?\r\nPORT=h:1\r\n")
            << QStringList{"", "", "A", "", "", image} << 0 << 5;
        QTest::newRow("empty file") << QByteArray() << QStringList{"", "", "", "", "", image} << -1 << 62;
        QTest::newRow("a file too large to be a configuration")
            << QByteArray(70 * 1024, '#') << QStringList{"", "", "", "", "", image} << -1 << 75;
    }

    void reading()
    {
        QFETCH(QByteArray, content);
        QFETCH(QStringList, expected);
        QFETCH(int, screenshot);
        QFETCH(int, errorNumber);

        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("online_conf.ini"));
        QVERIFY(writeFile(path, content));
        Configuration initial;
        initial.imageDir = QStringLiteral("/prog/");
        const ConfigurationReadResult result = readConfiguration(path, initial);
        const Configuration &c = result.configuration;
        QCOMPARE((QStringList{c.port, c.server, c.mycall, c.qthLat, c.qthLong, c.imageDir}), expected);
        QCOMPARE(c.screenshotButtonVisible.has_value() ? int(*c.screenshotButtonVisible) : -1,
                 screenshot);
        QCOMPARE(result.error ? result.error->number : 0, errorNumber);
    }

    void missingFileAndDirectory()
    {
        QTemporaryDir dir;
        const ConfigurationReadResult missing =
            readConfiguration(dir.filePath(QStringLiteral("online_conf.ini")), {});
        QCOMPARE(missing.error->reportText(),
                 QStringLiteral("The following error occured: \r\nError # 53\r\nonline_conf.ini File not found"));
        const ConfigurationReadResult directory = readConfiguration(dir.path(), {});
        QCOMPARE(directory.error->number, 75);
    }

    void requiredValues_data()
    {
        QTest::addColumn<QString>("server");
        QTest::addColumn<QString>("mycall");
        QTest::addColumn<QString>("report"); // empty: no error
        QTest::newRow("both set") << "http://h/" << "N0CALL" << "";
        QTest::newRow("empty SERVER")
            << "" << "N0CALL"
            << "The following error occured: \r\nError # 380\r\nonline_conf.ini SERVER is empty";
        QTest::newRow("empty MYCALL")
            << "http://h/" << ""
            << "The following error occured: \r\nError # 380\r\nonline_conf.ini MYCALL is empty";
    }

    void requiredValues()
    {
        QFETCH(QString, server);
        QFETCH(QString, mycall);
        QFETCH(QString, report);
        Configuration config;
        config.server = server;
        config.mycall = mycall;
        const std::optional<StartupError> error = missingRequiredValue(config);
        QCOMPARE(error ? error->reportText() : QString(), report);
    }

    void portValue_data()
    {
        QTest::addColumn<QString>("value");
        QTest::addColumn<QString>("host");
        QTest::addColumn<int>("port");
        QTest::addColumn<int>("errorNumber");
        QTest::newRow("name") << "localhost:8000" << "localhost" << 8000 << 0;
        QTest::newRow("dotted address, blank after port") << "127.0.0.1:8001 " << "127.0.0.1" << 8001 << 0;
        QTest::newRow("IPv6 in brackets") << "[::1]:8000" << "::1" << 8000 << 0;
        QTest::newRow("IPv6 full") << "[fe80::1:2]:65535" << "fe80::1:2" << 65535 << 0;
        QTest::newRow("lowest port") << "h:1" << "h" << 1 << 0;
        QTest::newRow("no colon") << "localhost" << "" << 0 << 5;
        QTest::newRow("empty") << "" << "" << 0 << 5;
        QTest::newRow("IPv6 without closing bracket") << "[::1:8000" << "" << 0 << 5;
        QTest::newRow("IPv6 without port") << "[::1]" << "" << 0 << 5;
        QTest::newRow("bracketed name") << "[localhost]:8000" << "" << 0 << 5;
        QTest::newRow("IPv6 without brackets") << "::1:8000" << "" << 0 << 13;
        QTest::newRow("port not a number") << "h:80a" << "" << 0 << 13;
        QTest::newRow("empty port") << "h:" << "" << 0 << 13;
        QTest::newRow("port 0") << "h:0" << "" << 0 << 380;
        QTest::newRow("port 65536") << "h:65536" << "" << 0 << 380;
        QTest::newRow("negative port") << "h:-1" << "" << 0 << 380;
    }

    void portValue()
    {
        QFETCH(QString, value);
        QFETCH(QString, host);
        QFETCH(int, port);
        QFETCH(int, errorNumber);
        const PortAddressResult result = parsePortValue(value);
        QCOMPARE(result.error ? result.error->number : 0, errorNumber);
        if (!errorNumber) {
            QCOMPARE(result.address.host, host);
            QCOMPARE(int(result.address.port), port);
        }
    }

    void validators_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("valid");
        QTest::newRow("callsign") << "call" << "DL0TST" << true;
        QTest::newRow("callsign, lower case") << "call" << "dl0tst" << true;
        QTest::newRow("callsign with suffix") << "call" << "DL0TST/P" << true;
        QTest::newRow("callsign with prefix") << "call" << "PA/DL0TST" << true;
        QTest::newRow("callsign, 12 characters") << "call" << "DL0TST/MM123" << true;
        QTest::newRow("callsign, 13 characters") << "call" << "DL0TST/MM1234" << false;
        QTest::newRow("callsign, three parts") << "call" << "PA/DL0TST/P" << false;
        QTest::newRow("callsign, empty part") << "call" << "DL0TST//P" << false;
        QTest::newRow("callsign, trailing slash") << "call" << "DL0TST/" << false;
        QTest::newRow("callsign, leading slash") << "call" << "/P" << false;
        QTest::newRow("callsign, path") << "call" << "../../x" << false;
        QTest::newRow("callsign, blank") << "call" << "DL0 TST" << false;
        QTest::newRow("callsign, dash SSID") << "call" << "DL0TST-1" << false;
        QTest::newRow("callsign, non-ASCII letter") << "call" << "\u00D6E1ABC" << false;
        QTest::newRow("callsign, empty") << "call" << "" << false;
        QTest::newRow("server https") << "server" << "https://telemetry.example.org/api/" << true;
        QTest::newRow("server http with port") << "server" << "http://127.0.0.1:8080/x" << true;
        QTest::newRow("server ftp") << "server" << "ftp://example.org/" << false;
        QTest::newRow("server without host") << "server" << "http:///x" << false;
        QTest::newRow("server relative") << "server" << "/api/telemetry" << false;
        QTest::newRow("server empty") << "server" << "" << false;
        QTest::newRow("latitude") << "lat" << "48.137" << true;
        QTest::newRow("latitude south") << "lat" << "-33.9" << true;
        QTest::newRow("latitude 90") << "lat" << "90" << true;
        QTest::newRow("latitude 90.5") << "lat" << "90.5" << false;
        QTest::newRow("latitude comma") << "lat" << "48,137" << false;
        QTest::newRow("latitude exponent") << "lat" << "4e1" << false;
        QTest::newRow("latitude with hemisphere") << "lat" << "48.1N" << false;
        QTest::newRow("latitude empty") << "lat" << "" << false;
        QTest::newRow("longitude west") << "long" << "-122.4" << true;
        QTest::newRow("longitude 180") << "long" << "+180.0" << true;
        QTest::newRow("longitude 181") << "long" << "181" << false;
        QTest::newRow("port") << "port" << "127.0.0.1:8000" << true;
        QTest::newRow("port IPv6") << "port" << "[::1]:8000" << true;
        QTest::newRow("port without host") << "port" << ":8000" << false;
        QTest::newRow("port out of range") << "port" << "h:70000" << false;
    }

    void validators()
    {
        QFETCH(QString, kind);
        QFETCH(QString, text);
        QFETCH(bool, valid);
        bool result = false;
        if (kind == u"call")
            result = isValidCallsign(text);
        else if (kind == u"server")
            result = isValidServerUrl(text);
        else if (kind == u"lat")
            result = isValidLatitude(text);
        else if (kind == u"long")
            result = isValidLongitude(text);
        else
            result = isValidPortValue(text);
        QCOMPARE(result, valid);
    }

    void writer_data()
    {
        QTest::addColumn<QByteArray>("before");
        QTest::addColumn<QByteArray>("after");
        QTest::newRow("CR LF, comments, unknown keys and order kept")
            << QByteArray("# my station\r\nMYCALL=OLD\r\nFOO=bar\r\n\r\n#PORT=x:1\r\nPORT=h:1\r\n")
            << QByteArray("# my station\r\nMYCALL=DL0TST/P\r\nFOO=bar\r\n\r\n#PORT=x:1\r\nPORT=[::1]:8000\r\n"
                          "SERVER=https://s/\r\n");
        QTest::newRow("LF kept, appended line gets LF")
            << QByteArray("MYCALL=OLD\nPORT=h:1\n")
            << QByteArray("MYCALL=DL0TST/P\nPORT=[::1]:8000\nSERVER=https://s/\n");
        QTest::newRow("blanks and tabs around = kept")
            << QByteArray("MYCALL = OLD \r\nPORT\t=\th:1\r\nSERVER=https://s/\r\n")
            << QByteArray("MYCALL = DL0TST/P \r\nPORT\t=\t[::1]:8000\r\nSERVER=https://s/\r\n");
        QTest::newRow("no final line end")
            << QByteArray("MYCALL=OLD\r\nPORT=h:1")
            << QByteArray("MYCALL=DL0TST/P\r\nPORT=[::1]:8000\r\nSERVER=https://s/\r\n");
        QTest::newRow("a key set twice changes on both lines")
            << QByteArray("MYCALL=A\r\nMYCALL=B\r\n")
            << QByteArray("MYCALL=DL0TST/P\r\nMYCALL=DL0TST/P\r\nPORT=[::1]:8000\r\nSERVER=https://s/\r\n");
        QTest::newRow("byte-order mark kept")
            << QByteArray("\xEF\xBB\xBFMYCALL=OLD\r\nPORT=h:1\r\nSERVER=https://s/\r\n")
            << QByteArray("\xEF\xBB\xBFMYCALL=DL0TST/P\r\nPORT=[::1]:8000\r\nSERVER=https://s/\r\n");
        QTest::newRow("Latin-1 comment stays Latin-1")
            << QByteArray("# Gr\xFC\xDF" "e\r\nMYCALL=OLD\r\n")
            << QByteArray("# Gr\xFC\xDF" "e\r\nMYCALL=DL0TST/P\r\nPORT=[::1]:8000\r\nSERVER=https://s/\r\n");
        QTest::newRow("indented comment and lower-case key untouched")
            << QByteArray(" # MYCALL=X\r\nmycall=x\r\n")
            << QByteArray(" # MYCALL=X\r\nmycall=x\r\nMYCALL=DL0TST/P\r\nPORT=[::1]:8000\r\n"
                          "SERVER=https://s/\r\n");
        QTest::newRow("missing file is created with CR LF") << QByteArray()
            << QByteArray("MYCALL=DL0TST/P\r\nPORT=[::1]:8000\r\nSERVER=https://s/\r\n");
    }

    void writer()
    {
        QFETCH(QByteArray, before);
        QFETCH(QByteArray, after);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("online_conf.ini"));
        if (!before.isEmpty())
            QVERIFY(writeFile(path, before));
        const ConfigurationValues values{{"MYCALL", "DL0TST/P"},
                                         {"PORT", "[::1]:8000"},
                                         {"SERVER", "https://s/"}};
        const std::optional<QString> error = writeConfigurationValues(path, values);
        QVERIFY2(!error, qPrintable(error.value_or(QString())));
        QCOMPARE(readFile(path), after);
        // What was written reads back as written.
        const Configuration read = readConfiguration(path, {}).configuration;
        QCOMPARE(read.mycall, QStringLiteral("DL0TST/P"));
        QCOMPARE(read.port, QStringLiteral("[::1]:8000"));
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{"online_conf.ini"});
    }

    void writerNonLatin1ValueInLatin1File()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("online_conf.ini"));
        QVERIFY(writeFile(path, "# Gr\xFC\xDF" "e\nMYCALL=OLD\n"));
        QVERIFY(!writeConfigurationValues(path, {{"MYCALL", QStringLiteral("\u0416A1")}}));
        QCOMPARE(readFile(path), QByteArray("# Gr\xC3\xBC\xC3\x9F" "e\nMYCALL=\xD0\x96" "A1\n"));
    }

    void writerRefusesLineBreakAndKeepsFile()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("online_conf.ini"));
        QVERIFY(writeFile(path, "MYCALL=OLD\r\n"));
        const std::optional<QString> error =
            writeConfigurationValues(path, {{"MYCALL", "A\r\nPORT=evil:1"}});
        QVERIFY(error);
        QVERIFY(error->contains(u"MYCALL"));
        QCOMPARE(readFile(path), QByteArray("MYCALL=OLD\r\n"));
    }

    void writerReportsUnwritableDirectory()
    {
        if (geteuid() == 0)
            QSKIP("root writes into read-only directories");
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("online_conf.ini"));
        QVERIFY(writeFile(path, "MYCALL=OLD\r\n"));
        QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::ExeOwner);
        const std::optional<QString> error = writeConfigurationValues(path, {{"MYCALL", "NEW"}});
        QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        QVERIFY(error);
        QVERIFY2(error->startsWith(path), qPrintable(*error));
        QCOMPARE(readFile(path), QByteArray("MYCALL=OLD\r\n"));
    }

    void firstStartTemplate()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("config/halvora1/online_conf.ini"));
        QVERIFY(!writeConfigurationTemplate(path));
        const QByteArray written = readFile(path);
        QVERIFY(written.startsWith("# Halvora-1 ground station settings"));
        QVERIFY(written.contains("\nSERVER=\n"));
        QVERIFY(written.contains("\nMYCALL=\n"));

        // The station refuses to run on it until SERVER and MYCALL are filled in.
        const ConfigurationReadResult read = readConfiguration(path, {});
        QVERIFY(!read.error);
        QCOMPARE(missingRequiredValue(read.configuration)->description,
                 QStringLiteral("SERVER is empty"));
        QVERIFY(isValidPortValue(read.configuration.port));

        QVERIFY(writeFile(path, "MYCALL=MINE\n"));
        const std::optional<QString> error = writeConfigurationTemplate(path);
        QVERIFY(error && error->contains(u"already exists"));
        QCOMPARE(readFile(path), QByteArray("MYCALL=MINE\n"));
    }

    void safeNames_data()
    {
        QTest::addColumn<QString>("mycall");
        QTest::addColumn<QString>("safe");
        QTest::newRow("plain") << "DL0TST" << "DL0TST";
        QTest::newRow("portable suffix") << "DL0TST/P" << "DL0TST_P";
        QTest::newRow("parent directories") << "../../x" << "____x";
        QTest::newRow("backslash") << "a\\b" << "a_b";
        QTest::newRow("NUL") << QString::fromLatin1("A\0B", 3) << "A_B";
        QTest::newRow("control characters") << "A\tB\nC\x7F" "D" << "A_B_C_D";
        QTest::newRow("single dots kept") << "a.b." << "a.b.";
        QTest::newRow("three dots") << "..." << "_.";
        QTest::newRow("UTF-8 letters kept") << "\u00D6E1ABC" << "\u00D6E1ABC";
        QTest::newRow("empty") << "" << "_";
    }

    void safeNames()
    {
        QFETCH(QString, mycall);
        QFETCH(QString, safe);
        QCOMPARE(safeFileNamePart(mycall), safe);
    }

    void safeNameStaysInsideTheDirectory_data()
    {
        QTest::addColumn<QString>("mycall");
        QTest::newRow("../../x") << "../../x";
        QTest::newRow("..") << "..";
        QTest::newRow("/tmp/x") << "/tmp/x";
        QTest::newRow("..\\..\\x") << "..\\..\\x";
    }

    void safeNameStaysInsideTheDirectory()
    {
        QFETCH(QString, mycall);
        QTemporaryDir dir;
        const QString name = safeFileNamePart(mycall) + QStringLiteral("_06122026_1200.kss");
        const QString path = QDir(dir.path()).filePath(name);
        QCOMPARE(QFileInfo(path).absolutePath(), QDir(dir.path()).absolutePath());
        QVERIFY(writeFile(path, "x"));
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{name});
    }
};

QTEST_GUILESS_MAIN(TestConfiguration)
#include "tst_configuration.moc"
