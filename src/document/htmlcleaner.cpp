#include "htmlcleaner.h"

#include "convertcommon.h"

#include <QHash>
#include <QList>

#include <algorithm>

namespace DocumentConvert {

namespace {

enum class TokenKind {
    // Text, with any '<' in it escaped when written: a '<' that begins no
    // tag, or a tag or comment still open at the end of the text.
    Text,
    StartTag,
    EndTag,
};

enum class Action {
    Keep,
    Drop,
    // Cells of a table read as text: a space between them.
    Space,
    // Rows of a table read as text: a line break, when the row held anything.
    Break,
    // An oversized table's opening tag: a line saying what became of it.
    Notice,
    // Past the line budget: a line separator, or every
    // linesPerJoinedParagraph lines a new paragraph, before the next text.
    JoinedLine,
};

struct Token
{
    TokenKind kind = TokenKind::Text;
    qsizetype begin = 0;
    qsizetype end = 0;
    QString name;
    // A start tag written again without its unsafe attributes; empty when the
    // source is kept as it came.
    QString rebuilt;
    // Written before the token.
    QString prefix;
    // Text whose line breaks are lines, past the budget.
    bool preformatted = false;
    qint64 colspan = 1;
    qint64 rowspan = 1;
    Action action = Action::Keep;
};

Token makeToken(TokenKind kind, qsizetype begin, qsizetype end, QString name = QString())
{
    Token token;
    token.kind = kind;
    token.begin = begin;
    token.end = end;
    token.name = std::move(name);
    return token;
}

bool isBlockedElement(const QString &name)
{
    static const QStringList names = { QStringLiteral("script"), QStringLiteral("style"), QStringLiteral("nav"),
        QStringLiteral("header"), QStringLiteral("footer"), QStringLiteral("aside"), QStringLiteral("iframe"),
        QStringLiteral("noscript") };
    return names.contains(name);
}

bool isVoidElement(const QString &name)
{
    static const QStringList names = { QStringLiteral("area"), QStringLiteral("base"), QStringLiteral("br"),
        QStringLiteral("col"), QStringLiteral("embed"), QStringLiteral("hr"), QStringLiteral("img"),
        QStringLiteral("input"), QStringLiteral("link"), QStringLiteral("meta"), QStringLiteral("param"),
        QStringLiteral("source"), QStringLiteral("track"), QStringLiteral("wbr") };
    return names.contains(name);
}

bool isTablePart(const QString &name)
{
    static const QStringList names = { QStringLiteral("tr"), QStringLiteral("td"), QStringLiteral("th"),
        QStringLiteral("thead"), QStringLiteral("tbody"), QStringLiteral("tfoot"), QStringLiteral("caption"),
        QStringLiteral("colgroup"), QStringLiteral("col") };
    return names.contains(name);
}

// Elements that never start a line of their own.
bool isInlineElement(const QString &name)
{
    static const QStringList names = { QStringLiteral("a"), QStringLiteral("abbr"), QStringLiteral("b"),
        QStringLiteral("big"), QStringLiteral("br"), QStringLiteral("cite"), QStringLiteral("code"),
        QStringLiteral("del"), QStringLiteral("em"), QStringLiteral("font"), QStringLiteral("i"), QStringLiteral("img"),
        QStringLiteral("ins"), QStringLiteral("kbd"), QStringLiteral("mark"), QStringLiteral("q"), QStringLiteral("s"),
        QStringLiteral("samp"), QStringLiteral("small"), QStringLiteral("span"), QStringLiteral("strike"),
        QStringLiteral("strong"), QStringLiteral("sub"), QStringLiteral("sup"), QStringLiteral("tt"),
        QStringLiteral("u"), QStringLiteral("var"), QStringLiteral("wbr") };
    return names.contains(name);
}

bool isPreformatted(const QString &name)
{
    return name == QLatin1String("pre") || name == QLatin1String("textarea") || name == QLatin1String("listing")
        || name == QLatin1String("xmp") || name == QLatin1String("plaintext");
}

bool isSpace(QChar c)
{
    return c == QLatin1Char(' ') || c == QLatin1Char('\t') || c == QLatin1Char('\n') || c == QLatin1Char('\r')
        || c == QLatin1Char('\f');
}

bool isNameChar(QChar c)
{
    return c.isLetterOrNumber() || c == QLatin1Char('-') || c == QLatin1Char('_') || c == QLatin1Char(':')
        || c == QLatin1Char('.');
}

bool isAsciiLetter(QChar c)
{
    const char16_t u = c.unicode();
    return (u >= u'a' && u <= u'z') || (u >= u'A' && u <= u'Z');
}

int asciiDigitValue(QChar c, int base)
{
    const char16_t u = c.unicode();
    int v = -1;
    if (u >= u'0' && u <= u'9')
        v = u - u'0';
    else if (u >= u'a' && u <= u'z')
        v = u - u'a' + 10;
    else if (u >= u'A' && u <= u'Z')
        v = u - u'A' + 10;
    return v < base ? v : -1;
}

// An attribute value as a browser reads it: character references decoded,
// whitespace and control characters (which browsers skip inside a URL
// scheme) left out, lower case.
QString decodedForSchemeCheck(QStringView value)
{
    QString out;
    out.reserve(value.size());
    const auto append = [&out](char32_t c) {
        if (c > 0x20 && (c < 0x7f || c > 0x9f))
            out += QString::fromUcs4(&c, 1).toLower();
    };
    for (qsizetype i = 0; i < value.size(); ++i) {
        const QChar c = value.at(i);
        if (c != QLatin1Char('&')) {
            append(c.unicode());
            continue;
        }
        qsizetype j = i + 1;
        if (j < value.size() && value.at(j) == QLatin1Char('#')) {
            ++j;
            const bool hex = j < value.size() && (value.at(j) == QLatin1Char('x') || value.at(j) == QLatin1Char('X'));
            if (hex)
                ++j;
            const qsizetype digits = j;
            char32_t code = 0;
            for (; j < value.size() && j - digits < 8; ++j) {
                const int v = asciiDigitValue(value.at(j), hex ? 16 : 10);
                if (v < 0)
                    break;
                code = code * (hex ? 16 : 10) + char32_t(v);
            }
            if (j > digits) {
                if (j < value.size() && value.at(j) == QLatin1Char(';'))
                    ++j;
                append(code > 0x10FFFF ? 0xFFFD : code);
                i = j - 1;
                continue;
            }
        } else {
            static const QList<std::pair<QLatin1String, char32_t>> named = { { QLatin1String("colon;"), ':' },
                { QLatin1String("tab;"), '\t' }, { QLatin1String("newline;"), '\n' } };
            bool matched = false;
            for (const auto &[entity, code] : named) {
                if (value.mid(j).startsWith(entity, Qt::CaseInsensitive)) {
                    append(code);
                    i = j + entity.size() - 1;
                    matched = true;
                    break;
                }
            }
            if (matched)
                continue;
        }
        append(c.unicode());
    }
    return out;
}

bool isUnsafeAttribute(QStringView name, QStringView value)
{
    return name.startsWith(QLatin1String("on"), Qt::CaseInsensitive) || isScriptUrl(value);
}

qint64 spanValue(QStringView value)
{
    bool ok = false;
    const qint64 span = value.trimmed().left(7).toLongLong(&ok);
    return ok ? std::clamp<qint64>(span, 1, 1000000) : 1;
}

class Tokenizer
{
public:
    explicit Tokenizer(QStringView html)
        : m_html(html)
    {
    }

    QList<Token> run()
    {
        // At most a tag and a text per '<': growing the list as it went took
        // a third of the time of a megabyte of short paragraphs.
        m_tokens.reserve(2 * m_html.count(QLatin1Char('<')) + 1);
        qsizetype i = 0;
        const qsizetype n = m_html.size();
        while (i < n) {
            const qsizetype lt = m_html.indexOf(QLatin1Char('<'), i);
            if (lt < 0) {
                text(i, n);
                break;
            }
            if (lt > i)
                text(i, lt);
            i = markup(lt);
        }
        return std::move(m_tokens);
    }

private:
    void push(Token token) { m_tokens.append(std::move(token)); }

    QChar at(qsizetype i) const { return i < m_html.size() ? m_html.at(i) : QChar(); }

    // Reads the markup starting at the '<' at lt; returns where reading goes on.
    qsizetype markup(qsizetype lt)
    {
        const qsizetype n = m_html.size();
        const QChar next = at(lt + 1);
        if (next == QLatin1Char('!') || next == QLatin1Char('?')) {
            // Comments, declarations and processing instructions show nothing.
            const bool comment = m_html.mid(lt).startsWith(QLatin1String("<!--"));
            qsizetype close = comment ? m_html.indexOf(QLatin1String("-->"), lt + 4)
                                      : m_html.indexOf(QLatin1Char('>'), lt + 2);
            // "<!-->" and "<!--->" are whole, empty comments.
            if (comment && at(lt + 4) == QLatin1Char('>'))
                close = lt + 2;
            else if (comment && at(lt + 4) == QLatin1Char('-') && at(lt + 5) == QLatin1Char('>'))
                close = lt + 3;
            if (close < 0)
                return openToEnd(lt);
            const qsizetype end = close + (comment ? 3 : 1);
            Token token = makeToken(TokenKind::StartTag, lt, end);
            token.action = Action::Drop;
            push(std::move(token));
            return end;
        }
        const bool endTag = next == QLatin1Char('/');
        const qsizetype nameStart = lt + (endTag ? 2 : 1);
        if (!isAsciiLetter(at(nameStart)))
            return lessThan(lt);
        qsizetype p = nameStart;
        while (p < n && isNameChar(m_html.at(p)))
            ++p;
        if (p < n && !isSpace(m_html.at(p)) && m_html.at(p) != QLatin1Char('/') && m_html.at(p) != QLatin1Char('>'))
            return lessThan(lt);
        Token token = makeToken(endTag ? TokenKind::EndTag : TokenKind::StartTag, lt, 0,
            m_html.mid(nameStart, p - nameStart).toString().toLower());
        if (endTag) {
            const qsizetype close = m_html.indexOf(QLatin1Char('>'), p);
            if (close < 0)
                return openToEnd(lt);
            token.end = close + 1;
            if (isBlockedElement(token.name))
                token.action = Action::Drop;
            push(std::move(token));
            return close + 1;
        }
        if (!attributes(p, &token))
            return openToEnd(lt);
        if (isBlockedElement(token.name))
            return blockedElement(std::move(token));
        const qsizetype end = token.end;
        push(std::move(token));
        return end;
    }

    // Reads the attributes of a start tag from p; false when the tag does not end.
    bool attributes(qsizetype p, Token *token)
    {
        const qsizetype n = m_html.size();
        QList<std::pair<qsizetype, qsizetype>> kept;
        bool dropped = false;
        bool selfClosing = false;
        while (true) {
            while (p < n && (isSpace(m_html.at(p)) || m_html.at(p) == QLatin1Char('/'))) {
                selfClosing = m_html.at(p) == QLatin1Char('/');
                ++p;
            }
            if (p >= n)
                return false;
            if (m_html.at(p) == QLatin1Char('>'))
                break;
            selfClosing = false;
            const qsizetype nameStart = p;
            ++p; // a leading '=' belongs to the name
            while (p < n && !isSpace(m_html.at(p)) && m_html.at(p) != QLatin1Char('/') && m_html.at(p) != QLatin1Char('>')
                && m_html.at(p) != QLatin1Char('='))
                ++p;
            const QStringView name = m_html.mid(nameStart, p - nameStart);
            qsizetype q = p;
            while (q < n && isSpace(m_html.at(q)))
                ++q;
            QStringView value;
            if (q < n && m_html.at(q) == QLatin1Char('=')) {
                ++q;
                while (q < n && isSpace(m_html.at(q)))
                    ++q;
                if (q >= n)
                    return false;
                const QChar quote = m_html.at(q);
                if (quote == QLatin1Char('"') || quote == QLatin1Char('\'')) {
                    const qsizetype close = m_html.indexOf(quote, q + 1);
                    if (close < 0)
                        return false;
                    value = m_html.mid(q + 1, close - q - 1);
                    p = close + 1;
                } else {
                    p = q;
                    while (p < n && !isSpace(m_html.at(p)) && m_html.at(p) != QLatin1Char('>'))
                        ++p;
                    value = m_html.mid(q, p - q);
                }
            }
            // Names a browser would not take as one (a quote or '<' in them, or
            // an '=' first) go too: written again between spaces they could
            // join their neighbours into another attribute.
            const bool malformed = name.startsWith(QLatin1Char('=')) || name.contains(QLatin1Char('"'))
                || name.contains(QLatin1Char('\'')) || name.contains(QLatin1Char('<'));
            if (malformed || isUnsafeAttribute(name, value)) {
                dropped = true;
                continue;
            }
            if (name.compare(QLatin1String("colspan"), Qt::CaseInsensitive) == 0)
                token->colspan = spanValue(value);
            else if (name.compare(QLatin1String("rowspan"), Qt::CaseInsensitive) == 0)
                token->rowspan = spanValue(value);
            kept.append({ nameStart, p });
        }
        token->end = p + 1;
        if (dropped) {
            token->rebuilt = QLatin1Char('<') + token->name;
            for (const auto &[from, to] : std::as_const(kept))
                token->rebuilt += QLatin1Char(' ') + m_html.mid(from, to - from);
            token->rebuilt += selfClosing ? QLatin1String(" />") : QLatin1String(">");
        }
        return true;
    }

    // The element and everything up to its end tag go; without an end tag
    // only the opening tag goes and what follows is kept as ordinary markup.
    qsizetype blockedElement(Token token)
    {
        token.action = Action::Drop;
        const qsizetype afterOpen = token.end;
        const QString closer = QLatin1String("</") + token.name;
        // Every later opening tag of a name without end tag would search the
        // same rest in vain; remembering that keeps the pass linear.
        qsizetype &noCloserFrom = m_noCloserFrom[token.name];
        qsizetype from = afterOpen;
        while (noCloserFrom == 0) {
            const qsizetype close = m_html.indexOf(closer, from, Qt::CaseInsensitive);
            if (close < 0) {
                noCloserFrom = afterOpen;
                break;
            }
            const QChar after = at(close + closer.size());
            if (close + closer.size() < m_html.size() && !isSpace(after) && after != QLatin1Char('/')
                && after != QLatin1Char('>')) {
                from = close + 1;
                continue;
            }
            const qsizetype gt = m_html.indexOf(QLatin1Char('>'), close);
            if (gt < 0)
                return openToEnd(token.begin);
            token.end = gt + 1;
            break;
        }
        push(token);
        return token.end;
    }

    qsizetype lessThan(qsizetype lt)
    {
        text(lt, lt + 1);
        return lt + 1;
    }

    qsizetype openToEnd(qsizetype lt)
    {
        text(lt, m_html.size());
        return m_html.size();
    }

    // Neighbouring text joins one token.
    void text(qsizetype from, qsizetype to)
    {
        if (!m_tokens.isEmpty() && m_tokens.last().kind == TokenKind::Text && m_tokens.last().end == from)
            m_tokens.last().end = to;
        else
            push(makeToken(TokenKind::Text, from, to));
    }

    QStringView m_html;
    QList<Token> m_tokens;
    QHash<QString, qsizetype> m_noCloserFrom;
};

// A quoted attribute value may hold "<script>"; a reader that ends tags at
// the first '>' would see a tag there, so brackets inside a tag are escaped
// (values decode character references, so they mean the same).
QString withQuotedBracketsEscaped(QStringView tag)
{
    const QStringView inside = tag.mid(1, tag.size() - 2);
    if (!inside.contains(QLatin1Char('<')) && !inside.contains(QLatin1Char('>')))
        return tag.toString();
    QString escaped = inside.toString();
    escaped.replace(QLatin1Char('<'), QLatin1String("&lt;"));
    escaped.replace(QLatin1Char('>'), QLatin1String("&gt;"));
    return QLatin1Char('<') + escaped + QLatin1Char('>');
}

struct OpenElement
{
    QString name;
    qsizetype token = 0;
    int items = 0;
};

struct TableState
{
    qsizetype startToken = 0;
    bool flatten = false;
    qint64 rows = 0;
    qint64 rowsReached = 0;
    qint64 cellsInRow = 0;
    qint64 columns = 0;
    QList<qsizetype> parts;
};

// Decides which tags Qt's reader gets to see: nesting is capped, tables
// inside tables become text in their cell, tables with too many cells
// become text with a notice.
class ReadableBounds
{
public:
    ReadableBounds(QStringView html, QList<Token> *tokens)
        : m_html(html)
        , m_tokens(*tokens)
    {
    }

    void run()
    {
        qsizetype lines = 0;
        int preformatted = 0;
        bool joining = false;
        for (qsizetype k = 0; k < m_tokens.size(); ++k) {
            Token &token = m_tokens[k];
            if (token.action != Action::Keep)
                continue;
            if (isPreformatted(token.name))
                preformatted = std::max(0, preformatted + (token.kind == TokenKind::StartTag ? 1 : -1));
            if (joining) {
                joinLines(token, preformatted > 0);
                continue;
            }
            if (token.kind == TokenKind::Text) {
                // Every line of preformatted text is a line of its own.
                if (preformatted > 0 && splitAtBudget(k, &lines)) {
                    beginJoinedLines(m_tokens[k + 1]);
                    joining = true;
                }
                continue;
            }
            // A table the budget ends in keeps its rows so far.
            const bool newLine = token.kind == TokenKind::StartTag
                && (!isInlineElement(token.name) || token.name == QLatin1String("br"));
            if (newLine && ++lines > maxReadLines) {
                beginJoinedLines(token);
                joining = true;
                joinLines(token, preformatted > 0);
                continue;
            }
            if (token.kind == TokenKind::StartTag)
                start(k);
            else if (token.kind == TokenKind::EndTag)
                end(k);
        }
        while (!m_tables.isEmpty())
            closeTable(qsizetype(-1));
    }

private:
    // Every element still open ends, and the rest follows a notice in a
    // paragraph of its own.
    void beginJoinedLines(Token &first)
    {
        for (qsizetype i = m_open.size() - 1; i >= 0; --i)
            first.prefix += QLatin1String("</") + m_open.at(i).name + QLatin1Char('>');
        m_open.clear();
        first.prefix += QLatin1String("<p><i>") + longTextNotice().toHtmlEscaped() + QLatin1String("</i></p><p>");
    }

    // Counts the lines of the preformatted text token k; when they pass the
    // budget, the token ends at the line break where it runs out and the
    // rest follows as a token of its own.
    bool splitAtBudget(qsizetype k, qsizetype *lines)
    {
        const Token token = m_tokens.at(k);
        qsizetype at = token.begin;
        while (true) {
            const qsizetype newline = m_html.indexOf(QLatin1Char('\n'), at);
            if (newline < 0 || newline >= token.end)
                return false;
            at = newline + 1;
            if (++*lines > maxReadLines)
                break;
        }
        m_tokens[k].end = at - 1;
        m_tokens.insert(k + 1, makeToken(TokenKind::Text, at, token.end));
        return true;
    }

    // Past the budget only text and pictures stay; elements that would start
    // a line part lines in the paragraph, cells are spaces, and so do the
    // line breaks of preformatted text.
    static void joinLines(Token &token, bool preformatted)
    {
        if (token.kind == TokenKind::Text) {
            token.preformatted = preformatted;
            return;
        }
        if (token.name == QLatin1String("img"))
            return;
        if (token.name == QLatin1String("br") || !isInlineElement(token.name)) {
            const bool cell = token.name == QLatin1String("td") || token.name == QLatin1String("th");
            token.action = cell && token.kind == TokenKind::StartTag ? Action::Space : Action::JoinedLine;
            return;
        }
        token.action = Action::Drop;
    }

    QString top() const { return m_open.isEmpty() ? QString() : m_open.last().name; }

    qsizetype lastOpen(const QString &name) const
    {
        for (qsizetype i = m_open.size() - 1; i >= 0; --i) {
            if (m_open.at(i).name == name)
                return i;
        }
        return -1;
    }

    // Qt's reader takes time quadratic in the items of one list; lines of
    // a note do not know which list they came from, so long lists are read
    // as several lists in a row.
    void splitLongList(Token &item)
    {
        for (qsizetype i = m_open.size() - 1; i >= 0; --i) {
            OpenElement &list = m_open[i];
            if (list.name != QLatin1String("ul") && list.name != QLatin1String("ol"))
                continue;
            if (++list.items > maxListItems) {
                const Token &open = m_tokens.at(list.token);
                const QStringView openTag = open.rebuilt.isEmpty() ? m_html.mid(open.begin, open.end - open.begin)
                                                                   : QStringView(open.rebuilt);
                item.prefix = QLatin1String("</") + list.name + QLatin1Char('>') + withQuotedBracketsEscaped(openTag);
                list.items = 1;
            }
            return;
        }
    }

    void popWhile(std::initializer_list<QLatin1String> names)
    {
        while (!m_open.isEmpty() && std::any_of(names.begin(), names.end(), [&](QLatin1String n) { return m_open.last().name == n; }))
            m_open.removeLast();
    }

    // What a new element closes implicitly, as HTML readers do; only the
    // elements on top count, so the estimate of depth errs on the deep side.
    void closeImplied(const QString &name)
    {
        if (name == QLatin1String("p") || name == QLatin1String("li") || name == QLatin1String("option")) {
            if (top() == name)
                m_open.removeLast();
        } else if (name == QLatin1String("dt") || name == QLatin1String("dd")) {
            popWhile({ QLatin1String("dt"), QLatin1String("dd") });
        } else if (name == QLatin1String("td") || name == QLatin1String("th")) {
            popWhile({ QLatin1String("td"), QLatin1String("th") });
        } else if (name == QLatin1String("tr")) {
            popWhile({ QLatin1String("td"), QLatin1String("th"), QLatin1String("tr") });
        } else if (name == QLatin1String("thead") || name == QLatin1String("tbody") || name == QLatin1String("tfoot")) {
            popWhile({ QLatin1String("td"), QLatin1String("th"), QLatin1String("tr"), QLatin1String("thead"),
                QLatin1String("tbody"), QLatin1String("tfoot") });
        }
    }

    void pushElement(qsizetype k)
    {
        Token &token = m_tokens[k];
        if (isVoidElement(token.name))
            return;
        if (m_open.size() >= maxHtmlNesting) {
            token.action = Action::Drop;
            return;
        }
        m_open.append({ token.name, k });
        if (token.name == QLatin1String("li"))
            splitLongList(token);
    }

    void start(qsizetype k)
    {
        Token &token = m_tokens[k];
        if (token.name == QLatin1String("table")) {
            TableState table;
            table.startToken = k;
            table.flatten = !m_tables.isEmpty() || m_open.size() >= maxHtmlNesting;
            if (!table.flatten)
                m_open.append({ token.name, k });
            m_tables.append(table);
            return;
        }
        if (isTablePart(token.name) && m_tables.isEmpty()) {
            // Qt builds a table around cells outside one, with no limit on
            // its size; read them as text instead.
            token.action = flattenedPart(token);
            return;
        }
        if (isTablePart(token.name)) {
            TableState &table = m_tables.last();
            table.parts.append(k);
            if (token.name == QLatin1String("tr")) {
                ++table.rows;
                table.cellsInRow = 0;
            } else if (token.name == QLatin1String("td") || token.name == QLatin1String("th")) {
                table.rows = std::max<qint64>(table.rows, 1);
                table.cellsInRow += token.colspan;
                table.columns = std::max(table.columns, table.cellsInRow);
                table.rowsReached = std::max(table.rowsReached, table.rows - 1 + token.rowspan);
            }
            if (table.flatten)
                return;
        }
        closeImplied(token.name);
        pushElement(k);
    }

    void end(qsizetype k)
    {
        Token &token = m_tokens[k];
        if (token.name == QLatin1String("table")) {
            if (m_tables.isEmpty())
                token.action = Action::Drop;
            else
                closeTable(k);
            return;
        }
        if (isTablePart(token.name) && m_tables.isEmpty()) {
            token.action = Action::Drop;
            return;
        }
        if (isTablePart(token.name)) {
            m_tables.last().parts.append(k);
            if (m_tables.last().flatten)
                return;
        }
        const qsizetype at = lastOpen(token.name);
        if (at < 0) {
            token.action = Action::Drop;
            return;
        }
        m_open.resize(at);
    }

    // A table's cells read as text: a space before each cell, a line break
    // before each row.
    static Action flattenedPart(const Token &part)
    {
        if (part.kind != TokenKind::StartTag)
            return Action::Drop;
        if (part.name == QLatin1String("td") || part.name == QLatin1String("th"))
            return Action::Space;
        if (part.name == QLatin1String("tr") || part.name == QLatin1String("caption"))
            return Action::Break;
        return Action::Drop;
    }

    void closeTable(qsizetype endToken)
    {
        TableState table = m_tables.takeLast();
        const qint64 rows = std::max(table.rows, table.rowsReached);
        const bool oversized = rows * table.columns > maxTableCells;
        if (!table.flatten) {
            const qsizetype at = lastOpen(QStringLiteral("table"));
            if (at >= 0)
                m_open.resize(at);
        }
        if (!table.flatten && !oversized)
            return;
        m_tokens[table.startToken].action = table.flatten ? Action::Break : Action::Notice;
        if (oversized && !table.flatten) {
            m_tokens[table.startToken].rebuilt = QLatin1String("<p><i>")
                + oversizedTableNotice(rows, table.columns).toHtmlEscaped() + QLatin1String("</i></p>");
        }
        if (endToken >= 0)
            m_tokens[endToken].action = Action::Break;
        for (const qsizetype k : std::as_const(table.parts))
            m_tokens[k].action = flattenedPart(m_tokens.at(k));
    }

    QStringView m_html;
    QList<Token> &m_tokens;
    QList<OpenElement> m_open;
    QList<TableState> m_tables;
};

QString render(QStringView html, const QList<Token> &tokens)
{
    QString out;
    out.reserve(html.size());
    // Rows of a table read as text break lines only after something was written.
    bool wroteSinceBreak = false;
    // Joined lines part only where text follows, so empty elements add no lines.
    bool lineBreakDue = false;
    qsizetype joinedLines = 0;
    const auto partLine = [&] {
        if (++joinedLines % linesPerJoinedParagraph == 0)
            out += QLatin1String("</p><p>");
        else
            out += QChar(joinedLineMark);
    };
    const auto appendText = [&](QStringView text) {
        if (text.contains(QLatin1Char('<')))
            out += text.toString().replace(QLatin1Char('<'), QLatin1String("&lt;"));
        else
            out += text;
    };
    for (const Token &token : tokens) {
        const QStringView source = html.mid(token.begin, token.end - token.begin);
        // What a prefix writes starts new blocks.
        if (!token.prefix.isEmpty())
            wroteSinceBreak = false;
        out += token.prefix;
        if (token.action == Action::JoinedLine) {
            lineBreakDue = lineBreakDue || wroteSinceBreak;
            wroteSinceBreak = false;
            continue;
        }
        const bool writes = token.action == Action::Keep
            && (token.kind == TokenKind::StartTag || !source.trimmed().isEmpty());
        if (lineBreakDue && writes) {
            partLine();
            lineBreakDue = false;
        }
        switch (token.action) {
        case Action::JoinedLine:
        case Action::Drop:
            continue;
        case Action::Space:
            out += QLatin1Char(' ');
            continue;
        case Action::Break:
            if (wroteSinceBreak)
                out += QLatin1String("<br>");
            wroteSinceBreak = false;
            continue;
        case Action::Notice:
            out += token.rebuilt;
            wroteSinceBreak = false;
            continue;
        case Action::Keep:
            break;
        }
        switch (token.kind) {
        case TokenKind::Text:
            if (token.preformatted) {
                const QList<QStringView> lines = source.split(QLatin1Char('\n'));
                for (qsizetype i = 0; i < lines.size(); ++i) {
                    if (i > 0)
                        partLine();
                    appendText(lines.at(i));
                }
            } else {
                appendText(source);
            }
            if (!source.trimmed().isEmpty())
                wroteSinceBreak = true;
            break;
        case TokenKind::StartTag:
        case TokenKind::EndTag:
            out += withQuotedBracketsEscaped(token.rebuilt.isEmpty() ? source : QStringView(token.rebuilt));
            if (token.name == QLatin1String("img"))
                wroteSinceBreak = true;
            break;
        }
    }
    return out;
}

} // namespace

bool isScriptUrl(QStringView url)
{
    const QString decoded = decodedForSchemeCheck(url);
    return decoded.contains(QLatin1String("javascript:")) || decoded.contains(QLatin1String("vbscript:"))
        || decoded.contains(QLatin1String("livescript:")) || decoded.contains(QLatin1String("data:text/html"));
}

QString cleanHtml(QStringView html, HtmlCleaning cleaning)
{
    QList<Token> tokens = Tokenizer(html).run();
    if (cleaning == HtmlCleaning::Readable)
        ReadableBounds(html, &tokens).run();
    return render(html, tokens);
}

} // namespace DocumentConvert
