// The remote view of a real headless station fed by agw-replay, read by the tools its users
// run: a real Prometheus scrapes /metrics and answers a query, and headless Chromium renders
// the page with a value the station decoded. Each is skipped when its program is missing.
#include "remote/RemoteClient.h"

#include "support/HeadlessStation.h"

#include <QJsonArray>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QUrl>

namespace {

// Waits for a line of the process's output that matches; its first capture, or "".
QString waitForLine(QProcess &process, const QString &pattern, int timeoutMs = 15000)
{
    const QRegularExpression line(pattern, QRegularExpression::MultilineOption);
    QByteArray output;
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < timeoutMs) {
        output += process.readAllStandardOutput();
        const QRegularExpressionMatch match = line.match(QString::fromUtf8(output));
        if (match.hasMatch())
            return match.captured(1);
        if (process.state() == QProcess::NotRunning)
            return {};
        QTest::qWait(20);
    }
    return {};
}

} // namespace

class TestRemoteEndToEnd : public QObject
{
    Q_OBJECT
private:
    QTemporaryDir m_dir;
    ScopedProcess m_replay;
    ScopedProcess m_station;
    quint16 m_port = 0;
    int m_satelliteFrames = 0;

private slots:
    void initTestCase()
    {
        const QString sample = qEnvironmentVariable("HALVORA_SOURCE_DIR") + "/samples/halvora1-sample.kss";
        m_replay.start(builtProgram(QStringLiteral("agw-replay")), {"--port", "0", "--rate", "0", sample});
        const QString replayPort = waitForLine(m_replay, QStringLiteral("^listening on [^\\n]*:(\\d+)$"));
        QVERIFY(!replayPort.isEmpty());
        QVERIFY(HeadlessStation(m_dir.path()).writeConfiguration(QStringLiteral("127.0.0.1:") + replayPort));

        m_station.start(builtProgram(QStringLiteral("remote_station")), {m_dir.path()});
        m_port = quint16(waitForLine(m_station, QStringLiteral("^remote view on port (\\d+)$")).toUInt());
        QVERIFY(m_port != 0);

        // The whole sample has arrived when the count stops moving.
        int previous = -1;
        QTRY_VERIFY_WITH_TIMEOUT(
            [&] {
                const int now = get(m_port, "/api/v1/status").json()[u"satelliteFrames"].toInt();
                const bool settled = now > 0 && now == previous;
                previous = now;
                QTest::qWait(300);
                return settled;
            }(),
            15000);
        m_satelliteFrames = previous;
    }

    void prometheusScrapesTheFrameCount()
    {
        const QString prometheus = QStandardPaths::findExecutable(QStringLiteral("prometheus"));
        if (prometheus.isEmpty())
            QSKIP("prometheus is not installed (scripts/setup installs it)");
        const quint16 webPort = freeLoopbackPort();
        QVERIFY(writeFile(m_dir.filePath(QStringLiteral("prometheus.yml")),
                          "global:\n  scrape_interval: 1s\nscrape_configs:\n  - job_name: halvora1\n"
                          "    static_configs:\n      - targets: ['127.0.0.1:" +
                              QByteArray::number(m_port) + "']\n"));
        ScopedProcess server;
        server.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        server.start(prometheus, {"--config.file=" + m_dir.filePath("prometheus.yml"),
                                  "--storage.tsdb.path=" + m_dir.filePath("tsdb"),
                                  QStringLiteral("--web.listen-address=127.0.0.1:%1").arg(webPort)});
        server.closeReadChannel(QProcess::StandardError);

        const QByteArray query = "/api/v1/query?query=" +
                                 QUrl::toPercentEncoding("halvora1_frames_received_total{source=\"satellite\"}");
        QString value;
        QTRY_VERIFY_WITH_TIMEOUT(
            [&] {
                const QJsonArray result = get(webPort, query).json()[u"data"][u"result"].toArray();
                if (!result.isEmpty())
                    value = result[0][u"value"].toArray().at(1).toString();
                return !value.isEmpty() || (QTest::qWait(200), false);
            }(),
            20000);
        QCOMPARE(value.toInt(), m_satelliteFrames);
    }

    void chromiumRendersADecodedValue()
    {
        const QString chromium = QStandardPaths::findExecutable(QStringLiteral("chromium"));
        if (chromium.isEmpty())
            QSKIP("chromium is not installed (scripts/setup installs it)");

        // A channel the window shows, with a value from the sample.
        QJsonObject shown;
        for (const QJsonValue &entry : get(m_port, "/api/v1/channels").json()[u"channels"].toArray()) {
            if (!entry[u"value"].isNull() && entry[u"group"].toString() == u"EPS") {
                shown = entry.toObject();
                break;
            }
        }
        QVERIFY(!shown.isEmpty());

        QProcess browser;
        browser.start(chromium, {"--headless", "--no-sandbox", "--disable-gpu", "--no-first-run",
                                 "--user-data-dir=" + m_dir.filePath("chromium"), "--virtual-time-budget=5000",
                                 "--dump-dom", QStringLiteral("http://127.0.0.1:%1/").arg(m_port)});
        // The station is a process of its own, so a blocking wait for the browser is fine here.
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
