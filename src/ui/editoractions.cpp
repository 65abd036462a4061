#include "editoractions.h"

#include "ui/findbar.h"
#include "ui/noteeditor.h"

#include <QAction>
#include <QEvent>
#include <QMenu>

EditorActions::EditorActions(NoteEditor *editor, QWidget *window)
    : QObject(window)
    , m_editor(editor)
    , m_window(window)
{
    // Loading a note, clearing it and opening a view-only note all pass
    // through the editor's read-only switch.
    m_editor->installEventFilter(this);
    connect(m_editor, &QTextEdit::undoAvailable, this, [this] { updateState(); });
    connect(m_editor, &QTextEdit::redoAvailable, this, [this] { updateState(); });
}

QAction *EditorActions::addEntry(QMenu *menu, const QString &text, const QKeySequence &shortcut)
{
    auto *action = new QAction(text, m_window);
    action->setShortcut(shortcut);
    menu->addAction(action);
    addNoteAction(action);
    return action;
}

void EditorActions::addUndoRedo(QMenu *edit)
{
    // In the editor, the editor itself takes these keys first (it claims the
    // standard undo keys), so each undo happens once wherever the focus is.
    m_undo = new QAction(tr("Undo"), m_window);
    m_undo->setShortcut(QKeySequence::Undo);
    connect(m_undo, &QAction::triggered, m_editor, &NoteEditor::undo);
    edit->addAction(m_undo);
    m_redo = new QAction(tr("Redo"), m_window);
    m_redo->setShortcut(QKeySequence::Redo);
    connect(m_redo, &QAction::triggered, m_editor, &NoteEditor::redo);
    edit->addAction(m_redo);
    updateState();
}

void EditorActions::addFindInNote(QMenu *edit, FindBar *findBar)
{
    auto *find = new QAction(tr("Find in Note..."), m_window);
    find->setShortcut(QKeySequence::Find);
    connect(find, &QAction::triggered, findBar, &FindBar::open);
    edit->addAction(find);
}

void EditorActions::addFormatEntries(QMenu *format, FormatSet set)
{
    const bool full = set == FormatSet::Full;
    NoteEditor *editor = m_editor;
    // A window shortcut takes the key before the editor's own key handling,
    // so each of these runs once whether or not the editor has the focus.
    connect(addEntry(format, tr("Bold"), QKeySequence::Bold), &QAction::triggered, editor, &NoteEditor::toggleBold);
    connect(addEntry(format, tr("Italic"), QKeySequence::Italic), &QAction::triggered, editor,
            &NoteEditor::toggleItalic);
    connect(addEntry(format, tr("Underline"), QKeySequence::Underline), &QAction::triggered, editor,
            &NoteEditor::toggleUnderline);
    connect(addEntry(format, tr("Strikethrough"), QKeySequence(QStringLiteral("Ctrl+Shift+X"))), &QAction::triggered,
            editor, &NoteEditor::toggleStrikethrough);
    if (full) {
        connect(addEntry(format, tr("Code"), QKeySequence(QStringLiteral("Ctrl+`"))), &QAction::triggered, editor,
                &NoteEditor::toggleInlineCode);
    }
    format->addSeparator();
    const QString headings[] = {tr("Normal Text"), tr("Heading 1"), tr("Heading 2"), tr("Heading 3")};
    for (int level : {1, 2, 3, 0}) {
        QAction *heading = addEntry(format, headings[level], QKeySequence(QStringLiteral("Ctrl+%1").arg(level)));
        connect(heading, &QAction::triggered, editor, [editor, level] { editor->setHeading(level); });
    }
    format->addSeparator();
    const struct {
        const char *text;
        const char *keys;
        const char *type;
    } lists[] = {{"Bullet List", "Ctrl+Shift+8", "bullet"},
                 {"Numbered List", "Ctrl+Shift+7", "ordered"},
                 {"Checkbox List", "Ctrl+Shift+9", "unchecked"}};
    for (const auto &list : lists) {
        const QString type = QString::fromLatin1(list.type);
        QAction *action = addEntry(format, tr(list.text), QKeySequence(QString::fromLatin1(list.keys)));
        connect(action, &QAction::triggered, editor, [editor, type] { editor->toggleList(type); });
    }
    format->addSeparator();
    connect(addEntry(format, tr("Code Block"), QKeySequence(QStringLiteral("Ctrl+Shift+`"))), &QAction::triggered,
            editor, &NoteEditor::toggleCodeBlock);
    connect(addEntry(format, tr("Blockquote"), QKeySequence(QStringLiteral("Ctrl+Shift+B"))), &QAction::triggered,
            editor, &NoteEditor::toggleBlockquote);
    format->addSeparator();
    if (full) {
        const struct {
            const char *text;
            const char *keys;
            Qt::Alignment alignment;
        } alignments[] = {{"Align Left", "Ctrl+Shift+L", Qt::AlignLeft},
                          {"Align Center", "Ctrl+Shift+E", Qt::AlignHCenter},
                          {"Align Right", "Ctrl+Shift+R", Qt::AlignRight}};
        for (const auto &entry : alignments) {
            const Qt::Alignment alignment = entry.alignment;
            QAction *action = addEntry(format, tr(entry.text), QKeySequence(QString::fromLatin1(entry.keys)));
            connect(action, &QAction::triggered, editor, [editor, alignment] { editor->setAlignment(alignment); });
        }
        format->addSeparator();
        connect(addEntry(format, tr("Insert Link..."), QKeySequence(QStringLiteral("Ctrl+K"))), &QAction::triggered,
                editor, &NoteEditor::insertLink);
    }
    connect(addEntry(format, tr("Insert Divider"), QKeySequence()), &QAction::triggered, editor,
            &NoteEditor::insertDivider);
    connect(addEntry(format, tr("Insert Table..."), QKeySequence(QStringLiteral("Ctrl+T"))), &QAction::triggered,
            editor, &NoteEditor::insertTableDialog);
    connect(addEntry(format, tr("Insert Attachment..."), QKeySequence(QStringLiteral("Ctrl+Shift+A"))),
            &QAction::triggered, editor, &NoteEditor::insertAttachmentDialog);
}

void EditorActions::addNoteAction(QAction *action)
{
    m_noteActions.append(action);
    action->setEnabled(noteEditable());
}

bool EditorActions::noteEditable() const
{
    return !m_editor->noteId().isEmpty() && !m_editor->isReadOnly();
}

void EditorActions::updateState()
{
    const bool editable = noteEditable();
    for (QAction *action : std::as_const(m_noteActions))
        action->setEnabled(editable);
    if (m_undo)
        m_undo->setEnabled(editable && m_editor->document()->isUndoAvailable());
    if (m_redo)
        m_redo->setEnabled(editable && m_editor->document()->isRedoAvailable());
}

bool EditorActions::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_editor && event->type() == QEvent::ReadOnlyChange)
        updateState();
    return QObject::eventFilter(watched, event);
}
