#include "notegenerator.h"

#include "storage/database.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSqlError>
#include <QUuid>

namespace {

// Short, frequent words; drawn often so that texts read like prose and a
// search for "the" behaves as it would on real notes.
const char kFunctionWords[]
    = "the and of to a in is it that for on with as at by from this we be or are was not but have will can "
      "our all should about after before their then when there so";

const char kContentWords[]
    = "project meeting budget deadline review draft client team schedule report launch design feature "
      "release bug test server database backup invoice payment contract proposal agenda summary decision "
      "question answer idea plan goal milestone sprint roadmap estimate priority feedback customer market "
      "research analysis result metric quarter month week morning evening weekend holiday vacation flight "
      "hotel train ticket passport museum beach mountain river forest garden kitchen recipe dinner lunch "
      "breakfast coffee tea bread butter garlic onion tomato pepper lemon chicken salmon pasta rice soup "
      "salad oven minutes temperature flour sugar salt honey book chapter author novel article paper quote "
      "library notebook pencil letter email phone call message address birthday gift family friend "
      "neighbour doctor appointment medicine exercise running swimming bicycle walk sleep health weight "
      "water window door roof paint repair plumber electrician insurance rent mortgage savings account "
      "bank tax receipt expense salary bonus price discount order delivery package store groceries list "
      "shopping car engine tyre garage parking bus station airport city village country weather rain snow "
      "sunshine wind cloud spring summer autumn winter music guitar piano concert movie theatre painting "
      "photo camera laptop keyboard monitor printer cable battery charger software update version install "
      "configure password network router signal storage folder file document spreadsheet presentation "
      "slide chart table column row value number total average growth revenue cost profit risk issue "
      "problem solution reason change improve finish start prepare discuss remember check confirm send "
      "receive write read listen learn teach share compare measure collect organise clean cook bake travel "
      "visit arrive leave return wait decide agree explain follow support build deploy migrate refactor "
      "document simple quick careful important urgent optional early late new old small large cheap "
      "expensive quiet busy happy tired ready open closed final first second third green blue red yellow "
      "bright dark warm cold fresh local public private daily weekly monthly yearly together already "
      "probably maybe finally again tomorrow yesterday today tonight";

const char *const kNotebookNames[] = {
    "Work",
    "Personal",
    "Recipes",
    "Travel",
    "Reading List",
    "Projects",
    "Meeting Notes",
    "Ideas",
    "Journal",
    "Finance",
    "Health",
    "Home",
    "Learning",
    "Archive",
};

const char *const kLinkHosts[] = {
    "example.com",
    "docs.example.org",
    "en.wikipedia.org",
    "github.com",
    "news.example.net",
    "recipes.example.com",
    "maps.example.org",
};

const char *const kCodeLanguages[] = { "cpp", "python", "sql", "bash", "javascript" };

const char *const kCodeLines[] = {
    "for (const auto &item : items) {",
    "    total += item.size();",
    "}",
    "def load(path):",
    "    with open(path) as f:",
    "        return json.load(f)",
    "SELECT id, name FROM projects WHERE active = 1;",
    "UPDATE tasks SET done = 1 WHERE id = 42;",
    "git commit -m \"fix the build\"",
    "npm run build && npm test",
    "const total = values.reduce((a, b) => a + b, 0);",
    "if (!file.open(QIODevice::ReadOnly))",
    "    return false;",
    "echo \"backup finished\" >> log.txt",
    "x = [n * n for n in range(10)]",
};

template<typename T, std::size_t N> constexpr int countOf(T (&)[N])
{
    return int(N);
}

QJsonObject attr(const char *key, const QJsonValue &value)
{
    QJsonObject o;
    o.insert(QLatin1String(key), value);
    return o;
}

QString capitalised(const QString &word)
{
    return word.isEmpty() ? word : word.at(0).toUpper() + word.mid(1);
}

QVariant nullText()
{
    return QVariant(QMetaType(QMetaType::QString));
}

} // namespace

// Collects Delta operations, merging neighbouring text inserts with equal
// attributes the way an editor writes them.
class NoteGenerator::DeltaBuilder
{
public:
    void text(const QString &text, const QJsonObject &attributes = {})
    {
        if (!m_ops.isEmpty() && !m_ops.last().isEmbed && m_ops.last().attributes == attributes) {
            m_ops.last().text += text;
            return;
        }
        m_ops.append(Op { false, text, {}, attributes });
    }

    void endLine(const QJsonObject &blockAttributes = {}) { text(QStringLiteral("\n"), blockAttributes); }

    void embed(const QJsonObject &embed) { m_ops.append(Op { true, {}, embed, {} }); }

    QString json() const
    {
        QJsonArray array;
        for (const Op &op : m_ops) {
            QJsonObject o;
            if (op.isEmbed)
                o.insert(QLatin1String("insert"), op.embed);
            else
                o.insert(QLatin1String("insert"), op.text);
            if (!op.attributes.isEmpty())
                o.insert(QLatin1String("attributes"), op.attributes);
            array.append(o);
        }
        return QString::fromUtf8(QJsonDocument(array).toJson(QJsonDocument::Compact));
    }

private:
    struct Op
    {
        bool isEmbed;
        QString text;
        QJsonObject embed;
        QJsonObject attributes;
    };
    QList<Op> m_ops;
};

NoteGenerator::NoteGenerator(const GeneratorOptions &options)
    : m_options(options)
    , m_rng(options.seed)
{
    if (!m_options.now.isValid())
        m_options.now = QDateTime::currentDateTimeUtc();
    m_options.now = m_options.now.toUTC();
    m_options.count = qMax(0, m_options.count);
    m_trashedLeft = trashedNotes(m_options.count, m_options.trashedPercent);
    for (const RareWord &rare : rareWords())
        m_rareLeft.append(notesWithRareWord(rare, m_options.count));

    const QDateTime twoYearsAgo = m_options.now.addDays(-730);
    for (int i = 0; i < m_options.notebooks; ++i) {
        GeneratedNotebook notebook;
        notebook.id = uuid();
        notebook.name = QString::fromLatin1(kNotebookNames[i % countOf(kNotebookNames)]);
        if (i >= countOf(kNotebookNames))
            notebook.name += QLatin1Char(' ') + QString::number(i / countOf(kNotebookNames) + 1);
        notebook.createdAt = timeBetween(twoYearsAgo, m_options.now);
        notebook.updatedAt = chance(70) ? notebook.createdAt : timeBetween(notebook.createdAt, m_options.now);
        m_notebooks.append(notebook);
    }
}

const QList<RareWord> &NoteGenerator::rareWords() const
{
    static const QList<RareWord> words {
        { QStringLiteral("zyzzogeton"), 10 },
        { QStringLiteral("quomodocunquize"), 1 },
    };
    return words;
}

int NoteGenerator::notesWithRareWord(const RareWord &word, int count)
{
    return int(qint64(count) * word.perMille / 1000);
}

int NoteGenerator::trashedNotes(int count, int trashedPercent)
{
    return int(qint64(count) * qBound(0, trashedPercent, 100) / 100);
}

int NoteGenerator::bounded(int lowest, int highest)
{
    return m_rng.bounded(lowest, highest + 1);
}

bool NoteGenerator::chance(int percent)
{
    return m_rng.bounded(100) < percent;
}

QString NoteGenerator::uuid()
{
    // From the seeded generator, not QUuid::createUuid, so ids repeat too.
    quint32 words[4];
    m_rng.fillRange(words);
    QByteArray bytes(reinterpret_cast<const char *>(words), sizeof(words));
    bytes[6] = char((bytes[6] & 0x0f) | 0x40);
    bytes[8] = char((bytes[8] & 0x3f) | 0x80);
    return QUuid::fromRfc4122(bytes).toString(QUuid::WithoutBraces);
}

const QString &NoteGenerator::word()
{
    static const QStringList functionWords = QString::fromLatin1(kFunctionWords).split(QLatin1Char(' '));
    static const QStringList contentWords = QString::fromLatin1(kContentWords).split(QLatin1Char(' '));
    if (chance(35))
        return functionWords.at(m_rng.bounded(int(functionWords.size())));
    return contentWords.at(m_rng.bounded(int(contentWords.size())));
}

QString NoteGenerator::words(int lowest, int highest, bool capitalise)
{
    const int n = bounded(lowest, highest);
    QString text;
    for (int i = 0; i < n; ++i) {
        if (i > 0)
            text += QLatin1Char(' ');
        text += (i == 0 && capitalise) ? capitalised(word()) : word();
    }
    return text;
}

QDateTime NoteGenerator::timeBetween(const QDateTime &from, const QDateTime &to)
{
    const qint64 span = from.msecsTo(to);
    if (span <= 0)
        return from;
    return from.addMSecs(m_rng.bounded(span + 1));
}

void NoteGenerator::paragraph(DeltaBuilder &out, QStringList *extraWords)
{
    static const QJsonObject bold = attr("bold", true);
    static const QJsonObject italic = attr("italic", true);
    static const QJsonObject code = attr("code", true);

    const int sentences = bounded(1, 4);
    QString plain;
    for (int s = 0; s < sentences; ++s) {
        const int length = bounded(5, 16);
        // Where the extra words go: somewhere inside the first sentence.
        const int extraAt = (s == 0 && extraWords) ? bounded(1, length - 1) : -1;
        for (int w = 0; w < length; ++w) {
            if (s > 0 || w > 0)
                plain += QLatin1Char(' ');
            if (w == extraAt) {
                plain += extraWords->join(QLatin1Char(' ')) + QLatin1Char(' ');
                extraWords->clear();
            }
            if (w > 0 && w < length - 1 && chance(4)) {
                out.text(plain);
                plain.clear();
                const QString span = words(1, 3, false);
                const int kind = m_rng.bounded(100);
                if (kind < 35)
                    out.text(span, bold);
                else if (kind < 65)
                    out.text(span, italic);
                else if (kind < 80)
                    out.text(span, code);
                else
                    out.text(span,
                        attr("link",
                            QString(QStringLiteral("https://")
                                + QLatin1String(kLinkHosts[m_rng.bounded(countOf(kLinkHosts))]) + QLatin1Char('/')
                                + word())));
                continue;
            }
            plain += (w == 0) ? capitalised(word()) : word();
            if (w < length - 1 && chance(6))
                plain += QLatin1Char(',');
        }
        plain += QLatin1Char('.');
    }
    out.text(plain);
    out.endLine();
}

QString NoteGenerator::tableJson()
{
    static const QJsonObject bold = attr("bold", true);
    const int rows = bounded(2, 6);
    const int columns = bounded(2, 4);
    QJsonArray cells;
    for (int r = 0; r < rows; ++r) {
        QJsonArray row;
        // Now and then a short row: readers pad it to the widest one.
        const int inRow = (r > 0 && chance(5)) ? columns - 1 : columns;
        for (int c = 0; c < inRow; ++c) {
            if (r == 0) {
                row.append(words(1, 2, true));
            } else if (chance(15)) {
                QJsonArray ops;
                QJsonObject first;
                first.insert(QLatin1String("insert"), word());
                first.insert(QLatin1String("attributes"), bold);
                ops.append(first);
                QJsonObject rest;
                rest.insert(QLatin1String("insert"), QString(QLatin1Char(' ') + words(1, 3, false)));
                ops.append(rest);
                row.append(ops);
            } else if (chance(30)) {
                row.append(QString::number(bounded(1, 5000)));
            } else {
                row.append(words(1, 4, false));
            }
        }
        cells.append(row);
    }
    QJsonObject table;
    table.insert(QLatin1String("cells"), cells);
    table.insert(QLatin1String("hasHeader"), chance(80));
    return QString::fromUtf8(QJsonDocument(table).toJson(QJsonDocument::Compact));
}

void NoteGenerator::block(DeltaBuilder &out)
{
    const int kind = m_rng.bounded(100);
    if (kind < 45) {
        paragraph(out, nullptr);
    } else if (kind < 55) {
        static const int levels[] = { 1, 2, 2, 3, 3, 3 };
        out.text(words(2, 6, true));
        out.endLine(attr("header", levels[m_rng.bounded(countOf(levels))]));
    } else if (kind < 71) {
        const QJsonObject list = attr("list", QLatin1String(kind < 65 ? "bullet" : "ordered"));
        for (int i = bounded(2, 6); i > 0; --i) {
            out.text(words(2, 10, true));
            out.endLine(list);
        }
    } else if (kind < 81) {
        static const QJsonObject checked = attr("list", QLatin1String("checked"));
        static const QJsonObject unchecked = attr("list", QLatin1String("unchecked"));
        for (int i = bounded(2, 7); i > 0; --i) {
            out.text(words(2, 8, true));
            out.endLine(chance(40) ? checked : unchecked);
        }
    } else if (kind < 86) {
        const QJsonObject codeBlock = chance(40)
            ? attr("code-block", true)
            : attr("code-block", QLatin1String(kCodeLanguages[m_rng.bounded(countOf(kCodeLanguages))]));
        int line = m_rng.bounded(countOf(kCodeLines));
        for (int i = bounded(2, 8); i > 0; --i) {
            out.text(QString::fromLatin1(kCodeLines[line]));
            out.endLine(codeBlock);
            line = (line + 1) % countOf(kCodeLines);
        }
    } else if (kind < 90) {
        static const QJsonObject quote = attr("blockquote", true);
        out.text(words(6, 20, true) + QLatin1Char('.'));
        out.endLine(quote);
    } else if (kind < 94) {
        out.endLine();
    } else if (kind < 97) {
        out.embed(attr("table", tableJson()));
        out.endLine();
    } else {
        out.embed(attr("divider", true));
        out.endLine();
    }
}

QString NoteGenerator::body(const QStringList &extraWords)
{
    DeltaBuilder out;
    out.text(words(2, 7, true));
    out.endLine(chance(15) ? attr("header", 1) : QJsonObject());

    const int size = m_rng.bounded(100);
    int blocks;
    if (size < 20)
        blocks = bounded(0, 2);
    else if (size < 80)
        blocks = bounded(3, 9);
    else if (size < 96)
        blocks = bounded(10, 22);
    else
        blocks = bounded(22, 50);

    QStringList extra = extraWords;
    const int extraAt = extra.isEmpty() ? -1 : bounded(0, blocks);
    for (int i = 0; i <= blocks; ++i) {
        if (i == extraAt)
            paragraph(out, &extra);
        if (i < blocks)
            block(out);
    }
    return out.json();
}

Note NoteGenerator::next()
{
    const int notesLeft = m_options.count - m_index;
    ++m_index;

    Note note;
    note.id = uuid();

    // Selection sampling: exactly the planned number of trashed notes and of
    // notes per rare word, spread at random over the whole run.
    const bool trashed = m_rng.bounded(notesLeft) < m_trashedLeft;
    if (trashed)
        --m_trashedLeft;
    QStringList extra;
    const QList<RareWord> &rare = rareWords();
    for (int i = 0; i < rare.size(); ++i) {
        if (m_rng.bounded(notesLeft) < m_rareLeft[i]) {
            --m_rareLeft[i];
            extra << rare.at(i).word;
        }
    }

    if (!m_notebooks.isEmpty() && !chance(25)) {
        // The lower of two draws: the first notebooks hold most notes.
        const int n = int(m_notebooks.size());
        note.notebookId = m_notebooks.at(qMin(m_rng.bounded(n), m_rng.bounded(n))).id;
    } else {
        note.notebookId = QLatin1String("");
    }

    note.createdAt = timeBetween(m_options.now.addDays(-730), m_options.now);
    const bool edited = chance(60);
    note.updatedAt = edited ? timeBetween(note.createdAt, m_options.now) : note.createdAt;
    note.modifiedAt = chance(85) ? note.updatedAt : timeBetween(note.updatedAt, m_options.now);
    note.version = edited ? bounded(2, 40) : 1;
    if (trashed)
        note.deletedAt = timeBetween(note.modifiedAt, m_options.now);
    note.body = body(extra);
    return note;
}

NoteWriter::NoteWriter(Database *database)
    : m_database(database)
{
}

bool NoteWriter::fail(const QString &what, const QString &driverError)
{
    m_error = what + QStringLiteral(": ") + driverError;
    return false;
}

bool NoteWriter::begin()
{
    QSqlDatabase db = m_database->db();
    if (!db.transaction())
        return fail(QStringLiteral("can't begin a transaction"), db.lastError().text());
    m_inTransaction = true;
    m_noteQuery = QSqlQuery(db);
    if (!m_noteQuery.prepare(QStringLiteral(
            "INSERT INTO notes (id, notebook_id, body, created_at, updated_at, modified_at, deleted_at, version, "
            "op_version, sync_status, is_sample, owner_id, is_shared, permission) "
            "VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)")))
        return fail(QStringLiteral("can't prepare the note insert"), m_noteQuery.lastError().text());
    m_notebookQuery = QSqlQuery(db);
    if (!m_notebookQuery.prepare(QStringLiteral(
            "INSERT INTO notebooks (id, name, is_default, is_shared, owner_id, created_at, updated_at, deleted_at, "
            "version, sync_status) VALUES (?, ?, 0, 0, NULL, ?, ?, NULL, 1, 'pending')")))
        return fail(QStringLiteral("can't prepare the notebook insert"), m_notebookQuery.lastError().text());
    m_index = std::make_unique<NoteIndexWriter>(db);
    return true;
}

bool NoteWriter::insertNotebook(const GeneratedNotebook &notebook)
{
    m_notebookQuery.bindValue(0, notebook.id);
    m_notebookQuery.bindValue(1, notebook.name);
    m_notebookQuery.bindValue(2, toStoredTimestamp(notebook.createdAt));
    m_notebookQuery.bindValue(3, toStoredTimestamp(notebook.updatedAt));
    if (!m_notebookQuery.exec())
        return fail(
            QStringLiteral("can't insert notebook \"%1\"").arg(notebook.name), m_notebookQuery.lastError().text());
    return true;
}

bool NoteWriter::insertNote(const Note &note)
{
    QSqlQuery &q = m_noteQuery;
    q.bindValue(0, note.id);
    q.bindValue(1, note.notebookId.isNull() ? QString(QLatin1String("")) : note.notebookId);
    q.bindValue(2, note.body);
    q.bindValue(3, toStoredTimestamp(note.createdAt));
    q.bindValue(4, toStoredTimestamp(note.updatedAt));
    q.bindValue(5, toStoredTimestamp(note.modifiedAt));
    q.bindValue(6, note.deletedAt ? QVariant(toStoredTimestamp(*note.deletedAt)) : nullText());
    q.bindValue(7, note.version);
    q.bindValue(8, note.opVersion);
    q.bindValue(9, syncStatusToText(note.syncStatus));
    q.bindValue(10, note.isSample ? 1 : 0);
    q.bindValue(11, note.ownerId.isEmpty() ? nullText() : QVariant(note.ownerId));
    q.bindValue(12, note.isShared ? 1 : 0);
    q.bindValue(13, note.permission.isEmpty() ? nullText() : QVariant(note.permission));
    if (!q.exec())
        return fail(QStringLiteral("can't insert note %1").arg(note.id), q.lastError().text());
    QString error;
    if (!m_index->write(q.lastInsertId().toLongLong(), note.body, &error))
        return fail(QStringLiteral("can't index note %1").arg(note.id), error);
    return true;
}

bool NoteWriter::commit()
{
    m_noteQuery.finish();
    m_notebookQuery.finish();
    m_index.reset();
    QSqlDatabase db = m_database->db();
    if (!db.commit()) {
        const QString error = db.lastError().text();
        rollback();
        return fail(QStringLiteral("can't commit"), error);
    }
    m_inTransaction = false;
    return true;
}

void NoteWriter::rollback()
{
    if (!m_inTransaction)
        return;
    m_noteQuery.finish();
    m_notebookQuery.finish();
    m_index.reset();
    m_database->db().rollback();
    m_inTransaction = false;
}

bool generateInto(Database *database, const GeneratorOptions &options, GenerationSummary *summary, QString *error)
{
    NoteGenerator generator(options);
    NoteWriter writer(database);
    GenerationSummary result;
    for (const RareWord &rare : generator.rareWords())
        result.rareWordNotes.append({ rare.word, 0 });

    bool ok = writer.begin();
    for (int i = 0; ok && i < generator.notebooks().size(); ++i)
        ok = writer.insertNotebook(generator.notebooks().at(i));
    while (ok && !generator.atEnd()) {
        const Note note = generator.next();
        ok = writer.insertNote(note);
        ++result.notes;
        if (note.isTrashed())
            ++result.trashed;
        if (note.notebookId.isEmpty())
            ++result.withoutNotebook;
        result.bodyChars += note.body.size();
        for (auto &rare : result.rareWordNotes) {
            if (note.body.contains(rare.first))
                ++rare.second;
        }
    }
    if (ok)
        ok = writer.commit();
    if (!ok) {
        writer.rollback();
        if (error)
            *error = writer.errorText();
        return false;
    }
    result.notebooks = int(generator.notebooks().size());
    if (summary)
        *summary = result;
    return true;
}
