#include "noteheaderbar.h"

#include "document/textformats.h"

#include <QAction>
#include <QEvent>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QToolButton>
#include <QtMath>

namespace {

constexpr int FocusIconSize = 18;
constexpr int ChipIconSize = 14;
constexpr int ToolIconSize = 18;
constexpr qreal Grid = 24;

QPen glyphPen(const QColor &color)
{
    return QPen(color, 1.8, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
}

void drawSidebars(QPainter &painter, bool hidden)
{
    const QRectF window(3, 4.5, 18, 15);
    painter.drawRoundedRect(window, 2.5, 2.5);
    if (!hidden) {
        painter.drawLine(QPointF(9.5, 4.5), QPointF(9.5, 19.5));
        return;
    }
    // "»": the panes come back from the left.
    for (qreal x : {8.0, 12.5}) {
        QPainterPath chevron;
        chevron.moveTo(x, 9);
        chevron.lineTo(x + 3, 12);
        chevron.lineTo(x, 15);
        painter.drawPath(chevron);
    }
}

void drawNotebook(QPainter &painter)
{
    painter.drawRoundedRect(QRectF(5, 3, 14, 18), 2, 2);
    painter.drawLine(QPointF(9, 3), QPointF(9, 21));
    painter.drawLine(QPointF(12.5, 8), QPointF(16, 8));
}

void drawCopy(QPainter &painter)
{
    painter.drawRoundedRect(QRectF(4, 4, 11, 11), 2, 2);
    const QRectF front(9, 9, 11, 11);
    // The sheet in front hides the back one's corner.
    painter.save();
    painter.setCompositionMode(QPainter::CompositionMode_Clear);
    painter.setPen(Qt::NoPen);
    painter.setBrush(Qt::black);
    painter.drawRoundedRect(front, 2, 2);
    painter.restore();
    painter.drawRoundedRect(front, 2, 2);
}

void drawShare(QPainter &painter)
{
    const QPointF left(6.5, 12);
    const QPointF top(17.5, 6);
    const QPointF bottom(17.5, 18);
    constexpr qreal radius = 2.6;
    for (const QPointF &centre : {left, top, bottom})
        painter.drawEllipse(centre, radius, radius);
    // The links stop at the circles' edges.
    for (const QPointF &end : {top, bottom}) {
        const QLineF link(left, end);
        const qreal trim = (radius + 0.6) / link.length();
        painter.drawLine(link.pointAt(trim), link.pointAt(1 - trim));
    }
}

void drawHistory(QPainter &painter)
{
    // A clock face turned back: the arc runs anticlockwise from the lower
    // left round to the upper left and ends in an arrow head.
    const QPointF centre(12, 12);
    constexpr qreal radius = 8;
    constexpr qreal startDegrees = 210;
    constexpr qreal spanDegrees = 300;
    painter.drawArc(QRectF(centre.x() - radius, centre.y() - radius, 2 * radius, 2 * radius),
                    int(startDegrees * 16), int(spanDegrees * 16));
    const qreal end = qDegreesToRadians(startDegrees + spanDegrees);
    const QPointF tip(centre.x() + radius * qCos(end), centre.y() - radius * qSin(end));
    // The direction of travel at the end, anticlockwise on screen.
    const QPointF along(-qSin(end), -qCos(end));
    const QPointF across(along.y(), -along.x());
    QPainterPath head;
    head.moveTo(tip - 3.2 * along + 2.6 * across);
    head.lineTo(tip);
    head.lineTo(tip - 3.2 * along - 2.6 * across);
    painter.drawPath(head);
    QPainterPath hands;
    hands.moveTo(12, 7.5);
    hands.lineTo(12, 12);
    hands.lineTo(15, 14);
    painter.drawPath(hands);
}

void drawMore(QPainter &painter, const QColor &color)
{
    painter.setPen(Qt::NoPen);
    painter.setBrush(color);
    for (qreal x : {6.0, 12.0, 18.0})
        painter.drawEllipse(QPointF(x, 12), 1.8, 1.8);
}

} // namespace

NoteHeaderBar::NoteHeaderBar(QWidget *parent)
    : QFrame(parent)
    , m_focusToggle(new QToolButton(this))
    , m_chip(new QPushButton(tr("Unorganized"), this))
    , m_updated(new QLabel(this))
    , m_copyMenu(new QMenu(this))
    , m_moreMenu(new QMenu(this))
{
    setObjectName(QStringLiteral("noteHeaderBar"));
    setFrameShape(QFrame::NoFrame);
    setAutoFillBackground(true);
    setFixedHeight(40);
    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(8, 6, 10, 6);

    m_focusToggle->setObjectName(QStringLiteral("focusToggle"));
    m_focusToggle->setAutoRaise(true);
    m_focusToggle->setFocusPolicy(Qt::NoFocus);
    m_focusToggle->setFixedSize(28, 28);
    m_focusToggle->setIconSize(QSize(FocusIconSize, FocusIconSize));
    m_focusToggle->setToolTip(tr("Toggle sidebars (Ctrl+\\)"));
    m_focusToggle->setCursor(Qt::PointingHandCursor);
    connect(m_focusToggle, &QToolButton::clicked, this, &NoteHeaderBar::focusToggleClicked);
    layout->addWidget(m_focusToggle);

    m_chip->setObjectName(QStringLiteral("notebookChip"));
    m_chip->setFlat(true);
    m_chip->setFocusPolicy(Qt::NoFocus);
    m_chip->setIconSize(QSize(ChipIconSize, ChipIconSize));
    m_chip->setToolTip(tr("Open this notebook"));
    m_chip->setCursor(Qt::PointingHandCursor);
    connect(m_chip, &QPushButton::clicked, this, &NoteHeaderBar::notebookChipClicked);
    layout->addWidget(m_chip);
    layout->addStretch(1);

    m_updated->setObjectName(QStringLiteral("updatedLabel"));
    m_updated->setForegroundRole(QPalette::PlaceholderText);
    QFont metaFont(QStringLiteral("IBM Plex Mono"));
    metaFont.setPixelSize(11);
    m_updated->setFont(metaFont);
    m_updated->setContentsMargins(0, 0, 10, 0);
    layout->addWidget(m_updated);

    m_copy = addToolButton(QStringLiteral("copyButton"), tr("Copy\u2026"));
    connect(m_copyMenu->addAction(tr("Copy as Plain Text")), &QAction::triggered, this,
            &NoteHeaderBar::copyAsPlainTextRequested);
    connect(m_copyMenu->addAction(tr("Copy as Markdown")), &QAction::triggered, this,
            &NoteHeaderBar::copyAsMarkdownRequested);
    connect(m_copyMenu->addAction(tr("Copy as HTML")), &QAction::triggered, this,
            &NoteHeaderBar::copyAsHtmlRequested);
    m_copy->setMenu(m_copyMenu);
    m_copy->setPopupMode(QToolButton::InstantPopup);

    m_share = addToolButton(QStringLiteral("shareButton"), tr("Share note"));
    connect(m_share, &QToolButton::clicked, this, &NoteHeaderBar::shareRequested);
    m_history = addToolButton(QStringLiteral("historyButton"), tr("Version history"));
    connect(m_history, &QToolButton::clicked, this, &NoteHeaderBar::historyRequested);

    m_more = addToolButton(QStringLiteral("moreButton"), tr("More actions"));
    m_includeAction = m_moreMenu->addAction(tr("Include in To-Dos"));
    m_includeAction->setCheckable(true);
    m_includeAction->setChecked(true);
    connect(m_includeAction, &QAction::toggled, this, &NoteHeaderBar::includeInTodosToggled);
    m_moreMenu->addSeparator();
    connect(m_moreMenu->addAction(tr("Move to Notebook\u2026")), &QAction::triggered, this,
            &NoteHeaderBar::moveToNotebookRequested);
    m_exportAction = m_moreMenu->addAction(tr("Export\u2026"));
    connect(m_exportAction, &QAction::triggered, this, &NoteHeaderBar::exportRequested);
    m_printAction = m_moreMenu->addAction(tr("Print\u2026"));
    // Shown in the menu only: the window's own Print entry owns the key.
    m_printAction->setShortcut(QKeySequence::Print);
    m_printAction->setShortcutContext(Qt::WidgetShortcut);
    connect(m_printAction, &QAction::triggered, this, &NoteHeaderBar::printRequested);
    m_moreMenu->addSeparator();
    connect(m_moreMenu->addAction(tr("Move to Trash")), &QAction::triggered, this, &NoteHeaderBar::deleteRequested);
    m_moreMenu->setToolTipsVisible(true);
    m_more->setMenu(m_moreMenu);
    m_more->setPopupMode(QToolButton::InstantPopup);

    for (QToolButton *button : {m_copy, m_more}) {
        // The glyph says it opens a menu; the style's arrow would crowd it.
        button->setStyleSheet(QStringLiteral("QToolButton::menu-indicator { image: none; width: 0px; }"));
    }

    applyTheme();
    updateEnabled();
}

QToolButton *NoteHeaderBar::addToolButton(const QString &objectName, const QString &toolTip)
{
    auto *button = new QToolButton(this);
    button->setObjectName(objectName);
    button->setToolTip(toolTip);
    button->setAutoRaise(true);
    button->setCursor(Qt::PointingHandCursor);
    button->setFocusPolicy(Qt::NoFocus);
    button->setFixedSize(32, 28);
    button->setIconSize(QSize(ToolIconSize, ToolIconSize));
    layout()->addWidget(button);
    return button;
}

void NoteHeaderBar::setEditable(bool on)
{
    m_editable = on;
    if (!on)
        m_updated->clear();
    updateEnabled();
}

void NoteHeaderBar::setCanShare(bool on)
{
    m_canShare = on;
    updateEnabled();
}

void NoteHeaderBar::updateEnabled()
{
    for (QWidget *control : {static_cast<QWidget *>(m_chip), static_cast<QWidget *>(m_copy),
                             static_cast<QWidget *>(m_history), static_cast<QWidget *>(m_more)})
        control->setEnabled(m_editable);
    m_share->setEnabled(m_editable && m_canShare);
}

void NoteHeaderBar::setFocusMode(bool on)
{
    m_focusMode = on;
    m_focusToggle->setIcon(QIcon(glyphPixmap(on ? Glyph::SidebarsHidden : Glyph::SidebarsShown, FocusIconSize,
                                             palette().color(QPalette::WindowText))));
}

void NoteHeaderBar::setFocusToggleVisible(bool visible)
{
    m_focusToggle->setVisible(visible);
}

void NoteHeaderBar::setNotebookName(const QString &name)
{
    m_chip->setText(name.isEmpty() ? tr("Unorganized") : name);
}

QString NoteHeaderBar::notebookName() const
{
    return m_chip->text();
}

void NoteHeaderBar::setUpdatedText(const QString &text)
{
    m_updated->setText(text);
}

QString NoteHeaderBar::updatedText() const
{
    return m_updated->text();
}

void NoteHeaderBar::setIncludeInTodos(bool on)
{
    const QSignalBlocker blocker(m_includeAction);
    m_includeAction->setChecked(on);
}

bool NoteHeaderBar::includeInTodos() const
{
    return m_includeAction->isChecked();
}

QString NoteHeaderBar::chipStyleSheet(const QPalette &palette)
{
    const bool light = !isDarkPalette(palette);
    return QStringLiteral("QPushButton {  background-color: %1;  color: %3;  border: none;  border-radius: 10px;  "
                          "padding: 3px 10px 3px 8px;  font-family: 'IBM Plex Sans';  font-size: 12px;  "
                          "font-weight: 500;  text-align: left;}QPushButton:hover { background-color: %2; }")
        .arg(light ? QStringLiteral("#EFF1F4") : QStringLiteral("#2A2D31"),
             light ? QStringLiteral("#E4E7EC") : QStringLiteral("#34383D"),
             light ? QStringLiteral("#2B3138") : QStringLiteral("#D7DBE0"));
}

QPixmap NoteHeaderBar::glyphPixmap(Glyph glyph, int size, const QColor &color)
{
    QPixmap pixmap(size * 2, size * 2);
    pixmap.setDevicePixelRatio(2.0);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.scale(size / Grid, size / Grid);
    painter.setPen(glyphPen(color));
    painter.setBrush(Qt::NoBrush);
    switch (glyph) {
    case Glyph::SidebarsShown:
    case Glyph::SidebarsHidden:
        drawSidebars(painter, glyph == Glyph::SidebarsHidden);
        break;
    case Glyph::Notebook:
        drawNotebook(painter);
        break;
    case Glyph::Copy:
        drawCopy(painter);
        break;
    case Glyph::Share:
        drawShare(painter);
        break;
    case Glyph::History:
        drawHistory(painter);
        break;
    case Glyph::More:
        drawMore(painter, color);
        break;
    }
    return pixmap;
}

void NoteHeaderBar::applyTheme()
{
    if (m_applyingTheme)
        return;
    m_applyingTheme = true;
    // The chip's colours follow the application's theme, not this bar's.
    m_chip->setStyleSheet(chipStyleSheet(QGuiApplication::palette()));
    const QColor ink = palette().color(QPalette::WindowText);
    m_chip->setIcon(QIcon(glyphPixmap(Glyph::Notebook, ChipIconSize, ink)));
    m_copy->setIcon(QIcon(glyphPixmap(Glyph::Copy, ToolIconSize, ink)));
    m_share->setIcon(QIcon(glyphPixmap(Glyph::Share, ToolIconSize, ink)));
    m_history->setIcon(QIcon(glyphPixmap(Glyph::History, ToolIconSize, ink)));
    m_more->setIcon(QIcon(glyphPixmap(Glyph::More, ToolIconSize, ink)));
    setFocusMode(m_focusMode);
    m_applyingTheme = false;
}

void NoteHeaderBar::changeEvent(QEvent *event)
{
    QFrame::changeEvent(event);
    if (event->type() == QEvent::PaletteChange || event->type() == QEvent::ApplicationPaletteChange)
        applyTheme();
}
