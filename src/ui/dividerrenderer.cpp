#include "dividerrenderer.h"

#include "document/textformats.h"

#include <QAbstractTextDocumentLayout>
#include <QFontMetricsF>
#include <QPainter>
#include <QTextBlock>
#include <QTextDocument>
#include <QWidget>

DividerRenderer::DividerRenderer(QWidget *view)
    : QObject(view)
    , m_view(view)
{
}

void DividerRenderer::install(QWidget *view, QTextDocument *document)
{
    document->documentLayout()->registerHandler(DividerObject, new DividerRenderer(view));
}

QSizeF DividerRenderer::intrinsicSize(QTextDocument *document, int position, const QTextFormat &format)
{
    // As wide as the line the divider sits on, so it reads as a rule and not
    // as a character; the text width changes with the window and every
    // layout asks again.
    const QTextBlockFormat block = document->findBlock(position).blockFormat();
    const qreal available = document->textWidth() - 2 * document->documentMargin() - block.leftMargin()
        - block.rightMargin() - block.indent() * document->indentWidth() - block.textIndent() - 1;
    const QFontMetricsF metrics(format.toCharFormat().font());
    return QSizeF(qMax<qreal>(available, 24), metrics.ascent());
}

void DividerRenderer::drawObject(QPainter *painter, const QRectF &rect, QTextDocument *, int, const QTextFormat &)
{
    QColor colour = m_view->palette().color(QPalette::Text);
    colour.setAlphaF(0.25f);
    painter->save();
    painter->setPen(QPen(colour, 1));
    const qreal y = qRound(rect.center().y()) + 0.5;
    painter->drawLine(QPointF(rect.left(), y), QPointF(rect.right(), y));
    painter->restore();
}
