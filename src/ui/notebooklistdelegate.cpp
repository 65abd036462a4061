#include "ui/notebooklistdelegate.h"

#include "document/textformats.h"
#include "ui/notebooklistwidget.h"
#include "ui/notelistdelegate.h"

#include <QFontMetrics>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>

namespace {

constexpr int GlyphSize = 16;

QFont rowFont(const QString &family, int pixelSize, int weight)
{
    QFont font(family);
    font.setPixelSize(pixelSize);
    font.setWeight(QFont::Weight(weight));
    font.setStyleStrategy(QFont::PreferAntialias);
    return font;
}

// The glyphs are drawn in a 16 × 16 box with strokes of about 1.3 pixels:
// antialiased paths rather than pixel art, so they stay sharp at any device
// pixel ratio.
QPen glyphPen(const QColor &color, qreal width = 1.3)
{
    QPen pen(color, width);
    pen.setCapStyle(Qt::RoundCap);
    pen.setJoinStyle(Qt::RoundJoin);
    return pen;
}

// Two pages, the front one with lines of text.
void drawAllNotesGlyph(QPainter *painter, const QColor &color)
{
    painter->setPen(glyphPen(color));
    painter->setBrush(Qt::NoBrush);
    painter->drawRoundedRect(QRectF(2.5, 4.5, 8.5, 10.0), 1.5, 1.5);
    QPainterPath back;
    back.moveTo(5.0, 2.0);
    back.lineTo(12.0, 2.0);
    back.quadTo(13.5, 2.0, 13.5, 3.5);
    back.lineTo(13.5, 11.5);
    painter->drawPath(back);
    painter->drawLine(QPointF(4.9, 8.0), QPointF(8.6, 8.0));
    painter->drawLine(QPointF(4.9, 11.0), QPointF(7.4, 11.0));
}

// A bound book: cover, spine and a label.
void drawNotebookGlyph(QPainter *painter, const QColor &color)
{
    painter->setPen(glyphPen(color));
    painter->setBrush(Qt::NoBrush);
    painter->drawRoundedRect(QRectF(3.0, 1.75, 10.25, 12.5), 1.5, 1.5);
    painter->drawLine(QPointF(5.9, 1.75), QPointF(5.9, 14.25));
    painter->drawLine(QPointF(8.4, 5.0), QPointF(10.9, 5.0));
}

// Two people in the book's lower corner: shared with others. They are cut
// out of the book with the row's own colour so that the outlines do not run
// into each other.
void drawSharedMarks(QPainter *painter, const QColor &color, const QColor &background)
{
    painter->setPen(Qt::NoPen);
    painter->setBrush(background);
    painter->drawRoundedRect(QRectF(7.6, 7.4, 9.4, 9.6), 2.0, 2.0);

    auto person = [painter](qreal x, qreal top, qreal scale) {
        painter->drawEllipse(QPointF(x, top + 1.6 * scale), 1.6 * scale, 1.6 * scale);
        QPainterPath shoulders;
        const qreal base = top + 7.4 * scale;
        shoulders.moveTo(x - 2.9 * scale, base);
        shoulders.cubicTo(x - 2.9 * scale, top + 4.4 * scale, x + 2.9 * scale, top + 4.4 * scale, x + 2.9 * scale,
                          base);
        shoulders.closeSubpath();
        painter->drawPath(shoulders);
    };
    QColor behind = color;
    behind.setAlphaF(color.alphaF() * 0.6);
    painter->setBrush(behind);
    person(13.9, 8.3, 0.85);
    painter->setBrush(color);
    person(10.9, 9.0, 1.0);
}

// A can with a lid, a handle and two ribs.
void drawTrashGlyph(QPainter *painter, const QColor &color)
{
    painter->setPen(glyphPen(color));
    painter->setBrush(Qt::NoBrush);
    painter->drawLine(QPointF(2.0, 4.0), QPointF(14.0, 4.0));
    QPainterPath handle;
    handle.moveTo(6.0, 4.0);
    handle.lineTo(6.4, 2.0);
    handle.lineTo(9.6, 2.0);
    handle.lineTo(10.0, 4.0);
    painter->drawPath(handle);
    QPainterPath can;
    can.moveTo(3.6, 4.0);
    can.lineTo(4.5, 13.2);
    can.quadTo(4.6, 14.3, 5.7, 14.3);
    can.lineTo(10.3, 14.3);
    can.quadTo(11.4, 14.3, 11.5, 13.2);
    can.lineTo(12.4, 4.0);
    painter->drawPath(can);
    painter->drawLine(QPointF(6.8, 6.8), QPointF(6.8, 11.5));
    painter->drawLine(QPointF(9.2, 6.8), QPointF(9.2, 11.5));
}

// Arms of 0.35 × the box from its centre.
void drawPlusGlyph(QPainter *painter, const QColor &color)
{
    const qreal centre = GlyphSize / 2.0;
    const qreal arm = 0.35 * GlyphSize;
    painter->setPen(glyphPen(color, 1.5));
    painter->drawLine(QPointF(centre - arm, centre), QPointF(centre + arm, centre));
    painter->drawLine(QPointF(centre, centre - arm), QPointF(centre, centre + arm));
}

} // namespace

NotebookListMetrics notebookListMetrics(int bodyPixelSize)
{
    // Sixteenths are exact in a double and qRound() takes halves away from
    // zero; name × 2.2 as name × 22 / 10 is exact too and never a half.
    const int b = bodyPixelSize < 1 ? 16 : bodyPixelSize;
    NotebookListMetrics m;
    m.name = std::max(qRound(b * 14 / 16.0), 10);
    m.count = std::max(qRound(b * 11 / 16.0), 8);
    m.rowHeight = std::max(qRound(m.name * 22 / 10.0) + 6, 36);
    return m;
}

NotebookRowLayout notebookRowLayout(const QRect &rect, int kind, const QString &name, int count, bool selected,
                                    int bodyPixelSize)
{
    const NotebookListMetrics metrics = notebookListMetrics(bodyPixelSize);
    NotebookRowLayout layout;
    layout.glyph = QRect(rect.left() + 20, rect.top() + (rect.height() - GlyphSize) / 2, GlyphSize, GlyphSize);
    layout.textLeft = layout.glyph.left() + 28;
    layout.textRight = rect.right() - 16;
    layout.baseline = layout.glyph.top() + 14;
    const bool strong = selected || kind == NotebookListWidget::AllNotesRow;
    layout.nameFont = rowFont(QStringLiteral("IBM Plex Sans"), metrics.name, strong ? 500 : 400);
    layout.countFont = rowFont(QStringLiteral("IBM Plex Mono"), metrics.count, 500);
    if (kind != NotebookListWidget::NewNotebookRow && count >= 1) {
        layout.count = QString::number(count);
        layout.countWidth = QFontMetrics(layout.countFont).horizontalAdvance(layout.count) + 6;
    }
    const int nameWidth = std::max(0, layout.textRight - layout.textLeft - layout.countWidth);
    layout.name = QFontMetrics(layout.nameFont).elidedText(name, Qt::ElideRight, nameWidth);
    return layout;
}

NotebookListDelegate::NotebookListDelegate(QObject *parent)
    : QStyledItemDelegate(parent)
{
}

QSize NotebookListDelegate::sizeHint(const QStyleOptionViewItem &option, const QModelIndex &) const
{
    return QSize(option.rect.width(), notebookListMetrics(effectiveBodyFontPixelSize()).rowHeight);
}

void NotebookListDelegate::paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const
{
    const QRect rect = option.rect;
    // The sidebar's colours are the note list's, without its separators.
    const auto colors = noteListColors(option.palette);
    const int kind = index.data(NotebookListWidget::KindRole).toInt();
    const bool selected = option.state.testFlag(QStyle::State_Selected);
    const bool marked = selected && kind != NotebookListWidget::NewNotebookRow;
    const bool hovered = option.state.testFlag(QStyle::State_MouseOver);
    const NotebookRowLayout layout =
        notebookRowLayout(rect, kind, index.data(NotebookListWidget::NameRole).toString(),
                          index.data(NotebookListWidget::CountRole).toInt(), selected, effectiveBodyFontPixelSize());

    painter->save();
    painter->setRenderHint(QPainter::Antialiasing);
    painter->setRenderHint(QPainter::TextAntialiasing);

    const QColor background = colors[marked ? SelectedColor : hovered ? HoverColor : RowColor];
    painter->fillRect(rect, background);
    if (marked)
        painter->fillRect(QRect(rect.left(), rect.top() + 6, 2, rect.height() - 12), colors[AccentColor]);

    const QColor glyphColor = colors[selected ? AccentColor : PreviewColor];
    painter->save();
    painter->translate(layout.glyph.topLeft());
    switch (kind) {
    case NotebookListWidget::AllNotesRow:
        drawAllNotesGlyph(painter, glyphColor);
        break;
    case NotebookListWidget::NotebookRow:
        drawNotebookGlyph(painter, glyphColor);
        if (index.data(NotebookListWidget::IsSharedRole).toBool())
            drawSharedMarks(painter, glyphColor, background);
        break;
    case NotebookListWidget::TrashRow:
        drawTrashGlyph(painter, glyphColor);
        break;
    case NotebookListWidget::NewNotebookRow:
        drawPlusGlyph(painter, colors[MetaColor]);
        break;
    default:
        break;
    }
    painter->restore();

    painter->setFont(layout.nameFont);
    painter->setPen(colors[TitleColor]);
    painter->drawText(QPoint(layout.textLeft, layout.baseline), layout.name);
    if (!layout.count.isEmpty()) {
        painter->setFont(layout.countFont);
        painter->setPen(colors[MetaColor]);
        const int advance = layout.countWidth - 6;
        painter->drawText(QPoint(layout.textRight - advance, layout.baseline), layout.count);
    }
    painter->restore();
}
