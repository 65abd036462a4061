#pragma once

#include "prompts.h"

#include <QStringList>

#include <memory>
#include <optional>

// "text"_str: a QString in test tables, where QStringLiteral would crowd the rows.
inline QString operator""_str(const char *text, std::size_t size)
{
    return QString::fromUtf8(text, qsizetype(size));
}

namespace AccountTest {

// Answers the account widgets' questions from a script and keeps what they
// asked and told, so a test never waits on a modal dialog.
struct PromptLog
{
    // One entry per text question; nullopt cancels it.
    QList<std::optional<QString>> textAnswers;
    bool yes = true;
    QStringList asked; // labels and questions, in order
    QStringList told; // "title: text" of information and warning boxes
};

class ScriptedPrompts : public BrioAccount::Prompts
{
public:
    explicit ScriptedPrompts(std::shared_ptr<PromptLog> log)
        : m_log(std::move(log))
    {
    }

    bool askText(QWidget *, const QString &, const QString &label, QLineEdit::EchoMode, const QString &,
                 QString *text) override
    {
        m_log->asked << label;
        if (m_log->textAnswers.isEmpty())
            return false;
        const std::optional<QString> answer = m_log->textAnswers.takeFirst();
        if (answer)
            *text = *answer;
        return answer.has_value();
    }
    bool askYesNo(QWidget *, const QString &title, const QString &question) override
    {
        m_log->asked << title + QStringLiteral(": ") + question;
        return m_log->yes;
    }
    void inform(QWidget *, const QString &title, const QString &text) override
    {
        m_log->told << title + QStringLiteral(": ") + text;
    }
    void warn(QWidget *, const QString &title, const QString &text) override
    {
        m_log->told << title + QStringLiteral(": ") + text;
    }

private:
    std::shared_ptr<PromptLog> m_log;
};

} // namespace AccountTest
