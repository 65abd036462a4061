#include "noteeditor.h"

#include "document/attachmentrenderer.h"
#include "document/convertcommon.h"
#include "document/deltadocument.h"
#include "storage/attachmentrepository.h"
#include "document/html.h"
#include "document/layoutpacer.h"
#include "document/markdown.h"
#include "document/tableconvert.h"
#include "document/textformats.h"
#include "document/wordcount.h"
#include "editordialogs.h"

#include <QAbstractTextDocumentLayout>
#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QDesktopServices>
#include <QHelpEvent>
#include <QImage>
#include <QKeyEvent>
#include <QMenu>
#include <QMessageBox>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QPaintEvent>
#include <QRegularExpression>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextDocumentFragment>
#include <QTextList>
#include <QTextTable>
#include <QTimer>
#include <QToolTip>
#include <QUrl>

#include <algorithm>
#include <array>
#include <cmath>

namespace {

constexpr int kSaveDelayMs = 1000;
// Continuous typing still saves this long after the first unsaved edit, so a
// crash loses about the last second of it at most.
constexpr int kMaxSaveDelayMs = 1000;
constexpr int kRetryDelayMs = 2000;
// After a load settles, the baseline is taken from the shown document, which
// costs one serialisation instead of a second load at the first save.
constexpr int kBaselineIdleMs = 500;
constexpr int kTripleClickDistance = 4;

QString noNotePlaceholder()
{
    return QObject::tr("Select a note or press Ctrl+N to create one");
}

bool isListBlock(const QTextBlock &block)
{
    return block.textList() || block.blockFormat().marker() != QTextBlockFormat::MarkerType::NoMarker;
}

// Every block that a cursor's selection touches, or the cursor's block.
QList<QTextBlock> touchedBlocks(const QTextCursor &cursor)
{
    QList<QTextBlock> blocks;
    const QTextDocument *document = cursor.document();
    QTextBlock block = document->findBlock(cursor.selectionStart());
    const QTextBlock last = document->findBlock(cursor.selectionEnd());
    while (block.isValid()) {
        blocks.append(block);
        if (block == last)
            break;
        block = block.next();
    }
    return blocks;
}

QTextCursor selectBlockText(const QTextBlock &block)
{
    QTextCursor cursor(block);
    cursor.movePosition(QTextCursor::EndOfBlock, QTextCursor::KeepAnchor);
    return cursor;
}

bool looksLikeHtml(const QString &text)
{
    static const QRegularExpression documentStart(QStringLiteral("^<(!doctype\\s+html|html\\b|body\\b|head\\b)"),
                                                  QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression knownTag(
        QStringLiteral("<(p|div|span|h[1-6]|ul|ol|li|a|strong|em|b|i|table|tr|td|th|br|hr|img|pre|code|blockquote|"
                       "article|section|main|nav|header|footer|aside|figure|figcaption|dl|dt|dd)\\b"),
        QRegularExpression::CaseInsensitiveOption);
    const QString trimmed = text.trimmed();
    if (trimmed.isEmpty() || !trimmed.startsWith(QLatin1Char('<')))
        return false;
    return documentStart.match(trimmed).hasMatch() || knownTag.match(trimmed).hasMatch();
}

bool looksLikeMarkdown(const QString &text)
{
    static const auto multiLine = QRegularExpression::MultilineOption;
    static const std::array<QRegularExpression, 8> patterns {
        QRegularExpression(QStringLiteral("^\\s{0,3}#{1,6}\\s+\\S"), multiLine),
        QRegularExpression(QStringLiteral("^\\s{0,3}[-*+]\\s+\\S"), multiLine),
        QRegularExpression(QStringLiteral("^\\s{0,3}\\d+\\.\\s+\\S"), multiLine),
        QRegularExpression(QStringLiteral("^\\s{0,3}>\\s+\\S"), multiLine),
        QRegularExpression(QStringLiteral("^\\s{0,3}```"), multiLine),
        QRegularExpression(QStringLiteral("^\\s*\\|.*\\|\\s*$"), multiLine),
        QRegularExpression(QStringLiteral("\\[[^\\]]+\\]\\([^)]+\\)")),
        QRegularExpression(QStringLiteral("^\\s*[-=]{3,}\\s*$"), multiLine),
    };
    if (text.isEmpty())
        return false;
    for (const QRegularExpression &pattern : patterns) {
        if (pattern.match(text).hasMatch())
            return true;
    }
    return false;
}

QTextCharFormat linkFormat(const QString &url)
{
    QTextCharFormat format;
    format.setAnchor(true);
    format.setAnchorHref(url);
    format.setUnderlineStyle(QTextCharFormat::SingleUnderline);
    format.setForeground(linkColor(isDarkPalette()));
    return format;
}

// Room above the first and below the last line of a block of code; glyphs
// sit high in their line, so the bottom gets more.
constexpr qreal kCodePaddingTop = 6;
constexpr qreal kCodePaddingBottom = 8;
constexpr qreal kCodeRadius = 6;
constexpr qreal kQuoteBarWidth = 3;

// A block in document coordinates: its box from the start of its left
// margin to the end of its right margin, and its first and last lines.
struct BlockBox
{
    QRectF box;
    QRectF firstLine;
    QRectF lastLine;
    qreal firstAscent = 0;
};

BlockBox blockBox(const QAbstractTextDocumentLayout *layout, const QTextBlock &block)
{
    BlockBox result;
    // The layout's bounding rectangle, moved to where the block's margins begin.
    const QRectF bounds = layout->blockBoundingRect(block);
    const QTextLayout *text = block.layout();
    const QPointF origin = bounds.topLeft();
    const qreal right = text ? text->boundingRect().right() + block.blockFormat().rightMargin() : bounds.width();
    result.box = QRectF(origin.x(), origin.y(), right, bounds.height());
    result.firstLine = result.lastLine = result.box;
    if (!text || text->lineCount() == 0)
        return result;
    const QTextLine first = text->lineAt(0);
    result.firstLine = first.naturalTextRect().translated(origin);
    result.firstAscent = first.ascent();
    result.lastLine = text->lineAt(text->lineCount() - 1).naturalTextRect().translated(origin);
    return result;
}

// One rounded background behind all lines of the run, reaching into the
// block margins on the sides.
void paintCodeRun(QPainter &painter, const QAbstractTextDocumentLayout *layout, const BlockRun &run,
                  const QColor &color)
{
    const BlockBox first = blockBox(layout, run.first);
    const BlockBox last = run.last == run.first ? first : blockBox(layout, run.last);
    qreal top = first.box.top() - kCodePaddingTop;
    // Never over the line above, whose spacing may be smaller than the padding.
    if (const QTextBlock previous = run.first.previous(); previous.isValid()) {
        const QRectF above = layout->blockBoundingRect(previous);
        if (above.bottom() <= first.box.top())
            top = std::max(top, above.bottom());
    }
    const qreal bottom = std::min(last.lastLine.bottom() + kCodePaddingBottom, last.box.bottom());
    const qreal left = std::min(first.box.left(), last.box.left());
    const qreal right = std::max(first.box.right(), last.box.right());
    painter.setPen(Qt::NoPen);
    painter.setBrush(color);
    painter.drawRoundedRect(QRectF(left, top, right - left, bottom - top), kCodeRadius, kCodeRadius);
}

// A bar in the left margin from the first line's top to the last line's
// bottom.
void paintQuoteRun(QPainter &painter, const QAbstractTextDocumentLayout *layout, const BlockRun &run,
                   const QColor &color)
{
    const BlockBox first = blockBox(layout, run.first);
    const BlockBox last = run.last == run.first ? first : blockBox(layout, run.last);
    const qreal top = first.firstLine.top();
    const QRectF bar(first.box.left(), top, kQuoteBarWidth, last.lastLine.bottom() - top);
    painter.setPen(Qt::NoPen);
    painter.setBrush(color);
    painter.drawRoundedRect(bar, kQuoteBarWidth / 2, kQuoteBarWidth / 2);
}

bool isNumbered(QTextListFormat::Style style)
{
    return style == QTextListFormat::ListDecimal || style == QTextListFormat::ListLowerAlpha
        || style == QTextListFormat::ListUpperAlpha || style == QTextListFormat::ListLowerRoman
        || style == QTextListFormat::ListUpperRoman;
}

// A bullet, number or checkbox before the first line, a clear gap away from
// the text. Qt toggles a checkbox clicked within one font height before the
// text: the box fills that space but for the gap.
// The metrics of the last font asked for: list items mostly share one.
class MarkerMetrics
{
public:
    const QFontMetricsF &of(const QFont &font)
    {
        if (!m_metrics || font != m_font) {
            m_font = font;
            m_metrics.emplace(font);
        }
        return *m_metrics;
    }

private:
    QFont m_font;
    std::optional<QFontMetricsF> m_metrics;
};

void paintListMarker(QPainter &painter, const QTextBlock &block, const BlockBox &box, const QPalette &palette,
                     MarkerMetrics &cache)
{
    const QTextCharFormat chars = QTextCursor(block).charFormat();
    const QFont font = chars.font();
    const QFontMetricsF &metrics = cache.of(font);
    const qreal height = metrics.height();
    const qreal gap = std::round(height * 0.32);
    const bool rightToLeft = block.textDirection() == Qt::RightToLeft;
    const QRectF &line = box.firstLine;
    const qreal baseline = line.top() + box.firstAscent;
    const auto placed = [&](qreal width, qreal top, qreal markerHeight) {
        return QRectF(rightToLeft ? line.right() + gap : line.left() - gap - width, top, width, markerHeight);
    };
    const QColor text = chars.foreground().style() == Qt::NoBrush ? palette.color(QPalette::Text)
                                                                    : chars.foreground().color();
    const QTextBlockFormat::MarkerType marker = block.blockFormat().marker();

    painter.save();
    if (marker != QTextBlockFormat::MarkerType::NoMarker) {
        const qreal size = std::floor(height) - gap;
        const qreal top = std::round(baseline - metrics.capHeight() / 2 - size / 2);
        const QRectF square = placed(size, top, size).adjusted(0.5, 0.5, -0.5, -0.5);
        if (marker == QTextBlockFormat::MarkerType::Checked) {
            painter.setPen(Qt::NoPen);
            painter.setBrush(palette.color(QPalette::Highlight));
            painter.drawRoundedRect(square, 3, 3);
            QPen tick(palette.color(QPalette::HighlightedText), std::max(1.5, size / 8));
            tick.setCapStyle(Qt::RoundCap);
            tick.setJoinStyle(Qt::RoundJoin);
            QPainterPath path;
            path.moveTo(square.left() + square.width() * 0.24, square.top() + square.height() * 0.52);
            path.lineTo(square.left() + square.width() * 0.43, square.top() + square.height() * 0.71);
            path.lineTo(square.left() + square.width() * 0.77, square.top() + square.height() * 0.31);
            painter.setPen(tick);
            painter.setBrush(Qt::NoBrush);
            painter.drawPath(path);
        } else {
            QColor border = text;
            border.setAlphaF(0.6);
            painter.setPen(QPen(border, 1.3));
            painter.setBrush(Qt::NoBrush);
            painter.drawRoundedRect(square, 3, 3);
        }
    } else if (const QTextList *list = block.textList(); list && isNumbered(list->format().style())) {
        const QString number = list->itemText(block);
        painter.setFont(font);
        painter.setPen(text);
        painter.drawText(QPointF(placed(metrics.horizontalAdvance(number), 0, 0).left(), baseline), number);
    } else {
        const qreal diameter = std::max(5.0, std::round(height * 0.3));
        painter.setPen(Qt::NoPen);
        painter.setBrush(text);
        painter.drawEllipse(placed(diameter, baseline - metrics.xHeight() / 2 - diameter / 2, diameter));
    }
    painter.restore();
}

bool isDecorated(const QTextBlock &block)
{
    return block.isValid() && (blockRunKind(block.blockFormat()) != BlockRun::None || block.textList());
}

} // namespace

NoteEditor::NoteEditor(QWidget *parent)
    : QTextEdit(parent)
{
    m_delta = new DeltaDocument(this);
    m_standIn = new QTextDocument(this);
    setDocument(m_delta->document());
    m_layoutPacer = new LayoutPacer(this);
    m_layoutPacer->watch(document());
    const auto controls = findChildren<QObject *>(QString(), Qt::FindDirectChildrenOnly);
    for (QObject *child : controls) {
        if (child->inherits("QWidgetTextControl"))
            m_layoutPacer->holdTimers(child, [this] { return textCursor().position(); });
    }
    // Dividers are drawn from the start; attachments once a repository is set.
    m_attachmentRenderer = new AttachmentRenderer(nullptr, this);
    m_attachmentRenderer->install(document());
    m_words = std::make_unique<DocumentWordCount>(document());
    connect(document(), &QTextDocument::contentsChange, this,
            [this](int position, int removed, int added) {
                m_words->update(position, removed, added);
                updateDecorationsAround(position, removed, added);
            });
    setAcceptRichText(true);
    setTabChangesFocus(false);
    viewport()->setMouseTracking(true);

    QFont bodyFont = font();
    bodyFont.setPixelSize(effectiveBodyFontPixelSize());
    setFont(bodyFont);

    m_saveTimer = new QTimer(this);
    m_saveTimer->setObjectName(QStringLiteral("saveTimer"));
    m_saveTimer->setSingleShot(true);
    m_saveTimer->setInterval(kSaveDelayMs);
    connect(m_saveTimer, &QTimer::timeout, this, &NoteEditor::onSaveTimeout);
    m_followCursorTimer = new QTimer(this);
    m_followCursorTimer->setInterval(30);
    connect(m_followCursorTimer, &QTimer::timeout, this, [this] {
        // Asking where the cursor is would lay out every line before it at
        // once; the timer waits until Qt's layout in steps got there.
        if (textCursor().block().layout()->lineCount() == 0)
            return;
        m_followCursorTimer->stop();
        ensureCursorVisible();
    });
    m_baselineTimer = new QTimer(this);
    m_baselineTimer->setSingleShot(true);
    m_baselineTimer->setInterval(kBaselineIdleMs);
    connect(m_baselineTimer, &QTimer::timeout, this, [this] {
        if (!m_noteId.isEmpty() && !m_edited && !m_baseline)
            m_baseline = currentJson();
    });
    connect(m_delta, &DeltaDocument::contentsChanged, this, &NoteEditor::onContentsChanged);
    connect(this, &QTextEdit::cursorPositionChanged, this, &NoteEditor::updateFormatState);

    setPlaceholderText(noNotePlaceholder());
    setReadOnly(true);
}

NoteEditor::~NoteEditor() = default;

// ---------------------------------------------------------------------------
// Note lifecycle

void NoteEditor::loadNote(const QString &noteId, const QString &json, bool force)
{
    if (!force && noteId == m_noteId && !noteId.isEmpty() && m_saved && showsBody(json))
        return;

    m_loading = true;
    m_noteId = noteId;
    m_saveTimer->stop();
    m_followCursorTimer->stop();
    m_unsavedSince.invalidate();
    setUpdatesEnabled(false);
    // Loading under the editor's eyes drags its cursor's anchor to the end of
    // the new text, and dropping that selection lays the whole note out. It
    // looks at an empty stand-in meanwhile and gets the note back with a
    // fresh cursor at the start, laid out from the top as it is shown.
    setDocument(m_standIn);
    // Pictures are cached per note.
    m_attachmentRenderer->clearCache();
    m_delta->setJson(json);
    setDocument(m_delta->document());
    // The swap hands the stand-in's typing format on; typing takes the
    // note's own.
    setTextCursor(QTextCursor(document()));
    m_words->recount();
    resetBaseline(json);
    setReadOnly(false);
    setPlaceholderText(tr("Start typing..."));
    m_loading = false;
    m_saved = true;
    setUpdatesEnabled(true);

    Q_EMIT savedStateChanged(true);
    Q_EMIT wordCountChanged(wordCount());
    updateFormatState();
}

void NoteEditor::clearNote()
{
    m_loading = true;
    m_noteId.clear();
    m_saveTimer->stop();
    m_unsavedSince.invalidate();
    m_delta->setJson(QString());
    m_words->recount();
    resetBaseline(QString());
    setReadOnly(true);
    setPlaceholderText(noNotePlaceholder());
    m_loading = false;
    m_saved = true;

    Q_EMIT savedStateChanged(true);
    Q_EMIT wordCountChanged(0);
}

QString NoteEditor::currentJson() const
{
    return m_delta->toJson();
}

void NoteEditor::resetBaseline(const QString &loadedText)
{
    m_loadedText = loadedText;
    m_baseline.reset();
    m_edited = false;
    m_reportedJson.clear();
    m_baselineTimer->start();
}

const QString &NoteEditor::baselineJson()
{
    if (!m_baseline) {
        // Serialising the loaded document up front would slow every load;
        // a scratch document built the same way gives the same Delta.
        DeltaDocument scratch;
        scratch.document()->setDefaultFont(document()->defaultFont());
        scratch.setJson(m_loadedText);
        m_baseline = scratch.toJson();
    }
    return *m_baseline;
}

bool NoteEditor::showsBody(const QString &json)
{
    if (m_edited) {
        // Saved, but by a holder that did not report what it stored.
        return json == currentJson();
    }
    return json == m_loadedText || (m_baseline && json == *m_baseline);
}

std::optional<QString> NoteEditor::changedJson()
{
    if (m_noteId.isEmpty() || !m_edited)
        return std::nullopt;
    QString current = currentJson();
    if (current == baselineJson()) {
        m_edited = false;
        return std::nullopt;
    }
    m_reportedJson = current;
    m_reportedGeneration = m_editGeneration;
    return current;
}

void NoteEditor::acceptSaved(const QString &json)
{
    m_baseline = json;
    m_loadedText.clear();
    // Edits made after the reported Delta still differ from what was stored.
    m_edited = m_reportedGeneration != m_editGeneration || json != m_reportedJson;
    m_reportedJson.clear();
    if (m_edited || m_saved || m_inSaveRound)
        return;
    m_saveTimer->stop();
    m_unsavedSince.invalidate();
    m_saved = true;
    Q_EMIT savedStateChanged(true);
}

void NoteEditor::markSaveFailed()
{
    if (m_noteId.isEmpty())
        return;
    if (m_inSaveRound) {
        m_saveFailed = true;
    } else if (m_saved) {
        m_saved = false;
        Q_EMIT savedStateChanged(false);
    }
    // Whatever was reported is not stored; compare with the baseline again.
    m_edited = true;
    Q_EMIT saveFailed();
    // New edits already running the normal delay save soon enough.
    if (!m_saveTimer->isActive()) {
        m_unsavedSince.invalidate();
        m_saveTimer->start(kRetryDelayMs);
    }
}

int NoteEditor::wordCount() const
{
    return m_words->count();
}

void NoteEditor::onContentsChanged()
{
    if (m_loading || m_noteId.isEmpty())
        return;
    ++m_editGeneration;
    m_edited = true;
    const bool wasSaved = m_saved;
    m_saved = false;
    if (wasSaved)
        Q_EMIT savedStateChanged(false);
    if (!m_unsavedSince.isValid())
        m_unsavedSince.start();
    const qint64 left = kMaxSaveDelayMs - m_unsavedSince.elapsed();
    m_saveTimer->start(int(std::clamp<qint64>(left, 0, kSaveDelayMs)));
    Q_EMIT wordCountChanged(wordCount());
}

void NoteEditor::onSaveTimeout()
{
    m_unsavedSince.invalidate();
    m_inSaveRound = true;
    m_saveFailed = false;
    Q_EMIT noteModified();
    m_inSaveRound = false;
    // A failed write stays unsaved; a load or clear from the handler has
    // already reported its own state.
    if (m_saveFailed || m_saved || m_saveTimer->isActive())
        return;
    m_saved = true;
    Q_EMIT savedStateChanged(true);
}

// ---------------------------------------------------------------------------
// Format state

QTextCharFormat NoteEditor::formatAtSelectionStart() const
{
    const QTextCursor cursor = textCursor();
    if (!cursor.hasSelection())
        return cursor.charFormat();
    // The format of a position is that of the character before it.
    QTextCursor probe(document());
    probe.setPosition(cursor.selectionStart() + 1);
    return probe.charFormat();
}

void NoteEditor::updateFormatState()
{
    const QTextCursor cursor = textCursor();
    const QTextCharFormat format = formatAtSelectionStart();
    const QTextBlockFormat block = document()->findBlock(cursor.selectionStart()).blockFormat();

    Q_EMIT formatStateChanged(format.fontWeight() >= QFont::Bold, format.fontItalic(),
                              format.fontUnderline() && !format.isAnchor(), format.fontStrikeOut(),
                              format.fontFixedPitch(), block.intProperty(HeadingLevelProperty),
                              listKindOfBlock(block), block.hasProperty(CodeBlockProperty),
                              block.boolProperty(BlockquoteProperty), cursor.currentTable() != nullptr,
                              block.alignment());
    Q_EMIT cursorFormatChanged();
}

// ---------------------------------------------------------------------------
// Formatting operations

void NoteEditor::mergeFormat(const QTextCharFormat &format)
{
    QTextCursor cursor = textCursor();
    if (cursor.hasSelection()) {
        cursor.beginEditBlock();
        cursor.mergeCharFormat(format);
        cursor.endEditBlock();
    } else {
        mergeCurrentCharFormat(format);
    }
    updateFormatState();
}

void NoteEditor::toggleBold()
{
    QTextCharFormat format;
    format.setFontWeight(formatAtSelectionStart().fontWeight() >= QFont::Bold ? QFont::Normal : QFont::Bold);
    mergeFormat(format);
}

void NoteEditor::toggleItalic()
{
    QTextCharFormat format;
    format.setFontItalic(!formatAtSelectionStart().fontItalic());
    mergeFormat(format);
}

void NoteEditor::toggleUnderline()
{
    QTextCharFormat format;
    format.setUnderlineStyle(formatAtSelectionStart().fontUnderline() ? QTextCharFormat::NoUnderline
                                                                      : QTextCharFormat::SingleUnderline);
    mergeFormat(format);
}

void NoteEditor::toggleStrikethrough()
{
    QTextCharFormat format;
    format.setFontStrikeOut(!formatAtSelectionStart().fontStrikeOut());
    mergeFormat(format);
}

void NoteEditor::toggleInlineCode()
{
    QTextCharFormat format;
    if (formatAtSelectionStart().fontFixedPitch()) {
        // Back to body text: the code font's family and pitch must go too, or
        // saving would still read the run as code.
        QFont body = document()->defaultFont();
        body.setPixelSize(effectiveBodyFontPixelSize());
        body.setFixedPitch(false);
        format.setFontFamilies(QStringList { body.family() });
        format.setFontFixedPitch(false);
        format.setProperty(QTextFormat::FontPixelSize, body.pixelSize());
        format.setBackground(Qt::transparent);
        format.setForeground(QBrush());
    } else {
        format = inlineCodeFormat();
    }
    mergeFormat(format);
}

void NoteEditor::restyleBlock(QTextCursor &cursor, const QTextBlockFormat &format, bool replaceInline)
{
    cursor.setBlockFormat(format);
    const QTextCharFormat charFormat = baseCharFormatForBlock(format);
    cursor.setBlockCharFormat(charFormat);
    QTextCursor text = selectBlockText(cursor.block());
    if (replaceInline)
        text.setCharFormat(charFormat);
    else
        text.mergeCharFormat(charFormat);
}

void NoteEditor::setHeading(int level)
{
    QTextCursor cursor = textCursor();
    cursor.beginEditBlock();
    const QList<QTextBlock> blocks = touchedBlocks(cursor);
    for (const QTextBlock &block : blocks) {
        QTextCursor blockCursor(block);
        QTextBlockFormat format = block.blockFormat();
        const bool wasCode = format.hasProperty(CodeBlockProperty);
        if (level >= 1 && level <= 6) {
            format.clearProperty(CodeBlockProperty);
            format.clearProperty(BlockquoteProperty);
            format.setProperty(HeadingLevelProperty, level);
        } else {
            format.clearProperty(HeadingLevelProperty);
        }
        decorateBlockFormat(format);
        // Back to normal text drops the heading's runs (bold, italic) too,
        // and leaving a code block drops its code font.
        restyleBlock(blockCursor, format, level < 1 || level > 6 || wasCode);
    }
    cursor.endEditBlock();
    updateFormatState();
}

void NoteEditor::toggleList(const QString &listType)
{
    QTextCursor cursor = textCursor();
    const QList<QTextBlock> blocks = touchedBlocks(cursor);
    if (blocks.isEmpty())
        return;
    // A ticked checklist item is still a checklist to toggle off.
    const bool remove = listKindOfBlock(blocks.first().blockFormat()) == listKind(listType);
    cursor.beginEditBlock();
    for (const QTextBlock &block : blocks) {
        QTextCursor blockCursor(block);
        applyListToBlock(blockCursor, remove ? QString() : listType);
    }
    cursor.endEditBlock();
    updateFormatState();
}

void NoteEditor::toggleBlockProperty(int property)
{
    QTextCursor cursor = textCursor();
    const QList<QTextBlock> blocks = touchedBlocks(cursor);
    if (blocks.isEmpty())
        return;
    const QTextBlockFormat first = blocks.first().blockFormat();
    // A code block tagged with a language is still a code block to toggle off.
    const bool clear = property == CodeBlockProperty ? first.hasProperty(property)
                                                     : first.property(property) == QVariant(true);
    cursor.beginEditBlock();
    for (const QTextBlock &block : blocks) {
        QTextCursor blockCursor(block);
        if (!clear && block.textList())
            applyListToBlock(blockCursor, QString());
        QTextBlockFormat format = blockCursor.blockFormat();
        // The heading weight and the code font belong to the block kind and
        // must not outlive it as inline formatting.
        const bool leavesKind = format.hasProperty(HeadingLevelProperty)
            || (format.hasProperty(CodeBlockProperty) && property != CodeBlockProperty) || (clear && property == CodeBlockProperty);
        if (clear) {
            format.clearProperty(property);
        } else {
            format.clearProperty(HeadingLevelProperty);
            format.clearProperty(ListTypeProperty);
            format.clearProperty(CodeBlockProperty);
            format.clearProperty(BlockquoteProperty);
            format.setProperty(property, true);
        }
        decorateBlockFormat(format);
        restyleBlock(blockCursor, format, leavesKind);
    }
    cursor.endEditBlock();
    updateFormatState();
}

void NoteEditor::toggleBlockquote()
{
    toggleBlockProperty(BlockquoteProperty);
}

void NoteEditor::toggleCodeBlock()
{
    toggleBlockProperty(CodeBlockProperty);
}

void NoteEditor::setAlignment(Qt::Alignment alignment)
{
    QTextCursor cursor = textCursor();
    cursor.beginEditBlock();
    const QList<QTextBlock> blocks = touchedBlocks(cursor);
    for (const QTextBlock &block : blocks) {
        QTextCursor blockCursor(block);
        QTextBlockFormat format = block.blockFormat();
        format.setAlignment((format.alignment() & ~Qt::AlignHorizontal_Mask) | (alignment & Qt::AlignHorizontal_Mask));
        blockCursor.setBlockFormat(format);
    }
    cursor.endEditBlock();
    updateFormatState();
}

// ---------------------------------------------------------------------------
// Inserting

void NoteEditor::insertDivider()
{
    QTextCursor cursor = textCursor();
    cursor.beginEditBlock();
    cursor.movePosition(QTextCursor::EndOfBlock);
    // The divider and the line after it are plain lines, spaced as they are
    // when the note is loaded again.
    const QTextBlockFormat body = blockFormatFromAttributes(QJsonObject());
    const QTextCharFormat bodyChars = baseCharFormatForBlock(body);
    cursor.insertBlock(body, bodyChars);
    QTextCharFormat divider = bodyChars;
    divider.setObjectType(DividerObject);
    divider.setProperty(EmbedKeyProperty, QStringLiteral("divider"));
    divider.setProperty(EmbedValueProperty, QStringLiteral("hr"));
    cursor.insertText(QString(QChar::ObjectReplacementCharacter), divider);
    cursor.insertBlock(body, bodyChars);
    cursor.endEditBlock();
    setTextCursor(cursor);
    updateFormatState();
}

void NoteEditor::insertTable(int rows, int columns, bool hasHeader)
{
    if (rows < 1 || columns < 1 || textCursor().currentTable())
        return;
    QTextCursor cursor = textCursor();
    cursor.beginEditBlock();
    if (!cursor.block().text().isEmpty()) {
        cursor.movePosition(QTextCursor::EndOfBlock);
        cursor.insertBlock();
    }
    insertNoteTable(cursor, rows, columns, hasHeader);
    cursor.endEditBlock();
    setTextCursor(cursor);
    setFocus();
    updateFormatState();
}

void NoteEditor::insertTableDialog()
{
    InsertTableDialog dialog(this);
    if (dialog.exec() == QDialog::Accepted)
        insertTable(dialog.rows(), dialog.columns(), dialog.hasHeader());
}

// ---------------------------------------------------------------------------
// Links

NoteEditor::LinkRange NoteEditor::linkAt(int position) const
{
    const QTextBlock block = document()->findBlock(position);
    if (!block.isValid())
        return {};
    // Fragments of one block in order; a link is the run of adjacent
    // fragments with the same href that holds the position.
    LinkRange range;
    for (QTextBlock::iterator it = block.begin(); !it.atEnd(); ++it) {
        const QTextFragment fragment = it.fragment();
        const QTextCharFormat format = fragment.charFormat();
        const int start = fragment.position();
        const int end = start + fragment.length();
        const bool isLink = format.isAnchor() && !format.anchorHref().isEmpty();
        if (isLink && range.isValid() && range.end == start && range.href == format.anchorHref()) {
            range.end = end;
        } else if (isLink) {
            if (range.isValid() && position >= range.start && position <= range.end)
                return range;
            range = { start, end, format.anchorHref() };
        } else {
            if (range.isValid() && position >= range.start && position <= range.end)
                return range;
            range = {};
        }
    }
    if (range.isValid() && position >= range.start && position <= range.end)
        return range;
    return {};
}

void NoteEditor::applyLink(const QString &text, const QString &url)
{
    if (url.isEmpty())
        return;
    QTextCursor cursor = textCursor();
    cursor.beginEditBlock();
    if (cursor.hasSelection() && text == cursor.selectedText()) {
        cursor.mergeCharFormat(linkFormat(url));
    } else {
        QTextCharFormat format = cursor.charFormat();
        format.merge(linkFormat(url));
        cursor.insertText(text.isEmpty() ? url : text, format);
    }
    cursor.endEditBlock();
    setTextCursor(cursor);
    updateFormatState();
}

void NoteEditor::replaceLink(const LinkRange &range, const QString &text, const QString &url)
{
    if (!range.isValid() || url.isEmpty())
        return;
    QTextCursor cursor(document());
    cursor.setPosition(range.start);
    cursor.setPosition(range.end, QTextCursor::KeepAnchor);
    cursor.beginEditBlock();
    if (text == cursor.selectedText()) {
        cursor.mergeCharFormat(linkFormat(url));
    } else {
        QTextCharFormat format = cursor.charFormat();
        format.merge(linkFormat(url));
        cursor.insertText(text.isEmpty() ? url : text, format);
    }
    cursor.endEditBlock();
    updateFormatState();
}

void NoteEditor::removeLink(const LinkRange &range)
{
    if (!range.isValid())
        return;
    QTextCursor cursor(document());
    cursor.setPosition(range.start);
    cursor.setPosition(range.end, QTextCursor::KeepAnchor);
    QTextCharFormat format;
    format.setAnchor(false);
    format.setAnchorHref(QString());
    format.setUnderlineStyle(QTextCharFormat::NoUnderline);
    format.setForeground(palette().color(QPalette::Text));
    cursor.mergeCharFormat(format);
    updateFormatState();
}

void NoteEditor::openLink(const QString &href)
{
    if (href.isEmpty())
        return;
    QUrl url(href);
    if (url.scheme().isEmpty())
        url = QUrl(QStringLiteral("https://") + href);
    QDesktopServices::openUrl(url);
}

void NoteEditor::insertLink()
{
    const QString selected = textCursor().selectedText();
    LinkDialog dialog(tr("Insert Link"), selected, QStringLiteral("https://"), this);
    if (dialog.exec() != QDialog::Accepted || dialog.url().isEmpty())
        return;
    applyLink(dialog.text(), dialog.url());
}

void NoteEditor::editLink(const LinkRange &range)
{
    if (!range.isValid())
        return;
    QTextCursor cursor(document());
    cursor.setPosition(range.start);
    cursor.setPosition(range.end, QTextCursor::KeepAnchor);
    LinkDialog dialog(tr("Edit Link"), cursor.selectedText(), range.href, this);
    if (dialog.exec() != QDialog::Accepted || dialog.url().isEmpty())
        return;
    replaceLink(range, dialog.text(), dialog.url());
}

// ---------------------------------------------------------------------------
// Line operations

void NoteEditor::duplicateLine()
{
    QTextCursor cursor = textCursor();
    const QTextBlock block = cursor.block();
    const int column = cursor.positionInBlock();
    const QTextDocumentFragment text = selectBlockText(block).selection();
    cursor.beginEditBlock();
    cursor.movePosition(QTextCursor::EndOfBlock);
    cursor.insertBlock(block.blockFormat(), block.charFormat());
    const int copyStart = cursor.position();
    cursor.insertFragment(text);
    cursor.setPosition(copyStart + column);
    cursor.endEditBlock();
    setTextCursor(cursor);
}

void NoteEditor::deleteLine()
{
    QTextCursor cursor = textCursor();
    const QTextBlock block = cursor.block();
    cursor.setPosition(block.position());
    if (block.next().isValid())
        cursor.setPosition(block.next().position(), QTextCursor::KeepAnchor);
    else
        cursor.movePosition(QTextCursor::EndOfBlock, QTextCursor::KeepAnchor);
    cursor.removeSelectedText();
    setTextCursor(cursor);
}

void NoteEditor::moveLine(int direction)
{
    const QTextCursor current = textCursor();
    const QTextBlock block = current.block();
    const QTextBlock other = direction < 0 ? block.previous() : block.next();
    if (!other.isValid())
        return;
    // Blocks inside a table cell have no neighbour to trade places with.
    if (current.currentTable() || QTextCursor(other).currentTable())
        return;
    const int column = current.positionInBlock();
    const int blockNumber = block.blockNumber();
    const int otherNumber = other.blockNumber();

    struct Line
    {
        QTextDocumentFragment text;
        QTextBlockFormat blockFormat;
        QTextCharFormat charFormat;
    };
    const auto take = [](const QTextBlock &b) {
        return Line { selectBlockText(b).selection(), b.blockFormat(), b.charFormat() };
    };
    const Line moving = take(block);
    const Line staying = take(other);

    QTextCursor cursor(document());
    cursor.beginEditBlock();
    const auto put = [this, &cursor](int number, const Line &line) {
        const QTextBlock target = document()->findBlockByNumber(number);
        cursor.setPosition(target.position());
        cursor.movePosition(QTextCursor::EndOfBlock, QTextCursor::KeepAnchor);
        cursor.removeSelectedText();
        // A fragment taken from a block start brings that block's format
        // along, so the line's own formats are set after it.
        if (!line.text.isEmpty())
            cursor.insertFragment(line.text);
        cursor.setBlockFormat(line.blockFormat);
        cursor.setBlockCharFormat(line.charFormat);
    };
    put(otherNumber, moving);
    put(blockNumber, staying);
    const QTextBlock moved = document()->findBlockByNumber(otherNumber);
    cursor.setPosition(moved.position() + qMin(column, moved.length() - 1));
    cursor.endEditBlock();
    setTextCursor(cursor);
}

// ---------------------------------------------------------------------------
// Keys

bool NoteEditor::handleListEnter()
{
    QTextCursor cursor = textCursor();
    const QTextBlock block = cursor.block();
    if (cursor.hasSelection() || !isListBlock(block))
        return false;
    if (block.text().isEmpty()) {
        cursor.beginEditBlock();
        applyListToBlock(cursor, QString());
        cursor.endEditBlock();
        setTextCursor(cursor);
        updateFormatState();
        return true;
    }
    if (cursor.atBlockStart()) {
        cursor.beginEditBlock();
        splitBlock(cursor);
        QTextCursor above(cursor.block().previous());
        applyListToBlock(above, QString());
        cursor.endEditBlock();
        setTextCursor(above);
        updateFormatState();
        return true;
    }
    return false;
}

void NoteEditor::splitBlock(QTextCursor &cursor)
{
    QTextBlockFormat blockFormat = cursor.blockFormat();
    QTextCharFormat charFormat = cursor.charFormat();
    // A line break typed in the empty line beside a table makes it a line of
    // the note; neither half may be skipped as a spacer when saving.
    if (blockFormat.hasProperty(TableSpacerProperty)) {
        blockFormat.clearProperty(TableSpacerProperty);
        cursor.setBlockFormat(blockFormat);
    }
    const int heading = blockFormat.intProperty(HeadingLevelProperty);
    if (heading >= 1 && heading <= 6 && cursor.atBlockEnd()) {
        // A title is followed by a plain paragraph, not by more title.
        blockFormat = blockFormatFromAttributes(QJsonObject());
        charFormat = baseCharFormatForBlock(blockFormat);
    } else if (blockFormat.marker() == QTextBlockFormat::MarkerType::Checked) {
        blockFormat.setMarker(QTextBlockFormat::MarkerType::Unchecked);
        blockFormat.setProperty(ListTypeProperty, QStringLiteral("unchecked"));
    }
    cursor.insertBlock(blockFormat, charFormat);
}

void NoteEditor::insertParagraph()
{
    // QTextEdit's own Enter resets the format of an empty line instead of
    // breaking it (a typed blank line vanishes), drops a list item's bottom
    // margin and keeps headings going; every line break goes through here.
    QTextCursor cursor = textCursor();
    cursor.beginEditBlock();
    cursor.removeSelectedText();
    splitBlock(cursor);
    cursor.endEditBlock();
    setTextCursor(cursor);
    ensureCursorVisible();
    updateFormatState();
}

bool NoteEditor::handleFirstBlockBackspace()
{
    QTextCursor cursor = textCursor();
    const QTextBlock block = cursor.block();
    if (cursor.hasSelection() || !cursor.atBlockStart() || !block.text().isEmpty() || !isListBlock(block)
        || block != document()->firstBlock() || !block.next().isValid())
        return false;
    const QTextBlock next = block.next();
    QTextBlockFormat format = next.blockFormat();
    const QTextCharFormat charFormat = next.charFormat();
    const QString listType = format.stringProperty(ListTypeProperty);

    cursor.beginEditBlock();
    cursor.deleteChar();
    // The list membership is rebuilt below; the format alone must not
    // point at a list the merged block may no longer be part of.
    format.setObjectIndex(-1);
    format.clearProperty(ListTypeProperty);
    format.setMarker(QTextBlockFormat::MarkerType::NoMarker);
    format.setIndent(0);
    if (QTextList *list = cursor.block().textList())
        list->remove(cursor.block());
    cursor.setBlockFormat(format);
    cursor.setBlockCharFormat(charFormat);
    applyListToBlock(cursor, listType);
    cursor.endEditBlock();
    setTextCursor(cursor);
    updateFormatState();
    return true;
}

bool NoteEditor::handleTableTab(QKeyEvent *event)
{
    const bool tab = event->key() == Qt::Key_Tab && event->modifiers() == Qt::NoModifier;
    const bool backtab = event->key() == Qt::Key_Backtab;
    if (!tab && !backtab)
        return false;
    QTextCursor cursor = textCursor();
    QTextTable *table = cursor.currentTable();
    if (!table)
        return false;
    const QTextTableCell cell = table->cellAt(cursor);
    int row = cell.row();
    int column = cell.column();
    if (tab) {
        column += cell.columnSpan();
        if (column >= table->columns()) {
            column = 0;
            ++row;
            if (row >= table->rows())
                table->appendRows(1);
        }
    } else {
        --column;
        if (column < 0) {
            if (row == 0)
                return true;
            --row;
            column = table->columns() - 1;
        }
    }
    setTextCursor(table->cellAt(row, column).firstCursorPosition());
    return true;
}

bool NoteEditor::handleCtrlShortcut(QKeyEvent *event)
{
    switch (event->key()) {
    case Qt::Key_0:
        setHeading(0);
        return true;
    case Qt::Key_1:
    case Qt::Key_2:
    case Qt::Key_3:
        setHeading(event->key() - Qt::Key_0);
        return true;
    case Qt::Key_B:
        toggleBold();
        return true;
    case Qt::Key_I:
        toggleItalic();
        return true;
    case Qt::Key_U:
        toggleUnderline();
        return true;
    case Qt::Key_QuoteLeft:
        toggleInlineCode();
        return true;
    case Qt::Key_L: {
        QTextCursor cursor = selectBlockText(textCursor().block());
        setTextCursor(cursor);
        return true;
    }
    case Qt::Key_W: {
        QTextCursor cursor = textCursor();
        if (!cursor.hasSelection())
            cursor.movePosition(QTextCursor::PreviousWord, QTextCursor::KeepAnchor);
        cursor.removeSelectedText();
        setTextCursor(cursor);
        return true;
    }
    default:
        return false;
    }
}

bool NoteEditor::handleCtrlShiftShortcut(QKeyEvent *event)
{
    // With Shift held, layouts report the shifted symbol for digit keys.
    switch (event->key()) {
    case Qt::Key_7:
    case Qt::Key_Ampersand:
        toggleList(QStringLiteral("ordered"));
        return true;
    case Qt::Key_8:
    case Qt::Key_Asterisk:
        toggleList(QStringLiteral("bullet"));
        return true;
    case Qt::Key_9:
    case Qt::Key_ParenLeft:
        toggleList(QStringLiteral("unchecked"));
        return true;
    case Qt::Key_B:
        toggleBlockquote();
        return true;
    case Qt::Key_QuoteLeft:
    case Qt::Key_AsciiTilde:
        toggleCodeBlock();
        return true;
    case Qt::Key_X:
        toggleStrikethrough();
        return true;
    case Qt::Key_D:
        duplicateLine();
        return true;
    case Qt::Key_K:
        deleteLine();
        return true;
    case Qt::Key_A:
        insertAttachmentDialog();
        return true;
    default:
        return false;
    }
}

void NoteEditor::keyPressEvent(QKeyEvent *event)
{
    const Qt::KeyboardModifiers modifiers = event->modifiers() & ~Qt::KeypadModifier;
    const int key = event->key();
    bool handled = false;
    if (!isReadOnly()) {
        if ((key == Qt::Key_Return || key == Qt::Key_Enter) && modifiers == Qt::NoModifier) {
            handled = handleListEnter();
            if (!handled) {
                insertParagraph();
                handled = true;
            }
        }
        else if (key == Qt::Key_Backspace && modifiers == Qt::NoModifier)
            handled = handleFirstBlockBackspace();
        else if (key == Qt::Key_Tab || key == Qt::Key_Backtab)
            handled = handleTableTab(event);
        else if (modifiers == Qt::ControlModifier)
            handled = handleCtrlShortcut(event);
        else if (modifiers == (Qt::ControlModifier | Qt::ShiftModifier))
            handled = handleCtrlShiftShortcut(event);
        else if (modifiers == Qt::AltModifier && (key == Qt::Key_Up || key == Qt::Key_Down)) {
            moveLine(key == Qt::Key_Up ? -1 : 1);
            handled = true;
        }
    }
    if (key == Qt::Key_Control)
        updateViewportCursor(viewport()->mapFromGlobal(QCursor::pos()), modifiers);
    if (handled)
        event->accept();
    else
        QTextEdit::keyPressEvent(event);
}

bool NoteEditor::event(QEvent *event)
{
    if (event->type() == QEvent::ShortcutOverride && !isReadOnly()) {
        // Deleting a word belongs to the text being typed, whatever the
        // windows bind to these keys.
        auto *key = static_cast<QKeyEvent *>(event);
        const Qt::KeyboardModifiers modifiers = key->modifiers() & ~Qt::KeypadModifier;
        const bool wordKey = modifiers == Qt::ControlModifier
            && (key->key() == Qt::Key_Backspace || key->key() == Qt::Key_Delete || key->key() == Qt::Key_W);
        if (wordKey || key->matches(QKeySequence::DeleteStartOfWord) || key->matches(QKeySequence::DeleteEndOfWord)) {
            event->accept();
            return true;
        }
    }
    return QTextEdit::event(event);
}

void NoteEditor::keyReleaseEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Control)
        updateViewportCursor(viewport()->mapFromGlobal(QCursor::pos()), event->modifiers());
    QTextEdit::keyReleaseEvent(event);
}

// ---------------------------------------------------------------------------
// Mouse

void NoteEditor::mousePressEvent(QMouseEvent *event)
{
    const QPoint pos = event->position().toPoint();
    if (event->button() == Qt::LeftButton) {
        if (event->modifiers() & Qt::ControlModifier) {
            const QString href = anchorAt(pos);
            if (!href.isEmpty()) {
                openLink(href);
                event->accept();
                return;
            }
        }
        if (m_tripleClickTimer.isValid()
            && m_tripleClickTimer.elapsed() < QApplication::doubleClickInterval()
            && (pos - m_doubleClickPos).manhattanLength() <= kTripleClickDistance) {
            m_tripleClickTimer.invalidate();
            setTextCursor(selectBlockText(cursorForPosition(pos).block()));
            event->accept();
            return;
        }
    }
    QTextEdit::mousePressEvent(event);
}

void NoteEditor::mouseDoubleClickEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton) {
        m_tripleClickTimer.start();
        m_doubleClickPos = event->position().toPoint();
    }
    if (event->button() == Qt::LeftButton) {
        const QString attachment = attachmentIdAt(attachmentPositionAt(event->position().toPoint()));
        if (!attachment.isEmpty() && m_attachments && m_attachments->byId(attachment)) {
            showAttachment(attachment);
            event->accept();
            return;
        }
    }
    QTextEdit::mouseDoubleClickEvent(event);
}

void NoteEditor::mouseMoveEvent(QMouseEvent *event)
{
    QTextEdit::mouseMoveEvent(event);
    updateViewportCursor(event->position().toPoint(), event->modifiers());
}

void NoteEditor::updateViewportCursor(const QPoint &viewportPos, Qt::KeyboardModifiers modifiers)
{
    const bool overLink = (modifiers & Qt::ControlModifier) && !anchorAt(viewportPos).isEmpty();
    const bool overAttachment = attachmentPositionAt(viewportPos) >= 0;
    viewport()->setCursor(overLink || overAttachment ? Qt::PointingHandCursor : Qt::IBeamCursor);
}

bool NoteEditor::viewportEvent(QEvent *event)
{
    if (event->type() == QEvent::ToolTip) {
        auto *help = static_cast<QHelpEvent *>(event);
        const QString href = anchorAt(help->pos());
        if (showAttachmentTooltip(help))
            return true;
        if (!href.isEmpty())
            QToolTip::showText(help->globalPos(), tr("%1\n(Ctrl+click to open)").arg(href), viewport());
        else
            QToolTip::hideText();
        return true;
    }
    return QTextEdit::viewportEvent(event);
}

void NoteEditor::paintEvent(QPaintEvent *event)
{
    paintBlockDecorations(event->rect());
    QTextEdit::paintEvent(event);
}

void NoteEditor::paintBlockDecorations(const QRect &dirty)
{
    const QAbstractTextDocumentLayout *layout = document()->documentLayout();
    const QPointF offset(horizontalScrollBar()->value(), verticalScrollBar()->value());
    const QRectF area = QRectF(dirty).translated(offset);
    // The blocks that reach into the area, found by walking from the first
    // one of the last paint: scrolling and typing move it a few blocks at a
    // time, where a hit test would look at every block above.
    QTextBlock from = document()->findBlockByNumber(std::clamp(m_firstPaintedBlock, 0, document()->blockCount() - 1));
    while (from.previous().isValid() && layout->blockBoundingRect(from).top() > area.top())
        from = from.previous();
    while (from.next().isValid() && layout->blockBoundingRect(from).bottom() < area.top())
        from = from.next();
    if (!from.isValid())
        return;
    m_firstPaintedBlock = from.blockNumber();
    QTextBlock to = from;
    while (to.next().isValid() && layout->blockBoundingRect(to.next()).top() <= area.bottom())
        to = to.next();

    QPainter painter(viewport());
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setClipRect(dirty);
    painter.translate(-offset);
    const bool dark = isDarkPalette(palette());
    const QList<BlockRun> runs = blockRuns(from, to);
    for (const BlockRun &run : runs) {
        if (run.kind == BlockRun::Code)
            paintCodeRun(painter, layout, run, codeBlockBackgroundColor(dark));
        else
            paintQuoteRun(painter, layout, run, quoteBarColor(dark));
    }
    MarkerMetrics metrics;
    for (QTextBlock block = from; block.isValid() && block.position() <= to.position(); block = block.next()) {
        if (block.textList() && drawsOwnListMarker(block.blockFormat()))
            paintListMarker(painter, block, blockBox(layout, block), palette(), metrics);
    }
}

void NoteEditor::updateDecorationsAround(int position, int removed, int added)
{
    // Qt repaints the lines it lays out again, which covers typing. Lines
    // coming, going or changing kind reshape a run's background or bar, which
    // reaches into the lines around, and renumber a list.
    const int blockCount = document()->blockCount();
    const bool reshaped = blockCount != m_decoratedBlockCount || (added == removed && added > 0);
    m_decoratedBlockCount = blockCount;
    if (!reshaped)
        return;
    const QTextBlock block = document()->findBlock(position);
    if (isDecorated(block) || isDecorated(block.previous()) || isDecorated(block.next()))
        viewport()->update();
}

// ---------------------------------------------------------------------------
// Context menu

void NoteEditor::contextMenuEvent(QContextMenuEvent *event)
{
    if (showAttachmentMenu(event) || showLinkMenu(event) || showTableMenu(event))
        return;
    QTextEdit::contextMenuEvent(event);
}

bool NoteEditor::showLinkMenu(QContextMenuEvent *event)
{
    const QString href = anchorAt(event->pos());
    if (href.isEmpty())
        return false;
    const LinkRange range = linkAt(cursorForPosition(event->pos()).position());
    QMenu menu(this);
    connect(menu.addAction(tr("Open Link")), &QAction::triggered, this, [this, href] { openLink(href); });
    connect(menu.addAction(tr("Copy Link Address")), &QAction::triggered, this,
            [href] { QGuiApplication::clipboard()->setText(href); });
    menu.addSeparator();
    QAction *edit = menu.addAction(tr("Edit Link…"));
    QAction *remove = menu.addAction(tr("Remove Link"));
    edit->setEnabled(range.isValid());
    remove->setEnabled(range.isValid());
    connect(edit, &QAction::triggered, this, [this, range] { editLink(range); });
    connect(remove, &QAction::triggered, this, [this, range] { removeLink(range); });
    menu.exec(event->globalPos());
    return true;
}

bool NoteEditor::showTableMenu(QContextMenuEvent *event)
{
    const QTextCursor at = cursorForPosition(event->pos());
    if (!at.currentTable())
        return false;
    QMenu menu(this);
    const auto add = [this, &menu, at](const QString &text, TableEdit edit) {
        connect(menu.addAction(text), &QAction::triggered, this, [this, at, edit] { editTable(edit, at); });
    };
    add(tr("Insert Row Above"), TableEdit::InsertRowAbove);
    add(tr("Insert Row Below"), TableEdit::InsertRowBelow);
    menu.addSeparator();
    add(tr("Insert Column Before"), TableEdit::InsertColumnBefore);
    add(tr("Insert Column After"), TableEdit::InsertColumnAfter);
    menu.addSeparator();
    add(tr("Delete Row"), TableEdit::DeleteRow);
    add(tr("Delete Column"), TableEdit::DeleteColumn);
    menu.addSeparator();
    add(tr("Delete Table"), TableEdit::DeleteTable);
    menu.exec(event->globalPos());
    return true;
}

void NoteEditor::editTable(TableEdit edit, const QTextCursor &at)
{
    QTextTable *table = at.currentTable();
    if (!table)
        return;
    const QTextTableCell cell = table->cellAt(at);
    const int row = cell.row();
    const int column = cell.column();
    QTextCursor cursor(document());
    cursor.beginEditBlock();
    switch (edit) {
    case TableEdit::InsertRowAbove:
        table->insertRows(row, 1);
        break;
    case TableEdit::InsertRowBelow:
        table->insertRows(row + 1, 1);
        break;
    case TableEdit::InsertColumnBefore:
        table->insertColumns(column, 1);
        break;
    case TableEdit::InsertColumnAfter:
        table->insertColumns(column + 1, 1);
        break;
    case TableEdit::DeleteRow:
        if (table->rows() > 1) {
            table->removeRows(row, 1);
            break;
        }
        [[fallthrough]];
    case TableEdit::DeleteTable: {
        const int start = qMax(0, table->firstPosition() - 1);
        const int end = qMin(table->lastPosition() + 1, document()->characterCount() - 1);
        cursor.setPosition(start);
        cursor.setPosition(end, QTextCursor::KeepAnchor);
        cursor.removeSelectedText();
        // The frame's markers were the line breaks on both sides; the lines
        // around the table stay apart.
        if (!cursor.atBlockStart() && !cursor.atBlockEnd())
            cursor.insertBlock();
        break;
    }
    case TableEdit::DeleteColumn:
        if (table->columns() > 1)
            table->removeColumns(column, 1);
        break;
    }
    cursor.endEditBlock();
    updateFormatState();
}

// ---------------------------------------------------------------------------
// Paste and drop

bool NoteEditor::canInsertFromMimeData(const QMimeData *source) const
{
    return source->hasFormat(QStringLiteral("text/markdown")) || (source->hasImage() && m_attachments)
        || QTextEdit::canInsertFromMimeData(source);
}

void NoteEditor::insertFromMimeData(const QMimeData *source)
{
    if (pastesAsPicture(source)) {
        QString error;
        if (!insertImageAttachment(qvariant_cast<QImage>(source->imageData()), &error))
            QMessageBox::warning(this, tr("Paste"), error);
        return;
    }
    if (source->hasFormat(QStringLiteral("text/markdown"))) {
        insertDelta(markdownToDelta(QString::fromUtf8(source->data(QStringLiteral("text/markdown")))));
        return;
    }
    if (source->hasHtml()) {
        insertDelta(htmlToDelta(source->html()));
        return;
    }
    if (source->hasText()) {
        const QString text = source->text();
        if (looksLikeHtml(text)) {
            insertDelta(htmlToDelta(text));
            return;
        }
        if (looksLikeMarkdown(text)) {
            insertDelta(markdownToDelta(text));
            return;
        }
        // Qt would make every line a block; a very long text keeps its lines
        // within the budget the other readers keep.
        if (text.count(QLatin1Char('\n')) > DocumentConvert::maxReadLines) {
            insertDelta(plainTextToDelta(text));
            return;
        }
    }
    QTextEdit::insertFromMimeData(source);
}

void NoteEditor::insertDelta(const QJsonArray &ops)
{
    if (ops.isEmpty())
        return;
    DeltaDocument converted;
    converted.document()->setDefaultFont(document()->defaultFont());
    converted.setDelta(ops);

    QTextCursor all(converted.document());
    all.movePosition(QTextCursor::End, QTextCursor::KeepAnchor);
    int end = all.position();
    while (end > 0 && converted.document()->characterAt(end - 1) == QChar::ParagraphSeparator)
        --end;
    all.setPosition(0);
    all.setPosition(end, QTextCursor::KeepAnchor);
    const QTextDocumentFragment fragment(all);

    // Qt lays out an inserted range there and then, which for 20,000 lines
    // took seconds (and minutes at 1 MB); a whole document it lays out in
    // steps. A long paste goes in while the page has no size, which leaves
    // the layout alone, and the layout then starts over in steps.
    const bool longPaste = converted.document()->blockCount() > 1000;
    const QSizeF pageSize = document()->pageSize();
    if (longPaste)
        document()->setPageSize(QSizeF(0, 0));
    QTextCursor cursor = textCursor();
    cursor.beginEditBlock();
    cursor.insertFragment(fragment);
    cursor.endEditBlock();
    if (!longPaste) {
        setTextCursor(cursor);
        return;
    }
    document()->setPageSize(pageSize);
    // The editor's cursor moved past the paste with the text; setting it
    // again would show it there and then, laying out every line before it.
    if (textCursor().position() != cursor.position())
        setTextCursor(cursor);
    else
        m_followCursorTimer->start();
}
