#pragma once

#include <QStringView>

#include <vector>

class QTextDocument;

// Words are runs of characters that are not white space.
int countWords(QStringView text);

// The word count of a document kept up to date from its contentsChange
// reports: only the blocks an edit touched are counted again, so a keystroke
// in a 1 MB note costs a block, not the note.
class DocumentWordCount
{
public:
    explicit DocumentWordCount(const QTextDocument *document);

    int count() const { return m_total; }
    // Counts every block; after loading, or whenever changes went unreported.
    void recount();
    // The arguments of QTextDocument::contentsChange.
    void update(int position, int charsRemoved, int charsAdded);

private:
    struct BlockWords
    {
        int start = 0;
        int words = 0;
    };

    const QTextDocument *m_document;
    // One entry per block in document order, as of the last update.
    std::vector<BlockWords> m_blocks;
    int m_total = 0;
};
