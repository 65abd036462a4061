#pragma once

#include <QColor>
#include <QFont>
#include <QJsonObject>
#include <QList>
#include <QPalette>
#include <QString>
#include <QTextBlock>
#include <QTextBlockFormat>
#include <QTextCharFormat>
#include <QTextFormat>
#include <QTextListFormat>

class QTextCursor;
class QTextDocument;

// Custom properties on the editor document's formats. The ids are stored in
// documents only while a note is open, but the editor, toolbar and attachment
// renderer all read them, so they must not move.
enum DocumentFormatProperty : int {
    HeadingLevelProperty = QTextFormat::UserProperty + 1,
    ListTypeProperty = QTextFormat::UserProperty + 2,
    CodeBlockProperty = QTextFormat::UserProperty + 3,
    BlockquoteProperty = QTextFormat::UserProperty + 4,
    TableSpacerProperty = QTextFormat::UserProperty + 5,
    ExtraBlockAttributesProperty = QTextFormat::UserProperty + 10,
    ExtraCharAttributesProperty = QTextFormat::UserProperty + 20,
    TableInsertMarkProperty = QTextFormat::UserProperty + 99,
    EmbedKeyProperty = QTextFormat::UserProperty + 100,
    EmbedValueProperty = QTextFormat::UserProperty + 101,
    // An embed value that is not a string (a divider's true), kept as the
    // compact JSON of a one-element array so that saving writes it back as it came.
    EmbedJsonValueProperty = QTextFormat::UserProperty + 102,
};

enum DocumentObjectType : int {
    AttachmentObject = QTextFormat::UserObject + 1,
    DividerObject = QTextFormat::UserObject + 2,
    TableEmbedObject = QTextFormat::UserObject + 3,
};

// "lumora-notes://attachment/"
QString attachmentUrlPrefix();

// Process-wide editor body size in pixels; 0 until the main window sets it.
int bodyFontPixelSize();
void setBodyFontPixelSize(int pixels);
// What readers use: the set size, or 16 while it is below 1.
int effectiveBodyFontPixelSize();

struct HeadingStyle
{
    int pixelSize = 16;
    int weight = 400;
    int lineHeightPercent = 150;
    int topMargin = 0;
    int bottomMargin = 8;
    bool muted = false;
};

// Levels 1 to 6; any other level gives the body style.
HeadingStyle headingStyle(int level);

bool isDarkPalette(const QPalette &palette);
bool isDarkPalette(); // the application palette

QColor codeBlockTextColor(bool dark); // also the muted level-6 heading colour
QColor codeBlockBackgroundColor(bool dark);
QColor quoteBarColor(bool dark);
QColor inlineCodeTextColor(bool dark);
QColor inlineCodeBackgroundColor(bool dark);
// Link colours readable (4.5:1) on the editor background of each palette.
QColor linkColor(bool dark);
QColor visitedLinkColor(bool dark);

QFont monospaceFont();
// Font, text colour and background of inline code for the current palette.
QTextCharFormat inlineCodeFormat();

// Block attributes of a Delta line to a block format, decoration included.
QTextBlockFormat blockFormatFromAttributes(const QJsonObject &attributes);
// Spacing, line height and background derived from the custom properties.
void decorateBlockFormat(QTextBlockFormat &format);
// Single line height for lines that hold an image or attachment.
void setSingleLineHeight(QTextBlockFormat &format);
// Consecutive code-block lines, or quote lines, are decorated as one: one
// background, one bar. Lines in different frames or table cells never share
// a run.
struct BlockRun
{
    enum Kind { None, Code, Quote };
    Kind kind = None;
    QTextBlock first;
    QTextBlock last;
};
// Code for a code block, Quote for a quote, None for anything else (a
// heading wins over both, as it does for the look).
BlockRun::Kind blockRunKind(const QTextBlockFormat &format);
// The runs among the blocks from `from` to `to`, in document order, each
// whole even where it reaches beyond them.
QList<BlockRun> blockRuns(QTextBlock from, const QTextBlock &to);

// Qt's own list markers sit one space from the text; the editor draws its
// own with more room. Whether a list item's marker is left to the editor.
bool drawsOwnListMarker(const QTextBlockFormat &format);

// Run decorations exist only where the editor paints them: a copy of the
// document for printing or export gets them as plain formats instead (code
// lines their light background, lists Qt's markers).
void decorateForPrinting(QTextDocument *copy);

// Disc for every list type but "ordered".
QTextListFormat::Style listStyleFor(const QString &listType);
// Checkbox marker and ListTypeProperty of a list item.
void setListItemProperties(QTextBlockFormat &format, const QString &listType);
// Puts the cursor's block into a list of that Delta "list" value (an empty
// value only removes it from any list). Bullets and checklists share lists.
void applyListToBlock(QTextCursor &cursor, const QString &listType);

// The list kind of a block for toggling and for the toolbar: a checklist item
// is "unchecked" whether ticked or not (its tick is the marker), others give
// their ListTypeProperty.
QString listKindOfBlock(const QTextBlockFormat &format);
// The same for a list value: "checked" is the checklist kind.
QString listKind(const QString &listType);

// Inline attributes of a Delta insert to a character format.
QTextCharFormat charFormatFromAttributes(const QJsonObject &attributes);
// The character format that fits a block: heading font, code font or body font.
QTextCharFormat baseCharFormatForBlock(const QTextBlockFormat &format);

// The reverse direction: what a format writes back into Delta.
QJsonObject inlineAttributesFromCharFormat(const QTextCharFormat &format);
QJsonObject blockAttributesFromBlockFormat(const QTextBlockFormat &format);
