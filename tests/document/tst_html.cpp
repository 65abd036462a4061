#include "document/html.h"

#include "documenttest.h"
#include "testmain.h"

#include <QTest>

using DocumentTest::compact;
using DocumentTest::js;

namespace {

QString page(const QByteArray &body)
{
    return QLatin1String("<html><body>\n") + QString::fromUtf8(body) + QLatin1String("</body></html>");
}

const QByteArray tableOpen = R"(<table border="1" cellpadding="6" cellspacing="0" style="border-collapse:collapse">)"
                             "\n";

} // namespace

class TestHtml : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void deltaToHtml_data();
    void deltaToHtml();
    void htmlToDelta_data();
    void htmlToDelta();
    void stripUnsafeHtml_data();
    void stripUnsafeHtml();
};

void TestHtml::deltaToHtml_data()
{
    QTest::addColumn<QString>("delta");
    QTest::addColumn<QString>("html");

    QTest::newRow("empty document") << js(R"([{"insert":"\n"}])") << page("<p></p>\n");
    QTest::newRow("not json") << QStringLiteral("{") << page("");
    QTest::newRow("line break inside a line") << js(R"([{"insert":"a\u2028b\n"}])") << page("<p>a<br>b</p>\n");
    QTest::newRow("escaping, tags innermost first")
        << js(R"([{"insert":"a&b<c>\"d\n"},{"insert":"x","attributes":{"bold":true,"italic":true,"underline":true,"strike":true,"code":true,"link":"https://a.b/?q=1&r=\"2\""}},{"insert":"\n"}])")
        << page(
               "<p>a&amp;b&lt;c&gt;&quot;d</p>\n"
               R"(<p><a href="https://a.b/?q=1&amp;r=&quot;2&quot;"><code><del><u><em><strong>x</strong></em></u></del></code></a></p>)"
               "\n");
    QTest::newRow("blocks") << js(
        R"([{"insert":"A"},{"insert":"\n","attributes":{"header":1}},{"insert":"F"},{"insert":"\n","attributes":{"header":6,"blockquote":true}},{"insert":"G"},{"insert":"\n","attributes":{"header":7}},{"insert":"q"},{"insert":"\n","attributes":{"blockquote":true,"code-block":true}},{"insert":"c"},{"insert":"\n","attributes":{"code-block":"js"}},{"insert":"done"},{"insert":"\n","attributes":{"list":"checked"}},{"insert":"tail"}])")
                            << page("<h1>A</h1>\n<h6>F</h6>\n<p>G</p>\n<blockquote>q</blockquote>\n<pre><code>c</"
                                    "code></pre>\n<p>done</p>\n<p>tail</p>\n");
    QTest::newRow("divider and embeds") << js(
        R"([{"insert":"a"},{"insert":{"lumora-notes-attachment":"lumora-notes://attachment/1"}},{"insert":{"image":"x.png"}},{"insert":"b"},{"insert":{"divider":true}},{"insert":"\nafter\n"}])")
                                        << page("<p>ab</p>\n<hr>\n<p></p>\n<p>after</p>\n");
    QTest::newRow("tables") << js(
        R"([{"insert":"t"},{"insert":{"table":"{'cells':[['H1','H2'],['a<b'],['','x']]}"}},{"insert":"\n"},{"insert":{"table":"{'hasHeader':false,'cells':[[[{'insert':'a\\nb','attributes':{'bold':true}},{'insert':'\\n'},{'insert':{'image':'x'}},{'insert':''},{'insert':'l','attributes':{'link':'u'}}],true]]}"}},{"insert":{"table":"nope"}},{"insert":{"table":"{'cells':[]}"}}])")
                            << page("<p>t</p>\n" + tableOpen
                                   + "  <tr><th>H1</th><th>H2</th></tr>\n  <tr><td>a&lt;b</td></tr>\n  "
                                     "<tr><td>&nbsp;</td><td>x</td></tr>\n</table>\n<p></p>\n"
                                   + tableOpen
                                   + "  <tr><td><strong>a<br>b</strong><br><a "
                                     "href=\"u\">l</a></td><td>&nbsp;</td></tr>\n</table>\n");
}

void TestHtml::deltaToHtml()
{
    QFETCH(QString, delta);
    QFETCH(QString, html);
    QCOMPARE(::deltaToHtml(delta), html);
}

void TestHtml::htmlToDelta_data()
{
    QTest::addColumn<QString>("html");
    QTest::addColumn<QString>("delta");

    QTest::newRow("whitespace") << QStringLiteral("  \n ") << compact(R"([{"insert":"\n"}])");
    QTest::newRow("page chrome removed") << QStringLiteral(
        "<html><head><style>p{color:red}</style></head><body><nav>Home</nav><p>Main</p></body></html>")
                                         << compact(R"([{"insert":"Main"},{"insert":"\n"}])");
    QTest::newRow("heading and lists")
        << QStringLiteral(
               "<h2>Sub</h2><ol><li>one</li></ol><ol type=\"a\"><li>a</li></ol><ol type=\"I\"><li>b</li></ol>"
               "<ul><li>c</li></ul><ul type=\"square\"><li>d</li></ul>")
        << compact(
               R"([{"insert":"Sub","attributes":{"bold":true}},{"insert":"\n","attributes":{"header":2}},{"insert":"one"},{"insert":"\n","attributes":{"list":"ordered"}},{"insert":"a"},{"insert":"\n","attributes":{"list":"ordered"}},{"insert":"b"},{"insert":"\n","attributes":{"list":"ordered"}},{"insert":"c"},{"insert":"\n","attributes":{"list":"bullet"}},{"insert":"d"},{"insert":"\n","attributes":{"list":"bullet"}}])");
    QTest::newRow("inline formats")
        << QStringLiteral(
               "<p><b>b</b><i>i</i><u>u</u><s>s</s><code>c</code><a href=\"https://x.y\"><u>l</u></a><a href=\"\">e</a>"
               "<span style=\"font-weight:600\">w&#65532;</span></p>")
        << compact(
               R"([{"insert":"b","attributes":{"bold":true}},{"insert":"i","attributes":{"italic":true}},{"insert":"u","attributes":{"underline":true}},{"insert":"s","attributes":{"strike":true}},{"insert":"c","attributes":{"code":true}},{"insert":"l","attributes":{"link":"https://x.y"}},{"insert":"e"},{"insert":"w"},{"insert":"\n"}])");
    // Qt marks the first character of an element with an id or a name as an
    // anchor without a target; that is no link, so its underline stays.
    QTest::newRow("underline next to anchors without target")
        << QStringLiteral("<h2 id=\"s\"><u>To</u></h2><p><a name=\"n\"><u>ab</u></a><a href=\"x\"><u>l</u></a></p>")
        << compact(
               R"([{"insert":"T","attributes":{"bold":true,"underline":true}},{"insert":"o","attributes":{"bold":true,"underline":true}},{"insert":"\n","attributes":{"header":2}},{"insert":"a","attributes":{"underline":true}},{"insert":"b","attributes":{"underline":true}},{"insert":"l","attributes":{"link":"x"}},{"insert":"\n"}])");
    QTest::newRow("code, alignment and quote")
        << QStringLiteral("<pre>a\nb</pre><p align=\"center\">c</p><blockquote><p>q</p></blockquote>")
        << compact(
               R"([{"insert":"a","attributes":{"code":true}},{"insert":"\n"},{"insert":"b","attributes":{"code":true}},{"insert":"\n"},{"insert":"c"},{"insert":"\n"},{"insert":"q"},{"insert":"\n"}])");
    QTest::newRow("images")
        << QStringLiteral(
               "<p><img src=\"lumora-notes://attachment/ab\"><img src=\"x.png\"><img src=\"x.png\"><img src=\"\">t</p>")
        << compact(
               R"([{"insert":{"lumora-notes-attachment":"lumora-notes://attachment/ab"}},{"insert":{"image":"x.png"}},{"insert":{"image":"x.png"}},{"insert":"t"},{"insert":"\n"}])");
    // Qt leaves an empty paragraph after a table that a paragraph follows.
    QTest::newRow("table without header cells")
        << QStringLiteral("<p>x</p><table><tr><td>a</td><td><i>b</i></td></tr><tr><td>c</td></tr></table><p>y</p>")
        << compact(
               R"([{"insert":"x"},{"insert":"\n"},{"insert":{"table":"{'cells':[[[{'insert':'a'}],[{'attributes':{'italic':true},'insert':'b'}]],[[{'insert':'c'}],[]]],'hasHeader':true}"}},{"insert":"\n"},{"insert":"\n"},{"insert":"y"},{"insert":"\n"}])");
}

void TestHtml::htmlToDelta()
{
    QFETCH(QString, html);
    QFETCH(QString, delta);
    QCOMPARE(compact(::htmlToDelta(html)), delta);
}

void TestHtml::stripUnsafeHtml_data()
{
    QTest::addColumn<QString>("html");
    QTest::addColumn<QString>("cleaned");

    QTest::newRow("every removed element")
        << QStringLiteral("<script>1</script><style>2</style><nav>3</nav><header>4</header><footer>5</footer>"
                          "<aside>6</aside><iframe src=\"x\">7</iframe><noscript>8</noscript><main>kept</main>")
        << QStringLiteral("<main>kept</main>");
    QTest::newRow("case, newlines, shortest match")
        << QStringLiteral("a<SCRIPT type=\"x\">\nif (a > b)\n</Script>b<style>c</style>d<style>e</style>")
        << QStringLiteral("abd");
    // An opening tag without end tag goes alone, so its text stays.
    QTest::newRow("unmatched tags") << QStringLiteral("<nav>a</aside><script>x<p>y</p>")
                                    << QStringLiteral("ax<p>y</p>");
    QTest::newRow("unpaired surrogate does not stop cleaning") << QString(
        QStringLiteral("<script>x</script>a") + QChar(0xD800)) << QString(QStringLiteral("a") + QChar(0xD800));
    QTest::newRow("near-miss end tag is content")
        << QStringLiteral("<script>a</scripts>b</script>c") << QStringLiteral("c");
    QTest::newRow("handlers and script URLs, quoting kept")
        << QStringLiteral("<a href='ok' onclick=\"x()\" title=\"a > b\"><img src=x onerror=y/></a>"
                          "<a href=\"&#x6A;ava&#9;script&colon;z\">l</a><a HREF=JAVASCRIPT:z>m</a>")
        << QStringLiteral("<a href='ok' title=\"a &gt; b\"><img src=x></a><a>l</a><a>m</a>");
    QTest::newRow("comments and declarations go")
        << QStringLiteral("<!DOCTYPE html><!-- <script>x</script> --><?xml a?>t<![CDATA[<b>]]>")
        << QStringLiteral("t]]>");
    QTest::newRow("malformed attribute names go with the handlers")
        << QStringLiteral("<p a\"b c=1 onclick=x //=\"y\" <d>t</p>") << QStringLiteral("<p c=1>t</p>");
    QTest::newRow("abruptly closed comments hide nothing")
        << QStringLiteral("<!-->a<!--->b<!-- c -->") << QStringLiteral("ab");
    QTest::newRow("stray less-than and open tag at the end")
        << QStringLiteral("1 < 2 <3 </ <p class=\"x>y") << QStringLiteral("1 &lt; 2 &lt;3 &lt;/ &lt;p class=\"x>y");
}

void TestHtml::stripUnsafeHtml()
{
    QFETCH(QString, html);
    QFETCH(QString, cleaned);
    QCOMPARE(::stripUnsafeHtml(html), cleaned);
}

LUMORA_TEST_MAIN(TestHtml)

#include "tst_html.moc"
