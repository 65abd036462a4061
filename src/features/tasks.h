#pragma once

#include <QDate>
#include <QDateTime>
#include <QList>
#include <QString>

#include <optional>

// How a task was found in a note. The values are stored; do not renumber.
enum class TaskSource { Checklist = 0, Markdown = 1, Todo = 2 };

// One to-do found in a note; one field per column of the tasks table.
struct Task
{
    // "<note id>_<line index>_<first 8 hex digits of the MD5 of the text>":
    // stable while the line keeps its place and its words.
    QString id;
    QString noteId;
    QString text;
    bool completed = false;
    TaskSource source = TaskSource::Checklist;
    // Every line of the note counts, task or not, from 0.
    qint32 lineIndex = 0;
    // Where the line starts, in UTF-16 code units of the note's text inserts
    // (newlines included, embeds not counted).
    qint32 charOffset = 0;
    // Not recognised yet: always empty.
    std::optional<QDate> dueDate;
    QString dueDatePhrase;
    QDateTime extractedAt;
    QDateTime noteUpdatedAt;
};

// The tasks of one note body, in line order: checklist lines, "- [ ]" and
// "- [x]" typed as text, and lines starting with "TODO:". Only lines closed by
// a newline count. A body that is not a Delta array (broken JSON, legacy
// plain text) gives none. Reads only; writes nothing.
QList<Task> extractTasks(const QString &noteId, const QString &body, const QDateTime &noteUpdatedAt);

// The body with checklist line `line` (0-based, every line of the note counts,
// as in Task::lineIndex) ticked or unticked. Only the "\n" that closes that
// line changes: a multi-line insert is split around it so its other lines
// keep their state. Anything that is not a checklist line (another list
// kind, a typed "- [ ]", a line past the end) and a body that is not a
// non-empty Delta array come back unchanged, as the very same text.
QString setTaskChecked(const QString &bodyJson, int line, bool checked);
