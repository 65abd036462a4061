#include "document/delta.h"
#include "document/textformats.h"
#include "ui/editordialogs.h"
#include "ui/noteeditor.h"
#include "testmain.h"

#include <QAbstractTextDocumentLayout>
#include <QAction>
#include <QClipboard>
#include <QMainWindow>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QMimeData>
#include <QSignalSpy>
#include <QTest>
#include <QTestEventList>
#include <QTextBlock>
#include <QTextTable>
#include <QTimer>

#include <functional>
#include <memory>

using EditorAction = std::function<void(NoteEditor *)>;
Q_DECLARE_METATYPE(EditorAction)

namespace {

QString js(const char *utf8)
{
    // Single quotes stand for the escaped quotes inside table embeds.
    return QString::fromUtf8(utf8).replace(QLatin1Char('\''), QLatin1String("\\\""));
}

void select(NoteEditor *editor, int anchor, int position)
{
    QTextCursor cursor = editor->textCursor();
    cursor.setPosition(anchor);
    cursor.setPosition(position, QTextCursor::KeepAnchor);
    editor->setTextCursor(cursor);
}

QTimer *saveTimer(NoteEditor *editor)
{
    return editor->findChild<QTimer *>(QStringLiteral("saveTimer"), Qt::FindDirectChildrenOnly);
}

EditorAction keys(std::initializer_list<std::pair<Qt::Key, Qt::KeyboardModifiers>> list, const QString &text = {})
{
    QTestEventList events;
    for (const auto &[key, modifiers] : list)
        events.addKeyClick(key, modifiers);
    events.addKeyClicks(text);
    return [events](NoteEditor *editor) mutable { events.simulate(editor); };
}

// The count the status bar must show, found the slow way.
int fullWordCount(const NoteEditor *editor)
{
    static const QRegularExpression space(QStringLiteral("\\s+"), QRegularExpression::UseUnicodePropertiesOption);
    return int(editor->document()->toPlainText().split(space, Qt::SkipEmptyParts).size());
}

EditorAction text(const char *typed)
{
    return keys({}, QString::fromUtf8(typed));
}

EditorAction enter(int times = 1)
{
    return [times](NoteEditor *editor) {
        for (int i = 0; i < times; ++i)
            QTest::keyClick(editor, Qt::Key_Return);
    };
}

EditorAction ctrl(Qt::Key key, Qt::KeyboardModifiers more = Qt::NoModifier)
{
    return keys({ { key, Qt::ControlModifier | more } });
}

EditorAction steps(std::initializer_list<EditorAction> list)
{
    return [actions = QList<EditorAction>(list)](NoteEditor *editor) {
        for (const EditorAction &action : actions)
            action(editor);
    };
}

// Edits the table around the first cell holding cellText.
EditorAction tableEdit(NoteEditor::TableEdit edit, const char *cellText)
{
    return [=](NoteEditor *e) {
        QTextCursor cell(e->document());
        cell.setPosition(e->document()->find(QString::fromLatin1(cellText)).position());
        QVERIFY(cell.currentTable());
        e->editTable(edit, cell);
    };
}

// The lines of a stored body: text, embeds as [key], a heading as #text,
// a list item as -text; "|" between lines.
QString deltaLineTexts(const QString &json)
{
    QStringList lines;
    for (const DeltaLine &line : deltaLines(parseDeltaOps(json))) {
        QString out;
        if (line.blockAttributes.contains(QLatin1String("header")))
            out += QLatin1Char('#');
        if (line.blockAttributes.contains(QLatin1String("list")))
            out += QLatin1Char('-');
        for (const DeltaPiece &piece : line.pieces)
            out += piece.isEmbed ? QStringLiteral("[%1]").arg(deltaEmbedKey(piece.embed)) : piece.text;
        lines.append(out);
    }
    return lines.join(QLatin1Char('|'));
}

} // namespace

class TestNoteEditor : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();

    void saveDebounce();
    void changedSinceBaseline_data();
    void changedSinceBaseline();
    void acceptedSaveIsTheBaseline();
    void failedSave_data();
    void failedSave();
    void loading_data();
    void loading();
    void edits_data();
    void edits();
    void tableTabbing();
    void formatState();
    void dialogDefaults();
    void checklistTicks_data();
    void checklistTicks();
    void wordKeysBeatWindowShortcuts_data();
    void wordKeysBeatWindowShortcuts();
    void wordCountFollowsRandomEdits();
    void typedThenReopened_data();
    void typedThenReopened();

private:
    std::unique_ptr<NoteEditor> m_editor;
};

void TestNoteEditor::init()
{
    m_editor = std::make_unique<NoteEditor>();
    m_editor->resize(640, 480);
    m_editor->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_editor.get()));
}

void TestNoteEditor::cleanup()
{
    m_editor.reset();
}

void TestNoteEditor::saveDebounce()
{
    m_editor->loadNote(QStringLiteral("n1"), js(R"([{"insert":"one"},{"insert":"\n"}])"));
    QSignalSpy modified(m_editor.get(), &NoteEditor::noteModified);
    QSignalSpy saved(m_editor.get(), &NoteEditor::savedStateChanged);
    QSignalSpy words(m_editor.get(), &NoteEditor::wordCountChanged);

    m_editor->moveCursor(QTextCursor::End);
    QTest::keyClicks(m_editor.get(), QStringLiteral(" two"));
    QCOMPARE(saved.count(), 1);
    QCOMPARE(saved.at(0).at(0).toBool(), false);
    QCOMPARE(words.last().at(0).toInt(), 2);
    QCOMPARE(modified.count(), 0);
    QVERIFY(modified.wait(3000));
    QCOMPARE(saved.count(), 2);
    QCOMPARE(saved.last().at(0).toBool(), true);
    QVERIFY(m_editor->isSaved());
    QCOMPARE(m_editor->currentJson(), js(R"([{"insert":"one two"},{"insert":"\n"}])"));
    QTest::qWait(1300);
    QCOMPARE(modified.count(), 1); // one round per burst of edits
    // Typing without a pause still saves now and then.
    for (int i = 0; i < 15; ++i) {
        QTest::keyClick(m_editor.get(), Qt::Key_A);
        QTest::qWait(200);
    }
    QVERIFY2(modified.count() >= 3, qPrintable(QString::number(modified.count())));
}

void TestNoteEditor::changedSinceBaseline_data()
{
    QTest::addColumn<QString>("body");
    QTest::addColumn<QString>("edit"); // "", "typed", "undone", "settled, undone"
    // Bodies written elsewhere, which the editor would save differently.
    const QList<std::pair<const char *, QString>> bodies {
        { "heading without bold", js(R"([{"insert":"Title"},{"attributes":{"header":1},"insert":"\n"},{"insert":"x"},{"insert":"\n"}])") },
        { "divider with a value", js(R"([{"insert":"a\n"},{"insert":{"divider":true}},{"insert":"\nb\n"}])") },
        { "unknown embed", js(R"([{"insert":"see "},{"insert":{"video":"https://v"}},{"insert":" here\n"}])") },
        { "legacy plain text", QStringLiteral("first line\nsecond line") },
        { "pretty-printed", QStringLiteral("[\n  { \"insert\": \"Hi\" },\n  { \"insert\": \"\\n\", \"attributes\": { \"list\": \"checked\" } }\n]\n") },
        { "empty", QString() },
    };
    for (const auto &[name, body] : bodies) {
        for (const char *edit : { "", "typed", "undone", "settled, undone" })
            QTest::addRow("%s, %s", name, *edit ? edit : "shown") << body << QString::fromLatin1(edit);
    }
}

void TestNoteEditor::changedSinceBaseline()
{
    QFETCH(QString, body);
    QFETCH(QString, edit);
    m_editor->loadNote(QStringLiteral("n"), body);
    if (edit.startsWith(QLatin1String("settled")))
        QTest::qWait(700); // long enough for the baseline to come from the shown note
    if (!edit.isEmpty()) {
        select(m_editor.get(), 0, 0);
        QTest::keyClick(m_editor.get(), Qt::Key_Q);
        if (edit.endsWith(QLatin1String("undone")))
            m_editor->undo();
    }
    const std::optional<QString> changed = m_editor->changedJson();
    if (edit == QLatin1String("typed")) {
        QVERIFY(changed.has_value());
        QCOMPARE(*changed, m_editor->currentJson());
        QVERIFY(changed->contains(QLatin1Char('q')));
    } else {
        QVERIFY2(!changed, qPrintable(changed.value_or(QString())));
    }
    if (edit.isEmpty()) {
        QVERIFY(!saveTimer(m_editor.get())->isActive());
        QVERIFY(m_editor->isSaved());
    }
}

void TestNoteEditor::acceptedSaveIsTheBaseline()
{
    m_editor->loadNote(QStringLiteral("n"), QStringLiteral("legacy text"));
    m_editor->moveCursor(QTextCursor::End);
    QTest::keyClicks(m_editor.get(), QStringLiteral("!"));
    QSignalSpy saved(m_editor.get(), &NoteEditor::savedStateChanged);
    const std::optional<QString> json = m_editor->changedJson();
    QVERIFY(json);
    m_editor->acceptSaved(*json);
    QVERIFY(!m_editor->changedJson());
    // Saved outside a timer round: the editor is saved at once.
    QVERIFY(m_editor->isSaved());
    QCOMPARE(saved.count(), 1);
    QVERIFY(!saveTimer(m_editor.get())->isActive());

    // The stored body echoing back keeps the cursor where it is.
    const int cursor = m_editor->textCursor().position();
    m_editor->loadNote(QStringLiteral("n"), *json);
    QCOMPARE(m_editor->textCursor().position(), cursor);

    // Undoing back to the original text is now a change against the save.
    m_editor->undo();
    QVERIFY(m_editor->changedJson());
    m_editor->redo();
    QVERIFY(!m_editor->changedJson());

    // An edit after the Delta was taken is not covered by its save.
    QTest::keyClicks(m_editor.get(), QStringLiteral("a"));
    const std::optional<QString> first = m_editor->changedJson();
    QVERIFY(first);
    QTest::keyClicks(m_editor.get(), QStringLiteral("b"));
    m_editor->acceptSaved(*first);
    QVERIFY(!m_editor->isSaved());
    QVERIFY(m_editor->changedJson());
}

void TestNoteEditor::failedSave_data()
{
    QTest::addColumn<bool>("inRound"); // the holder reports from its noteModified handler
    QTest::newRow("inside the save round") << true;
    QTest::newRow("after the save round") << false;
}

void TestNoteEditor::failedSave()
{
    QFETCH(bool, inRound);
    m_editor->loadNote(QStringLiteral("n"), js(R"([{"insert":"one"},{"insert":"\n"}])"));
    bool fail = true;
    QStringList stored;
    connect(m_editor.get(), &NoteEditor::noteModified, this, [&] {
        const std::optional<QString> json = m_editor->changedJson();
        if (!json)
            return;
        if (!fail) {
            stored.append(*json);
            m_editor->acceptSaved(*json);
        } else if (inRound) {
            m_editor->markSaveFailed();
        }
    });
    QSignalSpy modified(m_editor.get(), &NoteEditor::noteModified);
    QSignalSpy saved(m_editor.get(), &NoteEditor::savedStateChanged);
    QSignalSpy failed(m_editor.get(), &NoteEditor::saveFailed);
    QTest::keyClicks(m_editor.get(), QStringLiteral("x"));
    QVERIFY(modified.wait(3000));
    if (!inRound)
        m_editor->markSaveFailed();
    QCOMPARE(failed.count(), 1);
    QVERIFY(!m_editor->isSaved());
    QCOMPARE(saved.last().at(0).toBool(), false);
    if (inRound)
        QCOMPARE(saved.count(), 1); // never reported saved in between

    fail = false;
    QVERIFY(modified.wait(5000));
    QCOMPARE(modified.count(), 2);
    QCOMPARE(stored, QStringList { js(R"([{"insert":"xone"},{"insert":"\n"}])") });
    QVERIFY(m_editor->isSaved());
    QCOMPARE(saved.last().at(0).toBool(), true);
    QCOMPARE(failed.count(), 1);
}

void TestNoteEditor::loading_data()
{
    QTest::addColumn<QString>("shown"); // "": a new editor; "abc": note n1 with the cursor at 2; "abZc": "Z" typed there
    QTest::addColumn<QString>("id"); // null: clearNote()
    QTest::addColumn<QString>("body");
    QTest::addColumn<bool>("force");
    QTest::addColumn<QString>("json");
    QTest::addColumn<int>("words"); // -1: the shown note is kept
    const QString abc = js(R"([{"insert":"abc"},{"insert":"\n"}])");
    const QString abd = js(R"([{"insert":"abd"},{"insert":"\n"}])");
    const QString abZc = js(R"([{"insert":"abZc"},{"insert":"\n"}])");
    const QString abc3 = js(R"([{"insert":"a b c"},{"insert":"\n"}])");
    QTest::newRow("delta") << "" << "n2" << js(R"([{"insert":"Hi there"},{"attributes":{"header":1},"insert":"\n"}])") << false
                           << js(R"([{"attributes":{"bold":true},"insert":"Hi there"},{"attributes":{"header":1},"insert":"\n"}])") << 2;
    QTest::newRow("plain text, runs of white space") << "" << "n2" << QStringLiteral(" old\tplain\nbody  text ") << false
        << js(R"([{"insert":" old\tplain"},{"insert":"\n"},{"insert":"body  text "},{"insert":"\n"}])") << 4;
    QTest::newRow("empty") << "" << "n2" << QString() << false << js(R"([{"insert":"\n"}])") << 0;
    QTest::newRow("echo of the saved body") << "abc" << "n1" << abc << false << abc << -1;
    QTest::newRow("forced") << "abc" << "n1" << abc << true << abc << 1;
    QTest::newRow("other body") << "abc" << "n1" << abd << false << abd << 1;
    QTest::newRow("same body over an edit") << "abZc" << "n1" << abZc << false << abZc << 1;
    QTest::newRow("load over an edit") << "abZc" << "n2" << abc3 << false << abc3 << 3;
    QTest::newRow("clear over an edit") << "abZc" << QString() << QString() << false << QString() << 0;
}

void TestNoteEditor::loading()
{
    QFETCH(QString, shown);
    QFETCH(QString, id);
    QFETCH(QString, body);
    QFETCH(bool, force);
    QFETCH(QString, json);
    QFETCH(int, words);
    const bool clear = id.isNull();
    const bool reloads = words >= 0;
    QTimer *timer = saveTimer(m_editor.get());
    QVERIFY(timer);
    if (!shown.isEmpty()) {
        m_editor->loadNote(QStringLiteral("n1"), js(R"([{"insert":"abc"},{"insert":"\n"}])"));
        select(m_editor.get(), 2, 2);
        if (shown == QLatin1String("abZc")) {
            QTest::keyClick(m_editor.get(), Qt::Key_Z);
            QVERIFY(timer->isActive());
            select(m_editor.get(), 2, 2);
        }
    }
    const int wordsBefore = m_editor->wordCount();
    QSignalSpy modified(m_editor.get(), &NoteEditor::noteModified);
    QSignalSpy saved(m_editor.get(), &NoteEditor::savedStateChanged);
    QSignalSpy count(m_editor.get(), &NoteEditor::wordCountChanged);
    if (clear)
        m_editor->clearNote();
    else
        m_editor->loadNote(id, body, force);

    QCOMPARE(saved.count(), reloads ? 1 : 0);
    QCOMPARE(m_editor->isReadOnly(), clear);
    QCOMPARE(m_editor->placeholderText(),
             clear ? QStringLiteral("Select a note or press Ctrl+N to create one") : QStringLiteral("Start typing..."));
    QVERIFY(!timer->isActive());
    if (!clear) {
        QCOMPARE(m_editor->noteId(), id);
        QCOMPARE(m_editor->currentJson(), json);
        QCOMPARE(m_editor->textCursor().position(), reloads ? 0 : 2);
    }
    if (reloads) {
        QCOMPARE(saved.at(0).at(0).toBool(), true);
        QCOMPARE(m_editor->wordCount(), words);
        QVERIFY2(count.count() == 1 || (count.isEmpty() && !shown.isEmpty()), "one word count per load");
        QCOMPARE(count.isEmpty() ? wordsBefore : count.at(0).at(0).toInt(), words);
    }
    if (shown == QLatin1String("abZc")) {
        QTest::qWait(1300);
        QCOMPARE(modified.count(), 0);
    }
}

void TestNoteEditor::edits_data()
{
    QTest::addColumn<QString>("body");
    QTest::addColumn<int>("anchor");
    QTest::addColumn<int>("position");
    QTest::addColumn<EditorAction>("action");
    QTest::addColumn<QString>("expected");
    QTest::addColumn<int>("cursor"); // -1: not checked, the format state must follow instead

    const QString plain = js(R"([{"insert":"hello world"},{"insert":"\n"},{"insert":"second"},{"insert":"\n"}])");
    QTest::newRow("bold") << plain << 0 << 5 << EditorAction(&NoteEditor::toggleBold)
        << js(R"([{"attributes":{"bold":true},"insert":"hello"},{"insert":" world"},{"insert":"\n"},{"insert":"second"},{"insert":"\n"}])") << -1;
    QTest::newRow("bold off, first char decides") << js(R"([{"attributes":{"bold":true},"insert":"ab"},{"insert":"cd"},{"insert":"\n"}])") << 1 << 3 << EditorAction(&NoteEditor::toggleBold)
        << js(R"([{"attributes":{"bold":true},"insert":"a"},{"insert":"bcd"},{"insert":"\n"}])") << -1;
    QTest::newRow("inline code off") << js(R"([{"insert":"x"},{"attributes":{"code":true},"insert":"code"},{"insert":"\n"}])") << 1 << 5 << EditorAction(&NoteEditor::toggleInlineCode)
        << js(R"([{"insert":"xcode"},{"insert":"\n"}])") << -1;
    QTest::newRow("heading on both touched lines") << plain << 3 << 13 << EditorAction([](NoteEditor *e) { e->setHeading(2); })
        << js(R"([{"attributes":{"bold":true},"insert":"hello world"},{"attributes":{"header":2},"insert":"\n"},{"attributes":{"bold":true},"insert":"second"},{"attributes":{"header":2},"insert":"\n"}])") << -1;
    QTest::newRow("heading replaces a quote") << js(R"([{"insert":"q"},{"attributes":{"blockquote":true},"insert":"\n"}])") << 0 << 0 << EditorAction([](NoteEditor *e) { e->setHeading(3); })
        << js(R"([{"insert":"q"},{"attributes":{"header":3},"insert":"\n"}])") << -1;
    QTest::newRow("heading back to normal drops runs") << js(R"([{"attributes":{"italic":true},"insert":"Big"},{"insert":" title"},{"attributes":{"header":1},"insert":"\n"}])") << 2 << 2 << EditorAction([](NoteEditor *e) { e->setHeading(0); })
        << js(R"([{"insert":"Big title"},{"insert":"\n"}])") << -1;
    QTest::newRow("bullet list on two lines") << plain << 0 << 14 << EditorAction([](NoteEditor *e) { e->toggleList(QStringLiteral("bullet")); })
        << js(R"([{"insert":"hello world"},{"attributes":{"list":"bullet"},"insert":"\n"},{"insert":"second"},{"attributes":{"list":"bullet"},"insert":"\n"}])") << -1;
    QTest::newRow("list off, first block decides") << js(R"([{"insert":"a"},{"attributes":{"list":"ordered"},"insert":"\n"},{"insert":"b"},{"attributes":{"list":"ordered"},"insert":"\n"}])") << 0 << 2 << EditorAction([](NoteEditor *e) { e->toggleList(QStringLiteral("ordered")); })
        << js(R"([{"insert":"a"},{"insert":"\n"},{"insert":"b"},{"insert":"\n"}])") << -1;
    QTest::newRow("bullets become a checklist") << js(R"([{"insert":"a"},{"attributes":{"list":"bullet"},"insert":"\n"}])") << 0 << 0 << EditorAction([](NoteEditor *e) { e->toggleList(QStringLiteral("unchecked")); })
        << js(R"([{"insert":"a"},{"attributes":{"list":"unchecked"},"insert":"\n"}])") << -1;
    QTest::newRow("quote on") << plain << 0 << 0 << EditorAction(&NoteEditor::toggleBlockquote)
        << js(R"([{"insert":"hello world"},{"attributes":{"blockquote":true},"insert":"\n"},{"insert":"second"},{"insert":"\n"}])") << -1;
    QTest::newRow("quote off") << js(R"([{"insert":"q"},{"attributes":{"blockquote":true},"insert":"\n"}])") << 0 << 0 << EditorAction(&NoteEditor::toggleBlockquote)
        << js(R"([{"insert":"q"},{"insert":"\n"}])") << -1;
    QTest::newRow("code block replaces heading") << js(R"([{"insert":"x = 1"},{"attributes":{"header":1},"insert":"\n"}])") << 0 << 0 << EditorAction(&NoteEditor::toggleCodeBlock)
        << js(R"([{"attributes":{"code":true},"insert":"x = 1"},{"attributes":{"code-block":true},"insert":"\n"}])") << -1;
    QTest::newRow("code block with a language off") << js(R"([{"insert":"x"},{"attributes":{"code-block":"python"},"insert":"\n"}])") << 0 << 0 << EditorAction(&NoteEditor::toggleCodeBlock)
        << js(R"([{"insert":"x"},{"insert":"\n"}])") << -1;
    QTest::newRow("align center") << plain << 0 << 0 << EditorAction([](NoteEditor *e) { e->setAlignment(Qt::AlignHCenter); })
        << js(R"([{"insert":"hello world"},{"attributes":{"align":"center"},"insert":"\n"},{"insert":"second"},{"insert":"\n"}])") << -1;
    QTest::newRow("divider") << plain << 2 << 2 << EditorAction(&NoteEditor::insertDivider)
        << js(R"([{"insert":"hello world"},{"insert":"\n"},{"insert":{"divider":"hr"}},{"insert":"\n"},{"insert":"\n"},{"insert":"second"},{"insert":"\n"}])") << -1;
    QTest::newRow("table after text") << js(R"([{"insert":"x"},{"insert":"\n"}])") << 1 << 1 << EditorAction([](NoteEditor *e) { e->insertTable(1, 2, true); })
        << js(R"([{"insert":"x"},{"insert":"\n"},{"insert":"\n"},{"insert":{"table":"{'cells':[[[],[]]],'hasHeader':true}"}},{"insert":"\n"}])") << -1;
    QTest::newRow("no table in a table") << js(R"([{"insert":{"table":"{'cells':[['a']]}"}},{"insert":"\n"}])") << 2 << 2 << EditorAction([](NoteEditor *e) { e->insertTable(2, 2, false); })
        << js(R"([{"insert":{"table":"{'cells':[[[{'attributes':{'bold':true},'insert':'a'}]]],'hasHeader':true}"}},{"insert":"\n"}])") << -1;
    QTest::newRow("no empty table") << plain << 0 << 0 << EditorAction([](NoteEditor *e) { e->insertTable(0, 3, false); }) << plain << -1;
    QTest::newRow("link with new text replaces the selection") << plain << 0 << 5 << EditorAction([](NoteEditor *e) { e->applyLink(QStringLiteral("hi"), QStringLiteral("https://a.b")); })
        << js(R"([{"attributes":{"link":"https://a.b"},"insert":"hi"},{"insert":" world"},{"insert":"\n"},{"insert":"second"},{"insert":"\n"}])") << -1;
    QTest::newRow("link without text shows the URL") << plain << 11 << 11 << EditorAction([](NoteEditor *e) { e->applyLink(QString(), QStringLiteral("https://a.b")); })
        << js(R"([{"insert":"hello world"},{"attributes":{"link":"https://a.b"},"insert":"https://a.b"},{"insert":"\n"},{"insert":"second"},{"insert":"\n"}])") << -1;
    const QString linked = js(R"([{"insert":"see "},{"attributes":{"bold":true,"link":"https://x.y"},"insert":"this"},{"attributes":{"link":"https://x.y"},"insert":" page"},{"insert":" now"},{"insert":"\n"}])");
    QTest::newRow("remove link keeps other formatting") << linked << 5 << 5 << EditorAction([](NoteEditor *e) { e->removeLink(e->linkAt(e->textCursor().position())); })
        << js(R"([{"insert":"see "},{"attributes":{"bold":true},"insert":"this"},{"insert":" page now"},{"insert":"\n"}])") << -1;
    QTest::newRow("edit link target") << linked << 9 << 9 << EditorAction([](NoteEditor *e) { e->replaceLink(e->linkAt(9), QStringLiteral("this page"), QStringLiteral("https://z")); })
        << js(R"([{"insert":"see "},{"attributes":{"bold":true,"link":"https://z"},"insert":"this"},{"attributes":{"link":"https://z"},"insert":" page"},{"insert":" now"},{"insert":"\n"}])") << -1;
    const QString lines = js(R"([{"insert":"one"},{"insert":"\n"},{"attributes":{"bold":true},"insert":"two"},{"attributes":{"header":2},"insert":"\n"},{"insert":"three"},{"insert":"\n"}])");
    QTest::newRow("enter on empty checklist item") << js(R"([{"insert":"task"},{"attributes":{"list":"unchecked"},"insert":"\n"},{"attributes":{"list":"unchecked"},"insert":"\n"}])") << 5 << 5 << keys({ { Qt::Key_Return, Qt::NoModifier } }, QStringLiteral("p"))
        << js(R"([{"insert":"task"},{"attributes":{"list":"unchecked"},"insert":"\n"},{"insert":"p"},{"insert":"\n"}])") << 6;
    QTest::newRow("enter at start of a bullet") << js(R"([{"insert":"item"},{"attributes":{"list":"bullet"},"insert":"\n"}])") << 0 << 0 << keys({ { Qt::Key_Return, Qt::NoModifier } })
        << js(R"([{"insert":"\n"},{"insert":"item"},{"attributes":{"list":"bullet"},"insert":"\n"}])") << 0;
    QTest::newRow("backspace on first empty list block") << js(R"([{"attributes":{"list":"bullet"},"insert":"\n"},{"insert":"next"},{"attributes":{"list":"ordered"},"insert":"\n"},{"insert":"more"},{"attributes":{"list":"ordered"},"insert":"\n"}])") << 0 << 0 << keys({ { Qt::Key_Backspace, Qt::NoModifier } })
        << js(R"([{"insert":"next"},{"attributes":{"list":"ordered"},"insert":"\n"},{"insert":"more"},{"attributes":{"list":"ordered"},"insert":"\n"}])") << 0;
    QTest::newRow("ctrl+shift+d duplicates the line") << lines << 6 << 6 << keys({ { Qt::Key_D, Qt::ControlModifier | Qt::ShiftModifier } })
        << js(R"([{"insert":"one"},{"insert":"\n"},{"attributes":{"bold":true},"insert":"two"},{"attributes":{"header":2},"insert":"\n"},{"attributes":{"bold":true},"insert":"two"},{"attributes":{"header":2},"insert":"\n"},{"insert":"three"},{"insert":"\n"}])") << 10;
    QTest::newRow("ctrl+shift+k deletes the line") << lines << 5 << 5 << keys({ { Qt::Key_K, Qt::ControlModifier | Qt::ShiftModifier } })
        << js(R"([{"insert":"one"},{"insert":"\n"},{"insert":"three"},{"insert":"\n"}])") << 4;
    QTest::newRow("ctrl+shift+k on the last line") << lines << 10 << 10 << keys({ { Qt::Key_K, Qt::ControlModifier | Qt::ShiftModifier } })
        << js(R"([{"insert":"one"},{"insert":"\n"},{"attributes":{"bold":true},"insert":"two"},{"attributes":{"header":2},"insert":"\n"},{"insert":"\n"}])") << 8;
    QTest::newRow("alt+up swaps with the line above") << lines << 6 << 6 << keys({ { Qt::Key_Up, Qt::AltModifier } })
        << js(R"([{"attributes":{"bold":true},"insert":"two"},{"attributes":{"header":2},"insert":"\n"},{"insert":"one"},{"insert":"\n"},{"insert":"three"},{"insert":"\n"}])") << 2;
    QTest::newRow("alt+down keeps the column in the moved line") << lines << 2 << 2 << keys({ { Qt::Key_Down, Qt::AltModifier } })
        << js(R"([{"attributes":{"bold":true},"insert":"two"},{"attributes":{"header":2},"insert":"\n"},{"insert":"one"},{"insert":"\n"},{"insert":"three"},{"insert":"\n"}])") << 6;
    QTest::newRow("alt+up at the top does nothing") << lines << 1 << 1 << keys({ { Qt::Key_Up, Qt::AltModifier } }) << lines << 1;
    QTest::newRow("ctrl+1 and ctrl+0") << lines << 9 << 9 << keys({ { Qt::Key_1, Qt::ControlModifier }, { Qt::Key_0, Qt::ControlModifier } })
        << js(R"([{"insert":"one"},{"insert":"\n"},{"attributes":{"bold":true},"insert":"two"},{"attributes":{"header":2},"insert":"\n"},{"insert":"three"},{"insert":"\n"}])") << 9;
    QTest::newRow("ctrl+shift+9 as the shifted symbol") << lines << 0 << 0 << keys({ { Qt::Key_ParenLeft, Qt::ControlModifier | Qt::ShiftModifier } })
        << js(R"([{"insert":"one"},{"attributes":{"list":"unchecked"},"insert":"\n"},{"attributes":{"bold":true},"insert":"two"},{"attributes":{"header":2},"insert":"\n"},{"insert":"three"},{"insert":"\n"}])") << 0;
    QTest::newRow("ctrl+shift+x strikes the selection") << lines << 0 << 0 << keys({ { Qt::Key_End, Qt::ShiftModifier }, { Qt::Key_X, Qt::ControlModifier | Qt::ShiftModifier } })
        << js(R"([{"attributes":{"strike":true},"insert":"one"},{"insert":"\n"},{"attributes":{"bold":true},"insert":"two"},{"attributes":{"header":2},"insert":"\n"},{"insert":"three"},{"insert":"\n"}])") << 3;
    QTest::newRow("ctrl+l selects the line") << lines << 9 << 9 << keys({ { Qt::Key_L, Qt::ControlModifier } }, QStringLiteral("3"))
        << js(R"([{"insert":"one"},{"insert":"\n"},{"attributes":{"bold":true},"insert":"two"},{"attributes":{"header":2},"insert":"\n"},{"insert":"3"},{"insert":"\n"}])") << 9;
    const auto paste = [](const char *format, const char *data) {
        return EditorAction([=](NoteEditor *e) {
            auto *clip = new QMimeData;
            clip->setData(QString::fromLatin1(format), QByteArray(data));
            QVERIFY(e->canInsertFromMimeData(clip));
            QGuiApplication::clipboard()->setMimeData(clip);
            e->paste();
        });
    };
    const QString abcd = js(R"([{"insert":"abcd"},{"insert":"\n"}])");
    QTest::newRow("paste markdown-looking heading") << QString() << 0 << 0 << paste("text/plain", "# Title\n")
        << js(R"([{"attributes":{"bold":true},"insert":"Title"},{"attributes":{"header":1},"insert":"\n"}])") << -1;
    QTest::newRow("paste heading mid-line stays inline") << abcd << 2 << 2 << paste("text/plain", "## Sub")
        << js(R"([{"insert":"ab"},{"attributes":{"bold":true},"insert":"Sub"},{"insert":"cd"},{"insert":"\n"}])") << -1;
    QTest::newRow("paste less-than stays plain") << abcd << 2 << 2 << paste("text/plain", "a < b") << js(R"([{"insert":"aba < bcd"},{"insert":"\n"}])") << -1;
    QTest::newRow("paste html-looking text") << abcd << 2 << 2 << paste("text/plain", "<p>x <b>y</b></p>")
        << js(R"([{"insert":"abx "},{"attributes":{"bold":true},"insert":"y"},{"insert":"cd"},{"insert":"\n"}])") << -1;
    QTest::newRow("paste html") << abcd << 2 << 2 << paste("text/html", "<i>it</i>")
        << js(R"([{"insert":"ab"},{"attributes":{"italic":true},"insert":"it"},{"insert":"cd"},{"insert":"\n"}])") << -1;
    QTest::newRow("paste markdown") << abcd << 2 << 2 << paste("text/markdown", "**b**")
        << js(R"([{"insert":"ab"},{"attributes":{"bold":true},"insert":"b"},{"insert":"cd"},{"insert":"\n"}])") << -1;
    QTest::newRow("paste two list items") << abcd << 2 << 2 << paste("text/plain", "- one\n- two\n")
        << js(R"([{"insert":"ab"},{"insert":"\n"},{"insert":"one"},{"attributes":{"list":"bullet"},"insert":"\n"},{"insert":"twocd"},{"attributes":{"list":"bullet"},"insert":"\n"}])") << -1;
    // Past a thousand lines the paste goes in with the layout held off; it
    // must come back, or nothing of the note would be drawn.
    QString manyParagraphs;
    QString manyLines = QStringLiteral(R"([{"insert":"abl0"},{"insert":"\n"},)");
    int afterPaste = 2; // the cursor ends after the pasted text, before "cd"
    for (int i = 0; i < 1500; ++i) {
        manyParagraphs += QStringLiteral("<p>l%1</p>").arg(i);
        afterPaste += int(QString::number(i).size()) + (i < 1499 ? 2 : 1);
        if (i > 0 && i < 1499)
            manyLines += QStringLiteral(R"({"insert":"l%1"},{"insert":"\n"},)").arg(i);
    }
    manyLines += QStringLiteral(R"({"insert":"l1499cd"},{"insert":"\n"}])");
    QTest::newRow("paste 1,500 paragraphs") << abcd << 2 << 2 << EditorAction([manyParagraphs](NoteEditor *e) {
        auto *clip = new QMimeData;
        clip->setHtml(manyParagraphs);
        QGuiApplication::clipboard()->setMimeData(clip);
        e->paste();
        const QRectF cursorBlock = e->document()->documentLayout()->blockBoundingRect(e->textCursor().block());
        QVERIFY(cursorBlock.height() > 0 && cursorBlock.width() > 0);
    }) << manyLines << afterPaste;
    // A 2x2 table a b / c d between "x" and "y", edited at "a".
    const auto table = [](const char *cells) {
        const QString embed = *cells ? js(R"({"insert":{"table":"{'cells':%1,'hasHeader':false}"}},{"insert":"\n"},)").arg(js(cells)) : QString();
        return QStringLiteral(R"([{"insert":"x"},{"insert":"\n"},%1{"insert":"y"},{"insert":"\n"}])").arg(embed);
    };
    const QString abcdTable = table("[['a','b'],['c','d']]");
    using E = NoteEditor::TableEdit;
    QTest::newRow("table row above") << abcdTable << 0 << 0 << tableEdit(E::InsertRowAbove, "a") << table("[[[],[]],[[{'insert':'a'}],[{'insert':'b'}]],[[{'insert':'c'}],[{'insert':'d'}]]]") << 0;
    QTest::newRow("table row below") << abcdTable << 0 << 0 << tableEdit(E::InsertRowBelow, "a") << table("[[[{'insert':'a'}],[{'insert':'b'}]],[[],[]],[[{'insert':'c'}],[{'insert':'d'}]]]") << 0;
    QTest::newRow("table column before") << abcdTable << 0 << 0 << tableEdit(E::InsertColumnBefore, "a") << table("[[[],[{'insert':'a'}],[{'insert':'b'}]],[[],[{'insert':'c'}],[{'insert':'d'}]]]") << 0;
    QTest::newRow("table column after") << abcdTable << 0 << 0 << tableEdit(E::InsertColumnAfter, "a") << table("[[[{'insert':'a'}],[],[{'insert':'b'}]],[[{'insert':'c'}],[],[{'insert':'d'}]]]") << 0;
    QTest::newRow("table delete row") << abcdTable << 0 << 0 << tableEdit(E::DeleteRow, "a") << table("[[[{'insert':'c'}],[{'insert':'d'}]]]") << 0;
    QTest::newRow("table delete column") << abcdTable << 0 << 0 << tableEdit(E::DeleteColumn, "a") << table("[[[{'insert':'b'}]],[[{'insert':'d'}]]]") << 0;
    QTest::newRow("typing in a cell") << abcdTable << 0 << 0 << EditorAction([](NoteEditor *e) {
        const int cell = e->document()->find(QStringLiteral("a")).position();
        select(e, cell, cell);
        QTest::keyClicks(e, QStringLiteral("x y "));
    }) << table("[[[{'insert':'ax y '}],[{'insert':'b'}]],[[{'insert':'c'}],[{'insert':'d'}]]]") << -1;
    QTest::newRow("table delete") << abcdTable << 0 << 0 << tableEdit(E::DeleteTable, "a") << table("") << 0;
    const QString ticked = js(R"([{"insert":"task"},{"attributes":{"list":"checked"},"insert":"\n"}])");
    QTest::newRow("ctrl+shift+9 ends the list of a ticked item") << ticked << 2 << 2 << keys({ { Qt::Key_9, Qt::ControlModifier | Qt::ShiftModifier } })
        << js(R"([{"insert":"task"},{"insert":"\n"}])") << -1;
    QTest::newRow("new item after a ticked one is open") << ticked << 2 << 2 << keys({ { Qt::Key_End, Qt::NoModifier }, { Qt::Key_Return, Qt::NoModifier } }, QStringLiteral("n"))
        << js(R"([{"insert":"task"},{"attributes":{"list":"checked"},"insert":"\n"},{"insert":"n"},{"attributes":{"list":"unchecked"},"insert":"\n"}])") << 6;
    QTest::newRow("typed markdown stays plain") << js(R"([{"insert":"\n"}])") << 0 << 0 << keys({}, QStringLiteral("# x"))
        << js(R"([{"insert":"# x"},{"insert":"\n"}])") << 3;
}

void TestNoteEditor::edits()
{
    QFETCH(QString, body);
    QFETCH(int, anchor);
    QFETCH(int, position);
    QFETCH(EditorAction, action);
    QFETCH(QString, expected);
    QFETCH(int, cursor);
    m_editor->loadNote(QStringLiteral("n"), body);
    select(m_editor.get(), anchor, position);
    const QString before = m_editor->currentJson();
    const int wordsBefore = m_editor->wordCount();
    QCOMPARE(wordsBefore, fullWordCount(m_editor.get()));
    QSignalSpy state(m_editor.get(), &NoteEditor::formatStateChanged);
    QSignalSpy saved(m_editor.get(), &NoteEditor::savedStateChanged);
    QSignalSpy words(m_editor.get(), &NoteEditor::wordCountChanged);
    action(m_editor.get());
    QCOMPARE(m_editor->currentJson(), expected);
    if (expected != before)
        QCOMPARE(saved.count(), 1);
    QCOMPARE(m_editor->wordCount(), fullWordCount(m_editor.get()));
    QCOMPARE(words.isEmpty() ? wordsBefore : words.last().at(0).toInt(), m_editor->wordCount());
    if (cursor >= 0)
        QCOMPARE(m_editor->textCursor().position(), cursor);
    else if (expected != before)
        QVERIFY(!state.isEmpty());
}

void TestNoteEditor::tableTabbing()
{
    m_editor->loadNote(QStringLiteral("n"), QString());
    m_editor->insertTable(2, 2, false);
    QTextTable *table = m_editor->textCursor().currentTable();
    QVERIFY(table);
    const auto cellOfCursor = [this, table] {
        const QTextTableCell cell = table->cellAt(m_editor->textCursor());
        return QPoint(cell.column(), cell.row());
    };
    QTest::keyClick(m_editor.get(), Qt::Key_Backtab, Qt::ShiftModifier);
    QCOMPARE(cellOfCursor(), QPoint(0, 0));
    for (const QPoint expected : { QPoint(1, 0), QPoint(0, 1), QPoint(1, 1) }) {
        QTest::keyClick(m_editor.get(), Qt::Key_Tab);
        QCOMPARE(cellOfCursor(), expected);
    }
    QTest::keyClicks(m_editor.get(), QStringLiteral("d"));
    QTest::keyClick(m_editor.get(), Qt::Key_Tab);
    QCOMPARE(table->rows(), 3);
    QCOMPARE(cellOfCursor(), QPoint(0, 2));
    QTest::keyClick(m_editor.get(), Qt::Key_Backtab, Qt::ShiftModifier);
    QCOMPARE(cellOfCursor(), QPoint(1, 1));
    QCOMPARE(m_editor->currentJson(), js(R"([{"insert":"\n"},{"insert":{"table":"{'cells':[[[],[]],[[],[{'insert':'d'}]],[[],[]]],'hasHeader':false}"}},{"insert":"\n"}])"));
}

void TestNoteEditor::formatState()
{
    m_editor->loadNote(QStringLiteral("n"), js(R"([{"attributes":{"bold":true,"italic":true},"insert":"ab"},{"attributes":{"link":"https://l"},"insert":"cd"},{"attributes":{"align":"right","list":"checked"},"insert":"\n"},{"insert":"q"},{"attributes":{"header":3,"blockquote":true},"insert":"\n"},{"insert":{"table":"{'cells':[['t']]}"}},{"insert":"\n"}])"));
    QSignalSpy state(m_editor.get(), &NoteEditor::formatStateChanged);
    QSignalSpy cursorFormat(m_editor.get(), &NoteEditor::cursorFormatChanged);
    const auto at = [&](int anchor, int position) {
        select(m_editor.get(), anchor, position);
        return state.last();
    };
    QList<QVariant> s = at(1, 1);
    QCOMPARE(s.at(0).toBool(), true);
    QCOMPARE(s.at(1).toBool(), true);
    QCOMPARE(s.at(6).toString(), QStringLiteral("unchecked")); // the checklist kind, ticked or not
    QCOMPARE(s.at(10).value<Qt::Alignment>(), Qt::AlignRight);
    s = at(3, 4);
    QCOMPARE(s.at(0).toBool(), false);
    QCOMPARE(s.at(2).toBool(), false); // a link's underline is not underline
    QCOMPARE(s.at(9).toBool(), false);
    s = at(5, 5);
    QCOMPARE(s.at(5).toInt(), 3);
    QCOMPARE(s.at(6).toString(), QString());
    QCOMPARE(s.at(8).toBool(), true);
    s = at(m_editor->document()->find(QStringLiteral("t")).position(), m_editor->document()->find(QStringLiteral("t")).position());
    QCOMPARE(s.at(9).toBool(), true);
    QCOMPARE(cursorFormat.count(), state.count());
    m_editor->toggleInlineCode();
    QCOMPARE(state.last().at(4).toBool(), true);
    m_editor->toggleUnderline();
    QCOMPARE(state.last().at(2).toBool(), true);
}

void TestNoteEditor::dialogDefaults()
{
    LinkDialog link(QStringLiteral("Edit Link"), QStringLiteral("t"), QStringLiteral(" https://u "));
    QCOMPARE(link.text(), QStringLiteral("t"));
    QCOMPARE(link.url(), QStringLiteral("https://u"));
}

void TestNoteEditor::typedThenReopened_data()
{
    QTest::addColumn<QString>("body");
    QTest::addColumn<EditorAction>("typing");
    QTest::addColumn<QString>("lines");
    const QString emptyLine = QStringLiteral("[{\"insert\":\"\\n\"}]");
    const EditorAction table = [](NoteEditor *e) { e->insertTable(1, 1, false); };
    const EditorAction toEnd = ctrl(Qt::Key_End);
    QTest::newRow("three blank lines") << emptyLine << steps({ text("a"), enter(4), text("b") }) << "a||||b";
    QTest::newRow("blank line before a table") << emptyLine << steps({ text("a"), enter(), table, text("t"), toEnd, text("b") }) << "a||[table]|b";
    QTest::newRow("blank line after a table") << emptyLine << steps({ text("a"), enter(), table, text("t"), toEnd, enter(), text("b") }) << "a||[table]||b";
    QTest::newRow("two blank lines after a table") << emptyLine << steps({ table, toEnd, enter(2), text("b") }) << "|[table]|||b";
    QTest::newRow("blank line typed above text after a table") << emptyLine << steps({ table, toEnd, text("b"), keys({ { Qt::Key_Home, Qt::NoModifier } }), enter() }) << "|[table]||b";
    QTest::newRow("blank lines around a divider") << emptyLine << steps({ text("a"), enter(), &NoteEditor::insertDivider, enter(), text("b") }) << "a||[divider]||b";
    QTest::newRow("blank lines around a list") << emptyLine << steps({ text("a"), enter(2), ctrl(Qt::Key_8, Qt::ShiftModifier), text("l"), enter(3), text("b") }) << "a||-l||b";
    QTest::newRow("blank lines around a heading") << emptyLine << steps({ text("a"), enter(2), ctrl(Qt::Key_1), text("h"), enter(2), text("b") }) << "a||#h||b";
    QTest::newRow("enter at the end of a heading ends it") << emptyLine << steps({ ctrl(Qt::Key_2), text("Title"), enter(), text("body") }) << "#Title|body";
    QTest::newRow("enter inside a heading splits it") << emptyLine << steps({ ctrl(Qt::Key_1), text("Title"), keys({ { Qt::Key_Left, Qt::NoModifier } }), enter() }) << "#Titl|#e";
    QTest::newRow("plain text body") << QStringLiteral("x\ny") << steps({ ctrl(Qt::Key_End), enter(2), text("b") }) << "x|y||b";
    QTest::newRow("code block continues") << emptyLine << steps({ ctrl(Qt::Key_QuoteLeft, Qt::ShiftModifier), text("x"), enter(), text("y") }) << "x|y";
}

void TestNoteEditor::typedThenReopened()
{
    QFETCH(QString, body);
    QFETCH(EditorAction, typing);
    QFETCH(QString, lines);
    m_editor->loadNote(QStringLiteral("n"), body);
    typing(m_editor.get());
    const QString json = m_editor->currentJson();
    QCOMPARE(deltaLineTexts(json), lines);

    NoteEditor reopened;
    reopened.resize(m_editor->size());
    reopened.show();
    reopened.loadNote(QStringLiteral("n"), json);
    QCOMPARE(reopened.currentJson(), json);
}

void TestNoteEditor::checklistTicks_data()
{
    QTest::addColumn<QString>("list"); // as stored, then its box is clicked
    QTest::addColumn<bool>("toggle"); // then ctrl+shift+9
    QTest::addColumn<QString>("expected");
    QTest::newRow("clicked item toggles off") << "unchecked" << true << js(R"([{"insert":"task"},{"insert":"\n"}])");
    QTest::newRow("click keeps the tick") << "unchecked" << false << js(R"([{"insert":"task"},{"attributes":{"list":"checked"},"insert":"\n"}])");
    QTest::newRow("click takes a tick off") << "checked" << false << js(R"([{"insert":"task"},{"attributes":{"list":"unchecked"},"insert":"\n"}])");
}

void TestNoteEditor::checklistTicks()
{
    QFETCH(QString, list);
    QFETCH(bool, toggle);
    QFETCH(QString, expected);
    m_editor->loadNote(QStringLiteral("n"), js(R"([{"insert":"task"},{"attributes":{"list":"%1"},"insert":"\n"}])").arg(list));
    QSignalSpy state(m_editor.get(), &NoteEditor::formatStateChanged);
    const QTextBlock block = m_editor->document()->firstBlock();
    const QTextBlockFormat::MarkerType before = block.blockFormat().marker();
    // The box sits in the list indent, left of the first character.
    const QRect first = m_editor->cursorRect(QTextCursor(block));
    QTest::mouseClick(m_editor->viewport(), Qt::LeftButton, {}, QPoint(first.left() - 12, first.center().y()));
    QVERIFY(m_editor->document()->firstBlock().blockFormat().marker() != before);
    select(m_editor.get(), 2, 2);
    QCOMPARE(state.last().at(6).toString(), QStringLiteral("unchecked"));
    if (toggle)
        QTest::keyClick(m_editor.get(), Qt::Key_9, Qt::ControlModifier | Qt::ShiftModifier);
    QCOMPARE(m_editor->currentJson(), expected);
}

void TestNoteEditor::wordKeysBeatWindowShortcuts_data()
{
    QTest::addColumn<QKeySequence>("key");
    QTest::addColumn<int>("cursor");
    QTest::addColumn<QString>("text");
    QTest::newRow("ctrl+backspace deletes the word before") << QKeySequence(Qt::ControlModifier | Qt::Key_Backspace) << 10 << "alpha ";
    QTest::newRow("ctrl+delete deletes the word after") << QKeySequence(Qt::ControlModifier | Qt::Key_Delete) << 0 << "beta";
    QTest::newRow("ctrl+w deletes the word before") << QKeySequence(Qt::ControlModifier | Qt::Key_W) << 6 << "beta";
}

void TestNoteEditor::wordKeysBeatWindowShortcuts()
{
    QFETCH(QKeySequence, key);
    QFETCH(int, cursor);
    QFETCH(QString, text);
    m_editor.reset();
    QMainWindow window;
    auto *editor = new NoteEditor(&window);
    window.setCentralWidget(editor);
    auto *action = new QAction(QStringLiteral("Move to Trash"), &window);
    action->setShortcut(key);
    action->setShortcutContext(Qt::ApplicationShortcut);
    window.addAction(action);
    QSignalSpy triggered(action, &QAction::triggered);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    editor->loadNote(QStringLiteral("n"), js(R"([{"insert":"alpha beta"},{"insert":"\n"}])"));
    editor->setFocus();
    select(editor, cursor, cursor);
    QTest::keyClick(editor, key[0].key(), key[0].keyboardModifiers());
    QCOMPARE(editor->toPlainText(), text);
    QCOMPARE(triggered.count(), 0);

    // Without the focus the window's shortcut works as before.
    window.setFocus();
    editor->clearFocus();
    QTest::keyClick(&window, key[0].key(), key[0].keyboardModifiers());
    QCOMPARE(triggered.count(), 1);
}

void TestNoteEditor::wordCountFollowsRandomEdits()
{
    QRandomGenerator random(2024);
    m_editor->loadNote(QStringLiteral("n"), QStringLiteral("one two\nthree four five\n\nsix"));
    const QStringList pieces { QStringLiteral("a"), QStringLiteral(" "), QStringLiteral("word "), QStringLiteral("\n"),
        QStringLiteral("x\ny z"), QStringLiteral("\t") };
    for (int step = 0; step < 150; ++step) {
        const int length = m_editor->document()->characterCount() - 1;
        const int anchor = int(random.bounded(length + 1));
        const int position = qBound(0, anchor + int(random.bounded(9)) - 4, length);
        select(m_editor.get(), anchor, position);
        switch (random.bounded(4)) {
        case 0:
            m_editor->textCursor().removeSelectedText();
            break;
        case 1:
            m_editor->undo();
            break;
        default:
            m_editor->insertPlainText(pieces.at(int(random.bounded(int(pieces.size())))));
        }
        QCOMPARE(m_editor->wordCount(), fullWordCount(m_editor.get()));
    }
}

LUMORA_TEST_MAIN(TestNoteEditor)
#include "tst_noteeditor.moc"
