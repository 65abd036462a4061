#pragma once

#include <QFrame>
#include <QPixmap>

class QAction;
class QColor;
class QLabel;
class QMenu;
class QPalette;
class QPushButton;
class QToolButton;

// The bar above the editor toolbar: focus toggle, the open note's notebook,
// when it was last updated, and the note's commands. It does nothing by
// itself; every control emits a signal that the window handles.
class NoteHeaderBar : public QFrame
{
    Q_OBJECT

public:
    // The drawn icons of the bar.
    enum class Glyph { SidebarsShown, SidebarsHidden, Notebook, Copy, Share, History, More };
    Q_ENUM(Glyph)

    explicit NoteHeaderBar(QWidget *parent = nullptr);

    // An open note that may be edited: its commands are available.
    void setEditable(bool on);
    // Whether the account may share; Share needs an editable note as well.
    void setCanShare(bool on);
    void setFocusMode(bool on);
    void setNotebookName(const QString &name);
    void setUpdatedText(const QString &text);
    // The note's flag as stored; announces nothing.
    void setIncludeInTodos(bool on);
    // Windows without sidebars leave the focus toggle out.
    void setFocusToggleVisible(bool visible);

    bool isEditable() const { return m_editable; }
    bool canShare() const { return m_canShare; }
    bool focusMode() const { return m_focusMode; }
    QString notebookName() const;
    QString updatedText() const;
    bool includeInTodos() const;

    QAction *exportAction() const { return m_exportAction; }
    QAction *printAction() const { return m_printAction; }

    // The notebook chip's style for a palette: light colours on a light
    // window, dark ones otherwise.
    static QString chipStyleSheet(const QPalette &palette);
    // A glyph on a 24-unit grid, `size` logical pixels square, at device
    // pixel ratio 2.
    static QPixmap glyphPixmap(Glyph glyph, int size, const QColor &color);

Q_SIGNALS:
    void focusToggleClicked();
    void notebookChipClicked();
    void copyAsPlainTextRequested();
    void copyAsMarkdownRequested();
    void copyAsHtmlRequested();
    void shareRequested();
    void historyRequested();
    void includeInTodosToggled(bool enabled);
    void moveToNotebookRequested();
    void exportRequested();
    void printRequested();
    void deleteRequested();

protected:
    void changeEvent(QEvent *event) override;

private:
    QToolButton *addToolButton(const QString &objectName, const QString &toolTip);
    void updateEnabled();
    void applyTheme();

    bool m_focusMode = false;
    bool m_canShare = false;
    bool m_editable = false;

    QToolButton *m_focusToggle;
    QPushButton *m_chip;
    QLabel *m_updated;
    QToolButton *m_copy = nullptr;
    QToolButton *m_share = nullptr;
    QToolButton *m_history = nullptr;
    QToolButton *m_more = nullptr;
    QMenu *m_copyMenu;
    QMenu *m_moreMenu;
    QAction *m_includeAction = nullptr;
    QAction *m_exportAction = nullptr;
    QAction *m_printAction = nullptr;
    // Re-entry guard: styling the chip must not restyle the bar again.
    bool m_applyingTheme = false;
};
