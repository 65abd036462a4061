#include "layoutpacer.h"

#include <QAbstractEventDispatcher>
#include <QAbstractTextDocumentLayout>
#include <QElapsedTimer>
#include <QEvent>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextLayout>
#include <QTimer>

namespace {

bool hasLines(const QTextBlock &block)
{
    // A hidden block is never laid out; it must not hold the walk up.
    return !block.isVisible() || block.layout()->lineCount() > 0;
}

} // namespace

// The layout goes from the top down, so the blocks with lines are a prefix.
QTextBlock LayoutPacer::firstBlockWithoutLines(const QTextDocument *document)
{
    int low = 0;
    int high = document->blockCount();
    while (low < high) {
        const int middle = low + (high - low) / 2;
        if (hasLines(document->findBlockByNumber(middle)))
            low = middle + 1;
        else
            high = middle;
    }
    return document->findBlockByNumber(low);
}

LayoutPacer::LayoutPacer(QObject *parent)
    : QObject(parent)
{
}

void LayoutPacer::watch(QTextDocument *document)
{
    QAbstractTextDocumentLayout *layout = document ? document->documentLayout() : nullptr;
    if (document == m_document && layout == m_layout)
        return;
    if (m_layout)
        m_layout->removeEventFilter(this);
    m_document = document;
    m_layout = layout;
    m_pacing = false;
    if (m_layout)
        m_layout->installEventFilter(this);
}

void LayoutPacer::holdTimers(QObject *object, std::function<int()> cursor)
{
    if (m_held)
        m_held->removeEventFilter(this);
    m_held = object;
    m_cursor = std::move(cursor);
    if (m_held)
        m_held->installEventFilter(this);
}

bool LayoutPacer::isLayoutStep(QObject *layout, int timerId) const
{
    // The layout keeps two timers: the step, which repeats every few
    // milliseconds, and a zero-interval one that reports the new size (and so
    // moves the scroll bar); only the step is taken over.
    const QAbstractEventDispatcher *dispatcher = QAbstractEventDispatcher::instance(layout->thread());
    if (!dispatcher)
        return false;
    const auto timers = dispatcher->registeredTimers(layout);
    for (const QAbstractEventDispatcher::TimerInfo &timer : timers) {
        if (timer.timerId == timerId)
            return timer.interval > 0;
    }
    return false;
}

bool LayoutPacer::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::Timer && watched == m_held && m_document && m_cursor
        && !m_document->pageSize().isNull()) {
        const QTextBlock block = m_document->findBlock(m_cursor());
        return block.isValid() && !hasLines(block);
    }
    if (event->type() != QEvent::Timer || watched != m_layout || !m_document)
        return QObject::eventFilter(watched, event);
    if (!isLayoutStep(watched, static_cast<QTimerEvent *>(event)->timerId()))
        return false;
    if (m_pacing)
        return true;
    // Every block has its lines yet the layout goes on: that is a case the
    // walk does not know, and Qt's own step finishes it.
    if (!firstBlockWithoutLines(m_document).isValid())
        return false;
    m_pacing = true;
    layOutSlice();
    return true;
}

void LayoutPacer::layOutSlice()
{
    if (!m_document || !m_layout || m_document->documentLayout() != m_layout || m_document->pageSize().isNull()) {
        m_pacing = false;
        return;
    }
    QElapsedTimer clock;
    clock.start();
    QTextBlock block = firstBlockWithoutLines(m_document);
    while (block.isValid() && clock.nsecsElapsed() < qint64(sliceMs) * 1000000) {
        // Asking where a block is lays out everything above it, from where
        // the layout stopped: one step of its own size, a few thousand
        // characters since the document changed.
        m_layout->blockBoundingRect(block);
        if (!hasLines(block)) {
            // An edit above the unfinished part makes Qt call its layout
            // done and leave the lines below it out. Start over from the
            // top (paced as well); give up on a block that a fresh layout
            // still leaves out.
            if (m_restartedAt == block.position()) {
                m_restartedAt = -1;
                block = block.next();
                continue;
            }
            m_restartedAt = block.position();
            m_document->setPageSize(m_document->pageSize());
            break;
        }
        block = block.next();
        while (block.isValid() && hasLines(block))
            block = block.next();
    }
    if (!block.isValid()) {
        m_pacing = false;
        return;
    }
    // The rest on a later turn, after the keys and paints that waited.
    QTimer::singleShot(0, this, &LayoutPacer::layOutSlice);
}
