// The remote view of a real `halvora1 --headless` fed by agw-replay, read by the tools its users
// run: a real Prometheus scrapes /metrics and answers a query, and headless Chromium renders
// the page with a value the station decoded. Each is skipped when its program is missing.
#include "remote/RemoteClient.h"

#include "support/HeadlessStation.h"

#include <QJsonArray>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QUrl>

class TestRemoteEndToEnd : public QObject
{
    Q_OBJECT
private:
    QTemporaryDir m_dir;
    ScopedProcess m_replay;
    HeadlessStation m_station{m_dir.path()};
    quint16 m_port = freeLoopbackPort();

    int satelliteFrames() const { return get(m_port, "/api/v1/status").json()[u"satelliteFrames"].toInt(); }

private slots:
    void initTestCase()
    {
        const QString sample = qEnvironmentVariable("HALVORA_SOURCE_DIR") + "/samples/halvora1-sample.kss";
        const QString agwPort = QString::number(freeLoopbackPort());
        m_replay.start(builtProgram(QStringLiteral("agw-replay")), {"--port", agwPort, "--rate", "0", "--exit-when-done", sample});
        QVERIFY(m_replay.waitForReadyRead(15000)); // listening
        const QString config = m_dir.filePath(QStringLiteral("online_conf.ini"));
        QVERIFY(m_station.writeConfiguration(QStringLiteral("127.0.0.1:") + agwPort));
        QVERIFY(writeFile(config, readFile(config) + "HTTP=127.0.0.1:" + QByteArray::number(m_port) + "\r\n"));
        QVERIFY(m_station.start());

        // The station is a process of its own, so blocking waits are fine in this program.
        QVERIFY(m_replay.waitForFinished(15000)); // the whole sample went out
        QTRY_VERIFY_WITH_TIMEOUT(satelliteFrames() > 0, 15000);
    }

    void prometheusScrapesTheFrameCount()
    {
        const QString prometheus = QStandardPaths::findExecutable(QStringLiteral("prometheus"));
        if (prometheus.isEmpty())
            QSKIP("prometheus is not installed (scripts/setup installs it)");
        const quint16 webPort = freeLoopbackPort();
        QVERIFY(writeFile(m_dir.filePath(QStringLiteral("prometheus.yml")),
                          "scrape_configs: [{job_name: halvora1, scrape_interval: 1s, static_configs: "
                          "[{targets: ['127.0.0.1:" + QByteArray::number(m_port) + "']}]}]\n"));
        ScopedProcess server;
        server.setStandardErrorFile(QProcess::nullDevice());
        server.start(prometheus, {"--config.file=" + m_dir.filePath("prometheus.yml"),
                                  "--storage.tsdb.path=" + m_dir.filePath("tsdb"),
                                  QStringLiteral("--web.listen-address=127.0.0.1:%1").arg(webPort)});

        const QByteArray query = "/api/v1/query?query=" +
                                 QUrl::toPercentEncoding("halvora1_frames_received_total{source=\"satellite\"}");
        const auto scraped = [&] {
            const QJsonArray result = get(webPort, query).json()[u"data"][u"result"].toArray();
            return result.isEmpty() ? -1 : result[0][u"value"].toArray().at(1).toString().toInt();
        };
        QTRY_COMPARE_WITH_TIMEOUT(scraped(), satelliteFrames(), 20000);
    }

    void chromiumRendersADecodedValue()
    {
        const QString chromium = QStandardPaths::findExecutable(QStringLiteral("chromium"));
        if (chromium.isEmpty())
            QSKIP("chromium is not installed (scripts/setup installs it)");
        // A channel the window shows, with a value from the sample.
        QJsonObject shown;
        for (const QJsonValue &entry : get(m_port, "/api/v1/channels").json()[u"channels"].toArray()) {
            if (shown.isEmpty() && !entry[u"value"].isNull() && entry[u"group"].toString() == u"EPS")
                shown = entry.toObject();
        }
        QVERIFY(!shown.isEmpty());

        QProcess browser;
        browser.start(chromium, {"--headless", "--no-sandbox", "--disable-gpu", "--no-first-run",
                                 "--user-data-dir=" + m_dir.filePath("chromium"), "--virtual-time-budget=5000",
                                 "--dump-dom", QStringLiteral("http://127.0.0.1:%1/").arg(m_port)});
        QVERIFY(browser.waitForFinished(25000));
        const QString dom = QString::fromUtf8(browser.readAllStandardOutput());
        const QString row = QStringLiteral("<tr data-channel=\"%1\"><td>%2</td><td class=\"v\">%3</td>")
                                .arg(shown[u"channel"].toInt())
                                .arg(shown[u"caption"].toString().toHtmlEscaped(), shown[u"text"].toString().toHtmlEscaped());
        QVERIFY2(dom.contains(row), qPrintable(row + QStringLiteral(" not in the page:\n") + dom.left(3000)));
    }
};

QTEST_GUILESS_MAIN(TestRemoteEndToEnd)
#include "tst_remote_e2e.moc"
