#pragma once

#include "document/deltadocument.h"

#include <QString>

namespace DocumentTest {

// Raw JSON literals; a plain function because moc cannot expand macros
// around raw strings.
inline QString js(const char *utf8)
{
    return QString::fromUtf8(utf8);
}

// A body after one load into the editor document and one save.
inline QString saved(const QString &body)
{
    DeltaDocument doc;
    doc.setJson(body);
    return doc.toJson();
}

} // namespace DocumentTest
