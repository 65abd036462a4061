#include "noteoutput.h"

#include "app/appstate.h"
#include "app/thememanager.h"
#include "document/attachmentrenderer.h"
#include "document/textformats.h"
#include "storage/noterepository.h"
#include "ui/exportdialog.h"
#include "ui/noteeditor.h"

#include <QDir>
#include <QFileDialog>
#include <QMessageBox>
#include <QPrintDialog>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QStandardPaths>
#include <QStatusBar>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextFrame>
#include <QTextTable>

namespace {

constexpr int MessageTimeoutMs = 3000;
constexpr qreal PrintDocumentMargin = 36;

// Points at 72 per inch for pixels at 96 per inch.
qreal pixelsToPoints(int pixels)
{
    return pixels * 72.0 / 96.0;
}

// The colours the editor chose for a dark palette, and their light twins:
// paper is white whatever the window's theme.
QList<std::pair<QColor, QColor>> paperColours()
{
    return {
        { codeBlockTextColor(true), codeBlockTextColor(false) },
        { inlineCodeTextColor(true), inlineCodeTextColor(false) },
        { inlineCodeBackgroundColor(true), inlineCodeBackgroundColor(false) },
        { linkColor(true), linkColor(false) },
        { visitedLinkColor(true), visitedLinkColor(false) },
        { ThemeManager::darkPalette().color(QPalette::Text), ThemeManager::lightPalette().color(QPalette::Text) },
        { ThemeManager::darkPalette().color(QPalette::AlternateBase),
          ThemeManager::lightPalette().color(QPalette::AlternateBase) },
    };
}

bool toPaperColour(QTextFormat *format, int property, const QList<std::pair<QColor, QColor>> &colours)
{
    if (!format->hasProperty(property))
        return false;
    const QBrush brush = format->brushProperty(property);
    for (const auto &[dark, light] : colours) {
        if (brush.style() == Qt::SolidPattern && brush.color() == dark) {
            format->setProperty(property, QBrush(light));
            return true;
        }
    }
    return false;
}

// Pixel font sizes to points; dark-theme colours to paper colours.
bool prepareCharFormat(QTextCharFormat *format, const QList<std::pair<QColor, QColor>> &colours)
{
    bool changed = toPaperColour(format, QTextFormat::ForegroundBrush, colours);
    changed = toPaperColour(format, QTextFormat::BackgroundBrush, colours) || changed;
    if (!format->hasProperty(QTextFormat::FontPixelSize))
        return changed;
    const int pixels = format->intProperty(QTextFormat::FontPixelSize);
    format->clearProperty(QTextFormat::FontPixelSize);
    format->setFontPointSize(pixelsToPoints(pixels));
    return true;
}

void prepareTables(QTextFrame *frame, const QList<std::pair<QColor, QColor>> &colours)
{
    const QList<QTextFrame *> children = frame->childFrames();
    for (QTextFrame *child : children) {
        if (auto *table = qobject_cast<QTextTable *>(child)) {
            for (int row = 0; row < table->rows(); ++row) {
                for (int column = 0; column < table->columns(); ++column) {
                    QTextTableCell cell = table->cellAt(row, column);
                    QTextCharFormat format = cell.format();
                    if (toPaperColour(&format, QTextFormat::BackgroundBrush, colours))
                        cell.setFormat(format);
                }
            }
        }
        prepareTables(child, colours);
    }
}

void prepareFormatsForPaper(QTextDocument *document)
{
    QFont font = document->defaultFont();
    if (font.pixelSize() > 0) {
        font.setPointSizeF(pixelsToPoints(font.pixelSize()));
        document->setDefaultFont(font);
    }
    const QList<std::pair<QColor, QColor>> colours = paperColours();
    QTextCursor cursor(document);
    cursor.beginEditBlock();
    // Every block, those in table cells included.
    for (QTextBlock block = document->begin(); block.isValid(); block = block.next()) {
        QTextCharFormat blockFormat = block.charFormat();
        if (prepareCharFormat(&blockFormat, colours)) {
            cursor.setPosition(block.position());
            cursor.setBlockCharFormat(blockFormat);
        }
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextFragment fragment = it.fragment();
            QTextCharFormat format = fragment.charFormat();
            if (!prepareCharFormat(&format, colours))
                continue;
            cursor.setPosition(fragment.position());
            cursor.setPosition(fragment.position() + fragment.length(), QTextCursor::KeepAnchor);
            cursor.setCharFormat(format);
        }
    }
    prepareTables(document->rootFrame(), colours);
    cursor.endEditBlock();
}

} // namespace

PrintableNote::PrintableNote(const QTextDocument *source, AttachmentRepository *attachments)
    : m_renderer(std::make_unique<AttachmentRenderer>(attachments))
    , m_document(source->clone())
{
    m_document->setDocumentMargin(PrintDocumentMargin);
    prepareFormatsForPaper(m_document.get());
    decorateForPrinting(m_document.get());
    // A clone has none of the editor's drawing handlers; paper is light
    // whatever the window's theme.
    m_renderer->setPalette(ThemeManager::lightPalette());
    m_renderer->install(m_document.get());
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
    const ExportResult result =
        ::exportNote(*note, path, format, bundle, attachmentResolver(m_state->attachments()));
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
    PrintableNote(m_editor->document(), m_state->attachments()).print(&printer);
    showMessage(tr("Printed %1").arg(title));
}

void NoteOutput::printPreview()
{
    if (!saveOpenNote())
        return;
    const QString title = printTitle();
    QPrinter printer(QPrinter::HighResolution);
    printer.setDocName(title);
    const PrintableNote note(m_editor->document(), m_state->attachments());
    QPrintPreviewDialog preview(&printer, m_window);
    preview.setWindowTitle(tr("Print Preview \u2014 %1").arg(title));
    preview.resize(900, 700);
    connect(&preview, &QPrintPreviewDialog::paintRequested, this,
            [&note](QPrinter *target) { note.print(target); });
    preview.exec();
}
