#include "testhttpserver.h"
#include "testmain.h"

#include <QHttpMultiPart>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QSignalSpy>
#include <QTcpSocket>

#include <memory>

using namespace LumoraTest;

class TestHttpServerTest : public QObject
{
    Q_OBJECT

private:
    // Waits for the reply and returns it; the caller owns it.
    QNetworkReply *finish(QNetworkReply *reply)
    {
        if (!reply->isFinished()) {
            QSignalSpy spy(reply, &QNetworkReply::finished);
            spy.wait(5000);
        }
        return reply;
    }

private Q_SLOTS:
    void parse_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<int>("used");
        QTest::addColumn<QByteArray>("body");

        const QByteArray get = "GET /a?x=1 HTTP/1.1\r\nHost: h\r\n\r\n";
        QTest::newRow("headers incomplete") << QByteArray("GET / HTTP/1.1\r\nHost: h\r\n") << 0 << QByteArray();
        QTest::newRow("pipelined: first only") << (get + get) << int(get.size()) << QByteArray();
        const QByteArray post = "POST / HTTP/1.1\r\ncontent-length: 5\r\n\r\nhello";
        QTest::newRow("body, header case ignored") << (post + "GET") << int(post.size()) << QByteArray("hello");
        const QByteArray chunked
            = "POST / HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\n3\r\nabc\r\na;x=y\r\n0123456789\r\n0\r\n\r\n";
        QTest::newRow("chunked") << chunked << int(chunked.size()) << QByteArray("abc0123456789");
        QTest::newRow("chunked incomplete") << chunked.left(chunked.size() - 2) << 0 << QByteArray();
        QTest::newRow("not http") << QByteArray("hello there\r\n\r\n") << -1 << QByteArray();
    }

    void parse()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(int, used);
        QFETCH(QByteArray, body);
        HttpRequest request;
        QCOMPARE(parseHttpRequest(bytes, request), qsizetype(used));
        if (used > 0)
            QCOMPARE(request.body, body);
    }

    void keepAliveAndQuery()
    {
        TestHttpServer server;
        QVERIFY(server.listen());
        server.route(QStringLiteral("/a"), [](const HttpRequest &r) { return HttpResponse::text(r.query.toUtf8()); });
        QNetworkAccessManager network;
        QUrl first = server.url(QStringLiteral("/a"));
        first.setQuery(QStringLiteral("n=1"));
        std::unique_ptr<QNetworkReply> one(finish(network.get(QNetworkRequest(first))));
        QCOMPARE(one->readAll(), QByteArray("n=1"));
        std::unique_ptr<QNetworkReply> two(finish(network.get(QNetworkRequest(server.url(QStringLiteral("/a"))))));
        QCOMPARE(two->error(), QNetworkReply::NoError);
        std::unique_ptr<QNetworkReply> missing(finish(network.get(QNetworkRequest(server.url(QStringLiteral("/b"))))));
        QCOMPARE(missing->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt(), 404);

        QCOMPARE(server.requests().size(), 3);
        QCOMPARE(server.connectionCount(), 1);
        QCOMPARE(server.requests(QStringLiteral("/a")).size(), 2);
    }

    void postBodies()
    {
        TestHttpServer server;
        QVERIFY(server.listen());
        server.route("POST", QStringLiteral("/up"), [](const HttpRequest &r) {
            return HttpResponse::json("{\"got\":" + QByteArray::number(r.body.size()) + '}', 201);
        });
        QNetworkAccessManager network;
        QNetworkRequest request(server.url(QStringLiteral("/up")));
        request.setHeader(QNetworkRequest::ContentTypeHeader, QStringLiteral("application/json"));
        std::unique_ptr<QNetworkReply> json(finish(network.post(request, QByteArray("{\"a\":1}"))));
        QCOMPARE(json->readAll(), QByteArray("{\"got\":7}"));

        auto *multi = new QHttpMultiPart(QHttpMultiPart::FormDataType);
        QHttpPart part;
        part.setHeader(QNetworkRequest::ContentDispositionHeader, QStringLiteral("form-data; name=\"file\""));
        part.setBody(QByteArray(100000, 'x'));
        multi->append(part);
        std::unique_ptr<QNetworkReply> upload(
            finish(network.post(QNetworkRequest(server.url(QStringLiteral("/up"))), multi)));
        multi->setParent(upload.get());
        QCOMPARE(upload->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt(), 201);

        const QList<HttpRequest> received = server.requests();
        QCOMPARE(received.size(), 2);
        QCOMPARE(received.at(0).method, QByteArray("POST"));
        QCOMPARE(received.at(0).body, QByteArray("{\"a\":1}"));
        QCOMPARE(received.at(0).header("content-type"), QByteArray("application/json"));
        QVERIFY(received.at(1).header("Content-Type").startsWith("multipart/form-data"));
        QVERIFY(received.at(1).body.contains(QByteArray(100000, 'x')));
    }

    void rawChunkedAndGarbage()
    {
        TestHttpServer server;
        QVERIFY(server.listen());
        server.route(QStringLiteral("/c"), [](const HttpRequest &r) { return HttpResponse::text(r.body); });
        QTcpSocket socket;
        socket.connectToHost(QHostAddress::LocalHost, server.port());
        QVERIFY(socket.waitForConnected(2000));
        socket.write("POST /c HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\n2\r\nok\r\n0\r\n\r\nnonsense\r\n\r\n");
        QByteArray answer;
        QTRY_VERIFY_WITH_TIMEOUT((answer += socket.readAll()).contains("400 Bad Request"), 5000);
        QVERIFY(answer.startsWith("HTTP/1.1 200 OK\r\n"));
        QVERIFY(answer.contains("Content-Length: 2\r\n\r\nok"));
        QTRY_COMPARE_WITH_TIMEOUT(socket.state(), QAbstractSocket::UnconnectedState, 5000);
    }
};

LUMORA_TEST_MAIN(TestHttpServerTest)
#include "tst_testhttpserver.moc"
