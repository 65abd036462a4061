#pragma once

#include "document/attachmentrenderer.h"
#include "features/export.h"
#include "storage/note.h"

#include <QObject>
#include <QString>
#include <QWidget>

#include <functional>
#include <memory>
#include <optional>

class AppState;
class NoteEditor;
class QPagedPaintDevice;
class QStatusBar;
class QTextDocument;

// A copy of a note's document made ready for paper: room around the text,
// fonts in points (the editor sizes them in pixels, which a printer's
// resolution would shrink), and the editor's painted decorations as plain
// formats.
class PrintableNote
{
public:
    // Pictures are drawn from `attachments` when given.
    explicit PrintableNote(const QTextDocument *source, AttachmentRepository *attachments = nullptr);
    ~PrintableNote();
    PrintableNote(const PrintableNote &) = delete;
    PrintableNote &operator=(const PrintableNote &) = delete;

    QTextDocument *document() const { return m_document.get(); }
    void print(QPagedPaintDevice *printer) const;

private:
    // Draws pictures, files and dividers in paper colours.
    AttachmentRenderer m_renderer;
    std::unique_ptr<QTextDocument> m_document;
};

// What a window does with the note in its editor besides editing it:
// export, print, print preview, and copying it as plain text, Markdown or
// HTML. The main window and the note windows share it.
class NoteOutput : public QObject
{
    Q_OBJECT

public:
    // saveNote stores the editor's pending edits, so the output is current.
    NoteOutput(AppState *state, NoteEditor *editor, QStatusBar *statusBar, std::function<void()> saveNote,
               QWidget *window);

    void setAttachmentResolver(ExportAttachmentResolver resolver) { m_attachments = std::move(resolver); }

    void exportNote();
    void print();
    void printPreview();
    void copyAsPlainText();
    void copyAsMarkdown();
    void copyAsHtml();

private:
    // Stores the editor's pending edits; false, saying so, when no note is open.
    bool saveOpenNote();
    std::optional<Note> storedNote() const;
    // The note's title for the printer and the preview, or "Untitled".
    QString printTitle() const;
    void showMessage(const QString &text);

    AppState *m_state;
    NoteEditor *m_editor;
    QStatusBar *m_statusBar;
    std::function<void()> m_saveNote;
    QWidget *m_window;
    ExportAttachmentResolver m_attachments;
};
