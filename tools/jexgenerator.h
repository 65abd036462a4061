#pragma once

#include <QString>

// Writes a Joplin export archive laid out as the real exporter writes it:
// one "<32 hex>.md" item per folder, note and resource, in name order, and
// the resources' bytes under "resources/<id>.png". Notes carry generated
// Markdown (headings, lists, tables, links); every picture is shown by one
// note. The same seed gives the same archive.
struct JexGeneratorOptions
{
    int notes = 10000;
    int pictures = 500;
    int folders = 12;
    quint32 seed = 7;
};

bool writeGeneratedJex(const QString &path, const JexGeneratorOptions &options, QString *error);
