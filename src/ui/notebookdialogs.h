#pragma once

#include "storage/notebook.h"

#include <QDialog>
#include <QList>
#include <QString>

#include <functional>

class QDialogButtonBox;
class QLineEdit;
class QListWidget;
class QMenu;

// Asks for a notebook's name. OK stays disabled while the name is blank.
class NotebookDialog : public QDialog
{
    Q_OBJECT

public:
    NotebookDialog(const QString &title, const QString &initialName, QWidget *parent = nullptr);

    // The typed name, trimmed.
    QString name() const;

    // The trimmed name when accepted, "" when cancelled.
    static QString getNewName(QWidget *parent);
    static QString getRenamedName(const QString &currentName, QWidget *parent);

private:
    QLineEdit *m_nameEdit;
    QDialogButtonBox *m_buttons;
};

// Asks which notebook a note goes to; the note's own notebook is listed but
// cannot be chosen.
class MoveToNotebookDialog : public QDialog
{
    Q_OBJECT

public:
    MoveToNotebookDialog(const QList<Notebook> &notebooks, const QString &currentNotebookId,
                         QWidget *parent = nullptr);

    // "" while no notebook is chosen.
    QString selectedNotebookId() const;

    // The chosen notebook's id when accepted, "" when cancelled.
    static QString getNotebookId(const QList<Notebook> &notebooks, const QString &currentNotebookId,
                                 QWidget *parent);

private:
    QListWidget *m_list;
    QDialogButtonBox *m_buttons;
};

// The entries of a note's "Move to Notebook" submenu, shared by every note
// context menu: one checkable entry per live notebook in the given order, the
// note's own notebook checked. `chosen` gets the id of another notebook the
// user picks; picking the note's own notebook changes nothing and calls
// nothing.
void fillMoveToNotebookMenu(QMenu *menu, const QList<Notebook> &notebooks, const QString &currentNotebookId,
                            const std::function<void(const QString &notebookId)> &chosen);
// Adds the "Move to Notebook" submenu so filled to `menu` and returns it.
QMenu *addMoveToNotebookMenu(QMenu *menu, const QList<Notebook> &notebooks, const QString &currentNotebookId,
                             const std::function<void(const QString &notebookId)> &chosen);
