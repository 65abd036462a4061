#pragma once

#include <QMainWindow>

class AppState;
class QLabel;
class QLineEdit;
class QListView;
class NoteTitleModel;
class QTimer;

// The main window: a searchable list of notes.
class MainWindow : public QMainWindow
{
    Q_OBJECT

public:
    explicit MainWindow(AppState *state, QWidget *parent = nullptr);

    void showAndActivate();

private:
    void buildHelpMenu();
    void refresh();

    AppState *m_state;
    QLineEdit *m_search;
    QListView *m_list;
    NoteTitleModel *m_model;
    QLabel *m_count;
    QTimer *m_searchDebounce;
};
