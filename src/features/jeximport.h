#pragma once

#include <QDateTime>
#include <QHash>
#include <QString>

// One item of a Joplin export: the title line, the body and the metadata
// lines that follow it.
struct JexItem
{
    QString id;
    QString title;
    QString parentId;
    int type = 0; // 1 note, 2 folder, 4 resource, 5 tag, 6 note-tag link
    bool isHtml = false;
    bool encrypted = false;
    QDateTime createdTime;
    QDateTime updatedTime;
    QDateTime deletedTime; // invalid unless trashed in the source
    QString mime;
    QString fileExtension;
    QString body;
};

// The title is the text's first line, unless a "title" key says otherwise;
// metadata lines are read one at a time, so an empty value never takes the
// next line for its own.
JexItem parseJexItem(const QString &text);

// A note's body often repeats its title as first line or as a heading;
// both are dropped.
QString removeRepeatedTitle(const QString &title, const QString &body);
