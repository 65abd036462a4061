#pragma once

#include <QPixmap>
#include <QPointer>
#include <QToolBar>

class NoteEditor;
class QColor;
class QComboBox;

// The formatting toolbar above a note editor: its buttons call the editor's
// formatting operations, and it mirrors the format at the editor's cursor.
class EditorToolbar : public QToolBar
{
    Q_OBJECT

public:
    // The buttons in toolbar order; the heading box sits between InlineCode
    // and BulletList.
    enum Button {
        Bold,
        Italic,
        Underline,
        Strikethrough,
        InlineCode,
        BulletList,
        NumberedList,
        CheckboxList,
        CodeBlock,
        Blockquote,
        AlignLeft,
        AlignCenter,
        AlignRight,
        InsertLink,
        InsertDivider,
        InsertTable,
        InsertAttachment,
        ButtonCount
    };
    Q_ENUM(Button)

    explicit EditorToolbar(QWidget *parent = nullptr);

    // Drives this editor (not owned) and shows its cursor's format at once.
    void setEditor(NoteEditor *editor);
    NoteEditor *editor() const { return m_editor; }

    QAction *button(Button button) const { return m_buttons[button]; }
    QComboBox *headingBox() const { return m_heading; }

    // Attachments need the window's attachment store: the button stays
    // hidden until the window says it is there.
    void setAttachmentsAvailable(bool available);

    // A button's drawn glyph: transparent, 32 x 32 pixels at device pixel
    // ratio 2 (16 x 16 logical), in `color`.
    static QPixmap glyphPixmap(Button button, const QColor &color);

public Q_SLOTS:
    void updateFormatState(bool bold, bool italic, bool underline, bool strike, bool code, int heading,
                           const QString &listType, bool codeBlock, bool blockquote, bool inTable,
                           Qt::Alignment alignment);

protected:
    void changeEvent(QEvent *event) override;

private:
    void run(Button button);
    void applyHeading(int index);
    void paintGlyphs();
    void updateAttachmentButton();

    QAction *m_buttons[ButtonCount] = {};
    QComboBox *m_heading = nullptr;
    QPointer<NoteEditor> m_editor;
    // Set while the toolbar mirrors the editor, so that selecting the
    // cursor's heading level does not apply it again.
    bool m_updating = false;
    bool m_attachmentsAvailable = false;
};
