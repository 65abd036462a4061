#include "ui/notelistdelegate.h"

#include "document/textformats.h"
#include "storage/note.h"
#include "ui/notelistwidget.h"
#include "ui/relativetime.h"

#include <QAbstractItemView>
#include <QDateTime>
#include <QHelpEvent>
#include <QFontMetricsF>
#include <QPainter>
#include <QPainterPath>
#include <QToolTip>

#include <algorithm>

namespace {

// n / d rounded half away from zero, for n, d > 0; integer so 19.5 stays 19.5.
int roundedRatio(int n, int d)
{
    return (2 * n + d) / (2 * d);
}

QFont sansFont(int pixelSize, int weight, bool italic)
{
    QFont font(QStringLiteral("IBM Plex Sans"));
    font.setPixelSize(pixelSize);
    font.setWeight(QFont::Weight(weight));
    font.setItalic(italic);
    font.setStyleStrategy(QFont::PreferAntialias);
    return font;
}

const QString kUntitledMark = QStringLiteral(u"\u2E3A ");
const QString kUntitledPrefix = QStringLiteral(u"\u2E3A  ");

constexpr int kGlyphSize = 14;
constexpr int kGlyphPitch = 22;
// The tooltip answers a little around the drawing, which is small to aim at.
constexpr int kGlyphHitMargin = 3;

// Two people: heads as circles, shoulders as arcs.
void drawSharedGlyph(QPainter *painter, const QColor &color)
{
    painter->setPen(Qt::NoPen);
    painter->setBrush(color);
    painter->drawEllipse(QPointF(5.0, 4.5), 2.5, 2.5);
    QPainterPath front;
    front.moveTo(0.5, 13.0);
    front.cubicTo(0.5, 9.0, 2.5, 8.0, 5.0, 8.0);
    front.cubicTo(7.5, 8.0, 9.5, 9.0, 9.5, 13.0);
    front.closeSubpath();
    painter->drawPath(front);

    QColor back = color;
    back.setAlphaF(color.alphaF() * 0.6);
    painter->setBrush(back);
    painter->drawEllipse(QPointF(10.0, 3.5), 2.0, 2.0);
    QPainterPath behind;
    behind.moveTo(10.5, 11.5);
    behind.lineTo(13.5, 11.5);
    behind.cubicTo(13.5, 8.0, 12.0, 6.8, 10.0, 6.8);
    behind.cubicTo(9.0, 6.8, 8.2, 7.1, 7.6, 7.6);
    behind.cubicTo(9.6, 8.4, 10.5, 9.8, 10.5, 11.5);
    behind.closeSubpath();
    painter->drawPath(behind);
}

// A clock face: waiting to be sent.
void drawPendingGlyph(QPainter *painter, const QColor &color)
{
    QPen pen(color, 1.4);
    pen.setCapStyle(Qt::RoundCap);
    pen.setJoinStyle(Qt::RoundJoin);
    painter->setPen(pen);
    painter->setBrush(Qt::NoBrush);
    QPainterPath path;
    path.addEllipse(QPointF(7.0, 7.0), 5.8, 5.8);
    path.moveTo(7.0, 3.6);
    path.lineTo(7.0, 7.0);
    path.lineTo(9.6, 8.6);
    painter->drawPath(path);
}

// A warning triangle with a stroke and a dot.
void drawConflictGlyph(QPainter *painter, const QColor &color)
{
    QPen pen(color, 1.4);
    pen.setJoinStyle(Qt::RoundJoin);
    pen.setCapStyle(Qt::RoundCap);
    painter->setPen(pen);
    painter->setBrush(Qt::NoBrush);
    QPainterPath triangle;
    triangle.moveTo(7.0, 1.2);
    triangle.lineTo(13.2, 12.6);
    triangle.lineTo(0.8, 12.6);
    triangle.closeSubpath();
    painter->drawPath(triangle);
    painter->drawLine(QPointF(7.0, 5.2), QPointF(7.0, 8.4));
    painter->setPen(Qt::NoPen);
    painter->setBrush(color);
    painter->drawEllipse(QPointF(7.0, 10.6), 0.85, 0.85);
}

void drawGlyph(QPainter *painter, NoteListGlyph::Kind glyph, const QPointF &topLeft, const QColor &color)
{
    painter->save();
    painter->translate(topLeft);
    switch (glyph) {
    case NoteListGlyph::Shared:
        drawSharedGlyph(painter, color);
        break;
    case NoteListGlyph::Pending:
        drawPendingGlyph(painter, color);
        break;
    case NoteListGlyph::Conflict:
        drawConflictGlyph(painter, color);
        break;
    }
    painter->restore();
}

QColor glyphColor(NoteListGlyph::Kind glyph, const std::array<QColor, NoteListColorCount> &colors)
{
    switch (glyph) {
    case NoteListGlyph::Shared:
        return colors[AccentColor];
    case NoteListGlyph::Pending:
        return colors[PreviewColor];
    case NoteListGlyph::Conflict:
        return colors[ConflictColor];
    }
    return colors[PreviewColor];
}

// Right end of the text column of a row.
int textRight(const QRect &rowRect)
{
    return rowRect.right() - 24;
}

struct MatchSegment
{
    QString text;
    bool matched = false;
};

// Splits a marked extract into plain and matched runs.
QList<MatchSegment> matchSegments(const QString &marked)
{
    QList<MatchSegment> segments;
    MatchSegment current;
    for (const QChar c : marked) {
        if (c == NoteRepository::kMatchStart || c == NoteRepository::kMatchEnd) {
            if (!current.text.isEmpty())
                segments.append(current);
            current = MatchSegment {QString(), c == NoteRepository::kMatchStart};
            continue;
        }
        current.text.append(c);
    }
    if (!current.text.isEmpty())
        segments.append(current);
    return segments;
}

// One line of an extract with its matched words stressed and underlaid,
// elided on the right. When the first match would fall past the end, words
// are dropped from the start so that it shows.
void drawMatchedLine(QPainter *painter, const QPoint &baseline, const QString &marked, const QFont &font,
                     const QColor &textColor, const QColor &matchColor, const QColor &matchBackground, int width)
{
    QList<MatchSegment> segments = matchSegments(marked);
    QFont matchFont = font;
    matchFont.setWeight(QFont::DemiBold);
    const QFontMetrics plainMetrics(font);
    const QFontMetrics matchMetrics(matchFont);
    auto advance = [&](const MatchSegment &segment) {
        return (segment.matched ? matchMetrics : plainMetrics).horizontalAdvance(segment.text);
    };
    const QString ellipsis(QChar(0x2026));
    int untilMatch = 0;
    for (const MatchSegment &segment : std::as_const(segments)) {
        untilMatch += advance(segment);
        if (segment.matched)
            break;
    }
    if (untilMatch > width && !segments.isEmpty() && !segments.first().matched) {
        QString &lead = segments.first().text;
        const int excess = untilMatch - width + plainMetrics.horizontalAdvance(ellipsis + QStringLiteral("  "));
        int cut = 0;
        while (cut < lead.size() && plainMetrics.horizontalAdvance(lead.left(cut)) < excess)
            ++cut;
        const int space = int(lead.indexOf(QLatin1Char(' '), cut));
        lead = ellipsis + lead.mid(space >= 0 ? space : cut);
    }

    int x = baseline.x();
    const int end = baseline.x() + width;
    for (const MatchSegment &segment : std::as_const(segments)) {
        const QFontMetrics &metrics = segment.matched ? matchMetrics : plainMetrics;
        QString text = segment.text;
        int w = metrics.horizontalAdvance(text);
        const bool last = x + w > end;
        if (last) {
            text = metrics.elidedText(text, Qt::ElideRight, end - x);
            w = metrics.horizontalAdvance(text);
        }
        if (segment.matched && !text.isEmpty()) {
            const QRect back(x - 1, baseline.y() - metrics.ascent(), w + 2, metrics.ascent() + metrics.descent());
            painter->setPen(Qt::NoPen);
            painter->setBrush(matchBackground);
            painter->drawRoundedRect(back, 2, 2);
        }
        painter->setFont(segment.matched ? matchFont : font);
        painter->setPen(segment.matched ? matchColor : textColor);
        painter->drawText(QPoint(x, baseline.y()), text);
        x += w;
        if (last)
            break;
    }
}

} // namespace

NoteListMetrics noteListMetrics(int bodyPixelSize)
{
    const int b = bodyPixelSize < 1 ? 16 : bodyPixelSize;
    NoteListMetrics m;
    m.title = std::max(roundedRatio(b * 15, 16), 10);
    m.preview = std::max(roundedRatio(b * 13, 16), 9);
    m.date = std::max(roundedRatio(b * 11, 16), 8);
    m.notebook = std::max(roundedRatio(b * 12, 16), 9);
    m.rowHeight = std::max(
        roundedRatio(m.title * 13, 10) + roundedRatio(m.preview * 13, 10) + roundedRatio(m.date * 12, 10) + 41, 72);
    return m;
}

namespace NoteListFonts {

QFont title(const NoteListMetrics &metrics, bool untitled)
{
    return untitled ? sansFont(metrics.title, 500, true) : sansFont(metrics.title, 600, false);
}

QFont preview(const NoteListMetrics &metrics)
{
    return sansFont(metrics.preview, 400, false);
}

QFont date(const NoteListMetrics &metrics)
{
    QFont font(QStringLiteral("IBM Plex Mono"));
    font.setPixelSize(metrics.date);
    font.setWeight(QFont::Weight(500));
    font.setCapitalization(QFont::AllUppercase);
    font.setLetterSpacing(QFont::PercentageSpacing, 108);
    font.setStyleStrategy(QFont::PreferAntialias);
    return font;
}

QFont notebook(const NoteListMetrics &metrics)
{
    return sansFont(metrics.notebook, 400, false);
}

} // namespace NoteListFonts

std::array<QColor, NoteListColorCount> noteListColors(const QPalette &palette)
{
    const QColor base = palette.color(QPalette::Active, QPalette::Base);
    const QColor text = palette.color(QPalette::Active, QPalette::Text);
    const bool light = base.lightness() >= 128;
    std::array<QColor, NoteListColorCount> c;
    c[RowColor] = base;
    c[HoverColor] = light ? base.darker(103) : base.lighter(125);
    c[SelectedColor] = light ? base.darker(108) : base.lighter(150);
    c[SeparatorColor] = light ? base.darker(112) : base.lighter(155);
    c[TitleColor] = text;
    c[UntitledColor] = light ? text.lighter(140) : text.darker(118);
    c[MetaColor] = light ? text.lighter(225) : text.darker(170);
    c[PreviewColor] = light ? text.lighter(175) : text.darker(140);
    c[AccentColor] = palette.color(QPalette::Active, QPalette::Highlight);
    c[ConflictColor] = QColor(224, 122, 107);
    // A marker-pen yellow, faint enough that the words on it keep their contrast.
    c[MatchColor] = light ? QColor(255, 214, 10, 110) : QColor(255, 196, 0, 72);
    return c;
}

NoteListDelegate::NoteListDelegate(QObject *parent)
    : QStyledItemDelegate(parent)
{
}

QList<NoteListGlyph> NoteListDelegate::glyphs(const QRect &rowRect, const QModelIndex &index) const
{
    QList<NoteListGlyph::Kind> kinds;
    if (index.data(NoteListWidget::SharedRole).toBool())
        kinds.append(NoteListGlyph::Shared);
    const int syncStatus = index.data(NoteListWidget::SyncStatusRole).toInt();
    if (syncStatus == static_cast<int>(SyncStatus::Pending) && m_syncEnabled)
        kinds.append(NoteListGlyph::Pending);
    else if (syncStatus == static_cast<int>(SyncStatus::Conflict))
        kinds.append(NoteListGlyph::Conflict);

    // Right-aligned on the title line, centred on its capitals.
    const NoteListMetrics metrics = noteListMetrics(effectiveBodyFontPixelSize());
    const QFontMetricsF titleMetrics(NoteListFonts::title(metrics, index.data(NoteListWidget::UntitledRole).toBool()));
    const int top = rowRect.top() + 16 + int((titleMetrics.ascent() - kGlyphSize) * 0.5 + 2);
    const int count = int(kinds.size());
    const int firstX = textRight(rowRect) - kGlyphPitch * count + 8;
    QList<NoteListGlyph> result;
    for (int i = 0; i < count; ++i)
        result.append({kinds.at(i), QRect(firstX + kGlyphPitch * i, top, kGlyphSize, kGlyphSize)});
    return result;
}

QString NoteListDelegate::glyphText(NoteListGlyph::Kind kind)
{
    switch (kind) {
    case NoteListGlyph::Shared:
        return tr("Shared with others");
    case NoteListGlyph::Pending:
        return tr("Changed here, waiting to sync");
    case NoteListGlyph::Conflict:
        return tr("Sync conflict: both versions were kept");
    }
    return QString();
}

QString NoteListDelegate::glyphToolTip(const QRect &rowRect, const QModelIndex &index, const QPoint &pos) const
{
    const QList<NoteListGlyph> rowGlyphs = glyphs(rowRect, index);
    for (const NoteListGlyph &glyph : rowGlyphs) {
        if (glyph.rect.adjusted(-kGlyphHitMargin, -kGlyphHitMargin, kGlyphHitMargin, kGlyphHitMargin).contains(pos))
            return glyphText(glyph.kind);
    }
    return QString();
}

bool NoteListDelegate::helpEvent(QHelpEvent *event, QAbstractItemView *view, const QStyleOptionViewItem &option,
                                 const QModelIndex &index)
{
    if (event->type() != QEvent::ToolTip || !index.isValid())
        return QStyledItemDelegate::helpEvent(event, view, option, index);
    const QString text = glyphToolTip(option.rect, index, event->pos());
    if (text.isEmpty())
        QToolTip::hideText();
    else
        QToolTip::showText(event->globalPos(), text, view->viewport(), option.rect);
    return true;
}

QSize NoteListDelegate::sizeHint(const QStyleOptionViewItem &option, const QModelIndex &) const
{
    return QSize(option.rect.width(), noteListMetrics(effectiveBodyFontPixelSize()).rowHeight);
}

void NoteListDelegate::paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const
{
    const QRect rect = option.rect;
    const auto colors = noteListColors(option.palette);
    const NoteListMetrics metrics = noteListMetrics(effectiveBodyFontPixelSize());
    const bool selected = option.state.testFlag(QStyle::State_Selected);
    const bool hovered = option.state.testFlag(QStyle::State_MouseOver);

    painter->save();
    painter->setRenderHint(QPainter::Antialiasing);
    painter->setRenderHint(QPainter::TextAntialiasing);

    painter->fillRect(rect, colors[selected ? SelectedColor : hovered ? HoverColor : RowColor]);
    // A filled row rather than a stroked line: stays one crisp pixel with antialiasing.
    painter->fillRect(QRect(rect.left(), rect.bottom(), rect.width(), 1), colors[SeparatorColor]);
    if (selected)
        painter->fillRect(QRect(rect.left(), rect.top() + 16, 2, rect.height() - 32), colors[AccentColor]);

    QString title = index.data(NoteListWidget::TitleRole).toString();
    const QString preview = index.data(NoteListWidget::PreviewRole).toString();
    const QString matchPreview = index.data(NoteListWidget::MatchPreviewRole).toString();
    const QDateTime updatedAt = index.data(NoteListWidget::UpdatedAtRole).toDateTime();
    const QString notebookName = index.data(NoteListWidget::NotebookNameRole).toString();
    const bool untitled = index.data(NoteListWidget::UntitledRole).toBool();
    const QList<NoteListGlyph> rowGlyphs = glyphs(rect, index);
    const int glyphCount = int(rowGlyphs.size());
    const int glyphStrip = glyphCount == 0 ? 0 : kGlyphPitch * glyphCount + 4;

    const int left = rect.left() + 28;
    const int right = textRight(rect);
    const int width = right - left;

    // Title.
    const QFont titleFont = NoteListFonts::title(metrics, untitled);
    const QFontMetricsF titleMetrics(titleFont);
    const int titleBaseline = rect.top() + 16 + int(titleMetrics.ascent());
    if (untitled) {
        if (title.isEmpty())
            title = kUntitledPrefix + QStringLiteral("Untitled");
        else if (!title.startsWith(kUntitledMark))
            title = kUntitledPrefix + title;
    }
    painter->setFont(titleFont);
    painter->setPen(colors[untitled ? UntitledColor : TitleColor]);
    const QFontMetrics titleFm(titleFont);
    if (untitled && !titleFm.inFont(QChar(0x2E3A))) {
        // Few fonts carry the two-em dash: draw it as a rule of two em.
        const int dash = 2 * titleFm.horizontalAdvance(QLatin1Char('M'));
        const int y = titleBaseline - titleFm.xHeight() / 2;
        painter->fillRect(QRect(left, y, dash, qMax(1, titleFm.lineWidth())), painter->pen().color());
        painter->drawText(QPoint(left + dash, titleBaseline),
                          titleFm.elidedText(title.mid(1), Qt::ElideRight, width - glyphStrip - dash));
    } else {
        painter->drawText(QPoint(left, titleBaseline), titleFm.elidedText(title, Qt::ElideRight, width - glyphStrip));
    }

    for (const NoteListGlyph &glyph : rowGlyphs)
        drawGlyph(painter, glyph.kind, glyph.rect.topLeft(), glyphColor(glyph.kind, colors));

    // Preview line.
    const QFont previewFont = NoteListFonts::preview(metrics);
    const QFontMetricsF previewMetrics(previewFont);
    const int previewBaseline = rect.top() + 21 + int(titleMetrics.height()) + int(previewMetrics.ascent());
    if (!matchPreview.isEmpty()) {
        drawMatchedLine(painter, QPoint(left, previewBaseline), matchPreview, previewFont, colors[PreviewColor],
                        colors[TitleColor], colors[MatchColor], width);
    } else if (!preview.isEmpty()) {
        painter->setFont(previewFont);
        painter->setPen(colors[PreviewColor]);
        painter->drawText(QPoint(left, previewBaseline),
                          QFontMetrics(previewFont).elidedText(preview, Qt::ElideRight, width));
    }

    // Meta line: date, then the notebook. The preview's height counts even
    // without a preview so every row lines up.
    const int metaTop = rect.top() + 21 + int(titleMetrics.height()) + int(previewMetrics.height()) + 4;
    const QFont dateFont = NoteListFonts::date(metrics);
    const QFontMetricsF dateMetrics(dateFont);
    const QDateTime trashedAt = index.data(NoteListWidget::TrashedAtRole).toDateTime();
    const QString dateText = trashedAt.isValid() ? trashedAgo(trashedAt, QDateTime::currentDateTimeUtc())
                                                 : relativeTime(updatedAt);
    painter->setFont(dateFont);
    painter->setPen(colors[MetaColor]);
    painter->drawText(QPoint(left, metaTop + int(dateMetrics.ascent())), dateText);

    if (!notebookName.isEmpty()) {
        const int x = left + int(dateMetrics.horizontalAdvance(dateText)) + 10;
        const QFont notebookFont = NoteListFonts::notebook(metrics);
        const QFontMetricsF notebookMetrics(notebookFont);
        const QString name = QFontMetrics(notebookFont).elidedText(notebookName, Qt::ElideRight, right - x - 20);
        painter->setFont(notebookFont);
        painter->drawText(QPoint(x, metaTop + int(notebookMetrics.ascent())), QStringLiteral(u"\u00B7  ") + name);
    }

    painter->restore();
}
