#include "ziparchive.h"

#include <QFile>
#include <QStringList>

#include <zip.h>

namespace {

QString libzipError(zip_t *archive)
{
    return QString::fromUtf8(zip_strerror(archive));
}

} // namespace

bool isSafeArchiveEntryName(const QString &name)
{
    if (name.isEmpty() || name.startsWith(QLatin1Char('/')) || name.startsWith(QLatin1Char('\\')))
        return false;
    // A colon names a drive ("C:") or a file stream on Windows.
    if (name.contains(QLatin1Char(':')) || name.contains(QChar(0)))
        return false;
    // Windows tools take a backslash for a folder separator too.
    const QStringList segments = QString(name).replace(QLatin1Char('\\'), QLatin1Char('/')).split(QLatin1Char('/'));
    return !segments.contains(QStringLiteral(".."));
}

ZipWriter::~ZipWriter()
{
    discard();
}

bool ZipWriter::open(const QString &path, QString *error)
{
    discard();
    int code = 0;
    // ZIP_TRUNCATE: the old archive is not read, only replaced at commit.
    m_archive = zip_open(QFile::encodeName(path).constData(), ZIP_CREATE | ZIP_TRUNCATE, &code);
    if (!m_archive) {
        zip_error_t zipError;
        zip_error_init_with_code(&zipError, code);
        if (error)
            *error = QString::fromUtf8(zip_error_strerror(&zipError));
        zip_error_fini(&zipError);
        return false;
    }
    return true;
}

bool ZipWriter::canAdd(const QString &entryName, QString *error) const
{
    if (!m_archive) {
        if (error)
            *error = QStringLiteral("No archive is open");
        return false;
    }
    if (!isSafeArchiveEntryName(entryName)) {
        if (error)
            *error = QStringLiteral("Unsafe entry name in archive: \"%1\"").arg(entryName);
        return false;
    }
    return true;
}

bool ZipWriter::addFile(const QString &entryName, const QString &filePath, QString *error)
{
    if (!canAdd(entryName, error))
        return false;
    // Checked now: libzip would only notice an unreadable file at commit time.
    QFile file(filePath);
    if (!file.open(QIODevice::ReadOnly)) {
        if (error)
            *error = QStringLiteral("Cannot read %1: %2").arg(filePath, file.errorString());
        return false;
    }
    file.close();
    // Length -1: up to the end of the file (ZIP_LENGTH_TO_END in newer libzip).
    return addSource(entryName, zip_source_file(m_archive, QFile::encodeName(filePath).constData(), 0, -1), error);
}

bool ZipWriter::addData(const QString &entryName, const QByteArray &data, QString *error)
{
    if (!canAdd(entryName, error))
        return false;
    m_buffers.append(data);
    const QByteArray &kept = m_buffers.constLast();
    return addSource(entryName, zip_source_buffer(m_archive, kept.constData(), zip_uint64_t(kept.size()), 0), error);
}

bool ZipWriter::addSource(const QString &entryName, zip_source_t *source, QString *error)
{
    if (source && zip_file_add(m_archive, entryName.toUtf8().constData(), source, ZIP_FL_ENC_UTF_8) >= 0)
        return true;
    // A source that was not added still belongs to us.
    if (source)
        zip_source_free(source);
    if (error)
        *error = libzipError(m_archive);
    return false;
}

bool ZipWriter::commit(QString *error)
{
    if (!m_archive) {
        if (error)
            *error = QStringLiteral("No archive is open");
        return false;
    }
    if (zip_close(m_archive) != 0) {
        if (error)
            *error = libzipError(m_archive);
        discard();
        return false;
    }
    m_archive = nullptr;
    m_buffers.clear();
    return true;
}

void ZipWriter::discard()
{
    if (m_archive)
        zip_discard(m_archive);
    m_archive = nullptr;
    m_buffers.clear();
}
