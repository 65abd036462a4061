#pragma once

#include "features/todoindex.h"

#include <QWidget>

class AppState;
class QCheckBox;
class QComboBox;
class QLineEdit;
class QListView;
class TodoListModel;
struct TodoRow;

// Every to-do of every note in one list; ticking a checklist to-do here
// ticks it in its note.
class TodosScreen : public QWidget
{
    Q_OBJECT

public:
    // Item data of a to-do row besides its text and check state.
    enum Role {
        NoteIdRole = Qt::UserRole,
        LineIndexRole = Qt::UserRole + 1,
        SourceRole = Qt::UserRole + 2,
    };

    explicit TodosScreen(AppState *state, QWidget *parent = nullptr);
    ~TodosScreen() override;

    // Rebuilds the list from the notes.
    void refresh();

    QComboBox *sortBox() const { return m_sort; }
    QCheckBox *showCompletedBox() const { return m_showCompleted; }
    QLineEdit *filterField() const { return m_filter; }
    QListView *taskList() const { return m_list; }

private:
    // Writes a tick into the row's note; false leaves the row as it was.
    bool tick(int row, bool checked);
    // One note was written: only its rows change.
    void updateNoteRows(const QString &noteId);
    bool keeps(const Task &task) const;
    TodoRow rowFor(const TodoIndex::NoteTodos &note, qsizetype taskIndex) const;
    bool before(const TodoRow &a, const TodoRow &b) const;

    AppState *m_state;
    QComboBox *m_sort;
    QCheckBox *m_showCompleted;
    QLineEdit *m_filter;
    QListView *m_list;
    TodoListModel *m_model;
    TodoIndex m_index;
    QSet<QString> m_excluded;
    // The filter text in lower case and the order, as of the last refresh.
    QString m_needle;
    bool m_alphabetical = false;
    // Set by a one-note change, cleared by the notesChanged() that follows it.
    bool m_followedOneNote = false;
};
