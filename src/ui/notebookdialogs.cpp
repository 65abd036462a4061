#include "ui/notebookdialogs.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QVBoxLayout>

NotebookDialog::NotebookDialog(const QString &title, const QString &initialName, QWidget *parent)
    : QDialog(parent)
    , m_nameEdit(new QLineEdit(initialName, this))
    , m_buttons(new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this))
{
    setWindowTitle(title);
    setMinimumWidth(350);
    m_nameEdit->setPlaceholderText(tr("Notebook name"));
    m_nameEdit->selectAll();

    auto *form = new QFormLayout;
    form->addRow(tr("Name:"), m_nameEdit);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(m_buttons);

    QPushButton *ok = m_buttons->button(QDialogButtonBox::Ok);
    ok->setEnabled(!initialName.isEmpty());
    connect(m_nameEdit, &QLineEdit::textChanged, ok,
            [ok](const QString &text) { ok->setEnabled(!text.trimmed().isEmpty()); });
    connect(m_buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(m_buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    m_nameEdit->setFocus();
}

QString NotebookDialog::name() const
{
    return m_nameEdit->text().trimmed();
}

QString NotebookDialog::getNewName(QWidget *parent)
{
    NotebookDialog dialog(tr("New Notebook"), QString(), parent);
    return dialog.exec() == QDialog::Accepted ? dialog.name() : QString();
}

QString NotebookDialog::getRenamedName(const QString &currentName, QWidget *parent)
{
    NotebookDialog dialog(tr("Rename Notebook"), currentName, parent);
    return dialog.exec() == QDialog::Accepted ? dialog.name() : QString();
}

MoveToNotebookDialog::MoveToNotebookDialog(const QList<Notebook> &notebooks, const QString &currentNotebookId,
                                           QWidget *parent)
    : QDialog(parent)
    , m_list(new QListWidget(this))
    , m_buttons(new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this))
{
    setWindowTitle(tr("Move to Notebook"));
    setMinimumSize(300, 250);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(tr("Select a notebook:"), this));
    layout->addWidget(m_list);
    layout->addWidget(m_buttons);

    for (const Notebook &notebook : notebooks) {
        auto *item = new QListWidgetItem(notebook.name, m_list);
        item->setData(Qt::UserRole, notebook.id);
        if (!currentNotebookId.isEmpty() && notebook.id == currentNotebookId) {
            item->setText(tr("%1 (current)").arg(notebook.name));
            item->setFlags(item->flags() & ~Qt::ItemIsEnabled);
        }
    }

    QPushButton *ok = m_buttons->button(QDialogButtonBox::Ok);
    ok->setEnabled(false);
    // Chosen means selected: the list makes its first row current, not
    // selected, when it takes the focus.
    connect(m_list, &QListWidget::itemSelectionChanged, ok,
            [this, ok] { ok->setEnabled(!selectedNotebookId().isEmpty()); });
    // Double-click, or Enter on the current row, chooses it and closes.
    auto choose = [this](QListWidgetItem *item) {
        if (!item->flags().testFlag(Qt::ItemIsEnabled) || item->data(Qt::UserRole).toString().isEmpty())
            return;
        item->setSelected(true);
        accept();
    };
    connect(m_list, &QListWidget::itemDoubleClicked, this, choose);
    connect(m_list, &QListWidget::itemActivated, this, choose);
    connect(m_buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(m_buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
}

QString MoveToNotebookDialog::selectedNotebookId() const
{
    const QList<QListWidgetItem *> selected = m_list->selectedItems();
    if (selected.isEmpty() || !selected.first()->flags().testFlag(Qt::ItemIsEnabled))
        return QString();
    return selected.first()->data(Qt::UserRole).toString();
}

QString MoveToNotebookDialog::getNotebookId(const QList<Notebook> &notebooks, const QString &currentNotebookId,
                                            QWidget *parent)
{
    MoveToNotebookDialog dialog(notebooks, currentNotebookId, parent);
    return dialog.exec() == QDialog::Accepted ? dialog.selectedNotebookId() : QString();
}

void fillMoveToNotebookMenu(QMenu *menu, const QList<Notebook> &notebooks, const QString &currentNotebookId,
                            const std::function<void(const QString &notebookId)> &chosen)
{
    for (const Notebook &notebook : notebooks) {
        if (notebook.deletedAt)
            continue;
        QAction *action = menu->addAction(notebook.name);
        action->setCheckable(true);
        const bool current = !currentNotebookId.isEmpty() && notebook.id == currentNotebookId;
        action->setChecked(current);
        if (current)
            continue; // moving a note where it is would only write
        const QString id = notebook.id;
        QObject::connect(action, &QAction::triggered, menu, [chosen, id] { chosen(id); });
    }
}

QMenu *addMoveToNotebookMenu(QMenu *menu, const QList<Notebook> &notebooks, const QString &currentNotebookId,
                             const std::function<void(const QString &notebookId)> &chosen)
{
    QMenu *submenu = menu->addMenu(QObject::tr("Move to Notebook"));
    fillMoveToNotebookMenu(submenu, notebooks, currentNotebookId, chosen);
    submenu->setEnabled(!submenu->isEmpty());
    return submenu;
}
