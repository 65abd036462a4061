#pragma once

#include <QList>
#include <QTextCursor>
#include <QWidget>

class NoteEditor;
class QLabel;
class QLineEdit;

// "Find in Note": a field above the editor. Enter goes to the next match,
// Shift+Enter to the previous one, Escape closes; every match is marked.
// Finding only moves the cursor, so a note is never written by a search.
class FindBar : public QWidget
{
    Q_OBJECT

public:
    FindBar(NoteEditor *editor, QWidget *parent = nullptr);

    // Shows the bar with the field focused and its text selected.
    void open();
    void close();
    void findNext(bool backwards = false);

    QLineEdit *field() const { return m_field; }
    int matchCount() const { return int(m_matches.size()); }
    QString statusText() const;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void search(bool moveCursor);
    void showCurrent(bool moveCursor);

    NoteEditor *m_editor;
    QLineEdit *m_field;
    QLabel *m_status;
    QList<QTextCursor> m_matches;
    int m_current = -1;
};
