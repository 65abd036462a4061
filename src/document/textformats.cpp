#include "textformats.h"

#include <QGuiApplication>
#include <QJsonValue>
#include <QStringList>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextList>
#include <QTextTable>

#include <atomic>
#include <limits>
#include <utility>

namespace {

// Margins collapse to the larger of two neighbours', so this is felt only
// below a block of code, whose lines have none: it keeps the next line off
// the code's background.
constexpr int kBodyTopMargin = 4;

std::atomic<int> g_bodyFontPixelSize { 0 };

bool isTrue(const QJsonValue &value)
{
    return value.isBool() && value.toBool();
}

// Keys with a meaning on the other kind of format; neither kind stores them
// as extra attributes.
bool isInlineKey(const QString &key)
{
    return key == QLatin1String("bold") || key == QLatin1String("italic") || key == QLatin1String("underline")
        || key == QLatin1String("strike") || key == QLatin1String("code") || key == QLatin1String("link");
}

bool isBlockKey(const QString &key)
{
    return key == QLatin1String("header") || key == QLatin1String("list") || key == QLatin1String("code-block")
        || key == QLatin1String("blockquote");
}

void setMargins(QTextBlockFormat &format, int top, int bottom, int lineHeight, int left, int right)
{
    format.setTopMargin(top);
    format.setBottomMargin(bottom);
    format.setLineHeight(lineHeight, QTextBlockFormat::ProportionalHeight);
    format.setLeftMargin(left);
    format.setRightMargin(right);
}

void setFontPixelSize(QTextCharFormat &format, int pixels)
{
    format.setProperty(QTextFormat::FontPixelSize, pixels);
}

// Where a block sits: its frame, and within a table its cell.
std::pair<const QTextFrame *, int> placeOf(const QTextBlock &block)
{
    const QTextFrame *frame = QTextCursor(block).currentFrame();
    if (const auto *table = qobject_cast<const QTextTable *>(frame))
        return { frame, table->cellAt(block.position()).firstPosition() };
    return { frame, -1 };
}

void mergeExtra(QJsonObject &attributes, const QVariant &extra)
{
    const QJsonObject object = extra.toJsonObject();
    for (auto it = object.begin(); it != object.end(); ++it) {
        if (!attributes.contains(it.key()))
            attributes.insert(it.key(), it.value());
    }
}

} // namespace

QString attachmentUrlPrefix()
{
    return QStringLiteral("lumora-notes://attachment/");
}

int bodyFontPixelSize()
{
    return g_bodyFontPixelSize.load();
}

void setBodyFontPixelSize(int pixels)
{
    g_bodyFontPixelSize.store(pixels);
}

int effectiveBodyFontPixelSize()
{
    const int pixels = bodyFontPixelSize();
    return pixels < 1 ? 16 : pixels;
}

HeadingStyle headingStyle(int level)
{
    switch (level) {
    case 1:
        return { 28, 700, 130, 24, 12, false };
    case 2:
        return { 22, 700, 130, 20, 10, false };
    case 3:
        return { 18, 600, 140, 16, 8, false };
    case 4:
        return { 16, 600, 140, 12, 6, false };
    case 5:
        return { 14, 600, 140, 10, 4, false };
    case 6:
        return { 13, 600, 140, 8, 4, true };
    default:
        return { effectiveBodyFontPixelSize(), 400, 150, 0, 8, false };
    }
}

bool isDarkPalette(const QPalette &palette)
{
    return QColor(0x1E, 0x1E, 0x1E).lightness() >= palette.color(QPalette::Window).lightness();
}

bool isDarkPalette()
{
    return isDarkPalette(QGuiApplication::palette());
}

QColor codeBlockTextColor(bool dark)
{
    return dark ? QColor(0xC4, 0xC6, 0xCF) : QColor(0x44, 0x47, 0x4E);
}

QColor codeBlockBackgroundColor(bool dark)
{
    return dark ? QColor(0x2A, 0x2D, 0x31) : QColor(0xEC, 0xEE, 0xF1);
}

QColor quoteBarColor(bool dark)
{
    return dark ? QColor(0x5B, 0x61, 0x6B) : QColor(0xC5, 0xCB, 0xD3);
}

QColor inlineCodeTextColor(bool dark)
{
    return dark ? QColor(0xD6, 0xE3, 0xF7) : QColor(0x0E, 0x1B, 0x2C);
}

QColor inlineCodeBackgroundColor(bool dark)
{
    return dark ? QColor(0x33, 0x44, 0x5C) : QColor(0xDC, 0xE6, 0xF4);
}

QColor linkColor(bool dark)
{
    return dark ? QColor(0x6C, 0xB4, 0xF8) : QColor(0x15, 0x65, 0xC0);
}

QColor visitedLinkColor(bool dark)
{
    return dark ? QColor(0xC3, 0x9B, 0xF0) : QColor(0x6A, 0x3F, 0xB5);
}

QFont monospaceFont()
{
    QFont font(QStringLiteral("monospace"));
    font.setStyleHint(QFont::Monospace);
    font.setFixedPitch(true);
    font.setPixelSize(14);
    return font;
}

QTextCharFormat inlineCodeFormat()
{
    const bool dark = isDarkPalette();
    QTextCharFormat format;
    format.setFont(monospaceFont(), QTextCharFormat::FontPropertiesSpecifiedOnly);
    format.setForeground(inlineCodeTextColor(dark));
    format.setBackground(inlineCodeBackgroundColor(dark));
    return format;
}

void decorateBlockFormat(QTextBlockFormat &format)
{
    const int level = format.intProperty(HeadingLevelProperty);
    if (level >= 1 && level <= 6) {
        const HeadingStyle style = headingStyle(level);
        setMargins(format, style.topMargin, style.bottomMargin, style.lineHeightPercent, 0, 0);
        format.clearBackground();
    } else if (format.hasProperty(CodeBlockProperty)) {
        // No margins: the lines of a block of code sit together, and the
        // editor paints one background behind the whole run.
        setMargins(format, 0, 0, 150, 12, 12);
        format.clearBackground();
    } else if (format.boolProperty(BlockquoteProperty)) {
        setMargins(format, kBodyTopMargin, 8, 150, 16, 0);
        format.clearBackground();
    } else {
        setMargins(format, kBodyTopMargin, 8, 150, 0, 0);
        format.clearBackground();
    }
}

void setSingleLineHeight(QTextBlockFormat &format)
{
    format.setLineHeight(0, QTextBlockFormat::SingleHeight);
}

QTextBlockFormat blockFormatFromAttributes(const QJsonObject &attributes)
{
    QTextBlockFormat format;
    QJsonObject extra;
    for (auto it = attributes.begin(); it != attributes.end(); ++it) {
        const QString key = it.key();
        const QJsonValue value = it.value();
        if (key == QLatin1String("header")) {
            const int level = value.toInt(0);
            if (level >= 1 && level <= 6)
                format.setProperty(HeadingLevelProperty, level);
        } else if (key == QLatin1String("list")) {
            format.setProperty(ListTypeProperty, value.toString());
        } else if (key == QLatin1String("code-block")) {
            if (value.isString())
                format.setProperty(CodeBlockProperty, value.toString());
            else if (isTrue(value))
                format.setProperty(CodeBlockProperty, true);
        } else if (key == QLatin1String("blockquote")) {
            if (isTrue(value))
                format.setProperty(BlockquoteProperty, true);
        } else if (key == QLatin1String("align")) {
            const QString align = value.toString();
            if (align == QLatin1String("center"))
                format.setAlignment(Qt::AlignHCenter);
            else if (align == QLatin1String("right"))
                format.setAlignment(Qt::AlignRight);
            else if (align == QLatin1String("justify"))
                format.setAlignment(Qt::AlignJustify);
            else
                format.setAlignment(Qt::AlignLeft);
        } else if (!isInlineKey(key)) {
            extra.insert(key, value);
        }
    }
    if (!extra.isEmpty())
        format.setProperty(ExtraBlockAttributesProperty, QVariant::fromValue(extra));
    decorateBlockFormat(format);
    return format;
}

BlockRun::Kind blockRunKind(const QTextBlockFormat &format)
{
    const int level = format.intProperty(HeadingLevelProperty);
    if (level >= 1 && level <= 6)
        return BlockRun::None;
    if (format.hasProperty(CodeBlockProperty))
        return BlockRun::Code;
    if (format.boolProperty(BlockquoteProperty))
        return BlockRun::Quote;
    return BlockRun::None;
}

QList<BlockRun> blockRuns(QTextBlock from, const QTextBlock &to)
{
    QList<BlockRun> runs;
    if (!from.isValid())
        return runs;
    const BlockRun::Kind firstKind = blockRunKind(from.blockFormat());
    if (firstKind != BlockRun::None) {
        const auto place = placeOf(from);
        for (QTextBlock previous = from.previous();
             previous.isValid() && blockRunKind(previous.blockFormat()) == firstKind && placeOf(previous) == place;
             previous = previous.previous())
            from = previous;
    }
    const int end = to.isValid() ? to.position() : std::numeric_limits<int>::max();
    bool open = false;
    std::pair<const QTextFrame *, int> openPlace;
    for (QTextBlock block = from; block.isValid(); block = block.next()) {
        const BlockRun::Kind kind = blockRunKind(block.blockFormat());
        if (open && kind == runs.last().kind) {
            const auto place = placeOf(block);
            if (place == openPlace) {
                runs.last().last = block;
                continue;
            }
        }
        open = false;
        if (block.position() > end)
            break;
        if (kind != BlockRun::None) {
            runs.append({ kind, block, block });
            open = true;
            openPlace = placeOf(block);
        }
    }
    return runs;
}

bool drawsOwnListMarker(const QTextBlockFormat &format)
{
    return format.hasProperty(QTextFormat::ListStyle)
        && format.intProperty(QTextFormat::ListStyle) == QTextListFormat::ListStyleUndefined;
}

void decorateForPrinting(QTextDocument *copy)
{
    QTextCursor cursor(copy);
    cursor.beginEditBlock();
    for (QTextBlock block = copy->begin(); block.isValid(); block = block.next()) {
        QTextBlockFormat format = block.blockFormat();
        const bool code = blockRunKind(format) == BlockRun::Code;
        const bool ownMarker = drawsOwnListMarker(format);
        if (!code && !ownMarker)
            continue;
        if (code)
            format.setBackground(codeBlockBackgroundColor(false));
        if (ownMarker)
            format.clearProperty(QTextFormat::ListStyle);
        cursor.setPosition(block.position());
        cursor.setBlockFormat(format);
    }
    cursor.endEditBlock();
}

QTextListFormat::Style listStyleFor(const QString &listType)
{
    return listType == QLatin1String("ordered") ? QTextListFormat::ListDecimal : QTextListFormat::ListDisc;
}

void setListItemProperties(QTextBlockFormat &format, const QString &listType)
{
    if (listType == QLatin1String("checked"))
        format.setMarker(QTextBlockFormat::MarkerType::Checked);
    else if (listType == QLatin1String("unchecked"))
        format.setMarker(QTextBlockFormat::MarkerType::Unchecked);
    format.setProperty(ListTypeProperty, listType);
    // Qt skips its marker for a block whose own list style is undefined.
    format.setProperty(QTextFormat::ListStyle, QTextListFormat::ListStyleUndefined);
}

void applyListToBlock(QTextCursor &cursor, const QString &listType)
{
    QTextBlock block = cursor.block();
    QTextBlockFormat format = cursor.blockFormat();
    QTextList *oldList = block.textList();
    if (oldList || format.marker() != QTextBlockFormat::MarkerType::NoMarker || format.indent() != 0
        || format.hasProperty(ListTypeProperty)) {
        if (oldList)
            oldList->remove(block);
        format = cursor.blockFormat();
        format.setMarker(QTextBlockFormat::MarkerType::NoMarker);
        format.setObjectIndex(-1);
        format.setIndent(0);
        format.clearProperty(ListTypeProperty);
        format.clearProperty(QTextFormat::ListStyle);
        cursor.setBlockFormat(format);
    }
    if (listType.isEmpty())
        return;

    const QTextListFormat::Style style = listStyleFor(listType);
    const QTextBlock previous = block.previous();
    QTextList *previousList = previous.isValid() ? previous.textList() : nullptr;
    if (previousList && previousList->format().style() == style) {
        previousList->add(block);
    } else {
        QTextListFormat listFormat;
        listFormat.setStyle(style);
        listFormat.setIndent(1);
        cursor.createList(listFormat);
    }

    format = cursor.blockFormat();
    setListItemProperties(format, listType);
    cursor.setBlockFormat(format);
}

QString listKind(const QString &listType)
{
    return listType == QLatin1String("checked") ? QStringLiteral("unchecked") : listType;
}

QString listKindOfBlock(const QTextBlockFormat &format)
{
    if (format.marker() != QTextBlockFormat::MarkerType::NoMarker)
        return QStringLiteral("unchecked");
    return listKind(format.stringProperty(ListTypeProperty));
}

QTextCharFormat charFormatFromAttributes(const QJsonObject &attributes)
{
    QTextCharFormat format;
    QJsonObject extra;
    for (auto it = attributes.begin(); it != attributes.end(); ++it) {
        const QString key = it.key();
        const QJsonValue value = it.value();
        if (key == QLatin1String("bold")) {
            if (isTrue(value))
                format.setFontWeight(QFont::Bold);
        } else if (key == QLatin1String("italic")) {
            if (isTrue(value))
                format.setFontItalic(true);
        } else if (key == QLatin1String("underline")) {
            if (isTrue(value))
                format.setUnderlineStyle(QTextCharFormat::SingleUnderline);
        } else if (key == QLatin1String("strike")) {
            if (isTrue(value))
                format.setFontStrikeOut(true);
        } else if (key == QLatin1String("code")) {
            if (isTrue(value))
                format.merge(inlineCodeFormat());
        } else if (key == QLatin1String("link")) {
            if (value.isString()) {
                format.setAnchor(true);
                format.setAnchorHref(value.toString());
                format.setUnderlineStyle(QTextCharFormat::SingleUnderline);
                format.setForeground(linkColor(isDarkPalette()));
            }
        } else if (!isBlockKey(key)) {
            extra.insert(key, value);
        }
    }
    if (!extra.isEmpty())
        format.setProperty(ExtraCharAttributesProperty, QVariant::fromValue(extra));
    return format;
}

QTextCharFormat baseCharFormatForBlock(const QTextBlockFormat &format)
{
    QTextCharFormat result;
    const int level = format.intProperty(HeadingLevelProperty);
    if (level >= 1 && level <= 6) {
        const HeadingStyle style = headingStyle(level);
        setFontPixelSize(result, style.pixelSize);
        result.setFontWeight(style.weight);
        if (style.muted)
            result.setForeground(codeBlockTextColor(isDarkPalette()));
    } else if (format.hasProperty(CodeBlockProperty)) {
        result.setFont(monospaceFont(), QTextCharFormat::FontPropertiesSpecifiedOnly);
        result.setForeground(codeBlockTextColor(isDarkPalette()));
    } else {
        setFontPixelSize(result, effectiveBodyFontPixelSize());
    }
    return result;
}

QJsonObject inlineAttributesFromCharFormat(const QTextCharFormat &format)
{
    QJsonObject attributes;
    if (format.hasProperty(QTextFormat::FontWeight) && format.fontWeight() >= QFont::Bold)
        attributes.insert(QStringLiteral("bold"), true);
    if (format.fontItalic())
        attributes.insert(QStringLiteral("italic"), true);
    if (format.fontUnderline() && !format.isAnchor())
        attributes.insert(QStringLiteral("underline"), true);
    if (format.fontStrikeOut())
        attributes.insert(QStringLiteral("strike"), true);
    if (format.fontFixedPitch() || format.fontFamilies().toStringList().contains(QLatin1String("monospace")))
        attributes.insert(QStringLiteral("code"), true);
    if (format.isAnchor() && !format.anchorHref().isEmpty())
        attributes.insert(QStringLiteral("link"), format.anchorHref());
    if (format.hasProperty(ExtraCharAttributesProperty))
        mergeExtra(attributes, format.property(ExtraCharAttributesProperty));
    return attributes;
}

QJsonObject blockAttributesFromBlockFormat(const QTextBlockFormat &format)
{
    QJsonObject attributes;
    const int level = format.intProperty(HeadingLevelProperty);
    if (level >= 1 && level <= 6)
        attributes.insert(QStringLiteral("header"), level);

    const QString listType = format.stringProperty(ListTypeProperty);
    if (format.marker() == QTextBlockFormat::MarkerType::Checked)
        attributes.insert(QStringLiteral("list"), QStringLiteral("checked"));
    else if (format.marker() == QTextBlockFormat::MarkerType::Unchecked)
        attributes.insert(QStringLiteral("list"), QStringLiteral("unchecked"));
    else if (!listType.isEmpty())
        attributes.insert(QStringLiteral("list"), listType);

    if (format.hasProperty(CodeBlockProperty)) {
        const QVariant codeBlock = format.property(CodeBlockProperty);
        const QString language = codeBlock.typeId() == QMetaType::QString ? codeBlock.toString() : QString();
        if (!language.isEmpty())
            attributes.insert(QStringLiteral("code-block"), language);
        else
            attributes.insert(QStringLiteral("code-block"), true);
    }
    if (format.boolProperty(BlockquoteProperty))
        attributes.insert(QStringLiteral("blockquote"), true);

    const Qt::Alignment align = format.alignment();
    if (align & Qt::AlignHCenter)
        attributes.insert(QStringLiteral("align"), QStringLiteral("center"));
    else if (align & Qt::AlignRight)
        attributes.insert(QStringLiteral("align"), QStringLiteral("right"));
    else if (align & Qt::AlignJustify)
        attributes.insert(QStringLiteral("align"), QStringLiteral("justify"));

    if (format.hasProperty(ExtraBlockAttributesProperty))
        mergeExtra(attributes, format.property(ExtraBlockAttributesProperty));
    return attributes;
}
