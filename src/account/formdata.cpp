#include "formdata.h"

#include <QHttpMultiPart>

namespace BrioAccount {

namespace {

// Quotes in a file name would end the header value early.
QString quoted(QString value)
{
    value.replace(QLatin1Char('"'), QLatin1Char('_'));
    return QLatin1Char('"') + value + QLatin1Char('"');
}

} // namespace

QHttpMultiPart *createFormData(const QList<FormField> &fields)
{
    auto *multiPart = new QHttpMultiPart(QHttpMultiPart::FormDataType);
    for (const FormField &field : fields) {
        QHttpPart part;
        QString disposition = QStringLiteral("form-data; name=") + quoted(field.name);
        if (!field.fileName.isEmpty()) {
            disposition += QStringLiteral("; filename=") + quoted(field.fileName);
            const QString type =
                field.contentType.isEmpty() ? QStringLiteral("application/octet-stream") : field.contentType;
            part.setHeader(QNetworkRequest::ContentTypeHeader, type.toUtf8());
        } else if (!field.contentType.isEmpty()) {
            part.setHeader(QNetworkRequest::ContentTypeHeader, field.contentType.toUtf8());
        }
        part.setHeader(QNetworkRequest::ContentDispositionHeader, disposition.toUtf8());
        part.setBody(field.body);
        multiPart->append(part);
    }
    return multiPart;
}

} // namespace BrioAccount
