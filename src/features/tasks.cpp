#include "tasks.h"

#include <QCryptographicHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>
#include <QRegularExpression>

namespace {

// What a line that is not a checklist item says about itself, if anything.
struct TypedTask
{
    bool found = false;
    QString text;
    bool completed = false;
    TaskSource source = TaskSource::Markdown;
};

TypedTask typedTask(const QString &line)
{
    // Compiled once: the To-Dos screen runs these over every line of every note.
    static const QRegularExpression done(
        QStringLiteral("^-\\s*\\[x\\]\\s*(.+)"), QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression open(QStringLiteral("^-\\s*\\[\\s*\\]\\s*(.+)"));
    static const QRegularExpression todo(
        QStringLiteral("^TODO:\\s*(.+)"), QRegularExpression::CaseInsensitiveOption);

    TypedTask task;
    // Each pattern starts at a "-" or at the "t" of "todo"; most lines start
    // with neither and are turned away without running one.
    if (line.isEmpty() || (line.front() != u'-' && line.front().toCaseFolded() != u't'))
        return task;
    QRegularExpressionMatch match = done.match(line);
    task.completed = match.hasMatch();
    if (!task.completed)
        match = open.match(line);
    if (match.hasMatch()) {
        task.found = true;
        task.text = match.captured(1).trimmed();
        return task;
    }
    match = todo.match(line);
    if (match.hasMatch()) {
        task.found = true;
        task.text = match.captured(1).trimmed();
        task.source = TaskSource::Todo;
    }
    return task;
}

QString taskId(const QString &noteId, qint32 lineIndex, const QString &text)
{
    const QByteArray digest = QCryptographicHash::hash(text.toUtf8(), QCryptographicHash::Md5).toHex();
    // One pass over the pattern, so a "%" in the note id is never read as a marker.
    return QStringLiteral("%1_%2_%3")
        .arg(noteId, QString::number(lineIndex), QString::fromLatin1(digest.left(8)));
}

} // namespace

QList<Task> extractTasks(const QString &noteId, const QString &body, const QDateTime &noteUpdatedAt)
{
    QList<Task> tasks;
    if (body.isEmpty())
        return tasks;
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(body.toUtf8(), &error);
    if (error.error != QJsonParseError::NoError || !document.isArray())
        return tasks;
    // Walked in place, without building the general line model: the To-Dos
    // window runs this over every note that may hold a to-do.
    const QJsonArray ops = document.array();
    const QString insertKey = QStringLiteral("insert");
    const QString attributesKey = QStringLiteral("attributes");
    const QString listKey = QStringLiteral("list");
    const QDateTime extractedAt = QDateTime::currentDateTimeUtc();
    qint32 lineIndex = 0;
    qint32 charOffset = 0;
    QString buffer;
    for (const QJsonValue &value : ops) {
        const QJsonObject op = value.toObject();
        const QJsonValue insert = op.value(insertKey);
        // Embeds, retains and deletes hold no characters of a line.
        if (!insert.isString())
            continue;
        const QString text = insert.toString();
        QString list;
        bool listRead = false;
        qsizetype start = 0;
        while (true) {
            const qsizetype newline = text.indexOf(QLatin1Char('\n'), start);
            // Text after the last newline is not a line yet.
            if (newline < 0) {
                buffer += QStringView(text).mid(start);
                break;
            }
            buffer += QStringView(text).mid(start, newline - start);
            start = newline + 1;
            const qint32 lineStart = charOffset;
            charOffset += qint32(buffer.size()) + 1;
            const qint32 line = lineIndex++;
            if (!listRead) {
                list = op.value(attributesKey).toObject().value(listKey).toString();
                listRead = true;
            }

            Task task;
            if (list == QLatin1String("checked") || list == QLatin1String("unchecked")) {
                task.text = buffer.trimmed();
                task.completed = list == QLatin1String("checked");
                task.source = TaskSource::Checklist;
            } else {
                const TypedTask typed = typedTask(buffer.trimmed());
                if (typed.found) {
                    task.text = typed.text;
                    task.completed = typed.completed;
                    task.source = typed.source;
                }
            }
            buffer.clear();
            if (task.text.isEmpty())
                continue;
            task.lineIndex = line;
            task.charOffset = lineStart;
            task.noteId = noteId;
            task.id = taskId(noteId, task.lineIndex, task.text);
            task.extractedAt = extractedAt;
            task.noteUpdatedAt = noteUpdatedAt;
            tasks.append(task);
        }
    }
    return tasks;
}

QString setTaskChecked(const QString &bodyJson, int line, bool checked)
{
    if (line < 0)
        return bodyJson;
    const QJsonDocument document = QJsonDocument::fromJson(bodyJson.toUtf8());
    if (!document.isArray() || document.array().isEmpty())
        return bodyJson;
    QJsonArray ops = document.array();

    const QString insertKey = QStringLiteral("insert");
    const QString attributesKey = QStringLiteral("attributes");
    const QString listKey = QStringLiteral("list");
    int linesBefore = 0;
    for (qsizetype index = 0; index < ops.size(); ++index) {
        const QJsonObject op = ops.at(index).toObject();
        const QJsonValue insert = op.value(insertKey);
        if (!insert.isString())
            continue;
        const QString text = insert.toString();
        const int newlines = int(text.count(QLatin1Char('\n')));
        if (linesBefore + newlines <= line) {
            linesBefore += newlines;
            continue;
        }
        // This insert holds the newline that closes the line.
        QJsonObject attributes = op.value(attributesKey).toObject();
        const QString state = attributes.value(listKey).toString();
        if (state != QLatin1String("checked") && state != QLatin1String("unchecked"))
            return bodyJson;
        const QString wanted = checked ? QStringLiteral("checked") : QStringLiteral("unchecked");
        if (state == wanted)
            return bodyJson;
        qsizetype newline = -1;
        for (int seen = linesBefore; seen <= line; ++seen)
            newline = text.indexOf(QLatin1Char('\n'), newline + 1);

        // The line's own text and the other lines of a shared insert keep
        // the insert as it was; only the newline carries the new state.
        const QString before = text.left(newline);
        const QString after = text.mid(newline + 1);
        attributes.insert(listKey, wanted);
        QJsonObject closing = op;
        closing.insert(insertKey, QStringLiteral("\n"));
        closing.insert(attributesKey, attributes);
        QJsonArray replacement;
        if (!before.isEmpty()) {
            QJsonObject head = op;
            head.insert(insertKey, before);
            replacement.append(head);
        }
        replacement.append(closing);
        if (!after.isEmpty()) {
            QJsonObject tail = op;
            tail.insert(insertKey, after);
            replacement.append(tail);
        }
        ops.removeAt(index);
        for (qsizetype i = 0; i < replacement.size(); ++i)
            ops.insert(index + i, replacement.at(i));
        return QString::fromUtf8(QJsonDocument(ops).toJson(QJsonDocument::Compact));
    }
    return bodyJson;
}
