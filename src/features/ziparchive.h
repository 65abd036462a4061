#pragma once

#include <QByteArray>
#include <QHash>
#include <QtGlobal>
#include <QList>
#include <QString>

#include <functional>

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

    // Called while the archive is written with the share done (0 to 1);
    // returning false cancels the write.
    using Progress = std::function<bool(double fraction)>;
    // An archive without entries writes no file.
    bool commit(QString *error, const Progress &progress = {});
    // Drops everything added; the target is left as it was.
    void discard();

private:
    bool canAdd(const QString &entryName, QString *error) const;
    bool addSource(const QString &entryName, struct zip_source *source, QString *error);

    struct zip *m_archive = nullptr;
    // libzip reads buffers only at commit time; they live until then.
    QList<QByteArray> m_buffers;
};

struct ZipEntry
{
    QString name;
    // As the archive declares it; a reader never trusts it for allocation.
    qint64 size = 0;
    bool isFolder = false;
};

// Reads one ZIP archive. Every read is bounded by a caller-given maximum and
// by the size the archive declares, so a hostile archive can neither exhaust
// memory or disk nor write outside the folder it is unpacked into.
class ZipReader
{
public:
    ZipReader() = default;
    ~ZipReader();
    ZipReader(const ZipReader &) = delete;
    ZipReader &operator=(const ZipReader &) = delete;

    // Fails with libzip's reason for a missing, truncated or corrupt file.
    bool open(const QString &path, QString *error);
    bool isOpen() const { return m_archive != nullptr; }
    void close();

    // In archive order; a name that occurs twice is listed once (the first).
    const QList<ZipEntry> &entries() const { return m_entries; }
    bool contains(const QString &name) const { return m_index.contains(name); }

    // The entry's bytes; fails when it yields more than maxBytes, more or
    // fewer bytes than declared, or fails its checksum.
    bool read(const QString &name, qint64 maxBytes, QByteArray *data, QString *error) const;
    // Reads the entry through without keeping it: the same checks as read().
    bool check(const QString &name, qint64 maxBytes, QString *error) const;
    // Writes the entry to targetFolder + "/" + name, creating folders. An
    // unsafe name is refused and nothing is written; a failed write leaves
    // no partial file.
    bool extract(const QString &name, const QString &targetFolder, qint64 maxBytes, QString *error) const;
    // Writes the entry to the file the caller chose, same bounds.
    bool extractTo(const QString &name, const QString &filePath, qint64 maxBytes, QString *error) const;

private:
    using Sink = std::function<bool(const char *data, qint64 size, QString *error)>;
    bool stream(const QString &name, qint64 maxBytes, const Sink &sink, QString *error) const;

    struct zip *m_archive = nullptr;
    QList<ZipEntry> m_entries;
    // Entry name -> position in m_entries and in m_zipIndex (libzip's index).
    QHash<QString, qsizetype> m_index;
    QList<quint64> m_zipIndex;
};
