#pragma once

#include <QLineEdit>
#include <QPointer>
#include <QString>

#include <utility>

class QWidget;

namespace BrioAccount {

// The modal questions the account widgets ask. The default asks with
// QInputDialog and QMessageBox; tests answer from a script instead, so that
// nothing waits on a modal dialog.
class Prompts
{
public:
    virtual ~Prompts();

    // False when the user cancels; *text is the entry otherwise.
    virtual bool askText(QWidget *parent, const QString &title, const QString &label, QLineEdit::EchoMode echo,
                         const QString &initial, QString *text);
    // True for Yes.
    virtual bool askYesNo(QWidget *parent, const QString &title, const QString &question);
    virtual void inform(QWidget *parent, const QString &title, const QString &text);
    virtual void warn(QWidget *parent, const QString &title, const QString &text);
};

// A server callback that does nothing once `owner` is gone: a window may be
// closed while its requests are still under way.
template<typename Callback>
auto whileAlive(QObject *owner, Callback callback)
{
    return [guard = QPointer<QObject>(owner), callback = std::move(callback)](auto &&...args) {
        if (guard)
            callback(std::forward<decltype(args)>(args)...);
    };
}

} // namespace BrioAccount
