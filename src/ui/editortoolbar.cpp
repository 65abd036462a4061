#include "editortoolbar.h"

#include "ui/noteeditor.h"

#include <QAction>
#include <QComboBox>
#include <QEvent>
#include <QFontMetricsF>
#include <QGlyphRun>
#include <QPainter>
#include <QPainterPath>
#include <QTextLayout>

namespace {

const char *const TableTip = "Insert Table (Ctrl+T)";
const char *const NestedTableTip = "Nested tables are not supported";

struct ButtonInfo
{
    const char *tooltip;
    // The text drawn as the glyph; empty for the drawn icons.
    const char16_t *text;
    int pixelSize;
    bool checkable;
};

// In EditorToolbar::Button order.
const ButtonInfo Buttons[EditorToolbar::ButtonCount] = {
    {"Bold (Ctrl+B)", u"B", 13, true},
    {"Italic (Ctrl+I)", u"I", 13, true},
    {"Underline (Ctrl+U)", u"U", 13, true},
    {"Strikethrough (Ctrl+Shift+X)", u"S", 13, true},
    {"Inline Code (Ctrl+`)", u"<>", 10, true},
    {"Bullet List (Ctrl+Shift+8)", u"\u2022", 18, true},
    {"Numbered List (Ctrl+Shift+7)", u"1.", 12, true},
    {"Checkbox List (Ctrl+Shift+9)", u"", 0, true},
    {"Code Block (Ctrl+Shift+`)", u"{ }", 10, true},
    {"Blockquote (Ctrl+Shift+B)", u"\u201C", 18, true},
    {"Align Left (Ctrl+Shift+L)", u"", 0, true},
    {"Align Center (Ctrl+Shift+E)", u"", 0, true},
    {"Align Right (Ctrl+Shift+R)", u"", 0, true},
    {"Insert Link (Ctrl+K)", u"", 0, false},
    {"Insert Divider", u"\u2014", 16, false},
    {TableTip, u"\u229E", 18, false},
    {"Insert Attachment (Ctrl+Shift+A)", u"\U0001F4CE", 14, false},
};

constexpr qreal GlyphSize = 16;

QPixmap blankGlyph()
{
    QPixmap pixmap(32, 32);
    pixmap.setDevicePixelRatio(2);
    pixmap.fill(Qt::transparent);
    return pixmap;
}

// Whether some installed font has every character of `text` (glyph 0 is the
// "missing" box).
bool fontsCanDraw(const QFont &font, const QString &text)
{
    QTextLayout layout(text, font);
    layout.beginLayout();
    layout.createLine();
    layout.endLayout();
    const QList<QGlyphRun> runs = layout.glyphRuns();
    for (const QGlyphRun &run : runs) {
        const QList<quint32> indexes = run.glyphIndexes();
        if (indexes.contains(0))
            return false;
    }
    return !runs.isEmpty();
}

// A paper clip for systems without an emoji font, in the same 16-unit square.
void drawPaperClip(QPainter &painter)
{
    QPainterPath clip;
    clip.moveTo(10.5, 5.5);
    clip.lineTo(10.5, 11);
    clip.arcTo(QRectF(4.5, 8, 6, 6), 0, -180);
    clip.lineTo(4.5, 4);
    clip.arcTo(QRectF(4.5, 2, 4, 4), 180, -180);
    clip.lineTo(8.5, 10.5);
    clip.arcTo(QRectF(6.5, 9.5, 2, 2), 0, -180);
    clip.lineTo(6.5, 5.5);
    painter.translate(8, 8);
    painter.rotate(45);
    painter.translate(-7.5, -8);
    QPen pen = painter.pen();
    pen.setWidthF(1.3);
    pen.setCapStyle(Qt::RoundCap);
    painter.setPen(pen);
    painter.drawPath(clip);
}

// The text's ink centred in the square (the line box would leave the bullet
// and the quote mark off-centre).
void drawTextGlyph(QPainter &painter, EditorToolbar::Button button, const ButtonInfo &info)
{
    const QString text = QString::fromUtf16(info.text);
    QFont font(QStringLiteral("IBM Plex Sans"));
    font.setWeight(QFont::Bold);
    font.setPixelSize(info.pixelSize);
    font.setItalic(button == EditorToolbar::Italic);
    font.setUnderline(button == EditorToolbar::Underline);
    font.setStrikeOut(button == EditorToolbar::Strikethrough);
    if (button == EditorToolbar::InsertAttachment && !fontsCanDraw(font, text)) {
        drawPaperClip(painter);
        return;
    }
    const QRectF ink = QFontMetricsF(font).tightBoundingRect(text);
    painter.setFont(font);
    painter.drawText(QPointF(GlyphSize / 2 - ink.center().x(), GlyphSize / 2 - ink.center().y()), text);
}

void drawAlignment(QPainter &painter, EditorToolbar::Button button)
{
    QPen pen = painter.pen();
    pen.setWidthF(1.6);
    pen.setCapStyle(Qt::FlatCap);
    painter.setPen(pen);
    const qreal rows[] = {3.5, 6.5, 9.5, 12.5};
    for (int i = 0; i < 4; ++i) {
        const qreal length = i % 2 == 0 ? 12 : 8;
        qreal left = 2;
        if (button == EditorToolbar::AlignCenter)
            left = (GlyphSize - length) / 2;
        else if (button == EditorToolbar::AlignRight)
            left = 14 - length;
        painter.drawLine(QPointF(left, rows[i]), QPointF(left + length, rows[i]));
    }
}

void drawCheckbox(QPainter &painter)
{
    QPen pen = painter.pen();
    pen.setWidthF(1.5);
    pen.setJoinStyle(Qt::RoundJoin);
    pen.setCapStyle(Qt::RoundCap);
    painter.setPen(pen);
    painter.drawRoundedRect(QRectF(3, 3, 10, 10), 1.5, 1.5);
    QPainterPath tick;
    tick.moveTo(5.6, 8.1);
    tick.lineTo(7.3, 9.8);
    tick.lineTo(10.5, 6.3);
    painter.drawPath(tick);
}

void drawLink(QPainter &painter)
{
    QPen pen = painter.pen();
    pen.setWidthF(1.5);
    painter.setPen(pen);
    painter.translate(8, 8);
    painter.rotate(-45);
    painter.drawRoundedRect(QRectF(-6.75, -2.4, 8, 4.8), 2.4, 2.4);
    painter.drawRoundedRect(QRectF(-1.25, -2.4, 8, 4.8), 2.4, 2.4);
}

} // namespace

EditorToolbar::EditorToolbar(QWidget *parent)
    : QToolBar(parent)
{
    setObjectName(QStringLiteral("editorToolbar"));
    setMovable(false);
    setFloatable(false);
    setIconSize(QSize(16, 16));
    setToolButtonStyle(Qt::ToolButtonIconOnly);

    for (int i = 0; i < ButtonCount; ++i) {
        const auto id = Button(i);
        auto *action = new QAction(this);
        action->setToolTip(tr(Buttons[i].tooltip));
        // The tooltip names the control for screen readers and tests alike.
        action->setText(action->toolTip());
        action->setCheckable(Buttons[i].checkable);
        connect(action, &QAction::triggered, this, [this, id] { run(id); });
        m_buttons[i] = action;
    }

    m_heading = new QComboBox(this);
    m_heading->setObjectName(QStringLiteral("headingBox"));
    m_heading->setToolTip(tr("Heading Level"));
    // Choosing a level leaves the keyboard in the editor.
    m_heading->setFocusPolicy(Qt::NoFocus);
    m_heading->addItem(tr("Normal"), 0);
    for (int level = 1; level <= 6; ++level)
        m_heading->addItem(tr("Heading %1").arg(level), level);
    connect(m_heading, &QComboBox::currentIndexChanged, this, &EditorToolbar::applyHeading);

    auto addRange = [this](Button first, Button last) {
        for (int i = first; i <= last; ++i)
            addAction(m_buttons[i]);
    };
    addRange(Bold, InlineCode);
    addSeparator();
    QAction *headingAction = addWidget(m_heading);
    headingAction->setToolTip(m_heading->toolTip());
    headingAction->setText(m_heading->toolTip());
    addSeparator();
    addRange(BulletList, CheckboxList);
    addSeparator();
    addRange(CodeBlock, Blockquote);
    addSeparator();
    addRange(AlignLeft, AlignRight);
    addSeparator();
    addRange(InsertLink, InsertAttachment);

    paintGlyphs();
    updateAttachmentButton();
}

void EditorToolbar::setEditor(NoteEditor *editor)
{
    if (m_editor)
        disconnect(m_editor, nullptr, this, nullptr);
    m_editor = editor;
    if (editor) {
        connect(editor, &NoteEditor::formatStateChanged, this, &EditorToolbar::updateFormatState);
        // A toolbar bound to an editor that already shows a note must not
        // wait for the cursor to move.
        editor->updateFormatState();
    }
    updateAttachmentButton();
}

void EditorToolbar::setAttachmentsAvailable(bool available)
{
    m_attachmentsAvailable = available;
    updateAttachmentButton();
}

void EditorToolbar::updateAttachmentButton()
{
    // Called by name so that the toolbar works with editors that cannot
    // insert attachments: the button then stays hidden.
    const bool offered = m_editor && m_editor->metaObject()->indexOfMethod("insertAttachmentDialog()") >= 0;
    QAction *attach = m_buttons[InsertAttachment];
    attach->setVisible(m_attachmentsAvailable && offered);
    attach->setEnabled(m_attachmentsAvailable && offered);
}

void EditorToolbar::run(Button button)
{
    NoteEditor *editor = m_editor;
    if (!editor)
        return;
    switch (button) {
    case Bold:
        editor->toggleBold();
        break;
    case Italic:
        editor->toggleItalic();
        break;
    case Underline:
        editor->toggleUnderline();
        break;
    case Strikethrough:
        editor->toggleStrikethrough();
        break;
    case InlineCode:
        editor->toggleInlineCode();
        break;
    case BulletList:
        editor->toggleList(QStringLiteral("bullet"));
        break;
    case NumberedList:
        editor->toggleList(QStringLiteral("ordered"));
        break;
    case CheckboxList:
        editor->toggleList(QStringLiteral("unchecked"));
        break;
    case CodeBlock:
        editor->toggleCodeBlock();
        break;
    case Blockquote:
        editor->toggleBlockquote();
        break;
    case AlignLeft:
        editor->setAlignment(Qt::AlignLeft);
        break;
    case AlignCenter:
        editor->setAlignment(Qt::AlignHCenter);
        break;
    case AlignRight:
        editor->setAlignment(Qt::AlignRight);
        break;
    case InsertLink:
        editor->insertLink();
        break;
    case InsertDivider:
        editor->insertDivider();
        break;
    case InsertTable:
        editor->insertTableDialog();
        break;
    case InsertAttachment:
        QMetaObject::invokeMethod(editor, "insertAttachmentDialog");
        break;
    case ButtonCount:
        break;
    }
}

void EditorToolbar::applyHeading(int index)
{
    if (m_updating || !m_editor || index < 0)
        return;
    m_editor->setHeading(m_heading->itemData(index).toInt());
}

void EditorToolbar::updateFormatState(bool bold, bool italic, bool underline, bool strike, bool code, int heading,
                                      const QString &listType, bool codeBlock, bool blockquote, bool inTable,
                                      Qt::Alignment alignment)
{
    m_updating = true;
    m_buttons[Bold]->setChecked(bold);
    m_buttons[Italic]->setChecked(italic);
    m_buttons[Underline]->setChecked(underline);
    m_buttons[Strikethrough]->setChecked(strike);
    m_buttons[InlineCode]->setChecked(code);

    const bool centre = alignment.testFlag(Qt::AlignHCenter);
    const bool right = alignment.testFlag(Qt::AlignRight);
    m_buttons[AlignCenter]->setChecked(centre);
    m_buttons[AlignRight]->setChecked(right);
    m_buttons[AlignLeft]->setChecked(!centre && !right);

    m_heading->setCurrentIndex(std::max(0, m_heading->findData(heading)));

    m_buttons[BulletList]->setChecked(listType == QLatin1String("bullet"));
    m_buttons[NumberedList]->setChecked(listType == QLatin1String("ordered"));
    m_buttons[CheckboxList]->setChecked(listType == QLatin1String("checked")
                                        || listType == QLatin1String("unchecked"));
    m_buttons[CodeBlock]->setChecked(codeBlock);
    m_buttons[Blockquote]->setChecked(blockquote);

    QAction *table = m_buttons[InsertTable];
    table->setEnabled(!inTable);
    table->setToolTip(inTable ? tr(NestedTableTip) : tr(TableTip));
    m_updating = false;
}

QPixmap EditorToolbar::glyphPixmap(Button button, const QColor &color)
{
    QPixmap pixmap = blankGlyph();
    if (button < 0 || button >= ButtonCount)
        return pixmap;
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);
    painter.setPen(QPen(color, 1));
    painter.setBrush(Qt::NoBrush);
    switch (button) {
    case CheckboxList:
        drawCheckbox(painter);
        break;
    case AlignLeft:
    case AlignCenter:
    case AlignRight:
        drawAlignment(painter, button);
        break;
    case InsertLink:
        drawLink(painter);
        break;
    default:
        drawTextGlyph(painter, button, Buttons[button]);
        break;
    }
    return pixmap;
}

void EditorToolbar::paintGlyphs()
{
    const QColor color = palette().color(QPalette::WindowText);
    for (int i = 0; i < ButtonCount; ++i)
        m_buttons[i]->setIcon(QIcon(glyphPixmap(Button(i), color)));
}

void EditorToolbar::changeEvent(QEvent *event)
{
    QToolBar::changeEvent(event);
    if (event->type() == QEvent::PaletteChange)
        paintGlyphs();
}
