// The note editor's attachments: inserting files (dialog, drop, pasted
// pictures), and opening, saving, copying and removing the ones shown.

#include "noteeditor.h"

#include "document/attachmentrenderer.h"
#include "document/textformats.h"
#include "imagelightbox.h"
#include "storage/attachmentrepository.h"

#include <QAbstractTextDocumentLayout>
#include <QApplication>
#include <QBuffer>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QDebug>
#include <QDesktopServices>
#include <QDir>
#include <QDragEnterEvent>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QHelpEvent>
#include <QImageReader>
#include <QMenu>
#include <QMessageBox>
#include <QMimeData>
#include <QMimeDatabase>
#include <QProgressDialog>
#include <QScrollBar>
#include <QTextBlock>
#include <QToolTip>
#include <QUrl>
#include <QUuid>

namespace {

// Copies up to this size finish before anyone would miss a progress bar.
constexpr qint64 kProgressFromBytes = 16 * 1024 * 1024;
constexpr int kProgressSteps = 1000;

QStringList localFiles(const QMimeData *data)
{
    QStringList files;
    if (!data || !data->hasUrls())
        return files;
    const QList<QUrl> urls = data->urls();
    for (const QUrl &url : urls) {
        if (url.isLocalFile() && QFileInfo(url.toLocalFile()).isFile())
            files << url.toLocalFile();
    }
    return files;
}

// Browsers put the picture's address next to a copied picture; that alone
// does not make it text to paste.
bool carriesText(const QMimeData *data)
{
    if (!data->hasText())
        return false;
    const QString text = data->text().trimmed();
    if (text.isEmpty())
        return false;
    const QUrl url(text, QUrl::StrictMode);
    return text.contains(QLatin1Char('\n')) || !url.isValid() || url.scheme().isEmpty();
}

// A name for the temporary copy that cannot leave its folder.
QString plainFileName(const Attachment &record)
{
    QString name = QFileInfo(record.filename).fileName();
    name.remove(QLatin1Char('/')).remove(QLatin1Char('\\'));
    if (name.isEmpty() || name == QLatin1String(".") || name == QLatin1String(".."))
        name = record.id + QStringLiteral(".bin");
    return name;
}

QImage decodeFull(const QString &path)
{
    QImageReader reader(path);
    reader.setAutoTransform(true);
    return reader.read();
}

} // namespace

void NoteEditor::setAttachmentRepository(AttachmentRepository *repository)
{
    if (m_attachments == repository)
        return;
    if (m_attachments)
        disconnect(m_attachments, nullptr, this, nullptr);
    m_attachments = repository;
    m_attachmentRenderer->setRepository(repository);
    setAcceptDrops(true);
    if (repository)
        connect(repository, &AttachmentRepository::attachmentsChanged, this, &NoteEditor::onAttachmentsChanged);
}

AttachmentRepository *NoteEditor::attachmentRepository() const
{
    return m_attachments;
}

void NoteEditor::refreshAttachments()
{
    m_attachmentRenderer->clearCache();
    document()->markContentsDirty(0, document()->characterCount());
    viewport()->update();
}

void NoteEditor::onAttachmentsChanged()
{
    // Decoding every picture again for each change anywhere would stall a
    // note full of photos; only what was missing or went away is looked up.
    m_attachmentRenderer->refreshCache();
    document()->markContentsDirty(0, document()->characterCount());
    viewport()->update();
}

bool NoteEditor::canAddAttachments() const
{
    return m_attachments && !m_noteId.isEmpty() && !isReadOnly();
}

bool NoteEditor::pastesAsPicture(const QMimeData *source) const
{
    return canAddAttachments() && source->hasImage() && !carriesText(source);
}

bool NoteEditor::addStoredAttachment(const Attachment &record, const char *context, QString *error)
{
    if (record.noteId != m_noteId) {
        // The note changed while the file was copied.
        m_attachments->removeFiles({record.id});
        if (error)
            *error = tr("The note was closed before the file was attached.");
        return false;
    }
    if (!m_attachments->insert(record)) {
        qWarning().noquote() << context << "insert failed";
        m_attachments->removeFiles({record.id});
        if (error)
            *error = tr("\"%1\" could not be recorded in the database.").arg(record.filename);
        return false;
    }
    QTextCursor cursor = textCursor();
    cursor.beginEditBlock();
    // The attachment stands on a line of its own, as a loaded note has it.
    QTextBlockFormat body = blockFormatFromAttributes(QJsonObject());
    const QTextCharFormat bodyChars = baseCharFormatForBlock(body);
    if (!cursor.block().text().isEmpty()) {
        cursor.movePosition(QTextCursor::EndOfBlock);
        cursor.insertBlock(body, bodyChars);
    }
    QTextBlockFormat line = cursor.blockFormat();
    setSingleLineHeight(line);
    cursor.setBlockFormat(line);
    QTextCharFormat object = bodyChars;
    object.setObjectType(AttachmentObject);
    object.setProperty(EmbedKeyProperty, QStringLiteral("lumora-notes-attachment"));
    object.setProperty(EmbedValueProperty, QString(attachmentUrlPrefix() + record.id));
    cursor.insertText(QString(QChar::ObjectReplacementCharacter), object);
    cursor.insertBlock(body, bodyChars);
    cursor.endEditBlock();
    setTextCursor(cursor);
    updateFormatState();
    return true;
}

bool NoteEditor::insertAttachmentFromPath(const QString &path, QString *error)
{
    const auto fail = [error](const QString &text) {
        if (error)
            *error = text;
        return false;
    };
    if (!canAddAttachments())
        return fail(tr("Open a note to attach files to it."));
    const QFileInfo info(path);
    if (!info.isFile() || !info.isReadable()) {
        qWarning().noquote() << "insertAttachmentFromPath: can't open" << path;
        return fail(tr("\"%1\" cannot be read.").arg(QDir::toNativeSeparators(path)));
    }
    if (info.size() == 0)
        return fail(tr("\"%1\" is empty.").arg(info.fileName()));

    Attachment record;
    record.id = QUuid::createUuid().toString(QUuid::WithoutBraces);
    record.noteId = m_noteId;
    record.filename = info.fileName();
    record.mimeType = QMimeDatabase().mimeTypeForFile(info).name();
    record.sizeBytes = info.size();
    record.createdAt = QDateTime::currentDateTimeUtc();

    // Big files are copied a chunk at a time under a progress dialog that
    // keeps the window painting and offers Cancel.
    std::unique_ptr<QProgressDialog> progressDialog;
    CopyProgress progress;
    if (info.size() > kProgressFromBytes) {
        progressDialog = std::make_unique<QProgressDialog>(tr("Attaching \"%1\"…").arg(info.fileName()), tr("Cancel"),
                                                           0, kProgressSteps, this);
        progressDialog->setWindowTitle(tr("Insert Attachment"));
        progressDialog->setWindowModality(Qt::WindowModal);
        progressDialog->setMinimumDuration(300);
        progressDialog->setAutoClose(false);
        QProgressDialog *dialog = progressDialog.get();
        progress = [dialog](qint64 done, qint64 total) {
            dialog->setValue(int(done * kProgressSteps / qMax<qint64>(total, 1)));
            return !dialog->wasCanceled();
        };
    }
    QString problem;
    const bool copied = m_attachments->saveFileFrom(record.id, path, progress, &problem);
    progressDialog.reset();
    if (!copied) {
        if (!problem.isEmpty())
            qWarning().noquote() << "insertAttachmentFromPath: saveFile failed" << problem;
        return fail(problem);
    }
    return addStoredAttachment(record, "insertAttachmentFromPath:", error);
}

bool NoteEditor::insertImageAttachment(const QImage &image, QString *error)
{
    if (!canAddAttachments() || image.isNull()) {
        if (error)
            *error = tr("Open a note to paste pictures into it.");
        return false;
    }
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");

    Attachment record;
    record.id = QUuid::createUuid().toString(QUuid::WithoutBraces);
    record.noteId = m_noteId;
    record.filename = QStringLiteral("Pasted image %1.png")
                          .arg(QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH.mm.ss")));
    record.mimeType = QStringLiteral("image/png");
    record.sizeBytes = png.size();
    record.createdAt = QDateTime::currentDateTimeUtc();
    if (png.isEmpty() || !m_attachments->saveFile(record.id, png)) {
        if (error)
            *error = tr("The pasted picture could not be stored.");
        return false;
    }
    return addStoredAttachment(record, "insertImageAttachment:", error);
}

void NoteEditor::insertAttachmentDialog()
{
    if (!canAddAttachments())
        return;
    const QString path = QFileDialog::getOpenFileName(
        this, tr("Insert Attachment"), QString(),
        tr("All Files (*.*);;Images (*.png *.jpg *.jpeg *.gif *.webp *.bmp *.svg)"));
    if (path.isEmpty())
        return;
    QString error;
    if (!insertAttachmentFromPath(path, &error) && !error.isEmpty())
        QMessageBox::warning(this, tr("Insert Attachment"), error);
}

// ---------------------------------------------------------------------------
// Finding the attachment under the mouse

int NoteEditor::attachmentPositionAt(const QPoint &viewportPos) const
{
    const QPointF point = QPointF(viewportPos) + QPointF(horizontalScrollBar()->value(), verticalScrollBar()->value());
    const int hit = document()->documentLayout()->hitTest(point, Qt::FuzzyHit);
    // The object at the cursor for that point, or the character before it,
    // when the point lies on what is drawn for it (not beside it on its line).
    for (const int position : {hit, hit - 1}) {
        if (position < 0 || document()->characterAt(position) != QChar::ObjectReplacementCharacter)
            continue;
        const QTextBlock block = document()->findBlock(position);
        QTextCursor at(block);
        at.setPosition(position + 1);
        if (at.charFormat().objectType() != AttachmentObject)
            continue;
        const QTextLayout *layout = block.layout();
        const int offset = position - block.position();
        const QTextLine line = layout ? layout->lineForTextPosition(offset) : QTextLine();
        if (!line.isValid())
            continue;
        const qreal left = line.cursorToX(offset), right = line.cursorToX(offset + 1);
        const QRectF box = QRectF(qMin(left, right), line.y(), qAbs(right - left), line.height())
                               .translated(layout->position());
        if (box.contains(point))
            return position;
    }
    return -1;
}

QString NoteEditor::attachmentIdAt(int position) const
{
    if (position < 0)
        return QString();
    QTextCursor at(document());
    at.setPosition(position + 1);
    const QTextCharFormat format = at.charFormat();
    return format.objectType() == AttachmentObject ? AttachmentRenderer::attachmentId(format) : QString();
}

// ---------------------------------------------------------------------------
// Acting on one attachment

QString NoteEditor::temporaryCopy(const QString &id)
{
    const std::optional<Attachment> record = m_attachments ? m_attachments->byId(id) : std::nullopt;
    if (!record)
        return QString();
    const QString folder = QDir::tempPath() + QStringLiteral("/lumora-notes/") + id;
    const QString path = folder + QLatin1Char('/') + plainFileName(*record);
    const QString stored = m_attachments->filePath(id);
    // Another program may still hold the last copy open; an identical one
    // is simply reused.
    if (QFileInfo(path).size() == QFileInfo(stored).size() && QFileInfo(stored).exists())
        return path;
    QString error;
    if (!QDir().mkpath(folder) || !copyFileInChunks(stored, path, {}, &error)) {
        qWarning().noquote() << "openAttachment: failed to open temp file" << path << error;
        return QString();
    }
    return path;
}

void NoteEditor::openAttachment(const QString &id)
{
    const QString path = temporaryCopy(id);
    if (path.isEmpty()) {
        QMessageBox::warning(this, tr("Open Attachment"), tr("The attachment's file is missing or cannot be read."));
        return;
    }
    QDesktopServices::openUrl(QUrl::fromLocalFile(path));
}

void NoteEditor::showAttachment(const QString &id)
{
    const std::optional<Attachment> record = m_attachments ? m_attachments->byId(id) : std::nullopt;
    if (!record)
        return;
    if (record->isImage()) {
        const QImage image = decodeFull(m_attachments->filePath(id));
        if (!image.isNull()) {
            auto *lightbox = new ImageLightbox(image, record->filename, this);
            lightbox->setAttribute(Qt::WA_DeleteOnClose);
            lightbox->open();
            return;
        }
    }
    openAttachment(id);
}

void NoteEditor::saveAttachmentAs(const QString &id)
{
    const std::optional<Attachment> record = m_attachments ? m_attachments->byId(id) : std::nullopt;
    if (!record)
        return;
    const QString stored = m_attachments->filePath(id);
    if (!QFileInfo(stored).isFile()) {
        qWarning().noquote() << "saveAttachmentAs: empty/missing file for" << id;
        QMessageBox::warning(this, tr("Save Attachment"), tr("The file of \"%1\" is missing.").arg(record->filename));
        return;
    }
    const QString target = QFileDialog::getSaveFileName(this, tr("Save Attachment"),
                                                        QDir::homePath() + QLatin1Char('/') + plainFileName(*record));
    if (target.isEmpty())
        return;
    QString error;
    if (!copyFileInChunks(stored, target, {}, &error)) {
        qWarning().noquote() << "saveAttachmentAs: open failed" << error;
        QMessageBox::warning(this, tr("Save Attachment"), error);
    }
}

void NoteEditor::copyAttachmentFile(const QString &id)
{
    const QString path = temporaryCopy(id);
    if (path.isEmpty())
        return;
    auto *mime = new QMimeData;
    mime->setUrls({QUrl::fromLocalFile(path)});
    QGuiApplication::clipboard()->setMimeData(mime);
}

void NoteEditor::removeAttachment(int position)
{
    const QString id = attachmentIdAt(position);
    if (id.isEmpty() || isReadOnly())
        return;
    QTextCursor cursor(document());
    cursor.setPosition(position);
    cursor.setPosition(position + 1, QTextCursor::KeepAnchor);
    cursor.removeSelectedText();
    if (m_attachments)
        m_attachments->deleteById(id);
}

// ---------------------------------------------------------------------------
// Mouse, menu and tooltip over attachments

bool NoteEditor::showAttachmentMenu(QContextMenuEvent *event)
{
    const int position = attachmentPositionAt(event->pos());
    const QString id = attachmentIdAt(position);
    if (id.isEmpty() || !m_attachments || !m_attachments->byId(id))
        return false;
    QMenu menu(this);
    connect(menu.addAction(tr("Open")), &QAction::triggered, this, [this, id] { showAttachment(id); });
    connect(menu.addAction(tr("Save As…")), &QAction::triggered, this, [this, id] { saveAttachmentAs(id); });
    connect(menu.addAction(tr("Copy File")), &QAction::triggered, this, [this, id] { copyAttachmentFile(id); });
    menu.addSeparator();
    QAction *remove = menu.addAction(tr("Remove Attachment"));
    remove->setEnabled(!isReadOnly());
    connect(remove, &QAction::triggered, this, [this, position] { removeAttachment(position); });
    menu.exec(event->globalPos());
    return true;
}

bool NoteEditor::showAttachmentTooltip(QHelpEvent *event)
{
    const QString id = attachmentIdAt(attachmentPositionAt(event->pos()));
    const std::optional<Attachment> record = id.isEmpty() || !m_attachments ? std::nullopt : m_attachments->byId(id);
    if (!record)
        return false;
    QToolTip::showText(event->globalPos(),
                       tr("%1 (%2)\n(Double-click to open, right-click for more)")
                           .arg(record->filename, attachmentSizeText(record->sizeBytes)),
                       viewport());
    return true;
}

// ---------------------------------------------------------------------------
// Dropped files

void NoteEditor::dragEnterEvent(QDragEnterEvent *event)
{
    if (canAddAttachments() && !localFiles(event->mimeData()).isEmpty()) {
        event->acceptProposedAction();
        return;
    }
    QTextEdit::dragEnterEvent(event);
}

void NoteEditor::dragMoveEvent(QDragMoveEvent *event)
{
    if (canAddAttachments() && !localFiles(event->mimeData()).isEmpty()) {
        event->acceptProposedAction();
        return;
    }
    QTextEdit::dragMoveEvent(event);
}

void NoteEditor::dropEvent(QDropEvent *event)
{
    const QStringList files = canAddAttachments() ? localFiles(event->mimeData()) : QStringList();
    if (files.isEmpty()) {
        QTextEdit::dropEvent(event);
        return;
    }
    setTextCursor(cursorForPosition(event->position().toPoint()));
    QStringList errors;
    for (const QString &file : files) {
        QString error;
        if (insertAttachmentFromPath(file, &error))
            continue;
        if (!error.isEmpty())
            errors << error;
        else
            break; // cancelled: the rest too
    }
    // Files that could not be attached are said so, not pasted as their
    // addresses instead.
    if (!errors.isEmpty())
        QMessageBox::warning(this, tr("Insert Attachment"), errors.join(QLatin1Char('\n')));
    event->acceptProposedAction();
}
