#pragma once

#include <QWidget>

class AppState;
class NoteListWidget;
class QLineEdit;
class QTimer;

// A window that searches every note, apart from the main window's list.
class SearchScreen : public QWidget
{
    Q_OBJECT

public:
    explicit SearchScreen(AppState *state, QWidget *parent = nullptr);

    void runSearch();
    void focusQuery();

    QLineEdit *queryField() const { return m_query; }
    NoteListWidget *list() const { return m_list; }

private:
    void showNotebookNames();

    AppState *m_state;
    QLineEdit *m_query;
    NoteListWidget *m_list;
    QTimer *m_timer;
};
