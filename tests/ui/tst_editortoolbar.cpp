#include "app/thememanager.h"
#include "document/textformats.h"
#include "ui/editortoolbar.h"
#include "ui/noteeditor.h"

#include "testmain.h"

#include <QAction>
#include <QComboBox>
#include <QImage>
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

// How many pixels of the image are not fully transparent, and the colour
// of the most opaque one.
int inkedPixels(const QImage &image, QColor *strongest = nullptr)
{
    int count = 0;
    int alpha = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QColor pixel = image.pixelColor(x, y);
            if (pixel.alpha() == 0)
                continue;
            ++count;
            if (strongest && pixel.alpha() > alpha) {
                alpha = pixel.alpha();
                *strongest = pixel;
            }
        }
    }
    return count;
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

    void controls_data();
    void controls();
    void movingIntoAHeadingDoesNotReapplyIt();
    void listButtons_data();
    void listButtons();
    void alignment_data();
    void alignment();
    void tableCursorDisablesInsertTable();
    void showsStateRightAfterLoadAndBinding();
    void buttonsFormatTheSelection_data();
    void buttonsFormatTheSelection();
    void attachmentButtonNeedsStoreAndEditor();
    void glyphs_data();
    void glyphs();
    void glyphsFollowThePalette();

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
    QApplication::setPalette(ThemeManager::lightPalette());
}

void TestEditorToolbar::controls_data()
{
    QTest::addColumn<int>("position");
    QTest::addColumn<QString>("toolTip");
    QTest::addColumn<bool>("checkable");
    const struct {
        const char *tip;
        bool checkable;
    } rows[] = {
        {"Bold (Ctrl+B)", true},
        {"Italic (Ctrl+I)", true},
        {"Underline (Ctrl+U)", true},
        {"Strikethrough (Ctrl+Shift+X)", true},
        {"Inline Code (Ctrl+`)", true},
        {"Heading Level", false},
        {"Bullet List (Ctrl+Shift+8)", true},
        {"Numbered List (Ctrl+Shift+7)", true},
        {"Checkbox List (Ctrl+Shift+9)", true},
        {"Code Block (Ctrl+Shift+`)", true},
        {"Blockquote (Ctrl+Shift+B)", true},
        {"Align Left (Ctrl+Shift+L)", true},
        {"Align Center (Ctrl+Shift+E)", true},
        {"Align Right (Ctrl+Shift+R)", true},
        {"Insert Link (Ctrl+K)", false},
        {"Insert Divider", false},
        {"Insert Table (Ctrl+T)", false},
        {"Insert Attachment (Ctrl+Shift+A)", false},
    };
    int position = 0;
    for (const auto &row : rows) {
        QTest::addRow("%d %s", position + 1, row.tip) << position << QString::fromUtf8(row.tip) << row.checkable;
        ++position;
    }
}

void TestEditorToolbar::controls()
{
    QFETCH(int, position);
    QFETCH(QString, toolTip);
    QFETCH(bool, checkable);
    QList<QAction *> controls;
    int separatorsBefore = 0;
    const QList<QAction *> actions = m_toolbar->actions();
    for (QAction *action : actions) {
        if (!action->isSeparator())
            controls.append(action);
        else if (controls.size() <= position)
            ++separatorsBefore;
    }
    QCOMPARE(controls.size(), 18);
    QAction *control = controls.at(position);
    QCOMPARE(control->toolTip(), toolTip);
    QCOMPARE(control->isCheckable(), checkable);
    // Separators group: B I U S <>, heading, lists, code and quote,
    // alignment, insertions.
    const int groupStarts[] = {0, 5, 6, 9, 11, 14};
    int expectedSeparators = 0;
    for (int start : groupStarts)
        expectedSeparators += start != 0 && position >= start ? 1 : 0;
    QCOMPARE(separatorsBefore, expectedSeparators);
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
    QCOMPARE(m_editor->document()->availableUndoSteps(), undoSteps);
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
    QCOMPARE(m_toolbar->headingBox()->currentText(), QStringLiteral("Heading 2"));
}

void TestEditorToolbar::listButtons_data()
{
    QTest::addColumn<QString>("list");
    QTest::addColumn<int>("lit");
    QTest::newRow("checked checklist item") << QStringLiteral("checked") << int(EditorToolbar::CheckboxList);
    QTest::newRow("open checklist item") << QStringLiteral("unchecked") << int(EditorToolbar::CheckboxList);
    QTest::newRow("bullet") << QStringLiteral("bullet") << int(EditorToolbar::BulletList);
    QTest::newRow("ordered") << QStringLiteral("ordered") << int(EditorToolbar::NumberedList);
    QTest::newRow("no list") << QString() << -1;
}

void TestEditorToolbar::listButtons()
{
    QFETCH(QString, list);
    QFETCH(int, lit);
    const QString attributes = list.isEmpty() ? QString() : QStringLiteral("\"list\":\"%1\"").arg(list);
    m_editor->loadNote(QStringLiteral("n"), body({line(QStringLiteral("Plain")), line(QStringLiteral("Item"), attributes)}));
    // A bullet list first, so that every button has to change on the move.
    m_toolbar->updateFormatState(false, false, false, false, false, 0, QStringLiteral("bullet"), false, false, false,
                                 Qt::AlignLeft);
    moveToBlock(m_editor, 1);
    for (EditorToolbar::Button button :
         {EditorToolbar::BulletList, EditorToolbar::NumberedList, EditorToolbar::CheckboxList})
        QCOMPARE(m_toolbar->button(button)->isChecked(), button == lit);
}

void TestEditorToolbar::alignment_data()
{
    QTest::addColumn<QString>("align");
    QTest::addColumn<int>("lit");
    QTest::newRow("centred") << QStringLiteral("center") << int(EditorToolbar::AlignCenter);
    QTest::newRow("right") << QStringLiteral("right") << int(EditorToolbar::AlignRight);
    QTest::newRow("left by default") << QString() << int(EditorToolbar::AlignLeft);
}

void TestEditorToolbar::alignment()
{
    QFETCH(QString, align);
    QFETCH(int, lit);
    const QString attributes = align.isEmpty() ? QString() : QStringLiteral("\"align\":\"%1\"").arg(align);
    m_editor->loadNote(QStringLiteral("n"),
                       body({line(QStringLiteral("Centred"), QStringLiteral("\"align\":\"center\"")),
                             line(QStringLiteral("Text"), attributes)}));
    moveToBlock(m_editor, 0);
    QVERIFY(m_toolbar->button(EditorToolbar::AlignCenter)->isChecked());
    moveToBlock(m_editor, 1);
    for (EditorToolbar::Button button : {EditorToolbar::AlignLeft, EditorToolbar::AlignCenter, EditorToolbar::AlignRight})
        QCOMPARE(m_toolbar->button(button)->isChecked(), button == lit);
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
    QCOMPARE(table->toolTip(), QStringLiteral("Nested tables are not supported"));

    moveToBlock(m_editor, 0);
    QVERIFY(table->isEnabled());
    QCOMPARE(table->toolTip(), QStringLiteral("Insert Table (Ctrl+T)"));
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
    QCOMPARE(late.headingBox()->currentText(), QStringLiteral("Normal"));
    late.setEditor(m_editor);
    QCOMPARE(late.headingBox()->currentText(), QStringLiteral("Heading 1"));
    QVERIFY(late.button(EditorToolbar::AlignCenter)->isChecked());
    QVERIFY(!late.button(EditorToolbar::AlignLeft)->isChecked());
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
    QVERIFY(!action->isChecked());
    action->trigger();
    QVERIFY2(m_editor->currentJson().contains(attribute), qPrintable(m_editor->currentJson()));
    QVERIFY(action->isChecked());
}

void TestEditorToolbar::attachmentButtonNeedsStoreAndEditor()
{
    QAction *attach = m_toolbar->button(EditorToolbar::InsertAttachment);
    QVERIFY(!attach->isVisible());
    QVERIFY(!attach->isEnabled());

    AttachingEditor attaching;
    attaching.loadNote(QStringLiteral("n"), body({line(QStringLiteral("Text"))}));
    m_toolbar->setEditor(&attaching);
    QVERIFY(!attach->isVisible());
    m_toolbar->setAttachmentsAvailable(true);
    QVERIFY(attach->isVisible());
    QVERIFY(attach->isEnabled());
    attach->trigger();
    QCOMPARE(attaching.dialogs, 1);

    m_toolbar->setAttachmentsAvailable(false);
    QVERIFY(!attach->isVisible());
    attach->trigger();
    QCOMPARE(attaching.dialogs, 1);
    m_toolbar->setEditor(m_editor);
}

void TestEditorToolbar::glyphs_data()
{
    QTest::addColumn<int>("button");
    for (int button = 0; button < EditorToolbar::ButtonCount; ++button)
        QTest::addRow("%s", QMetaEnum::fromType<EditorToolbar::Button>().valueToKey(button)) << button;
}

void TestEditorToolbar::glyphs()
{
    QFETCH(int, button);
    const QPixmap pixmap = EditorToolbar::glyphPixmap(EditorToolbar::Button(button), Qt::black);
    QCOMPARE(pixmap.devicePixelRatio(), 2.0);
    QCOMPARE(pixmap.size(), QSize(32, 32));
    const QImage image = pixmap.toImage();
    const int inked = inkedPixels(image);
    // Something is drawn, and it is a glyph on a transparent square.
    QVERIFY2(inked > 12, qPrintable(QString::number(inked)));
    QVERIFY2(inked < 32 * 32 * 3 / 4, qPrintable(QString::number(inked)));
    QCOMPARE(image.pixelColor(0, 0).alpha(), 0);
}

void TestEditorToolbar::glyphsFollowThePalette()
{
    auto strongestInk = [this] {
        QColor colour;
        inkedPixels(m_toolbar->button(EditorToolbar::Bold)->icon().pixmap(QSize(16, 16), 2.0).toImage(), &colour);
        return colour;
    };
    QApplication::setPalette(ThemeManager::lightPalette());
    QTRY_VERIFY(strongestInk().lightness() < 100);
    // Widgets take the application palette when its change event arrives.
    QApplication::setPalette(ThemeManager::darkPalette());
    QTRY_VERIFY(strongestInk().lightness() > 150);
}

LUMORA_TEST_MAIN(TestEditorToolbar)
#include "tst_editortoolbar.moc"
