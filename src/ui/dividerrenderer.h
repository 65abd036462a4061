#pragma once

#include <QObject>
#include <QTextObjectInterface>

class QTextDocument;
class QWidget;

// Draws a divider embed as a thin rule across the text width, in a soft
// shade of the view's text colour so it suits light and dark palettes.
class DividerRenderer : public QObject, public QTextObjectInterface
{
    Q_OBJECT
    Q_INTERFACES(QTextObjectInterface)

public:
    // Draws the dividers of document as shown in view (the parent).
    static void install(QWidget *view, QTextDocument *document);

    QSizeF intrinsicSize(QTextDocument *document, int position, const QTextFormat &format) override;
    void drawObject(QPainter *painter, const QRectF &rect, QTextDocument *document, int position,
                    const QTextFormat &format) override;

private:
    explicit DividerRenderer(QWidget *view);

    QWidget *m_view;
};
