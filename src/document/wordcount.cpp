#include "wordcount.h"

#include <QTextBlock>
#include <QTextDocument>

#include <algorithm>

int countWords(QStringView text)
{
    int words = 0;
    bool inWord = false;
    for (const QChar c : text) {
        const bool space = c.isSpace();
        if (!space && !inWord)
            ++words;
        inWord = !space;
    }
    return words;
}

DocumentWordCount::DocumentWordCount(const QTextDocument *document)
    : m_document(document)
{
    recount();
}

void DocumentWordCount::recount()
{
    m_blocks.clear();
    m_blocks.reserve(size_t(m_document->blockCount()));
    m_total = 0;
    for (QTextBlock block = m_document->begin(); block.isValid(); block = block.next()) {
        const int words = countWords(block.text());
        m_blocks.push_back({ block.position(), words });
        m_total += words;
    }
}

void DocumentWordCount::update(int position, int charsRemoved, int charsAdded)
{
    const auto startsAfter = [](int at, const BlockWords &entry) { return at < entry.start; };
    // The old blocks that the change touched: from the one holding the
    // position to the one holding the end of the removed text.
    auto first = std::upper_bound(m_blocks.begin(), m_blocks.end(), position, startsAfter);
    auto last = std::upper_bound(first, m_blocks.end(), position + charsRemoved, startsAfter);
    if (first == m_blocks.begin()) {
        recount();
        return;
    }
    --first;
    for (auto it = first; it != last; ++it)
        m_total -= it->words;
    const int shift = charsAdded - charsRemoved;
    for (auto it = last; it != m_blocks.end(); ++it)
        it->start += shift;

    // Their place is taken by the blocks now covering the changed range.
    std::vector<BlockWords> counted;
    QTextBlock block = m_document->findBlock(position);
    const QTextBlock end = m_document->findBlock(std::min(position + charsAdded, m_document->characterCount() - 1));
    for (; block.isValid(); block = block.next()) {
        const int words = countWords(block.text());
        counted.push_back({ block.position(), words });
        m_total += words;
        if (block == end)
            break;
    }
    const auto at = m_blocks.erase(first, last);
    m_blocks.insert(at, counted.begin(), counted.end());
    // A report that does not fit the table (an edit missed while signals were
    // blocked) must not leave a wrong count behind.
    if (int(m_blocks.size()) != m_document->blockCount())
        recount();
}
