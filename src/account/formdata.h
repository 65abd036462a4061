#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

class QHttpMultiPart;

namespace BrioAccount {

// One part of a multipart/form-data upload. A part with a file name carries
// a Content-Type too ("application/octet-stream" when none is given).
struct FormField
{
    QString name;
    QByteArray body;
    QString fileName;
    QString contentType;
};

// The fields in the order given, ready for ApiClient::postMultipart.
QHttpMultiPart *createFormData(const QList<FormField> &fields);

} // namespace BrioAccount
