#pragma once

#include "features/export.h"
#include "storage/note.h"

#include <QObject>
#include <QString>

#include <functional>
#include <memory>
#include <optional>

class AppState;
class AttachmentRenderer;
class AttachmentRepository;
class NoteEditor;
class QPagedPaintDevice;
class QStatusBar;
class QTextDocument;
class QWidget;

// A copy of a note's document made ready for paper: room around the text,
// fonts in points (the editor sizes them in pixels, which a printer's
// resolution would shrink), the editor's painted decorations as plain
// formats, and its pictures, file chips and dividers drawn from the store.
class PrintableNote
{
public:
    PrintableNote(const QTextDocument *source, AttachmentRepository *attachments);
    ~PrintableNote();
    PrintableNote(const PrintableNote &) = delete;
    PrintableNote &operator=(const PrintableNote &) = delete;

    QTextDocument *document() const { return m_document.get(); }
    void print(QPagedPaintDevice *printer) const;

private:
    // Outlives the document, whose layout draws through it.
    std::unique_ptr<AttachmentRenderer> m_renderer;
    std::unique_ptr<QTextDocument> m_document;
};

// What a window does with the note in its editor besides editing it:
// export, print and print preview. The main window and the note windows
// share it.
class NoteOutput : public QObject
{
    Q_OBJECT

public:
    // saveNote stores the editor's pending edits, so the output is current.
    NoteOutput(AppState *state, NoteEditor *editor, QStatusBar *statusBar, std::function<void()> saveNote,
               QWidget *window);

    void exportNote();
    void print();
    void printPreview();

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
};
