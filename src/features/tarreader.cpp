#include "tarreader.h"

#include <limits>

namespace {

constexpr qint64 Block = 512;

bool isZeroBlock(const QByteArray &block)
{
    for (char c : block) {
        if (c != 0)
            return false;
    }
    return true;
}

QByteArray field(const QByteArray &block, int offset, int length)
{
    QByteArray bytes = block.mid(offset, length);
    const int nul = bytes.indexOf('\0');
    return nul < 0 ? bytes : bytes.left(nul);
}

// Octal, space or NUL terminated; GNU writes sizes of 8 GB and more in
// base-256 with the high bit of the first byte set.
bool parseNumber(const QByteArray &block, int offset, int length, qint64 *value)
{
    const auto first = static_cast<unsigned char>(block.at(offset));
    if (first & 0x80) {
        qint64 result = first & 0x3f;
        for (int i = 1; i < length; ++i) {
            if (result > (std::numeric_limits<qint64>::max() >> 8))
                return false;
            result = (result << 8) | static_cast<unsigned char>(block.at(offset + i));
        }
        *value = result;
        return true;
    }
    const QByteArray text = field(block, offset, length).trimmed();
    if (text.isEmpty()) {
        *value = 0;
        return true;
    }
    bool ok = false;
    *value = text.toLongLong(&ok, 8);
    return ok && *value >= 0;
}

// The header's checksum counts its own field as spaces; old tars summed
// signed bytes, so either sum is accepted.
bool checksumMatches(const QByteArray &block)
{
    qint64 stored = 0;
    if (!parseNumber(block, 148, 8, &stored))
        return false;
    qint64 unsignedSum = 0;
    qint64 signedSum = 0;
    for (int i = 0; i < Block; ++i) {
        const char c = (i >= 148 && i < 156) ? ' ' : block.at(i);
        unsignedSum += static_cast<unsigned char>(c);
        signedSum += static_cast<signed char>(c);
    }
    return stored == unsignedSum || stored == signedSum;
}

// The "path" record of a pax extended header ("<len> path=<value>\n").
QString paxPath(const QByteArray &records)
{
    qsizetype pos = 0;
    while (pos < records.size()) {
        const qsizetype space = records.indexOf(' ', pos);
        if (space < 0)
            break;
        bool ok = false;
        const qint64 length = records.mid(pos, space - pos).toLongLong(&ok);
        if (!ok || length <= 0 || pos + length > records.size())
            break;
        const QByteArray record = records.mid(space + 1, pos + length - space - 2);
        if (record.startsWith("path="))
            return QString::fromUtf8(record.mid(5));
        pos += length;
    }
    return QString();
}

} // namespace

bool TarReader::open(const QString &path, QString *error)
{
    m_entries.clear();
    m_file.close();
    m_file.setFileName(path);
    if (!m_file.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("Cannot open %1: %2").arg(path, m_file.errorString());
        return false;
    }
    const qint64 fileSize = m_file.size();
    QString longName;
    qint64 position = 0;
    while (position + Block <= fileSize) {
        m_file.seek(position);
        const QByteArray header = m_file.read(Block);
        if (header.size() < Block || isZeroBlock(header))
            break;
        if (!checksumMatches(header)) {
            // Anything after the archive proper (some tools pad with junk).
            if (position == 0) {
                *error = QStringLiteral("The file is not a tar archive.");
                return false;
            }
            break;
        }
        qint64 size = 0;
        if (!parseNumber(header, 124, 12, &size)) {
            *error = QStringLiteral("An entry of the archive has an unreadable size.");
            return false;
        }
        const qint64 dataStart = position + Block;
        if (size > fileSize - dataStart) {
            *error = QStringLiteral("The archive is truncated: an entry claims %1 bytes, the file ends before.")
                         .arg(size);
            return false;
        }
        const char type = header.at(156);
        position = dataStart + (size + Block - 1) / Block * Block;

        if (type == 'L' || type == 'x') {
            // Names of the next entry: GNU long name or pax record. Names are
            // short, so a huge one is refused rather than read.
            if (size > 64 * 1024) {
                *error = QStringLiteral("An entry of the archive has a name record of %1 bytes.").arg(size);
                return false;
            }
            m_file.seek(dataStart);
            const QByteArray data = m_file.read(size);
            const QString name = type == 'L' ? QString::fromUtf8(field(data, 0, int(data.size()))) : paxPath(data);
            if (!name.isEmpty())
                longName = name;
            continue;
        }
        QString name;
        if (!longName.isEmpty()) {
            name = longName;
            longName.clear();
        } else {
            name = QString::fromUtf8(field(header, 0, 100));
            const QByteArray prefix = field(header, 345, 155);
            if (header.mid(257, 5) == "ustar" && !prefix.isEmpty())
                name = QString::fromUtf8(prefix) + QLatin1Char('/') + name;
        }
        // Regular files only: folders, links and devices carry no item.
        if (type != '0' && type != '\0' && type != '7')
            continue;
        m_entries.append({name.trimmed(), dataStart, size});
    }
    if (m_entries.isEmpty()) {
        *error = QStringLiteral("The archive holds no files.");
        return false;
    }
    return true;
}

bool TarReader::read(const Entry &entry, qint64 maxBytes, QByteArray *bytes, QString *error)
{
    if (entry.size > maxBytes) {
        *error = QStringLiteral("\"%1\" is too big (%2 bytes).").arg(entry.name).arg(entry.size);
        return false;
    }
    if (!m_file.seek(entry.offset)) {
        *error = QStringLiteral("Cannot read \"%1\": %2").arg(entry.name, m_file.errorString());
        return false;
    }
    *bytes = m_file.read(entry.size);
    if (bytes->size() != entry.size) {
        *error = QStringLiteral("Cannot read \"%1\": the archive ends early.").arg(entry.name);
        return false;
    }
    return true;
}
