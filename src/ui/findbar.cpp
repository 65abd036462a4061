#include "findbar.h"

#include "ui/noteeditor.h"

#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QTextDocument>

FindBar::FindBar(NoteEditor *editor, QWidget *parent)
    : QWidget(parent)
    , m_editor(editor)
    , m_field(new QLineEdit(this))
    , m_status(new QLabel(this))
{
    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(8, 4, 8, 4);
    m_field->setObjectName(QStringLiteral("findField"));
    m_field->setPlaceholderText(tr("Find in note"));
    m_field->setClearButtonEnabled(true);
    m_field->installEventFilter(this);
    layout->addWidget(m_field, 1);
    layout->addWidget(m_status);
    connect(m_field, &QLineEdit::textChanged, this, [this] { search(true); });
    // Another note, or an edit, moves the matches; typing keeps its cursor.
    connect(m_editor->document(), &QTextDocument::contentsChanged, this, [this] {
        if (isVisible())
            search(false);
    });
    hide();
}

void FindBar::open()
{
    show();
    m_field->setFocus(Qt::ShortcutFocusReason);
    m_field->selectAll();
    search(true);
}

void FindBar::close()
{
    hide();
    m_matches.clear();
    m_current = -1;
    m_editor->setExtraSelections({});
    m_editor->setFocus();
}

QString FindBar::statusText() const
{
    return m_status->text();
}

void FindBar::search(bool moveCursor)
{
    m_matches.clear();
    m_current = -1;
    const QString text = m_field->text();
    if (!text.isEmpty()) {
        QTextCursor found(m_editor->document());
        while (true) {
            found = m_editor->document()->find(text, found);
            if (found.isNull())
                break;
            m_matches.append(found);
        }
        // The first match at or after the cursor is the current one.
        const int from = m_editor->textCursor().selectionStart();
        for (int i = 0; i < m_matches.size() && m_current < 0; ++i) {
            if (m_matches.at(i).selectionStart() >= from)
                m_current = i;
        }
        if (m_current < 0 && !m_matches.isEmpty())
            m_current = 0;
    }
    showCurrent(moveCursor);
}

void FindBar::findNext(bool backwards)
{
    if (m_matches.isEmpty())
        return;
    const int count = int(m_matches.size());
    m_current = (m_current + (backwards ? count - 1 : 1)) % count;
    showCurrent(true);
}

void FindBar::showCurrent(bool moveCursor)
{
    QList<QTextEdit::ExtraSelection> marks;
    const QColor all = palette().color(QPalette::Highlight).lighter(160);
    for (int i = 0; i < m_matches.size(); ++i) {
        QTextEdit::ExtraSelection mark;
        mark.cursor = m_matches.at(i);
        mark.format.setBackground(i == m_current ? palette().color(QPalette::Highlight) : all);
        if (i == m_current)
            mark.format.setForeground(palette().color(QPalette::HighlightedText));
        marks.append(mark);
    }
    m_editor->setExtraSelections(marks);
    if (m_field->text().isEmpty())
        m_status->clear();
    else if (m_matches.isEmpty())
        m_status->setText(tr("No matches"));
    else
        m_status->setText(tr("%1 of %2").arg(m_current + 1).arg(m_matches.size()));
    if (moveCursor && m_current >= 0) {
        QTextCursor cursor = m_editor->textCursor();
        cursor.setPosition(m_matches.at(m_current).selectionStart());
        m_editor->setTextCursor(cursor);
        m_editor->ensureCursorVisible();
    }
}

bool FindBar::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_field && event->type() == QEvent::KeyPress) {
        auto *key = static_cast<QKeyEvent *>(event);
        if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
            findNext(key->modifiers() & Qt::ShiftModifier);
            return true;
        }
        if (key->key() == Qt::Key_Escape) {
            close();
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}
