// The demo collection endpoint as a user runs it: a real process, posted to by the station's client.
#include "upload/HttpUpload.h"

#include <QProcess>
#include <QSignalSpy>
#include <QTest>

class TestTelemetrySink : public QObject
{
    Q_OBJECT
private slots:
    void printsEachFormAndAnswersCreated();
};

void TestTelemetrySink::printsEachFormAndAnswersCreated()
{
    QProcess sink;
    sink.start(qEnvironmentVariable("HALVORA_BIN_DIR") + QStringLiteral("/telemetry-sink"),
               {QStringLiteral("--port"), QStringLiteral("0")});
    QVERIFY2(sink.waitForStarted(), qPrintable(sink.errorString()));
    QTRY_VERIFY(sink.canReadLine());
    const QByteArray first = sink.readLine().trimmed();
    QVERIFY2(first.startsWith("listening on 127.0.0.1:"), first.constData());
    const QByteArray port = first.mid(first.lastIndexOf(':') + 1);

    HttpUpload upload;
    QSignalSpy states(&upload, &HttpUpload::stateChanged);
    QVERIFY(!upload.setUrl(QStringLiteral("http://127.0.0.1:%1/").arg(QString::fromLatin1(port))));
    QVERIFY(!upload.execute(QStringLiteral("POST"),
                            "noradID=48263&source=XR1%26Z&frame=B0 A4&longitude=%0A4",
                            QStringLiteral("Content-Type: application/x-www-form-urlencoded")));
    QTRY_VERIFY(!states.isEmpty() && states.last().at(0).toInt() >= int(HttpUpload::State::Error));
    QCOMPARE(upload.httpStatus(), 201);

    QTRY_VERIFY(sink.canReadLine());
    QCOMPARE(sink.readLine(),
             QByteArray("noradID=48263 | source=XR1&Z | frame=B0 A4 | longitude=\\x0a4\n"));
    sink.kill();
    sink.waitForFinished();
}

QTEST_GUILESS_MAIN(TestTelemetrySink)
#include "tst_TelemetrySink.moc"
