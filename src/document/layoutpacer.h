#pragma once

#include <QObject>
#include <QPointer>

#include <functional>

class QAbstractTextDocumentLayout;
class QTextBlock;
class QTextDocument;

// Qt lays a long document out in the background in steps of characters that
// double up to 200,000. For text of many short lines such a step is a second
// or more in which the editor answers no key. The pacer takes those steps
// over: while a layout is under way it lays out a few milliseconds' worth per
// event-loop turn, whatever the lines look like.
class LayoutPacer : public QObject
{
    Q_OBJECT

public:
    explicit LayoutPacer(QObject *parent = nullptr);

    // Paces the document's current layout; call again after the document
    // was given another layout.
    void watch(QTextDocument *document);

    // Holds back the timer events of `object` while the block at the
    // position `cursor` gives has no lines yet. A text edit's cursor blink
    // asks where its cursor is, and after a long paste that lays out every
    // line above the cursor at once.
    void holdTimers(QObject *object, std::function<int()> cursor);

    // True while the layout is still being finished in slices.
    bool isPacing() const { return m_pacing; }

    static constexpr int sliceMs = 8;

    // The first block the layout has not given lines yet; invalid once the
    // whole document is laid out.
    static QTextBlock firstBlockWithoutLines(const QTextDocument *document);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    bool isLayoutStep(QObject *layout, int timerId) const;
    void layOutSlice();

    QPointer<QTextDocument> m_document;
    QPointer<QAbstractTextDocumentLayout> m_layout;
    QPointer<QObject> m_held;
    std::function<int()> m_cursor;
    int m_restartedAt = -1;
    bool m_pacing = false;
};
