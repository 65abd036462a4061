#pragma once

#include <QColor>
#include <QFont>
#include <QList>
#include <QPalette>
#include <QRect>
#include <QStyledItemDelegate>

#include <array>

// Pixel sizes of a note list row, all derived from the editor body size.
struct NoteListMetrics
{
    int title = 0;
    int preview = 0;
    int date = 0;
    int notebook = 0;
    int rowHeight = 0;
};

// `bodyPixelSize` below 1 counts as 16.
NoteListMetrics noteListMetrics(int bodyPixelSize);

namespace NoteListFonts {
QFont title(const NoteListMetrics &metrics, bool untitled);
QFont preview(const NoteListMetrics &metrics);
QFont date(const NoteListMetrics &metrics);
QFont notebook(const NoteListMetrics &metrics);
} // namespace NoteListFonts

// The row colours for a palette (its active group), light or dark.
enum NoteListColor : int {
    RowColor = 0,
    HoverColor,
    SelectedColor,
    SeparatorColor,
    TitleColor,
    UntitledColor,
    MetaColor, // date and notebook name
    PreviewColor, // also the pending-sync glyph
    AccentColor, // selection bar and shared glyph
    ConflictColor,
    MatchColor, // under matched words of a search
    NoteListColorCount
};
std::array<QColor, NoteListColorCount> noteListColors(const QPalette &palette);

// A status glyph of a row and the square it is drawn in.
struct NoteListGlyph
{
    enum Kind { Shared, Pending, Conflict };
    Kind kind = Shared;
    QRect rect;
};

// Paints one NoteListWidget row as a card: title, preview, date, notebook
// and status glyphs. Glyphs explain themselves in a tooltip.
class NoteListDelegate : public QStyledItemDelegate
{
    Q_OBJECT

public:
    explicit NoteListDelegate(QObject *parent = nullptr);

    // Without sync nothing is waiting to be sent, so no pending glyph shows.
    void setSyncEnabled(bool enabled) { m_syncEnabled = enabled; }
    bool syncEnabled() const { return m_syncEnabled; }

    // The glyphs of a row laid out in `rowRect`, left to right; painting and
    // tooltips both use them.
    QList<NoteListGlyph> glyphs(const QRect &rowRect, const QModelIndex &index) const;
    // The tooltip for `pos` in a row at `rowRect`: the text of the glyph under
    // it, "" elsewhere.
    QString glyphToolTip(const QRect &rowRect, const QModelIndex &index, const QPoint &pos) const;
    static QString glyphText(NoteListGlyph::Kind kind);

    void paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override;
    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const override;
    bool helpEvent(QHelpEvent *event, QAbstractItemView *view, const QStyleOptionViewItem &option,
                   const QModelIndex &index) override;

private:
    bool m_syncEnabled = false;
};
