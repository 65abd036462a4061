#pragma once

#include <QString>
#include <QStringView>

namespace DocumentConvert {

// Qt's HTML reader takes time quadratic in the nesting depth of elements;
// deeper elements lose their tags, never their text.
constexpr int maxHtmlNesting = 100;

// Qt's reader also takes time quadratic in the items of one list; longer
// lists are read as several.
constexpr int maxListItems = 64;

// Qt's HTML reader turns a line separator into a space and takes time for
// every <br>, so lines joined past the budget are parted by this
// noncharacter, which no text carries, for the caller to turn into line
// separators.
constexpr char16_t joinedLineMark = 0xFDD2;

enum class HtmlCleaning {
    // Unwanted elements, event handlers and script URLs removed; the rest as it came.
    Safe,
    // Safe, and also bounded for Qt's reader: nesting capped, nested tables and
    // tables of more than maxTableCells cells turned into text (Qt pads every
    // row to the widest one, so a few kilobytes can ask for millions of cells).
    // Past maxReadLines elements that start lines, the rest is plain text.
    Readable,
};

// One pass over the markup, linear in its length. A '<' that starts no tag
// comes out as "&lt;", so what is left can never reassemble into a tag; a
// tag left open at the end of the text comes out as text.
QString cleanHtml(QStringView html, HtmlCleaning cleaning);

// Whether a link or picture address runs script when followed (javascript:,
// vbscript:, data:text/html and the like, however spelled): what the
// cleaning removes from attributes.
bool isScriptUrl(QStringView url);

} // namespace DocumentConvert
