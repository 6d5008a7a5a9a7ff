// Cutting requests out of what a connection delivered: whole, partial, and hostile input.
#include "upload/HttpRequestParser.h"

#include <QTest>

using Status = HttpParseResult::Status;
Q_DECLARE_METATYPE(HttpParseResult::Status)

class TestHttpRequestParser : public QObject
{
    Q_OBJECT
private slots:
    void parse_data();
    void parse();
};

void TestHttpRequestParser::parse_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<Status>("status");
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<qsizetype>("consumed");

    const QByteArray post = "POST /t HTTP/1.1\r\nHost: x\r\ncontent-length: 5\r\n\r\na=1&b";
    QTest::newRow("whole POST") << post << Status::Complete << QByteArray("a=1&b") << post.size();
    QTest::newRow("next request already behind it")
        << post + "GET / HTTP/1.1\r\n\r\n" << Status::Complete << QByteArray("a=1&b") << post.size();
    QTest::newRow("body still arriving") << post.chopped(2) << Status::Incomplete << QByteArray() << qsizetype(0);
    QTest::newRow("header still arriving") << QByteArray("POST /t HTTP/1.1\r\nHo") << Status::Incomplete
                                           << QByteArray() << qsizetype(0);
    QTest::newRow("no body") << QByteArray("GET / HTTP/1.0\r\n\r\n") << Status::Complete << QByteArray()
                             << qsizetype(18);
    QTest::newRow("bad request line") << QByteArray("POST /t\r\n\r\n") << Status::Malformed << QByteArray()
                                      << qsizetype(0);
    QTest::newRow("header line without colon")
        << QByteArray("POST /t HTTP/1.1\r\nHost x\r\n\r\n") << Status::Malformed << QByteArray() << qsizetype(0);
    QTest::newRow("negative length")
        << QByteArray("POST /t HTTP/1.1\r\nContent-Length: -4\r\n\r\n") << Status::Malformed << QByteArray()
        << qsizetype(0);
    QTest::newRow("length beyond the limit")
        << QByteArray("POST /t HTTP/1.1\r\nContent-Length: 99999999999\r\n\r\n") << Status::Malformed
        << QByteArray() << qsizetype(0);
    QTest::newRow("chunked body")
        << QByteArray("POST /t HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\n0\r\n\r\n") << Status::Malformed
        << QByteArray() << qsizetype(0);
    QTest::newRow("endless header") << QByteArray("POST /t HTTP/1.1\r\nX: ") + QByteArray(20000, 'a')
                                    << Status::Malformed << QByteArray() << qsizetype(0);
}

void TestHttpRequestParser::parse()
{
    QFETCH(QByteArray, bytes);
    QFETCH(Status, status);
    QFETCH(QByteArray, body);
    QFETCH(qsizetype, consumed);

    const HttpParseResult result = parseHttpRequest(bytes);
    QCOMPARE(result.status, status);
    QCOMPARE(result.request.body, body);
    QCOMPARE(result.consumed, consumed);
    QCOMPARE(result.error.isEmpty(), status != Status::Malformed);
}

QTEST_GUILESS_MAIN(TestHttpRequestParser)
#include "tst_HttpRequestParser.moc"
