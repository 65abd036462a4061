#pragma once

#include <QByteArray>
#include <QIODevice>
#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>

// Writes ustar archives the way Joplin's exporter does (files only, no
// folder entries). Also writes the variants real archives show: long names
// as a GNU long-name record or split into the ustar prefix field, and any
// number of zero blocks at the end. Used by the JEX generator and the tests.
class TarWriter
{
public:
    enum class LongNames { Gnu, UstarPrefix };

    explicit TarWriter(QIODevice *device)
        : m_device(device)
    {
    }

    bool addFile(const QString &name, const QByteArray &data, LongNames longNames = LongNames::Gnu,
                 char type = '0')
    {
        QByteArray encoded = name.toUtf8();
        QByteArray prefix;
        if (encoded.size() > 100) {
            if (longNames == LongNames::Gnu) {
                if (!writeEntry("././@LongLink", QByteArray(), QByteArray(encoded + '\0'), 'L'))
                    return false;
                encoded = encoded.left(100);
            } else {
                const qsizetype slash = encoded.lastIndexOf('/', encoded.size() - 1);
                prefix = encoded.left(slash);
                encoded = encoded.mid(slash + 1);
            }
        }
        return writeEntry(encoded, prefix, data, type);
    }

    // A header whose size field says `declaredSize` followed by `data` as it is.
    bool addRawEntry(const QByteArray &name, qint64 declaredSize, const QByteArray &data)
    {
        return m_device->write(header(name, QByteArray(), declaredSize, '0')) == 512
            && m_device->write(data) == data.size();
    }

    bool finish(int zeroBlocks = 2) { return m_device->write(QByteArray(512 * zeroBlocks, '\0')) == 512 * zeroBlocks; }

    static QByteArray header(const QByteArray &name, const QByteArray &prefix, qint64 size, char type)
    {
        QByteArray block(512, '\0');
        const auto put = [&block](int offset, const QByteArray &value) {
            for (int i = 0; i < value.size(); ++i)
                block[offset + i] = value.at(i);
        };
        const auto octal = [](qint64 value, int width) {
            return QByteArray(QByteArray::number(value, 8).rightJustified(width - 1, '0') + '\0');
        };
        put(0, name.left(100));
        put(100, octal(0644, 8));
        put(108, octal(0, 8));
        put(116, octal(0, 8));
        put(124, octal(size, 12).right(12));
        put(136, octal(1714341193, 12));
        put(148, QByteArray(8, ' '));
        block[156] = type;
        put(257, QByteArray("ustar\0" "00", 8));
        put(345, prefix.left(155));
        qint64 sum = 0;
        for (char c : block)
            sum += static_cast<unsigned char>(c);
        put(148, QByteArray(QByteArray::number(sum, 8).rightJustified(6, '0') + '\0' + ' '));
        return block;
    }

private:
    bool writeEntry(const QByteArray &name, const QByteArray &prefix, const QByteArray &data, char type)
    {
        const qint64 padding = (512 - data.size() % 512) % 512;
        return m_device->write(header(name, prefix, data.size(), type)) == 512
            && m_device->write(data) == data.size() && m_device->write(QByteArray(padding, '\0')) == padding;
    }

    QIODevice *m_device;
};

// One Joplin item as the exporter writes it: title line, blank line, body
// (when not empty), blank line, metadata lines, no final newline.
inline QByteArray joplinItem(const QString &title, const QString &body, const QList<QPair<QString, QString>> &metadata)
{
    QString text = title + QStringLiteral("\n\n");
    if (!body.isEmpty())
        text += body + QStringLiteral("\n\n");
    QStringList lines;
    for (const auto &[key, value] : metadata)
        lines << key + QStringLiteral(": ") + value;
    text += lines.join(QLatin1Char('\n'));
    return text.toUtf8();
}
