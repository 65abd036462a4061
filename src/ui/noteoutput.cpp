#include "noteoutput.h"

#include "app/appstate.h"
#include "document/textformats.h"
#include "storage/noterepository.h"
#include "ui/exportdialog.h"
#include "ui/noteeditor.h"

#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QFileDialog>
#include <QMessageBox>
#include <QMimeData>
#include <QPrintDialog>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QStandardPaths>
#include <QStatusBar>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>

namespace {

constexpr int MessageTimeoutMs = 3000;
constexpr qreal PrintDocumentMargin = 36;

// Points at 72 per inch for pixels at 96 per inch.
qreal pixelsToPoints(int pixels)
{
    return pixels * 72.0 / 96.0;
}

bool convertToPoints(QTextCharFormat *format)
{
    if (!format->hasProperty(QTextFormat::FontPixelSize))
        return false;
    const int pixels = format->intProperty(QTextFormat::FontPixelSize);
    format->clearProperty(QTextFormat::FontPixelSize);
    format->setFontPointSize(pixelsToPoints(pixels));
    return true;
}

void convertPixelFontsToPoints(QTextDocument *document)
{
    QFont font = document->defaultFont();
    if (font.pixelSize() > 0) {
        font.setPointSizeF(pixelsToPoints(font.pixelSize()));
        document->setDefaultFont(font);
    }
    QTextCursor cursor(document);
    cursor.beginEditBlock();
    // Every block, those in table cells included.
    for (QTextBlock block = document->begin(); block.isValid(); block = block.next()) {
        QTextCharFormat blockFormat = block.charFormat();
        if (convertToPoints(&blockFormat)) {
            cursor.setPosition(block.position());
            cursor.setBlockCharFormat(blockFormat);
        }
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextFragment fragment = it.fragment();
            QTextCharFormat format = fragment.charFormat();
            if (!convertToPoints(&format))
                continue;
            cursor.setPosition(fragment.position());
            cursor.setPosition(fragment.position() + fragment.length(), QTextCursor::KeepAnchor);
            cursor.setCharFormat(format);
        }
    }
    cursor.endEditBlock();
}

} // namespace

PrintableNote::PrintableNote(const QTextDocument *source, AttachmentRepository *attachments)
    : m_renderer(attachments)
    , m_document(source->clone())
{
    // Paper is light whatever the window's theme.
    QPalette paper;
    paper.setColor(QPalette::Window, Qt::white);
    paper.setColor(QPalette::Text, Qt::black);
    paper.setColor(QPalette::Base, Qt::white);
    m_renderer.setPalette(paper);
    m_document->setDocumentMargin(PrintDocumentMargin);
    convertPixelFontsToPoints(m_document.get());
    decorateForPrinting(m_document.get());
    m_renderer.install(m_document.get());
}

PrintableNote::~PrintableNote() = default;

void PrintableNote::print(QPagedPaintDevice *printer) const
{
    m_document->print(printer);
}

NoteOutput::NoteOutput(AppState *state, NoteEditor *editor, QStatusBar *statusBar, std::function<void()> saveNote,
                       QWidget *window)
    : QObject(window)
    , m_state(state)
    , m_editor(editor)
    , m_statusBar(statusBar)
    , m_saveNote(std::move(saveNote))
    , m_window(window)
{
}

void NoteOutput::showMessage(const QString &text)
{
    m_statusBar->showMessage(text, MessageTimeoutMs);
}

bool NoteOutput::saveOpenNote()
{
    if (m_editor->noteId().isEmpty()) {
        showMessage(tr("No note selected"));
        return false;
    }
    m_saveNote();
    return true;
}

std::optional<Note> NoteOutput::storedNote() const
{
    return m_state->notes() ? m_state->notes()->byId(m_editor->noteId()) : std::nullopt;
}

QString NoteOutput::printTitle() const
{
    const std::optional<Note> note = storedNote();
    const QString title = note ? noteTitle(note->body) : QString();
    return title.isEmpty() ? tr("Untitled") : title;
}

void NoteOutput::exportNote()
{
    if (!saveOpenNote())
        return;
    const std::optional<Note> note = storedNote();
    if (!note)
        return;
    ExportDialog dialog(m_window);
    if (dialog.exec() != QDialog::Accepted)
        return;
    const ExportFormat format = dialog.format();
    const bool bundle = dialog.includeAttachments();
    QString name = suggestedFileName(*note, format);
    if (bundle)
        name = exportBundlePath(name);
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    const QString path =
        QFileDialog::getSaveFileName(m_window, tr("Export Note"), folder.isEmpty() ? name : QDir(folder).filePath(name));
    if (path.isEmpty())
        return;
    const ExportResult result = ::exportNote(*note, path, format, bundle, m_attachments);
    if (result.success)
        showMessage(tr("Exported to %1").arg(QDir::toNativeSeparators(result.path)));
    else
        QMessageBox::warning(m_window, tr("Export Failed"), result.error);
}

void NoteOutput::print()
{
    if (!saveOpenNote())
        return;
    const QString title = printTitle();
    QPrinter printer(QPrinter::HighResolution);
    printer.setDocName(title);
    QPrintDialog dialog(&printer, m_window);
    dialog.setWindowTitle(tr("Print Note"));
    if (dialog.exec() != QDialog::Accepted)
        return;
    PrintableNote(m_editor->document(), m_editor->attachmentRepository()).print(&printer);
    showMessage(tr("Printed %1").arg(title));
}

void NoteOutput::printPreview()
{
    if (!saveOpenNote())
        return;
    const QString title = printTitle();
    QPrinter printer(QPrinter::HighResolution);
    printer.setDocName(title);
    const PrintableNote note(m_editor->document(), m_editor->attachmentRepository());
    QPrintPreviewDialog preview(&printer, m_window);
    preview.setWindowTitle(tr("Print Preview \u2014 %1").arg(title));
    preview.resize(900, 700);
    connect(&preview, &QPrintPreviewDialog::paintRequested, this,
            [&note](QPrinter *target) { note.print(target); });
    preview.exec();
}

void NoteOutput::copyAsPlainText()
{
    if (m_editor->noteId().isEmpty())
        return;
    // What the editor shows, typing included; dividers and attachments have
    // no text.
    QString text = m_editor->toPlainText();
    text.remove(QChar::ObjectReplacementCharacter);
    QGuiApplication::clipboard()->setText(text);
}

void NoteOutput::copyAsMarkdown()
{
    if (m_editor->noteId().isEmpty())
        return;
    m_saveNote();
    if (const std::optional<Note> note = storedNote())
        QGuiApplication::clipboard()->setText(renderNote(note->body, ExportFormat::Markdown));
}

void NoteOutput::copyAsHtml()
{
    if (m_editor->noteId().isEmpty())
        return;
    m_saveNote();
    const std::optional<Note> note = storedNote();
    if (!note)
        return;
    const QString html = renderNote(note->body, ExportFormat::Html);
    auto *data = new QMimeData;
    data->setHtml(html);
    // Pasted where only text goes, it is the HTML source.
    data->setText(html);
    QGuiApplication::clipboard()->setMimeData(data);
}
