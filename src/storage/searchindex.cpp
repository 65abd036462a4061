#include "searchindex.h"

#include "notetexts.h"
#include "sqlvalues.h"

#include <QRegularExpression>
#include <QSqlError>

#include <algorithm>

namespace {

// The tokenizer's word characters: letters, digits, private use and symbols
// ("So", where emoji live). Must agree with isSymbol() and isWordChar().
const char kTokenizer[] = "unicode61 remove_diacritics 2 categories 'L* N* Co So'";

bool isSymbol(char32_t c)
{
    return c >= 0x80 && QChar::category(c) == QChar::Symbol_Other;
}

bool isWordChar(char32_t c)
{
    if (c < 0x80)
        return (c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z');
    return QChar::isLetterOrNumber(c) || QChar::category(c) == QChar::Other_PrivateUse || isSymbol(c);
}

} // namespace

namespace SearchIndex {

QStringList schemaStatements()
{
    // Prefix indexes for one and two letters: without them FTS5 merges the
    // lists of every word that starts so ("th" is ~100 ms at 100k notes).
    return {
        QStringLiteral("CREATE VIRTUAL TABLE notes_fts USING fts5(text, tokenize=\"%1\", prefix='1 2')")
            .arg(QLatin1String(kTokenizer)),
        QStringLiteral("CREATE TABLE note_list_texts ("
                       "  note_rowid INTEGER PRIMARY KEY,"
                       "  title TEXT NOT NULL,"
                       "  preview TEXT NOT NULL,"
                       "  untitled INTEGER NOT NULL)"),
        QStringLiteral("CREATE TRIGGER notes_index_ad AFTER DELETE ON notes BEGIN"
                       "  DELETE FROM notes_fts WHERE rowid = old.rowid;"
                       "  DELETE FROM note_list_texts WHERE note_rowid = old.rowid;"
                       " END"),
    };
}

QString separateSymbols(const QString &text)
{
    // Most text has no symbol at all: copy only when one turns up.
    QString out;
    const qsizetype size = text.size();
    qsizetype copied = 0;
    for (qsizetype i = 0; i < size; ++i) {
        const char16_t unit = text.at(i).unicode();
        if (unit < 0x80)
            continue;
        char32_t c = unit;
        qsizetype length = 1;
        if (QChar::isHighSurrogate(unit) && i + 1 < size && text.at(i + 1).isLowSurrogate()) {
            c = QChar::surrogateToUcs4(unit, text.at(i + 1).unicode());
            length = 2;
        }
        if (isSymbol(c)) {
            out.append(QStringView(text).mid(copied, i - copied));
            out.append(QLatin1Char(' '));
            out.append(QStringView(text).mid(i, length));
            out.append(QLatin1Char(' '));
            copied = i + length;
        }
        i += length - 1;
    }
    if (copied == 0)
        return text;
    out.append(QStringView(text).mid(copied));
    return out;
}

QString rawQuery(const QString &text)
{
    return separateSymbols(text) + QLatin1Char('*');
}

QString quotedQuery(const QString &text)
{
    static const QRegularExpression space(QStringLiteral("\\s+"));
    const QStringList words = separateSymbols(text).split(space, Qt::SkipEmptyParts);
    QStringList terms;
    bool lastKept = false;
    for (const QString &word : words) {
        const QList<uint> codePoints = word.toUcs4();
        lastKept = std::any_of(codePoints.begin(), codePoints.end(), [](uint c) { return isWordChar(c); });
        if (!lastKept)
            continue;
        QString term = word;
        term.replace(QLatin1Char('"'), QLatin1String("\"\""));
        terms.append(QLatin1Char('"') + term + QLatin1Char('"'));
    }
    if (terms.isEmpty())
        return QString();
    const QList<uint> tail = text.right(2).toUcs4();
    if (lastKept && !tail.isEmpty() && QChar::isLetterOrNumber(tail.last()))
        terms.last().append(QLatin1Char('*'));
    return terms.join(QLatin1Char(' '));
}

} // namespace SearchIndex

NoteIndexWriter::NoteIndexWriter(const QSqlDatabase &db)
    : m_db(db)
    , m_text(db)
    , m_listTexts(db)
{
}

bool NoteIndexWriter::write(qint64 rowId, const QString &body, QString *error)
{
    if (!m_prepared) {
        // FTS5 honours OR REPLACE: the old row's tokens are removed first.
        m_prepared = m_text.prepare(QStringLiteral("INSERT OR REPLACE INTO notes_fts (rowid, text) VALUES (?, ?)"))
            && m_listTexts.prepare(QStringLiteral("INSERT OR REPLACE INTO note_list_texts "
                                                  "(note_rowid, title, preview, untitled) VALUES (?, ?, ?, ?)"));
        if (!m_prepared) {
            if (error)
                *error = (m_text.lastError().isValid() ? m_text : m_listTexts).lastError().text();
            return false;
        }
    }
    const NoteBodyTexts texts = noteBodyTexts(body);
    m_text.bindValue(0, rowId);
    m_text.bindValue(1, notNull(SearchIndex::separateSymbols(texts.searchText)));
    if (!m_text.exec()) {
        if (error)
            *error = m_text.lastError().text();
        return false;
    }
    m_listTexts.bindValue(0, rowId);
    m_listTexts.bindValue(1, notNull(texts.list.title));
    m_listTexts.bindValue(2, notNull(texts.list.preview));
    m_listTexts.bindValue(3, texts.list.untitled ? 1 : 0);
    if (!m_listTexts.exec()) {
        if (error)
            *error = m_listTexts.lastError().text();
        return false;
    }
    return true;
}
