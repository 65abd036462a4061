#pragma once

#include <QJsonObject>
#include <QString>

class QTextBlock;
class QTextCursor;
class QTextDocument;
class QTextTable;
class QTextTableFormat;
class QPalette;

// The table embed's object, {"cells": rows, "hasHeader": bool}, read from a
// table of an editor document. Each cell is an array of text inserts with
// their inline attributes, an {"insert":"\n"} between the cell's paragraphs.
// A cell spanning several grid positions is written once, at its top-left.
QJsonObject tableObjectFromTextTable(const QTextTable *table);

// Border, padding and header rows of every table in notes.
QTextTableFormat noteTableFormat(const QPalette &palette, bool hasHeader);

// Flags a block as a spacer beside a table and gives it the format of an
// empty body line, so that text typed into it looks as it will after a reload.
void makeTableSpacer(const QTextBlock &block);

// Inserts an empty rows x columns table at the cursor. Blocks the insertion
// had to create before and after the table are flagged as spacers so that
// saving does not turn them into empty lines. Header cells get the alternate
// background and bold text. The cursor is left in the first cell.
QTextTable *insertNoteTable(QTextCursor &cursor, int rows, int columns, bool hasHeader);

// Inserts the table described by the compact JSON of a table embed and leaves
// the cursor just after it. Returns false, inserting nothing, when the text
// is not a JSON object, has no cells, or has more than maxTableCells
// cells (rows times the longest row).
bool insertTableFromJson(QTextCursor &cursor, const QString &json);
