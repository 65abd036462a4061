#pragma once

#include <QColor>
#include <QFont>
#include <QPalette>
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

// The ten row colours for a palette (its active group), light or dark.
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
    NoteListColorCount
};
std::array<QColor, NoteListColorCount> noteListColors(const QPalette &palette);

// Paints one NoteListWidget row as a card: title, preview, date, notebook
// and status glyphs.
class NoteListDelegate : public QStyledItemDelegate
{
    Q_OBJECT

public:
    explicit NoteListDelegate(QObject *parent = nullptr);

    void paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override;
    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const override;
};
