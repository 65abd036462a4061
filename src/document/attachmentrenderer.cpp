#include "attachmentrenderer.h"

#include "storage/attachmentrepository.h"
#include "textformats.h"

#include <QAbstractTextDocumentLayout>
#include <QFontMetricsF>
#include <QGuiApplication>
#include <QImageReader>
#include <QPainter>
#include <QTextBlock>
#include <QTextDocument>
#include <QTimer>

namespace {

constexpr qreal kChipRadius = 6;
constexpr int kChipInset = 12;
constexpr int kChipSlack = 48;
constexpr int kImageBottomGap = 4;

// The chip wears the colours of a code block, with an outline of its own.
QColor chipOutline(bool dark)
{
    return dark ? QColor(0x3A, 0x3A, 0x3A) : QColor(0xE0, 0xE0, 0xE0);
}

// A soft shade of the text colour reads as a rule in either palette.
QColor dividerColor(const QPalette &palette)
{
    QColor colour = palette.color(QPalette::Text);
    colour.setAlphaF(0.25f);
    return colour;
}

} // namespace

AttachmentRenderer::AttachmentRenderer(AttachmentRepository *repository, QObject *parent)
    : QObject(parent)
    , m_repository(repository)
{
}

void AttachmentRenderer::setRepository(AttachmentRepository *repository)
{
    if (repository == m_repository)
        return;
    m_repository = repository;
    m_cache.clear();
}

void AttachmentRenderer::setPalette(const QPalette &palette)
{
    m_palette = palette;
}

QPalette AttachmentRenderer::palette() const
{
    return m_palette ? *m_palette : QGuiApplication::palette();
}

void AttachmentRenderer::install(QTextDocument *document)
{
    QAbstractTextDocumentLayout *layout = document->documentLayout();
    layout->registerHandler(AttachmentObject, this);
    layout->registerHandler(DividerObject, this);
}

void AttachmentRenderer::clearCache()
{
    m_cache.clear();
}

bool AttachmentRenderer::refreshCache()
{
    const qsizetype before = m_cache.size();
    for (auto it = m_cache.begin(); it != m_cache.end();) {
        const bool keep = it->showsPicture() && m_repository && m_repository->byId(it.key());
        it = keep ? std::next(it) : m_cache.erase(it);
    }
    return m_cache.size() != before;
}

QString AttachmentRenderer::attachmentId(const QTextFormat &format)
{
    QString value = format.property(EmbedValueProperty).toString();
    const QString prefix = attachmentUrlPrefix();
    if (value.startsWith(prefix))
        value.remove(0, prefix.size());
    return value;
}

namespace {

// The size a picture is shown at: its own, or scaled down to the widest
// allowed, turned as its EXIF orientation says.
QSize shownSizeOf(QImageReader &reader, QSize *decodeSize)
{
    const QSize stored = reader.size();
    if (!stored.isValid())
        return QSize();
    const bool turned = reader.transformation() & QImageIOHandler::TransformationRotate90;
    const QSize upright = turned ? stored.transposed() : stored;
    if (upright.width() <= AttachmentRenderer::MaxImageWidth) {
        *decodeSize = stored;
        return upright;
    }
    const qreal factor = qreal(AttachmentRenderer::MaxImageWidth) / upright.width();
    const QSize shown(AttachmentRenderer::MaxImageWidth, qMax(1, qRound(upright.height() * factor)));
    *decodeSize = turned ? shown.transposed() : shown;
    return shown;
}

} // namespace

void AttachmentRenderer::decode(const QString &id, Entry &e) const
{
    e.decoded = true;
    QImageReader reader(m_repository ? m_repository->filePath(id) : QString());
    reader.setAutoTransform(true);
    QSize decodeSize;
    if (shownSizeOf(reader, &decodeSize).isValid() && decodeSize != reader.size()) {
        // Big photos are decoded straight at the size shown where the format
        // allows it (JPEG does): several times faster than decoding them
        // whole and scaling down.
        reader.setScaledSize(decodeSize);
    }
    QImage image = reader.read();
    if (!image.isNull() && image.size() != e.shownSize)
        image = image.scaled(e.shownSize, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    e.image = image;
}

AttachmentRenderer::Entry &AttachmentRenderer::entry(const QString &id)
{
    const auto found = m_cache.find(id);
    if (found != m_cache.end())
        return *found;
    Entry entry;
    if (m_repository && !id.isEmpty()) {
        if (const std::optional<Attachment> record = m_repository->byId(id)) {
            entry.hasRecord = true;
            entry.fileName = record->filename;
            entry.mimeType = record->mimeType;
            entry.isImage = record->isImage();
            if (entry.isImage) {
                QImageReader reader(m_repository->filePath(id));
                reader.setAutoTransform(true);
                QSize decodeSize;
                entry.shownSize = shownSizeOf(reader, &decodeSize);
            }
        }
    }
    // Missing ones too, so a missing file is not searched for at every paint.
    return *m_cache.insert(id, entry);
}

QString AttachmentRenderer::chipLabel(const Entry &entry)
{
    return entry.fileName.isEmpty() ? tr("Attachment") : entry.fileName;
}

QSizeF AttachmentRenderer::intrinsicSize(QTextDocument *document, int position, const QTextFormat &format)
{
    if (format.objectType() == DividerObject) {
        // As wide as the line it sits on, so it reads as a rule and not as
        // a character; every layout at a new width asks again.
        const QTextBlockFormat block = document->findBlock(position).blockFormat();
        const qreal available = document->textWidth() - 2 * document->documentMargin() - block.leftMargin()
            - block.rightMargin() - block.indent() * document->indentWidth() - block.textIndent() - 1;
        const QFontMetricsF metrics(format.toCharFormat().font());
        return QSizeF(qMax<qreal>(available, 24), metrics.ascent());
    }
    const Entry &e = entry(attachmentId(format));
    if (e.showsPicture())
        return QSizeF(e.shownSize.width(), e.shownSize.height() + kImageBottomGap);
    const QFontMetricsF metrics(QGuiApplication::font());
    return QSizeF(qMax<qreal>(MinChipWidth, metrics.horizontalAdvance(chipLabel(e)) + kChipSlack), ChipHeight);
}

void AttachmentRenderer::drawChip(QPainter *painter, const QRectF &rect, const Entry &e) const
{
    const bool dark = isDarkPalette(palette());
    const QRectF chip = rect.adjusted(0.5, 0.5, -0.5, -2.5);
    painter->setRenderHint(QPainter::Antialiasing);
    painter->setPen(QPen(chipOutline(dark), 1));
    painter->setBrush(codeBlockBackgroundColor(dark));
    painter->drawRoundedRect(chip, kChipRadius, kChipRadius);
    painter->setFont(QGuiApplication::font());
    painter->setPen(codeBlockTextColor(dark));
    painter->drawText(rect.adjusted(kChipInset, 0, -kChipInset, -2), Qt::AlignLeft | Qt::AlignVCenter, chipLabel(e));
}

void AttachmentRenderer::drawObject(QPainter *painter, const QRectF &rect, QTextDocument *document, int,
                                    const QTextFormat &format)
{
    painter->save();
    if (format.objectType() == DividerObject) {
        // One pixel of a 96 dpi screen: on a 1200 dpi printer a 1-device-pixel
        // rule would all but vanish.
        QPen pen(dividerColor(palette()));
        pen.setCosmetic(true);
        pen.setWidthF(painter->device() ? qMax(1.0, painter->device()->logicalDpiY() / 96.0) : 1.0);
        painter->setPen(pen);
        const qreal y = qRound(rect.center().y()) + 0.5;
        painter->drawLine(QPointF(rect.left(), y), QPointF(rect.right(), y));
    } else {
        const QString id = attachmentId(format);
        Entry &e = entry(id);
        if (e.showsPicture() && !e.decoded) {
            decode(id, e);
            if (e.image.isNull() && document) {
                // Measured but not decodable after all: it becomes a chip,
                // whose size differs, once this paint is over.
                QTimer::singleShot(0, document, [document] {
                    document->markContentsDirty(0, document->characterCount());
                });
            }
        }
        if (!e.image.isNull())
            painter->drawImage(QRectF(rect.topLeft(), QSizeF(e.image.size())), e.image);
        else
            drawChip(painter, rect, e);
    }
    painter->restore();
}
