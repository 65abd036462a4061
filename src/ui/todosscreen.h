#pragma once

#include "features/todoindex.h"

#include <QFont>
#include <QWidget>

#include <vector>

class AppState;
class QCheckBox;
class QComboBox;
class QLineEdit;
class QListWidget;
class QListWidgetItem;

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

    // Rebuilds the list from the notes.
    void refresh();

    QComboBox *sortBox() const { return m_sort; }
    QCheckBox *showCompletedBox() const { return m_showCompleted; }
    QLineEdit *filterField() const { return m_filter; }
    QListWidget *taskList() const { return m_list; }

private:
    // One listed to-do, in the list's order, with what ordering needs.
    struct Row
    {
        QString noteId;
        qint32 lineIndex = 0;
        qint64 updatedMs = 0;
        // The text folded for case-insensitive ordering (alphabetical only).
        QString sortText;
        quint64 textPrefix = 0;
    };

    void onItemChanged(QListWidgetItem *item);
    // One note was written: only its rows change.
    void updateNoteRows(const QString &noteId);
    bool keeps(const Task &task) const;
    Row rowFor(const TodoIndex::NoteTodos &note, qsizetype taskIndex) const;
    bool before(const Row &a, const Row &b) const;
    static QString itemText(const TodoIndex::NoteTodos &note, const Task &task);
    void setUpItem(QListWidgetItem *item, const TodoIndex::NoteTodos &note, const Task &task) const;

    AppState *m_state;
    QComboBox *m_sort;
    QCheckBox *m_showCompleted;
    QLineEdit *m_filter;
    QListWidget *m_list;
    TodoIndex m_index;
    // Parallel to the list's items.
    std::vector<Row> m_rows;
    QSet<QString> m_excluded;
    // The filter text in lower case and the order, as of the last refresh.
    QString m_needle;
    bool m_alphabetical = false;
    QFont m_completedFont;
    bool m_rebuilding = false;
    // Set by a one-note change, cleared by the notesChanged() that follows it.
    bool m_followedOneNote = false;
};
