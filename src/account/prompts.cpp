#include "prompts.h"

#include <QInputDialog>
#include <QMessageBox>

namespace BrioAccount {

Prompts::~Prompts() = default;

bool Prompts::askText(QWidget *parent, const QString &title, const QString &label, QLineEdit::EchoMode echo,
                      const QString &initial, QString *text)
{
    bool ok = false;
    const QString answer = QInputDialog::getText(parent, title, label, echo, initial, &ok);
    if (ok && text)
        *text = answer;
    return ok;
}

bool Prompts::askYesNo(QWidget *parent, const QString &title, const QString &question)
{
    return QMessageBox::question(parent, title, question, QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes;
}

void Prompts::inform(QWidget *parent, const QString &title, const QString &text)
{
    QMessageBox::information(parent, title, text);
}

void Prompts::warn(QWidget *parent, const QString &title, const QString &text)
{
    QMessageBox::warning(parent, title, text);
}

} // namespace BrioAccount
