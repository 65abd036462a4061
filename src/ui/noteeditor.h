#pragma once

#include <QElapsedTimer>
#include <QJsonArray>
#include <QPoint>
#include <QPointer>
#include <QTextCursor>
#include <QTextEdit>

#include <memory>
#include <optional>

class AttachmentRenderer;
class AttachmentRepository;
class DeltaDocument;
class DocumentWordCount;
class LayoutPacer;
class QHelpEvent;
class QImage;
struct Attachment;
class QTimer;
class QTextBlock;
class QTextBlockFormat;
class QTextCharFormat;
class QTextDocument;

// The rich-text editor of a note. Shows one note's Delta body, reports edits
// through a debounced noteModified, and offers the formatting operations that
// the toolbar and menus call.
class NoteEditor : public QTextEdit
{
    Q_OBJECT

public:
    // The entries of the table context menu.
    enum class TableEdit {
        InsertRowAbove,
        InsertRowBelow,
        InsertColumnBefore,
        InsertColumnAfter,
        DeleteRow,
        DeleteColumn,
        DeleteTable,
    };
    Q_ENUM(TableEdit)

    // A run of characters sharing one link target.
    struct LinkRange
    {
        int start = -1;
        int end = -1;
        QString href;
        bool isValid() const { return start >= 0 && end > start; }
    };

    explicit NoteEditor(QWidget *parent = nullptr);
    ~NoteEditor() override;

    DeltaDocument *deltaDocument() const { return m_delta; }

    // Shows a note. Unless forced, reloading the shown, saved note with the
    // body it already holds does nothing, so a save echoing back keeps the
    // cursor where it is.
    void loadNote(const QString &noteId, const QString &json, bool force = false);
    void clearNote();
    QString currentJson() const;
    QString noteId() const { return m_noteId; }
    bool isSaved() const { return m_saved; }

    // The save contract with the window holding the editor. The baseline is
    // this editor's own Delta of the note as loaded or last saved, so a body
    // written by something else is not "changed" merely by being shown.
    // changedJson() is the current Delta when it differs from the baseline,
    // nullopt otherwise; it serialises nothing when no edit happened since.
    std::optional<QString> changedJson();
    // The holder stored json: it becomes the baseline.
    void acceptSaved(const QString &json);
    // The holder could not store the note (from its noteModified handler or
    // later): the editor stays unsaved, emits saveFailed and asks again with
    // noteModified 2 s later, unless new edits bring the next save sooner.
    void markSaveFailed();

    int wordCount() const;
    // Announces formatStateChanged for the cursor as it is, for a toolbar
    // bound to an editor that already shows a note.
    void updateFormatState();

    // The link run around a document position (invalid when there is none).
    LinkRange linkAt(int position) const;
    // Value versions of the link dialogs, for callers that already know them.
    void applyLink(const QString &text, const QString &url);
    void replaceLink(const LinkRange &range, const QString &text, const QString &url);
    void removeLink(const LinkRange &range);
    void openLink(const QString &href);

    // Table context-menu operations at a cursor inside a table.
    void editTable(TableEdit edit, const QTextCursor &at);

    bool canInsertFromMimeData(const QMimeData *source) const override;

    // Attachments (noteeditorattachments.cpp). The repository is not owned;
    // without it, and without an open editable note, nothing is inserted.
    void setAttachmentRepository(AttachmentRepository *repository);
    AttachmentRepository *attachmentRepository() const;
    // The files changed behind the editor's back (sync): look everything up again.
    void refreshAttachments();
    // Copies the file into the store (with a progress dialog for big ones)
    // and inserts it at the cursor. False, with *error saying why (empty when
    // the user cancelled), when nothing was inserted.
    bool insertAttachmentFromPath(const QString &path, QString *error = nullptr);
    // A pasted picture, stored as PNG.
    bool insertImageAttachment(const QImage &image, QString *error = nullptr);
    // The document position of the attachment drawn at a viewport point, or -1.
    int attachmentPositionAt(const QPoint &viewportPos) const;
    QString attachmentIdAt(int position) const;
    // A picture in the lightbox when it decodes, anything else as openAttachment().
    void showAttachment(const QString &id);
    void openAttachment(const QString &id);
    void saveAttachmentAs(const QString &id);
    // Puts a copy of the file on the clipboard, for pasting into a file manager.
    void copyAttachmentFile(const QString &id);
    // Deletes the attachment character at position and the attachment itself.
    void removeAttachment(int position);

public Q_SLOTS:
    void toggleBold();
    void toggleItalic();
    void toggleUnderline();
    void toggleStrikethrough();
    void toggleInlineCode();
    void setHeading(int level);
    void toggleList(const QString &listType);
    void toggleBlockquote();
    void toggleCodeBlock();
    // Hides QTextEdit's version so that the format state follows.
    void setAlignment(Qt::Alignment alignment);

    void insertDivider();
    void insertTable(int rows, int columns, bool hasHeader);
    void insertTableDialog();
    void insertLink();
    void insertAttachmentDialog();
    void editLink(const LinkRange &range);

    void duplicateLine();
    void deleteLine();
    // -1 moves the cursor's line up, +1 down.
    void moveLine(int direction);

Q_SIGNALS:
    // Time to save: 1000 ms after the last edit, or after the first unsaved
    // one while typing goes on.
    void noteModified();
    void saveFailed();
    void savedStateChanged(bool saved);
    void wordCountChanged(int count);
    void cursorFormatChanged();
    void formatStateChanged(bool bold, bool italic, bool underline, bool strike, bool code, int heading,
                            const QString &listType, bool codeBlock, bool blockquote, bool inTable,
                            Qt::Alignment alignment);

protected:
    bool event(QEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void keyReleaseEvent(QKeyEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void contextMenuEvent(QContextMenuEvent *event) override;
    bool viewportEvent(QEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
    void insertFromMimeData(const QMimeData *source) override;
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dragMoveEvent(QDragMoveEvent *event) override;
    void dropEvent(QDropEvent *event) override;

private:
    void onContentsChanged();
    void onSaveTimeout();
    void resetBaseline(const QString &loadedText);
    const QString &baselineJson();
    bool showsBody(const QString &json);
    // Code backgrounds, quote bars and list markers, under the text.
    void paintBlockDecorations(const QRect &dirty);
    void updateDecorationsAround(int position, int removed, int added);

    QTextCharFormat formatAtSelectionStart() const;
    void mergeFormat(const QTextCharFormat &format);
    void toggleBlockProperty(int property);
    void restyleBlock(QTextCursor &cursor, const QTextBlockFormat &format, bool replaceInline);

    bool handleListEnter();
    // Breaks the cursor's block the way typing Enter does.
    void splitBlock(QTextCursor &cursor);
    void insertParagraph();
    bool handleFirstBlockBackspace();
    bool handleTableTab(QKeyEvent *event);
    bool handleCtrlShortcut(QKeyEvent *event);
    bool handleCtrlShiftShortcut(QKeyEvent *event);

    void insertDelta(const QJsonArray &ops);
    void updateViewportCursor(const QPoint &viewportPos, Qt::KeyboardModifiers modifiers);
    bool showLinkMenu(QContextMenuEvent *event);
    bool showTableMenu(QContextMenuEvent *event);

    bool canAddAttachments() const;
    bool pastesAsPicture(const QMimeData *source) const;
    bool showAttachmentMenu(QContextMenuEvent *event);
    bool showAttachmentTooltip(QHelpEvent *event);
    // Inserts the row of a file already in the store, then its character.
    bool addStoredAttachment(const Attachment &record, const char *context, QString *error);
    QString temporaryCopy(const QString &id);
    void onAttachmentsChanged();

    DeltaDocument *m_delta = nullptr;
    AttachmentRenderer *m_attachmentRenderer = nullptr;
    QPointer<AttachmentRepository> m_attachments;
    QTextDocument *m_standIn = nullptr;
    std::unique_ptr<DocumentWordCount> m_words;
    QTimer *m_saveTimer = nullptr;
    QTimer *m_baselineTimer = nullptr;
    // After a long paste: shows the cursor once the layout has reached it.
    QTimer *m_followCursorTimer = nullptr;
    LayoutPacer *m_layoutPacer = nullptr;
    QString m_noteId;
    bool m_loading = false;
    bool m_saved = true;

    // The text last loaded; the baseline is computed from it on first need.
    QString m_loadedText;
    std::optional<QString> m_baseline;
    // Whether the document may differ from the baseline.
    bool m_edited = false;
    quint64 m_editGeneration = 0;
    // The last Delta changedJson() reported, and the edit it reflects.
    QString m_reportedJson;
    quint64 m_reportedGeneration = 0;
    QElapsedTimer m_unsavedSince;
    bool m_inSaveRound = false;
    bool m_saveFailed = false;
    // Where the last paint found its first block.
    int m_firstPaintedBlock = 0;
    // Blocks at the last edit: a change in their number reshapes decorations.
    int m_decoratedBlockCount = 0;
    QElapsedTimer m_tripleClickTimer;
    QPoint m_doubleClickPos;
};
