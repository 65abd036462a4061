#include "document/textformats.h"
#include "ui/editortoolbar.h"
#include "ui/noteeditor.h"

#include "testmain.h"

#include <QAction>
#include <QComboBox>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextTable>

namespace {

QString line(const QString &text, const QString &attributes = QString())
{
    if (attributes.isEmpty())
        return QStringLiteral("{\"insert\":\"%1\\n\"}").arg(text);
    return QStringLiteral("{\"insert\":\"%1\"},{\"insert\":\"\\n\",\"attributes\":{%2}}").arg(text, attributes);
}

QString body(const QStringList &lines)
{
    return QLatin1Char('[') + lines.join(QLatin1Char(',')) + QLatin1Char(']');
}

void moveToBlock(NoteEditor *editor, int number)
{
    QTextCursor cursor(editor->document()->findBlockByNumber(number));
    cursor.movePosition(QTextCursor::EndOfBlock);
    editor->setTextCursor(cursor);
}

} // namespace

// An editor that can insert attachments, as the real one does once its
// attachment store is there.
class AttachingEditor : public NoteEditor
{
    Q_OBJECT

public:
    int dialogs = 0;

public Q_SLOTS:
    void insertAttachmentDialog() { ++dialogs; }
};

class TestEditorToolbar : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();

    void movingIntoAHeadingDoesNotReapplyIt();
    void blockButtons_data();
    void blockButtons();
    void tableCursorDisablesInsertTable();
    void showsStateRightAfterLoadAndBinding();
    void buttonsFormatTheSelection_data();
    void buttonsFormatTheSelection();
    void attachmentButtonNeedsStoreAndEditor();

private:
    NoteEditor *m_editor = nullptr;
    EditorToolbar *m_toolbar = nullptr;
    QWidget *m_window = nullptr;
};

void TestEditorToolbar::init()
{
    m_window = new QWidget;
    m_editor = new NoteEditor(m_window);
    m_toolbar = new EditorToolbar(m_window);
    m_toolbar->setEditor(m_editor);
}

void TestEditorToolbar::cleanup()
{
    delete m_window;
    m_window = nullptr;
}

void TestEditorToolbar::movingIntoAHeadingDoesNotReapplyIt()
{
    m_editor->loadNote(QStringLiteral("n"),
                       body({line(QStringLiteral("Intro")), line(QStringLiteral("Plans"), QStringLiteral("\"header\":3")),
                             line(QStringLiteral("Body"))}));
    QCOMPARE(m_toolbar->headingBox()->currentText(), QStringLiteral("Normal"));
    const QString before = m_editor->currentJson();
    const int undoSteps = m_editor->document()->availableUndoSteps();
    const int revision = m_editor->document()->revision();

    moveToBlock(m_editor, 1);
    QCOMPARE(m_toolbar->headingBox()->currentText(), QStringLiteral("Heading 3"));
    QCOMPARE(m_editor->document()->revision(), revision);
    QCOMPARE(m_editor->currentJson(), before);
    QVERIFY(m_editor->isSaved());

    moveToBlock(m_editor, 2);
    QCOMPARE(m_toolbar->headingBox()->currentText(), QStringLiteral("Normal"));
    QCOMPARE(m_editor->document()->revision(), revision);

    // Choosing a level is what applies one.
    m_toolbar->headingBox()->setCurrentIndex(2);
    QCOMPARE(m_editor->document()->findBlockByNumber(2).blockFormat().intProperty(HeadingLevelProperty), 2);
    QVERIFY(m_editor->document()->availableUndoSteps() > undoSteps);
}

void TestEditorToolbar::blockButtons_data()
{
    QTest::addColumn<QString>("attributes"); // of the line the cursor moves to
    QTest::addColumn<int>("lit"); // -1: none of its group
    QTest::addColumn<int>("firstOfGroup");
    const int lists = EditorToolbar::BulletList;
    const int aligns = EditorToolbar::AlignLeft;
    QTest::newRow("checked checklist item") << "\"list\":\"checked\"" << int(EditorToolbar::CheckboxList) << lists;
    QTest::newRow("open checklist item") << "\"list\":\"unchecked\"" << int(EditorToolbar::CheckboxList) << lists;
    QTest::newRow("bullet") << "\"list\":\"bullet\"" << int(EditorToolbar::BulletList) << lists;
    QTest::newRow("ordered") << "\"list\":\"ordered\"" << int(EditorToolbar::NumberedList) << lists;
    QTest::newRow("no list") << "" << -1 << lists;
    QTest::newRow("centred") << "\"align\":\"center\"" << int(EditorToolbar::AlignCenter) << aligns;
    QTest::newRow("right") << "\"align\":\"right\"" << int(EditorToolbar::AlignRight) << aligns;
    QTest::newRow("left by default") << "" << int(EditorToolbar::AlignLeft) << aligns;
}

void TestEditorToolbar::blockButtons()
{
    QFETCH(QString, attributes);
    QFETCH(int, lit);
    QFETCH(int, firstOfGroup);
    // The cursor starts on a centred bullet item, so every button has to change on the move.
    m_editor->loadNote(QStringLiteral("n"),
                       body({line(QStringLiteral("Start"), QStringLiteral("\"list\":\"bullet\",\"align\":\"center\"")),
                             line(QStringLiteral("Text"), attributes)}));
    moveToBlock(m_editor, 0);
    QVERIFY(m_toolbar->button(EditorToolbar::AlignCenter)->isChecked());
    moveToBlock(m_editor, 1);
    for (int button = firstOfGroup; button < firstOfGroup + 3; ++button)
        QCOMPARE(m_toolbar->button(EditorToolbar::Button(button))->isChecked(), button == lit);
}

void TestEditorToolbar::tableCursorDisablesInsertTable()
{
    m_editor->loadNote(QStringLiteral("n"), body({line(QStringLiteral("Above")), line(QStringLiteral("Below"))}));
    QAction *table = m_toolbar->button(EditorToolbar::InsertTable);
    QVERIFY(table->isEnabled());
    moveToBlock(m_editor, 0);
    m_editor->insertTable(2, 2, false);

    QTextTable *inserted = nullptr;
    for (QTextBlock block = m_editor->document()->begin(); block.isValid() && !inserted; block = block.next())
        inserted = QTextCursor(block).currentTable();
    QVERIFY(inserted);
    m_editor->setTextCursor(inserted->cellAt(1, 1).firstCursorPosition());
    QVERIFY(!table->isEnabled());
    moveToBlock(m_editor, 0);
    QVERIFY(table->isEnabled());
}

void TestEditorToolbar::showsStateRightAfterLoadAndBinding()
{
    const QString note = body({line(QStringLiteral("Title"), QStringLiteral("\"header\":1,\"align\":\"center\"")),
                               line(QStringLiteral("Rest"))});
    // Loading puts the cursor at the start: no cursor move is needed.
    m_editor->loadNote(QStringLiteral("n"), note);
    QCOMPARE(m_toolbar->headingBox()->currentText(), QStringLiteral("Heading 1"));
    QVERIFY(m_toolbar->button(EditorToolbar::AlignCenter)->isChecked());

    // A toolbar bound to an editor already showing the note asks for its state.
    EditorToolbar late(m_window);
    late.setEditor(m_editor);
    QCOMPARE(late.headingBox()->currentText(), QStringLiteral("Heading 1"));
    QVERIFY(late.button(EditorToolbar::AlignCenter)->isChecked());
    QVERIFY(m_editor->isSaved());
}

void TestEditorToolbar::buttonsFormatTheSelection_data()
{
    QTest::addColumn<int>("button");
    QTest::addColumn<QString>("attribute");
    QTest::newRow("bold") << int(EditorToolbar::Bold) << QStringLiteral("\"bold\":true");
    QTest::newRow("italic") << int(EditorToolbar::Italic) << QStringLiteral("\"italic\":true");
    QTest::newRow("underline") << int(EditorToolbar::Underline) << QStringLiteral("\"underline\":true");
    QTest::newRow("strike") << int(EditorToolbar::Strikethrough) << QStringLiteral("\"strike\":true");
    QTest::newRow("inline code") << int(EditorToolbar::InlineCode) << QStringLiteral("\"code\":true");
    QTest::newRow("bullets") << int(EditorToolbar::BulletList) << QStringLiteral("\"list\":\"bullet\"");
    QTest::newRow("numbers") << int(EditorToolbar::NumberedList) << QStringLiteral("\"list\":\"ordered\"");
    QTest::newRow("checklist") << int(EditorToolbar::CheckboxList) << QStringLiteral("\"list\":\"unchecked\"");
    QTest::newRow("code block") << int(EditorToolbar::CodeBlock) << QStringLiteral("\"code-block\":true");
    QTest::newRow("quote") << int(EditorToolbar::Blockquote) << QStringLiteral("\"blockquote\":true");
    QTest::newRow("centre") << int(EditorToolbar::AlignCenter) << QStringLiteral("\"align\":\"center\"");
    QTest::newRow("right") << int(EditorToolbar::AlignRight) << QStringLiteral("\"align\":\"right\"");
}

void TestEditorToolbar::buttonsFormatTheSelection()
{
    QFETCH(int, button);
    QFETCH(QString, attribute);
    m_editor->loadNote(QStringLiteral("n"), body({line(QStringLiteral("Words to format"))}));
    QVERIFY(!m_editor->currentJson().contains(attribute));
    QTextCursor cursor(m_editor->document());
    cursor.movePosition(QTextCursor::EndOfBlock, QTextCursor::KeepAnchor);
    m_editor->setTextCursor(cursor);

    QAction *action = m_toolbar->button(EditorToolbar::Button(button));
    action->trigger();
    QVERIFY2(m_editor->currentJson().contains(attribute), qPrintable(m_editor->currentJson()));
    QVERIFY(action->isChecked());
}

void TestEditorToolbar::attachmentButtonNeedsStoreAndEditor()
{
    QAction *attach = m_toolbar->button(EditorToolbar::InsertAttachment);
    AttachingEditor attaching;
    attaching.loadNote(QStringLiteral("n"), body({line(QStringLiteral("Text"))}));
    m_toolbar->setEditor(&attaching);
    QVERIFY(!attach->isVisible());
    m_toolbar->setAttachmentsAvailable(true);
    QVERIFY(attach->isVisible() && attach->isEnabled());
    attach->trigger();
    QCOMPARE(attaching.dialogs, 1);

    m_toolbar->setAttachmentsAvailable(false);
    QVERIFY(!attach->isVisible());
    attach->trigger();
    QCOMPARE(attaching.dialogs, 1);
    m_toolbar->setEditor(m_editor);
}

LUMORA_TEST_MAIN(TestEditorToolbar)
#include "tst_editortoolbar.moc"
