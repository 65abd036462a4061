#include "storage/notetexts.h"
#include "storage/searchindex.h"

#include "testmain.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QSet>

namespace {

QString json(const QJsonValue &value)
{
    return QString::fromUtf8(value.isArray() ? QJsonDocument(value.toArray()).toJson(QJsonDocument::Compact)
                                             : QJsonDocument(value.toObject()).toJson(QJsonDocument::Compact));
}

QJsonObject text(const QString &insert, const QJsonObject &attributes = {})
{
    QJsonObject op { { QStringLiteral("insert"), insert } };
    if (!attributes.isEmpty())
        op.insert(QStringLiteral("attributes"), attributes);
    return op;
}

QJsonObject embed(const QString &key, const QJsonValue &value)
{
    return QJsonObject { { QStringLiteral("insert"), QJsonObject { { key, value } } } };
}

// A table embed as the editor writes it: its value is JSON text.
QJsonObject table(const QJsonArray &rows)
{
    return embed(QStringLiteral("table"),
        json(QJsonObject { { QStringLiteral("cells"), rows }, { QStringLiteral("hasHeader"), true } }));
}

// The words the FTS5 tokenizer would make of a text (letters and digits).
QSet<QString> words(const QString &text)
{
    static const QRegularExpression separators(QStringLiteral("[^\\p{L}\\p{N}]+"));
    const QStringList list = text.toLower().split(separators, Qt::SkipEmptyParts);
    return QSet<QString>(list.begin(), list.end());
}

} // namespace

class TestSearchIndex : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void searchTextIsWhatTheReaderSees_data();
    void searchTextIsWhatTheReaderSees();
    void quotedQuery_data();
    void quotedQuery();
};

void TestSearchIndex::searchTextIsWhatTheReaderSees_data()
{
    QTest::addColumn<QString>("body");
    QTest::addColumn<QString>("present");
    QTest::addColumn<QString>("absent");

    const QJsonObject bold { { QStringLiteral("bold"), true } };
    QTest::newRow("text inserts, attribute names absent")
        << json(QJsonArray { text(QStringLiteral("Weekly ")), text(QStringLiteral("plan"), bold),
               text(QStringLiteral("\n"), { { QStringLiteral("header"), 1 } }),
               text(QStringLiteral("milk\n"), { { QStringLiteral("list"), QStringLiteral("checked") } }) })
        << QStringLiteral("weekly plan milk") << QStringLiteral("insert attributes bold header list checked");
    QTest::newRow("formatting inside a word keeps it whole") << json(
        QJsonArray { text(QStringLiteral("data")), text(QStringLiteral("base"), bold), text(QStringLiteral("\n")) })
                                                             << QStringLiteral("database")
                                                             << QStringLiteral("data base");
    QTest::newRow("link text without its URL")
        << json(QJsonArray { text(QStringLiteral("Read the handbook"),
                                 { { QStringLiteral("link"), QStringLiteral("https://example.org/guide") } }),
               text(QStringLiteral("\n")) })
        << QStringLiteral("read handbook") << QStringLiteral("link https example org guide");
    QTest::newRow("plain-string table cells, not run together")
        << json(QJsonArray { text(QStringLiteral("Budget\n")),
               table(QJsonArray { QJsonArray { QStringLiteral("Quarter"), QStringLiteral("Revenue") },
                   QJsonArray { QStringLiteral("Q1"), QStringLiteral("1200") } }),
               text(QStringLiteral("\n")) })
        << QStringLiteral("budget quarter revenue q1 1200")
        << QStringLiteral("quarterrevenue revenueq1 cells hasheader table true");
    QTest::newRow("operation-array table cells") << json(
        QJsonArray { table(QJsonArray { QJsonArray { QJsonArray { text(QStringLiteral("Owner"), bold),
                                                         text(QStringLiteral("\n")), text(QStringLiteral("Alice")) },
                         QStringLiteral("Status") } }),
            text(QStringLiteral("\n")) }) << QStringLiteral("owner alice status")
                                                 << QStringLiteral("ownerAlice bold insert");
    QTest::newRow("attachment, image and divider embeds absent")
        << json(QJsonArray { text(QStringLiteral("Photos\n")),
               embed(QStringLiteral("lumora-notes-attachment"), QStringLiteral("lumora-notes://attachment/abc123")),
               embed(QStringLiteral("image"), QStringLiteral("https://cdn.example.com/cat.png")),
               embed(QStringLiteral("divider"), true), text(QStringLiteral("\n")) })
        << QStringLiteral("photos")
        << QStringLiteral("lumora notes attachment abc123 image https cdn example com cat png divider true");
    QTest::newRow("legacy plain text is its own text") << QStringLiteral("Old note\nwith {\"insert\": words}")
                                                       << QStringLiteral("old note with insert words") << QString();
    QTest::newRow("invalid JSON is its own text")
        << QStringLiteral("[{\"insert\":\"broken") << QStringLiteral("insert broken") << QString();
    QTest::newRow("empty body") << QString() << QString() << QStringLiteral("untitled");
    // Nesting deeper than the fast scanner follows makes it give up; the
    // general path must find the same visible text.
    const QString deep = QString(70, QLatin1Char('[')) + QString(70, QLatin1Char(']'));
    QTest::newRow("general path: deep attribute value")
        << QStringLiteral("[{\"insert\":\"Kiwi\\n\",\"attributes\":{\"x\":%1}},"
                          "{\"insert\":{\"table\":\"{\\\"cells\\\":[[\\\"Mango\\\"]]}\"}},{\"insert\":\"\\n\"}]")
               .arg(deep)
        << QStringLiteral("kiwi mango") << QStringLiteral("cells attributes insert table x");
    QTest::newRow("table value that is not JSON") << json(
        QJsonArray { text(QStringLiteral("Plum\n")), embed(QStringLiteral("table"), QStringLiteral("not json cells")) })
                                                  << QStringLiteral("plum") << QStringLiteral("json cells");
}

void TestSearchIndex::searchTextIsWhatTheReaderSees()
{
    QFETCH(QString, body);
    QFETCH(QString, present);
    QFETCH(QString, absent);
    const NoteBodyTexts texts = noteBodyTexts(body);
    const QSet<QString> indexed = words(texts.searchText);
    for (const QString &word : words(present))
        QVERIFY2(indexed.contains(word), qPrintable(word + QStringLiteral(" missing from: ") + texts.searchText));
    for (const QString &word : words(absent))
        QVERIFY2(!indexed.contains(word), qPrintable(word + QStringLiteral(" indexed in: ") + texts.searchText));

    // Table cells are searchable but never become a title or preview.
    const NoteListTexts list = noteListTexts(body);
    QCOMPARE(texts.list.title, list.title);
    QCOMPARE(texts.list.preview, list.preview);
    QCOMPARE(texts.list.untitled, list.untitled);
}

void TestSearchIndex::quotedQuery_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("query");

    // Only what the end-to-end search table cannot see: the exact terms.
    QTest::newRow("unbalanced quote is doubled")
        << QStringLiteral("say \"hel") << QStringLiteral("\"say\" \"\"\"hel\"*");
    QTest::newRow("trailing space: no prefix") << QStringLiteral("NEAR ( ") << QStringLiteral("\"NEAR\"");
    QTest::newRow("ends in a non-ASCII letter") << QStringLiteral("caf\u00e9") << QStringLiteral("\"caf\u00e9\"*");
    QTest::newRow("punctuation-only words left out") << QStringLiteral("a * - b") << QStringLiteral("\"a\" \"b\"*");
}

void TestSearchIndex::quotedQuery()
{
    QFETCH(QString, typed);
    QFETCH(QString, query);
    QCOMPARE(SearchIndex::quotedQuery(typed), query);
}

LUMORA_TEST_MAIN(TestSearchIndex)
#include "tst_searchindex.moc"
