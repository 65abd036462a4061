#pragma once

#include <QJsonArray>
#include <QString>

// A small, self-contained HTML document for a Delta JSON text.
QString deltaToHtml(const QString &deltaJson);

// Any HTML to Delta operations; never empty (at least one empty line).
QJsonArray htmlToDelta(const QString &html);

// The HTML without script, style, navigation, header, footer, aside, iframe
// and noscript elements and their contents.
QString stripUnsafeHtml(const QString &html);
