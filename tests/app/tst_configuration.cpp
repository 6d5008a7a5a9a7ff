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
#include <QTemporaryDir>
#include <QTest>


class TestConfiguration : public QObject
{
    Q_OBJECT
    QTemporaryDir m_dir;
    QString configPath() const { return m_dir.filePath(u"online_conf.ini"_qs); }

private slots:
    void init() { QFile::remove(configPath()); }

    void reading_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("expected"); // port|server|mycall|lat|long|image dir
        QTest::addColumn<int>("errorNumber");  // 0: none
        const auto row = [](const char *name, const QByteArray &content, const QString &expected, int error = 0) {
            QTest::newRow(name) << content << expected << error;
        };
        row("all keys, CR LF", "PORT=localhost:8000\r\nSERVER=https://x.example/api\r\nMYCALL=N0CALL\r\n"
            "QTH_LAT=48.1\r\nQTH_LONG=11.5\r\nIMAGE_PATH=/shots/\r\nSCREENSHOT=YES\r\n",
            "localhost:8000|https://x.example/api|N0CALL|48.1|11.5|/shots/");
        row("any order, comments and blank lines, LF, no final line end",
            "# station\n\nMYCALL=N0CALL\n#PORT=ignored:1\nPORT=h:1\n\nSERVER=s", "h:1|s|N0CALL|||/prog/");
        row("blanks and tabs around = and the value, = inside the value, empty value",
            "PORT = localhost:8000 \r\nSERVER=https://x/?a=1&b=2\r\n\tMYCALL\t=\tDL0TST \t\r\nQTH_LAT= \t\r\n",
            "localhost:8000|https://x/?a=1&b=2|DL0TST|||/prog/");
        row("byte-order mark before the first key", "\xEF\xBB\xBFMYCALL=DL0TST\r\n", "||DL0TST|||/prog/");
        row("UTF-8 callsign", "MYCALL=\xC3\x96" "E1ABC\r\n", u"||\u00D6E1ABC|||/prog/"_qs);
        row("Latin-1 (not valid UTF-8)", "MYCALL=\xD6" "E1ABC\r\nQTH_LAT=48\xB0\r\n",
            u"||\u00D6E1ABC|48\u00B0||/prog/"_qs);
        row("blank then # without = is an error, earlier values stay",
            "MYCALL=A\r\nSCREENSHOT=NO\r\n # comment?\r\nPORT=h:1\r\n", "||A|||/prog/", 5);
    }

    void reading()
    {
        QFETCH(QByteArray, content);
        QFETCH(QString, expected);
        QFETCH(int, errorNumber);
        QVERIFY(writeFile(configPath(), content));
        Configuration initial;
        initial.imageDir = u"/prog/"_qs;
        const ConfigurationReadResult result = readConfiguration(configPath(), initial);
        const Configuration &c = result.configuration;
        QCOMPARE((QStringList{c.port, c.server, c.mycall, c.qthLat, c.qthLong, c.imageDir}.join(u'|')), expected);
        QCOMPARE(result.error ? result.error->number : 0, errorNumber);
    }

    void portValue_data()
    {
        QTest::addColumn<QString>("value");
        QTest::addColumn<QString>("host");
        QTest::addColumn<int>("port");
        QTest::addColumn<int>("errorNumber");
        const auto row = [](const char *value, const char *host, int port, int error) {
            QTest::newRow(value) << QString::fromLatin1(value) << QString::fromLatin1(host) << port << error;
        };
        row("localhost:8000", "localhost", 8000, 0);
        row("[fe80::1:2]:65535", "fe80::1:2", 65535, 0);
        row("::1:8000", "", 0, 13);
        row("h:0", "", 0, 380);
        row("h:65536", "", 0, 380);
    }

    void portValue()
    {
        QFETCH(QString, value);
        QFETCH(QString, host);
        QFETCH(int, port);
        QFETCH(int, errorNumber);
        const PortAddressResult result = parsePortValue(value);
        QCOMPARE(result.error ? result.error->number : 0, errorNumber);
        QCOMPARE(result.error ? QString() : result.address.host, host);
        QCOMPARE(result.error ? 0 : int(result.address.port), port);
    }

    void validators_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("valid");
        const auto row = [](const char *kind, const QString &text, bool valid) {
            QTest::addRow("%s %s", kind, qPrintable(text)) << QString::fromLatin1(kind) << text << valid;
        };
        // Callsigns name files: nothing that leaves the directory or breaks the name.
        for (const char *call : {"dl0tst", "PA/DL0TST", "DL0TST/MM123"})
            row("call", QString::fromLatin1(call), true);
        for (const char *call : {"DL0TST/MM1234", "PA/DL0TST/P", "DL0TST//P", "/P", "../../x"})
            row("call", QString::fromLatin1(call), false);
        row("server", u"https://example.org/upload"_qs, true);
        row("server", u"ftp://example.org/"_qs, false);
        // The poles and the date line are places a station may stand.
        row("lat", u"-90"_qs, true);
        row("lat", u"90.5"_qs, false);
        row("long", u"180"_qs, true);
        row("long", u"-180.5"_qs, false);
    }

    void validators()
    {
        QFETCH(QString, kind);
        QFETCH(QString, text);
        QFETCH(bool, valid);
        const bool result = kind == u"call"     ? isValidCallsign(text)
                            : kind == u"server" ? isValidServerUrl(text)
                            : kind == u"lat"    ? isValidLatitude(text)
                                                : isValidLongitude(text);
        QCOMPARE(result, valid);
    }

    void writer_data()
    {
        QTest::addColumn<QByteArray>("before"); // null: no file
        QTest::addColumn<QByteArray>("after");  // given without a final line end: the CR LF PORT and SERVER lines follow
        const auto row = [](const char *name, const QByteArray &before, const QByteArray &after) {
            QTest::newRow(name) << before << (after.endsWith('\n') ? after : after + "\r\nPORT=[::1]:8\r\nSERVER=s\r\n");
        };
        row("CR LF, comments, unknown keys and order kept", "# my station\r\nMYCALL=OLD\r\nFOO=bar\r\n\r\n#PORT=x:1\r\nPORT=h:1\r\n",
            "# my station\r\nMYCALL=B/P\r\nFOO=bar\r\n\r\n#PORT=x:1\r\nPORT=[::1]:8\r\nSERVER=s\r\n");
        row("LF kept, appended lines get LF", "MYCALL=OLD\nPORT=h:1\n", "MYCALL=B/P\nPORT=[::1]:8\nSERVER=s\n");
        row("no final line end", "MYCALL=OLD\r\nPORT=h:1", "MYCALL=B/P\r\nPORT=[::1]:8\r\nSERVER=s\r\n");
        row("a key set twice changes on both lines", "MYCALL=A\r\nMYCALL=B\r\n", "MYCALL=B/P\r\nMYCALL=B/P");
        row("byte-order mark kept", "\xEF\xBB\xBFMYCALL=OLD\r\n", "\xEF\xBB\xBFMYCALL=B/P");
        row("missing file is created with CR LF", QByteArray(), "MYCALL=B/P");
    }

    void writer()
    {
        QFETCH(QByteArray, before);
        QFETCH(QByteArray, after);
        if (!before.isNull())
            QVERIFY(writeFile(configPath(), before));
        const std::optional<QString> error =
            writeConfigurationValues(configPath(), {{"MYCALL", "B/P"}, {"PORT", "[::1]:8"}, {"SERVER", "s"}});
        QVERIFY2(!error, qPrintable(error.value_or(QString())));
        QCOMPARE(readFile(configPath()), after);
        QCOMPARE(QDir(m_dir.path()).entryList(QDir::Files), QStringList{"online_conf.ini"});
    }

    // A Latin-1 file becomes UTF-8 for a value Latin-1 cannot hold. A line break in a value
    // would add a line of its own: refused, and the file stays as it was.
    void writerEncodingAndLineBreak()
    {
        QVERIFY(writeFile(configPath(), "# Gr\xFC\xDF" "e\nMYCALL=OLD\n"));
        QVERIFY(!writeConfigurationValues(configPath(), {{"MYCALL", u"\u0416A1"_qs}}));
        const QByteArray utf8 = "# Gr\xC3\xBC\xC3\x9F" "e\nMYCALL=\xD0\x96" "A1\n";
        QCOMPARE(readFile(configPath()), utf8);
        const std::optional<QString> error = writeConfigurationValues(configPath(), {{"MYCALL", u"A\r\nPORT=evil:1"_qs}});
        QVERIFY2(error && error->contains(u"MYCALL"), qPrintable(error.value_or(QString())));
        QCOMPARE(readFile(configPath()), utf8);
    }

    // The template leaves SERVER and MYCALL to the user and never replaces a file that is there.
    void firstStartTemplate()
    {
        const QString path = m_dir.filePath(u"config/halvora1/online_conf.ini"_qs);
        QVERIFY(!writeConfigurationTemplate(path));
        const ConfigurationReadResult read = readConfiguration(path, {});
        QVERIFY(!read.error);
        QCOMPARE(missingRequiredValue(read.configuration)->description, u"SERVER is empty"_qs);
        QVERIFY(isValidPortValue(read.configuration.port));

        QVERIFY(writeFile(path, "MYCALL=MINE\n"));
        QVERIFY(writeConfigurationTemplate(path).value_or(QString()).contains(u"already exists"));
        QCOMPARE(readFile(path), QByteArray("MYCALL=MINE\n"));
    }

    void safeNames_data()
    {
        QTest::addColumn<QString>("mycall");
        QTest::addColumn<QString>("safe");
        QTest::newRow("control characters") << "A\tB\nC\x7F" "D" << "A_B_C_D";
        QTest::newRow("empty") << "" << "_";
    }

    void safeNames()
    {
        QFETCH(QString, mycall);
        QFETCH(QString, safe);
        QCOMPARE(safeFileNamePart(mycall), safe);
    }
};

QTEST_GUILESS_MAIN(TestConfiguration)
#include "tst_configuration.moc"
