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

namespace {

constexpr qreal kChipRadius = 6;
constexpr int kChipInset = 12;
constexpr int kChipSlack = 48;
constexpr int kImageBottomGap = 4;

QColor chipFill(bool dark)
{
    return dark ? QColor(0x2A, 0x2D, 0x31) : QColor(0xEC, 0xEE, 0xF1);
}

QColor chipOutline(bool dark)
{
    return dark ? QColor(0x3A, 0x3A, 0x3A) : QColor(0xE0, 0xE0, 0xE0);
}

QColor chipText(bool dark)
{
    return dark ? QColor(0xC4, 0xC6, 0xCF) : QColor(0x44, 0x47, 0x4E);
}

// A soft shade of the text colour reads as a rule in either palette.
QColor dividerColor()
{
    QColor colour = QGuiApplication::palette().color(QPalette::Text);
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
        const bool keep = !it->image.isNull() && m_repository && m_repository->byId(it.key());
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

QImage AttachmentRenderer::loadScaledImage(const QString &id) const
{
    const QString path = m_repository->filePath(id);
    if (path.isEmpty())
        return QImage();
    QImageReader reader(path);
    reader.setAutoTransform(true);
    // Big photos are decoded straight at the size shown where the format
    // allows it (JPEG does), which is several times faster than decoding
    // them whole and scaling down.
    const QSize stored = reader.size();
    if (stored.isValid()) {
        const bool turned = reader.transformation() & QImageIOHandler::TransformationRotate90;
        const int shownWidth = turned ? stored.height() : stored.width();
        if (shownWidth > MaxImageWidth) {
            const qreal factor = qreal(MaxImageWidth) / shownWidth;
            reader.setScaledSize(QSize(qMax(1, qRound(stored.width() * factor)),
                                       qMax(1, qRound(stored.height() * factor))));
        }
    }
    QImage image = reader.read();
    if (image.width() > MaxImageWidth)
        image = image.scaledToWidth(MaxImageWidth, Qt::SmoothTransformation);
    return image;
}

const AttachmentRenderer::Entry &AttachmentRenderer::entry(const QString &id)
{
    const auto found = m_cache.constFind(id);
    if (found != m_cache.constEnd())
        return *found;
    Entry entry;
    if (m_repository && !id.isEmpty()) {
        if (const std::optional<Attachment> record = m_repository->byId(id)) {
            entry.hasRecord = true;
            entry.fileName = record->filename;
            entry.mimeType = record->mimeType;
            entry.isImage = record->isImage();
            if (entry.isImage)
                entry.image = loadScaledImage(id);
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
    if (e.isImage && !e.image.isNull())
        return QSizeF(e.image.width(), e.image.height() + kImageBottomGap);
    const QFontMetricsF metrics(QGuiApplication::font());
    return QSizeF(qMax<qreal>(MinChipWidth, metrics.horizontalAdvance(chipLabel(e)) + kChipSlack), ChipHeight);
}

void AttachmentRenderer::drawObject(QPainter *painter, const QRectF &rect, QTextDocument *, int,
                                    const QTextFormat &format)
{
    painter->save();
    if (format.objectType() == DividerObject) {
        painter->setPen(QPen(dividerColor(), 1));
        const qreal y = qRound(rect.center().y()) + 0.5;
        painter->drawLine(QPointF(rect.left(), y), QPointF(rect.right(), y));
        painter->restore();
        return;
    }
    const Entry &e = entry(attachmentId(format));
    if (e.isImage && !e.image.isNull()) {
        painter->drawImage(rect.topLeft(), e.image);
    } else {
        const bool dark = isDarkPalette();
        const QRectF chip = rect.adjusted(0.5, 0.5, -0.5, -2.5);
        painter->setRenderHint(QPainter::Antialiasing);
        painter->setPen(QPen(chipOutline(dark), 1));
        painter->setBrush(chipFill(dark));
        painter->drawRoundedRect(chip, kChipRadius, kChipRadius);
        painter->setFont(QGuiApplication::font());
        painter->setPen(chipText(dark));
        painter->drawText(rect.adjusted(kChipInset, 0, -kChipInset, -2), Qt::AlignLeft | Qt::AlignVCenter,
                          chipLabel(e));
    }
    painter->restore();
}
