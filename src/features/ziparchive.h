#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

struct zip;
struct zip_source;

// Entry names inside an archive are relative paths with "/" between
// folders. A name that is absolute, names a drive, or climbs out with ".."
// could escape the folder an archive is unpacked into, so such names are
// never written (and a reader must never follow them).
bool isSafeArchiveEntryName(const QString &name);

// Writes one ZIP archive. Entries are collected first and the archive is
// written in one go by commit(), through a temporary file next to the target,
// so a failed or abandoned write leaves no partial archive behind.
class ZipWriter
{
public:
    ZipWriter() = default;
    ~ZipWriter();
    ZipWriter(const ZipWriter &) = delete;
    ZipWriter &operator=(const ZipWriter &) = delete;

    // Starts a new archive at path; an existing file there is replaced on commit.
    bool open(const QString &path, QString *error);
    bool isOpen() const { return m_archive != nullptr; }

    // The file's bytes are read when the archive is committed.
    bool addFile(const QString &entryName, const QString &filePath, QString *error);
    bool addData(const QString &entryName, const QByteArray &data, QString *error);

    // An archive without entries writes no file.
    bool commit(QString *error);
    // Drops everything added; the target is left as it was.
    void discard();

private:
    bool canAdd(const QString &entryName, QString *error) const;
    bool addSource(const QString &entryName, struct zip_source *source, QString *error);

    struct zip *m_archive = nullptr;
    // libzip reads buffers only at commit time; they live until then.
    QList<QByteArray> m_buffers;
};
