#include "notetexts.h"

#include "note.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStringView>

#include <string_view>

namespace {

bool isJsonSpace(QChar c)
{
    return c == u' ' || c == u'\t' || c == u'\n' || c == u'\r';
}

// A table embed's value is JSON text: {"cells": rows of cells}, each cell a
// plain string or an array of Delta operations. Every cell goes on a line of
// its own so that words of neighbouring cells never run together.
void appendTableCellTexts(const QString &tableJson, QString *out)
{
    const QJsonDocument doc = QJsonDocument::fromJson(tableJson.toUtf8());
    const QJsonArray rows = doc.object().value(QLatin1String("cells")).toArray();
    for (const QJsonValue &row : rows) {
        const QJsonArray cells = row.toArray();
        for (const QJsonValue &cell : cells) {
            out->append(QLatin1Char('\n'));
            if (cell.isString()) {
                out->append(cell.toString());
                continue;
            }
            const QJsonArray ops = cell.toArray();
            for (const QJsonValue &op : ops) {
                const QJsonValue insert = op.toObject().value(QLatin1String("insert"));
                if (insert.isString())
                    out->append(insert.toString());
            }
        }
    }
}

// The general path for bodies the scanner refuses: the same texts through
// QJsonDocument. False when the body is not a JSON array (legacy text).
bool visibleTextsFromJson(const QString &body, QString *text, QString *tables)
{
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(body.toUtf8(), &error);
    if (error.error != QJsonParseError::NoError || !doc.isArray())
        return false;
    const QJsonArray ops = doc.array();
    for (const QJsonValue &op : ops) {
        const QJsonValue insert = op.toObject().value(QLatin1String("insert"));
        if (insert.isString()) {
            text->append(insert.toString());
        } else if (insert.isObject()) {
            const QJsonValue table = insert.toObject().value(QLatin1String("table"));
            if (table.isString())
                appendTableCellTexts(table.toString(), tables);
        }
    }
    return true;
}

NoteListTexts listTextsFromPlainText(const QString &text)
{
    NoteListTexts texts;
    texts.title = titleFromPlainText(text);
    texts.preview = previewFromPlainText(text);
    if (texts.title.isEmpty()) {
        texts.untitled = true;
        texts.title = texts.preview.isEmpty() ? QStringLiteral("Untitled") : texts.preview;
        texts.preview.clear();
    }
    return texts;
}

// A strict single-pass reader for Delta bodies that collects the string
// inserts without building a JSON tree: QJsonDocument spent most of a large
// refresh allocating values the list never looks at. It stops collecting once
// title and preview are settled but still checks the rest is valid JSON.
// Anything it is unsure about (invalid JSON, a top-level object, lone
// surrogates, duplicate keys) fails, and the caller takes the general path.
class DeltaTextScanner
{
public:
    explicit DeltaTextScanner(QStringView body)
        : m_p(body.data())
        , m_end(body.data() + body.size())
    {
    }

    // Collects the text inserts into `text`; with `tables`, also the cell texts
    // of table embeds, and then reads every insert instead of stopping early.
    bool scan(QString *text, QString *tables = nullptr)
    {
        m_text = text;
        m_tables = tables;
        skipSpace();
        if (!consume(u'['))
            return false;
        skipSpace();
        if (consume(u']'))
            return atEndAfterSpace();
        for (;;) {
            if (!operation())
                return false;
            skipSpace();
            if (consume(u']'))
                return atEndAfterSpace();
            if (!consume(u','))
                return false;
            skipSpace();
        }
    }

private:
    static constexpr int kMaxDepth = 64;

    bool consume(char16_t c)
    {
        if (m_p < m_end && *m_p == c) {
            ++m_p;
            return true;
        }
        return false;
    }

    void skipSpace()
    {
        while (m_p < m_end && isJsonSpace(*m_p))
            ++m_p;
    }

    bool atEndAfterSpace()
    {
        skipSpace();
        return m_p == m_end;
    }

    // The members of the object at m_p: member(key) reads each value. Keys
    // are only collected when `keys` is set.
    template<typename Member> bool members(bool keys, Member member)
    {
        ++m_p;
        skipSpace();
        if (consume(u'}'))
            return true;
        for (;;) {
            QString key;
            if (!string(keys ? &key : nullptr))
                return false;
            skipSpace();
            if (!consume(u':'))
                return false;
            skipSpace();
            if (!member(key))
                return false;
            skipSpace();
            if (consume(u'}'))
                return true;
            if (!consume(u','))
                return false;
            skipSpace();
        }
    }

    // One element of the top-level array; only objects can carry text.
    bool operation()
    {
        if (m_p >= m_end)
            return false;
        if (*m_p != u'{')
            return value(1);
        bool seenInsert = false;
        return members(true, [this, &seenInsert](const QString &key) {
            if (key != QLatin1String("insert"))
                return value(1);
            if (seenInsert)
                return false;
            seenInsert = true;
            if (m_p < m_end && *m_p == u'"') {
                if (!string(m_enough ? nullptr : m_text))
                    return false;
                noteProgress();
                return true;
            }
            if (m_tables && m_p < m_end && *m_p == u'{')
                return embed();
            return value(1);
        });
    }

    // An embed object; only a table's value (a JSON text) holds visible text.
    bool embed()
    {
        return members(true, [this](const QString &key) {
            if (key != QLatin1String("table") || m_p >= m_end || *m_p != u'"')
                return value(2);
            QString json;
            if (!string(&json))
                return false;
            appendTableCellTexts(json, m_tables);
            return true;
        });
    }

    // Title and preview are fixed once the text after the first line break
    // has a non-space character past the 120 characters the preview keeps.
    void noteProgress()
    {
        if (m_enough || m_tables)
            return;
        const qsizetype newline = m_text->indexOf(QLatin1Char('\n'));
        if (newline < 0)
            return;
        qsizetype start = newline + 1;
        while (start < m_text->size() && m_text->at(start).isSpace())
            ++start;
        for (qsizetype i = start + 120; i < m_text->size(); ++i) {
            if (!m_text->at(i).isSpace()) {
                m_enough = true;
                return;
            }
        }
    }

    bool value(int depth)
    {
        if (depth > kMaxDepth || m_p >= m_end)
            return false;
        switch (m_p->unicode()) {
        case u'"':
            return string(nullptr);
        case u'{':
            return object(depth + 1);
        case u'[':
            return array(depth + 1);
        case u't':
            return literal(u"true");
        case u'f':
            return literal(u"false");
        case u'n':
            return literal(u"null");
        default:
            return number();
        }
    }

    bool object(int depth)
    {
        return members(false, [this, depth](const QString &) { return value(depth); });
    }

    bool array(int depth)
    {
        ++m_p;
        skipSpace();
        if (consume(u']'))
            return true;
        for (;;) {
            if (!value(depth))
                return false;
            skipSpace();
            if (consume(u']'))
                return true;
            if (!consume(u','))
                return false;
            skipSpace();
        }
    }

    bool literal(std::u16string_view word)
    {
        if (m_end - m_p < qsizetype(word.size()))
            return false;
        for (char16_t c : word) {
            if (*m_p != c)
                return false;
            ++m_p;
        }
        return true;
    }

    bool digits()
    {
        const QChar *start = m_p;
        while (m_p < m_end && *m_p >= u'0' && *m_p <= u'9')
            ++m_p;
        return m_p > start;
    }

    bool number()
    {
        consume(u'-');
        if (consume(u'0')) {
            if (m_p < m_end && *m_p >= u'0' && *m_p <= u'9')
                return false;
        } else if (!digits()) {
            return false;
        }
        if (consume(u'.') && !digits())
            return false;
        if (consume(u'e') || consume(u'E')) {
            if (!consume(u'+'))
                consume(u'-');
            if (!digits())
                return false;
        }
        return true;
    }

    bool hex4(char16_t *out)
    {
        if (m_end - m_p < 4)
            return false;
        char16_t v = 0;
        for (int i = 0; i < 4; ++i, ++m_p) {
            const char16_t c = m_p->unicode();
            v = char16_t(v << 4);
            if (c >= u'0' && c <= u'9')
                v = char16_t(v | (c - u'0'));
            else if (c >= u'a' && c <= u'f')
                v = char16_t(v | (c - u'a' + 10));
            else if (c >= u'A' && c <= u'F')
                v = char16_t(v | (c - u'A' + 10));
            else
                return false;
        }
        *out = v;
        return true;
    }

    // Appends the string's value to `out` when given.
    bool string(QString *out)
    {
        if (!consume(u'"'))
            return false;
        for (;;) {
            const QChar *run = m_p;
            while (m_p < m_end && *m_p != u'"' && *m_p != u'\\' && m_p->unicode() >= 0x20
                   && !m_p->isSurrogate())
                ++m_p;
            if (out && m_p > run)
                out->append(run, m_p - run);
            if (m_p >= m_end)
                return false;
            const char16_t c = m_p->unicode();
            if (c == u'"') {
                ++m_p;
                return true;
            }
            if (c < 0x20)
                return false;
            if (QChar::isHighSurrogate(c)) {
                if (m_end - m_p < 2 || !m_p[1].isLowSurrogate())
                    return false;
                if (out)
                    out->append(m_p, 2);
                m_p += 2;
                continue;
            }
            if (c != u'\\')
                return false; // a lone low surrogate
            ++m_p;
            if (m_p >= m_end)
                return false;
            char16_t unit = 0;
            switch (m_p->unicode()) {
            case u'"': unit = u'"'; break;
            case u'\\': unit = u'\\'; break;
            case u'/': unit = u'/'; break;
            case u'b': unit = u'\b'; break;
            case u'f': unit = u'\f'; break;
            case u'n': unit = u'\n'; break;
            case u'r': unit = u'\r'; break;
            case u't': unit = u'\t'; break;
            case u'u': {
                ++m_p;
                char16_t high = 0;
                if (!hex4(&high))
                    return false;
                if (QChar::isLowSurrogate(high))
                    return false;
                if (QChar::isHighSurrogate(high)) {
                    char16_t low = 0;
                    if (!consume(u'\\') || !consume(u'u') || !hex4(&low) || !QChar::isLowSurrogate(low))
                        return false;
                    if (out) {
                        out->append(QChar(high));
                        out->append(QChar(low));
                    }
                } else if (out) {
                    out->append(QChar(high));
                }
                continue;
            }
            default:
                return false;
            }
            ++m_p;
            if (out)
                out->append(QChar(unit));
        }
    }

    const QChar *m_p;
    const QChar *m_end;
    QString *m_text = nullptr;
    QString *m_tables = nullptr;
    bool m_enough = false;
};

} // namespace

NoteListTexts noteListTexts(const QString &body)
{
    QString text;
    if (!DeltaTextScanner(body).scan(&text))
        text = deltaToPlainText(body);
    // The body's JSON is read once per row: both texts come from that text.
    return listTextsFromPlainText(text);
}

NoteBodyTexts noteBodyTexts(const QString &body)
{
    QString text;
    QString tables;
    if (!DeltaTextScanner(body).scan(&text, &tables)) {
        text.clear();
        tables.clear();
        if (!visibleTextsFromJson(body, &text, &tables))
            text = body;
    }
    NoteBodyTexts texts;
    texts.list = listTextsFromPlainText(text);
    texts.searchText = tables.isEmpty() ? text : text + tables;
    return texts;
}
