#pragma once

#include <QWidget>

class AppState;
class NoteListWidget;
class QPushButton;

// The trash: trashed notes come back from here, or go for good.
class TrashScreen : public QWidget
{
    Q_OBJECT

public:
    explicit TrashScreen(AppState *state, QWidget *parent = nullptr);

    void refresh();
    void restoreCurrent();
    void deleteCurrent();
    void emptyTrash();

    NoteListWidget *list() const { return m_list; }
    QPushButton *restoreButton() const { return m_restore; }
    QPushButton *deleteButton() const { return m_delete; }
    QPushButton *emptyButton() const { return m_empty; }

private:
    void selectionChanged(const QString &noteId);

    AppState *m_state;
    QPushButton *m_restore;
    QPushButton *m_delete;
    QPushButton *m_empty;
    NoteListWidget *m_list;
};
