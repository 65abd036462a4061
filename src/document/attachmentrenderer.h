#pragma once

#include <QHash>
#include <QImage>
#include <QObject>
#include <QPalette>
#include <QPointer>
#include <QString>
#include <QTextObjectInterface>

#include <optional>

#include "storage/attachmentrepository.h"

class QTextDocument;
class QTextFormat;

// Draws the embeds of a note document that have a look of their own:
// attachments (pictures inline, other files as a chip with the file name)
// and dividers (a rule across the text width). Colours follow the
// application palette, light or dark, at every paint.
class AttachmentRenderer : public QObject, public QTextObjectInterface
{
    Q_OBJECT
    Q_INTERFACES(QTextObjectInterface)

public:
    // Pictures wider than this are shown scaled down to it.
    static constexpr int MaxImageWidth = 560;
    static constexpr int ChipHeight = 36;
    static constexpr int MinChipWidth = 200;

    explicit AttachmentRenderer(AttachmentRepository *repository, QObject *parent = nullptr);

    // Without a repository every attachment shows as a chip.
    void setRepository(AttachmentRepository *repository);
    AttachmentRepository *repository() const { return m_repository; }

    // Becomes the drawing handler of attachments and dividers in document.
    void install(QTextDocument *document);
    // Draws for this palette instead of the application's (paper is light
    // whatever the theme).
    void setPalette(const QPalette &palette);

    // Forgets every decoded picture and looked-up file (another note shown).
    void clearCache();
    // Attachments changed somewhere: anything that was missing or is gone
    // is looked up again, pictures still on record are kept (an attachment's
    // bytes never change under its id, and decoding is the costly part).
    // True when something was dropped, so the layout may have to change.
    bool refreshCache();

    QSizeF intrinsicSize(QTextDocument *document, int position, const QTextFormat &format) override;
    void drawObject(QPainter *painter, const QRectF &rect, QTextDocument *document, int position,
                    const QTextFormat &format) override;

    // The attachment id of an attachment object's format: its embed value
    // without the "lumora-notes://attachment/" prefix.
    static QString attachmentId(const QTextFormat &format);

private:
    struct Entry
    {
        // A picture is measured from its file's header when first met and
        // decoded when first painted: opening a note with many photos
        // decodes only those in view.
        QSize shownSize;
        QImage image;
        bool decoded = false;
        QString fileName;
        QString mimeType;
        bool isImage = false;
        bool hasRecord = false;

        bool showsPicture() const { return isImage && shownSize.isValid() && !(decoded && image.isNull()); }
    };

    QPalette palette() const;
    Entry &entry(const QString &id);
    void decode(const QString &id, Entry &entry) const;
    static QString chipLabel(const Entry &entry);
    void drawChip(QPainter *painter, const QRectF &rect, const Entry &entry) const;

    QPointer<AttachmentRepository> m_repository;
    QHash<QString, Entry> m_cache;
    std::optional<QPalette> m_palette;
};
