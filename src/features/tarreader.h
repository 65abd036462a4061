#pragma once

#include <QByteArray>
#include <QFile>
#include <QList>
#include <QString>

// Reads a tar archive without unpacking it: open() lists the entries (name,
// where the bytes start, how many), read() fetches one entry's bytes on
// demand, so an archive of many pictures is never held whole in memory.
// Understands ustar name prefixes, GNU long names and pax "path" records;
// stops at the first zero block or at a block that is not a tar header, so
// data after the archive's end is ignored. Entries are files only.
class TarReader
{
public:
    struct Entry
    {
        QString name;
        qint64 offset = 0;
        qint64 size = 0;
    };

    // Fails with *error set when the file cannot be read, is not a tar
    // archive, or an entry claims more bytes than the file holds.
    bool open(const QString &path, QString *error);
    const QList<Entry> &entries() const { return m_entries; }

    // At most maxBytes are read; a bigger entry fails with *error set.
    bool read(const Entry &entry, qint64 maxBytes, QByteArray *bytes, QString *error);

private:
    QFile m_file;
    QList<Entry> m_entries;
};
