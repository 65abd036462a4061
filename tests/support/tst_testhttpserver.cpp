#include "testhttpserver.h"
#include "testmain.h"

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
    // "<status> <body>" of a finished reply, or the error for none.
    static QByteArray answer(QNetworkReply *reply)
    {
        const std::unique_ptr<QNetworkReply> owner(reply);
        if (!reply->isFinished())
            QSignalSpy(reply, &QNetworkReply::finished).wait(5000);
        const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        return status ? QByteArray::number(status) + ' ' + reply->readAll() : QByteArray("error");
    }

private Q_SLOTS:
    void parse_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<int>("used");
        QTest::addColumn<QByteArray>("body");

        const QByteArray get = "GET /a?x=1 HTTP/1.1\r\nHost: h\r\n\r\n";
        const QByteArray post = "POST / HTTP/1.1\r\ncontent-length: 5\r\n\r\nhello";
        const QByteArray chunked
            = "POST / HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\n3\r\nabc\r\na;x=y\r\n0123456789\r\n0\r\n\r\n";
        QTest::newRow("headers incomplete") << get.left(get.size() - 2) << 0 << QByteArray();
        QTest::newRow("pipelined: first only") << (get + get) << int(get.size()) << QByteArray();
        QTest::newRow("body, header case ignored") << (post + "GET") << int(post.size()) << QByteArray("hello");
        QTest::newRow("chunked") << chunked << int(chunked.size()) << QByteArray("abc0123456789");
        QTest::newRow("chunked incomplete") << chunked.chopped(2) << 0 << QByteArray();
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

    void serve()
    {
        TestHttpServer server;
        QVERIFY(server.listen());
        server.route("POST", QStringLiteral("/a"), [](const HttpRequest &r) {
            return HttpResponse::json(r.header("content-type") + ' ' + QByteArray::number(r.body.size()), 201);
        });
        server.route(QStringLiteral("/a"), [](const HttpRequest &r) { return HttpResponse::text(r.query.toUtf8()); });
        server.route(QStringLiteral("/drop"), [](const HttpRequest &) { return HttpResponse::dropped(); });
        QNetworkAccessManager network;
        QUrl withQuery = server.url(QStringLiteral("/a"));
        withQuery.setQuery(QStringLiteral("n=1"));
        QNetworkRequest post(server.url(QStringLiteral("/a")));
        post.setHeader(QNetworkRequest::ContentTypeHeader, QStringLiteral("text/x-big"));

        QCOMPARE(answer(network.get(QNetworkRequest(withQuery))), QByteArray("200 n=1"));
        // Larger than one read, so the body arrives in pieces.
        QCOMPARE(answer(network.post(post, QByteArray(300000, 'x'))), QByteArray("201 text/x-big 300000"));
        QCOMPARE(answer(network.get(QNetworkRequest(server.url(QStringLiteral("/b"))))), QByteArray("404 not found"));
        QCOMPARE(server.requests(QStringLiteral("/a")).size(), 2);
        QCOMPARE(server.connectionCount(), 1); // kept alive
        QCOMPARE(answer(network.get(QNetworkRequest(server.url(QStringLiteral("/drop"))))), QByteArray("error"));

        QTcpSocket raw;
        raw.connectToHost(QHostAddress::LocalHost, server.port());
        raw.write("nonsense\r\n\r\n");
        QTRY_COMPARE_WITH_TIMEOUT(raw.state(), QAbstractSocket::UnconnectedState, 5000);
        QVERIFY(raw.readAll().startsWith("HTTP/1.1 400 Bad Request\r\n"));
    }
};

LUMORA_TEST_MAIN(TestHttpServerTest)
#include "tst_testhttpserver.moc"
