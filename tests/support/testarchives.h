#pragma once

// ZIP archives laid out byte by byte, for tests of hostile input: the
// project's ZipWriter refuses unsafe names and always writes honest headers.

#include <QByteArray>
#include <QFile>
#include <QList>
#include <QtEndian>

namespace LumoraTest {

inline quint32 crc32Of(const QByteArray &data)
{
    quint32 crc = 0xFFFFFFFFu;
    for (const char c : data) {
        crc ^= quint8(c);
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

inline void put16(QByteArray *out, quint16 value)
{
    char bytes[2];
    qToLittleEndian(value, bytes);
    out->append(bytes, 2);
}

inline void put32(QByteArray *out, quint32 value)
{
    char bytes[4];
    qToLittleEndian(value, bytes);
    out->append(bytes, 4);
}

// One stored (uncompressed) entry whose headers may lie about its size or
// checksum, the way a hostile archive would.
struct RawEntry
{
    QByteArray name;
    QByteArray data;
    qint64 declaredSize = -1; // -1: the real size
    bool badChecksum = false;
};

inline QByteArray rawZip(const QList<RawEntry> &entries)
{
    QByteArray out;
    QByteArray central;
    for (const RawEntry &entry : entries) {
        const quint32 offset = quint32(out.size());
        const quint32 crc = crc32Of(entry.data) ^ (entry.badChecksum ? 0x1u : 0u);
        const quint32 size = entry.declaredSize < 0 ? quint32(entry.data.size()) : quint32(entry.declaredSize);
        auto common = [&](QByteArray *header) {
            put16(header, 20);     // version needed
            put16(header, 0x0800); // UTF-8 names
            put16(header, 0);      // stored
            put16(header, 0);      // time
            put16(header, 0x21);   // date: 1980-01-01
            put32(header, crc);
            put32(header, quint32(entry.data.size()));
            put32(header, size);
            put16(header, quint16(entry.name.size()));
            put16(header, 0); // extra field
        };
        put32(&out, 0x04034b50);
        common(&out);
        out.append(entry.name);
        out.append(entry.data);

        put32(&central, 0x02014b50);
        put16(&central, 20); // made by
        common(&central);
        put16(&central, 0); // comment
        put16(&central, 0); // disk
        put16(&central, 0); // internal attributes
        put32(&central, 0); // external attributes
        put32(&central, offset);
        central.append(entry.name);
    }
    const quint32 centralOffset = quint32(out.size());
    out.append(central);
    put32(&out, 0x06054b50);
    put16(&out, 0);
    put16(&out, 0);
    put16(&out, quint16(entries.size()));
    put16(&out, quint16(entries.size()));
    put32(&out, quint32(central.size()));
    put32(&out, centralOffset);
    put16(&out, 0);
    return out;
}

inline bool writeBytes(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

inline QByteArray fileBytes(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace LumoraTest
