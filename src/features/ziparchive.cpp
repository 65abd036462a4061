#include "ziparchive.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStringList>

#include <zip.h>

#include <limits>

namespace {

QString libzipError(zip_t *archive)
{
    return QString::fromUtf8(zip_strerror(archive));
}

QString libzipErrorFromCode(int code)
{
    zip_error_t zipError;
    zip_error_init_with_code(&zipError, code);
    const QString text = QString::fromUtf8(zip_error_strerror(&zipError));
    zip_error_fini(&zipError);
    return text;
}

bool fail(QString *error, const QString &text)
{
    if (error)
        *error = text;
    return false;
}

QString unsafeNameError(const QString &name)
{
    return QStringLiteral("Unsafe entry name in archive: \"%1\"").arg(name);
}

} // namespace

bool isSafeArchiveEntryName(const QString &name)
{
    if (name.isEmpty() || name.startsWith(QLatin1Char('/')) || name.startsWith(QLatin1Char('\\')))
        return false;
    // A colon names a drive ("C:") or a file stream on Windows.
    if (name.contains(QLatin1Char(':')) || name.contains(QChar(0)))
        return false;
    // Windows takes a backslash for a folder separator, so a name with one
    // means different files on different systems.
    if (name.contains(QLatin1Char('\\')))
        return false;
    return !name.split(QLatin1Char('/')).contains(QStringLiteral(".."));
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
    if (!m_archive)
        return fail(error, libzipErrorFromCode(code));
    return true;
}

bool ZipWriter::canAdd(const QString &entryName, QString *error) const
{
    if (!m_archive) {
        if (error)
            *error = QStringLiteral("No archive is open");
        return false;
    }
    if (!isSafeArchiveEntryName(entryName))
        return fail(error, unsafeNameError(entryName));
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

bool ZipWriter::commit(QString *error, const Progress &progress)
{
    if (!m_archive) {
        if (error)
            *error = QStringLiteral("No archive is open");
        return false;
    }
    // libzip reports progress and asks about cancelling separately; the one
    // callback answers both.
    struct State
    {
        const Progress *progress;
        bool cancelled;
    } state{&progress, false};
    if (progress) {
        zip_register_progress_callback_with_state(
            m_archive, 0.01,
            [](zip_t *, double fraction, void *data) {
                auto *s = static_cast<State *>(data);
                s->cancelled = s->cancelled || !(*s->progress)(fraction);
            },
            nullptr, &state);
        zip_register_cancel_callback_with_state(
            m_archive, [](zip_t *, void *data) { return static_cast<State *>(data)->cancelled ? 1 : 0; }, nullptr,
            &state);
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

ZipReader::~ZipReader()
{
    close();
}

bool ZipReader::open(const QString &path, QString *error)
{
    close();
    int code = 0;
    // CHECKCONS: a damaged central directory fails here, not half-way through.
    m_archive = zip_open(QFile::encodeName(path).constData(), ZIP_RDONLY | ZIP_CHECKCONS, &code);
    if (!m_archive)
        return fail(error, QStringLiteral("Cannot read archive %1: %2").arg(QDir::toNativeSeparators(path), libzipErrorFromCode(code)));
    const zip_int64_t count = zip_get_num_entries(m_archive, 0);
    for (zip_int64_t i = 0; i < count; ++i) {
        zip_stat_t stat;
        zip_stat_init(&stat);
        if (zip_stat_index(m_archive, zip_uint64_t(i), 0, &stat) != 0 || !(stat.valid & ZIP_STAT_NAME)) {
            const QString cause = libzipError(m_archive);
            close();
            return fail(error, QStringLiteral("Cannot read archive %1: %2").arg(QDir::toNativeSeparators(path), cause));
        }
        ZipEntry entry;
        entry.name = QString::fromUtf8(stat.name);
        entry.size = (stat.valid & ZIP_STAT_SIZE) ? qint64(qMin<zip_uint64_t>(stat.size, zip_uint64_t(std::numeric_limits<qint64>::max()))) : 0;
        entry.isFolder = entry.name.endsWith(QLatin1Char('/'));
        if (m_index.contains(entry.name))
            continue;
        m_index.insert(entry.name, m_entries.size());
        m_entries.append(entry);
        m_zipIndex.append(zip_uint64_t(i));
    }
    return true;
}

void ZipReader::close()
{
    if (m_archive)
        zip_discard(m_archive);
    m_archive = nullptr;
    m_entries.clear();
    m_index.clear();
    m_zipIndex.clear();
}

bool ZipReader::stream(const QString &name, qint64 maxBytes, const Sink &sink, QString *error) const
{
    if (!m_archive)
        return fail(error, QStringLiteral("No archive is open"));
    const auto found = m_index.constFind(name);
    if (found == m_index.constEnd())
        return fail(error, QStringLiteral("\"%1\" is not in the archive").arg(name));
    const ZipEntry &entry = m_entries.at(*found);
    if (entry.size > maxBytes)
        return fail(error, QStringLiteral("\"%1\" in the archive is too large (%2 bytes, at most %3 allowed)")
                               .arg(name).arg(entry.size).arg(maxBytes));
    zip_file_t *file = zip_fopen_index(m_archive, m_zipIndex.at(*found), 0);
    if (!file)
        return fail(error, QStringLiteral("Cannot read \"%1\" in the archive: %2").arg(name, libzipError(m_archive)));

    // The declared size was checked against maxBytes, so it bounds the read;
    // an entry that inflates beyond it is refused, not silently cut.
    const qint64 limit = entry.size;
    qint64 total = 0;
    bool ok = true;
    char buffer[64 * 1024];
    while (ok) {
        const zip_int64_t got = zip_fread(file, buffer, sizeof buffer);
        if (got < 0) {
            ok = fail(error, QStringLiteral("Cannot read \"%1\" in the archive: %2")
                                 .arg(name, QString::fromUtf8(zip_file_strerror(file))));
            break;
        }
        if (got == 0)
            break;
        total += got;
        if (total > limit) {
            ok = fail(error, QStringLiteral("\"%1\" in the archive holds more data than it declares").arg(name));
            break;
        }
        ok = sink(buffer, got, error);
    }
    zip_fclose(file);
    if (ok && total != limit)
        ok = fail(error, QStringLiteral("\"%1\" in the archive is truncated (%2 of %3 bytes)").arg(name).arg(total).arg(limit));
    return ok;
}

bool ZipReader::read(const QString &name, qint64 maxBytes, QByteArray *data, QString *error) const
{
    QByteArray bytes;
    const bool ok = stream(name, maxBytes, [&bytes](const char *chunk, qint64 size, QString *) {
        bytes.append(chunk, size);
        return true;
    }, error);
    if (ok && data)
        *data = bytes;
    return ok;
}

bool ZipReader::check(const QString &name, qint64 maxBytes, QString *error) const
{
    return stream(name, maxBytes, [](const char *, qint64, QString *) { return true; }, error);
}

bool ZipReader::extract(const QString &name, const QString &targetFolder, qint64 maxBytes, QString *error) const
{
    if (!isSafeArchiveEntryName(name))
        return fail(error, unsafeNameError(name));
    const QDir target(targetFolder);
    const QString path = target.filePath(name);
    if (name.endsWith(QLatin1Char('/'))) {
        if (!target.mkpath(name))
            return fail(error, QStringLiteral("Cannot create folder %1").arg(QDir::toNativeSeparators(path)));
        return true;
    }
    const QString folder = QFileInfo(path).path();
    if (!QDir().mkpath(folder))
        return fail(error, QStringLiteral("Cannot create folder %1").arg(QDir::toNativeSeparators(folder)));
    // A link planted in the target folder must not lead the write elsewhere.
    const QString root = QFileInfo(targetFolder).canonicalFilePath();
    const QString real = QFileInfo(folder).canonicalFilePath();
    if (root.isEmpty() || (real != root && !real.startsWith(root + QLatin1Char('/'))))
        return fail(error, unsafeNameError(name));
    return extractTo(name, path, maxBytes, error);
}

bool ZipReader::extractTo(const QString &name, const QString &filePath, qint64 maxBytes, QString *error) const
{
    QSaveFile file(filePath);
    if (!file.open(QIODevice::WriteOnly))
        return fail(error, QStringLiteral("Cannot write %1: %2").arg(QDir::toNativeSeparators(filePath), file.errorString()));
    const bool ok = stream(name, maxBytes, [&file, &filePath](const char *chunk, qint64 size, QString *writeError) {
        if (file.write(chunk, size) == size)
            return true;
        return fail(writeError, QStringLiteral("Cannot write %1: %2").arg(QDir::toNativeSeparators(filePath), file.errorString()));
    }, error);
    if (!ok) {
        file.cancelWriting();
        return false;
    }
    if (!file.commit())
        return fail(error, QStringLiteral("Cannot write %1: %2").arg(QDir::toNativeSeparators(filePath), file.errorString()));
    return true;
}
