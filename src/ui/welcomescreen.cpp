#include "welcomescreen.h"

#include <QEvent>
#include <QFrame>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

QLabel *centredLabel(const QString &text, QWidget *parent)
{
    auto *label = new QLabel(text, parent);
    label->setAlignment(Qt::AlignHCenter);
    label->setWordWrap(true);
    return label;
}

// Text between the palette's text and background colours, for the quieter lines.
QColor mutedColor(const QPalette &palette)
{
    const QColor text = palette.color(QPalette::WindowText);
    const QColor base = palette.color(QPalette::Base);
    return QColor::fromRgbF(text.redF() * 0.6f + base.redF() * 0.4f, text.greenF() * 0.6f + base.greenF() * 0.4f,
                            text.blueF() * 0.6f + base.blueF() * 0.4f);
}

} // namespace

WelcomeScreen::WelcomeScreen(QWidget *parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("welcomeScreen"));
    setBackgroundRole(QPalette::Base);
    setAutoFillBackground(true);

    auto *column = new QWidget(this);
    column->setMaximumWidth(440);
    auto *columnLayout = new QVBoxLayout(column);
    columnLayout->setContentsMargins(24, 24, 24, 24);
    columnLayout->setSpacing(0);

    m_icon = new QLabel(column);
    m_icon->setAlignment(Qt::AlignHCenter);
    m_icon->setPixmap(QIcon(QStringLiteral(":/icons/app-icon.png")).pixmap(72, 72));
    columnLayout->addWidget(m_icon);
    columnLayout->addSpacing(20);

    m_title = centredLabel(tr("Lumora Notes"), column);
    m_title->setObjectName(QStringLiteral("welcomeTitle"));
    QFont titleFont = m_title->font();
    titleFont.setPixelSize(30);
    titleFont.setWeight(QFont::DemiBold);
    m_title->setFont(titleFont);
    columnLayout->addWidget(m_title);
    columnLayout->addSpacing(10);

    m_tagline = centredLabel(tr("Fast, search-first notes that live on your computer.\n"
                                "Write anything, and find it again as you type."),
                             column);
    QFont taglineFont = m_tagline->font();
    taglineFont.setPixelSize(15);
    m_tagline->setFont(taglineFont);
    columnLayout->addWidget(m_tagline);
    columnLayout->addSpacing(28);

    m_newNoteButton = new QPushButton(tr("New Note"), column);
    m_newNoteButton->setObjectName(QStringLiteral("welcomePrimary"));
    m_newNoteButton->setDefault(true);
    m_newNoteButton->setCursor(Qt::PointingHandCursor);
    m_continueButton = new QPushButton(tr("Continue"), column);
    m_continueButton->setToolTip(tr("Go to your notes"));
    m_continueButton->setCursor(Qt::PointingHandCursor);
    QFont buttonFont = m_newNoteButton->font();
    buttonFont.setPixelSize(14);
    for (QPushButton *button : { m_newNoteButton, m_continueButton }) {
        button->setFont(buttonFont);
        button->setMinimumSize(160, 38);
        columnLayout->addWidget(button, 0, Qt::AlignHCenter);
        columnLayout->addSpacing(8);
    }
    columnLayout->addSpacing(24);

    m_accountRow = new QWidget(column);
    auto *accountLayout = new QVBoxLayout(m_accountRow);
    accountLayout->setContentsMargins(0, 0, 0, 0);
    accountLayout->setSpacing(10);
    auto *rule = new QFrame(m_accountRow);
    rule->setFrameShape(QFrame::HLine);
    rule->setFrameShadow(QFrame::Plain);
    rule->setObjectName(QStringLiteral("welcomeRule"));
    accountLayout->addWidget(rule);
    m_accountText = centredLabel(tr("Sign in to keep your notes in step across your computers."), m_accountRow);
    accountLayout->addWidget(m_accountText);
    m_signInButton = new QPushButton(tr("Sign In"), m_accountRow);
    m_signInButton->setFont(buttonFont);
    m_signInButton->setMinimumSize(160, 34);
    accountLayout->addWidget(m_signInButton, 0, Qt::AlignHCenter);
    columnLayout->addWidget(m_accountRow);

    auto *outer = new QVBoxLayout(this);
    outer->addStretch(2);
    auto *centreRow = new QHBoxLayout;
    centreRow->addStretch(1);
    centreRow->addWidget(column, 4);
    centreRow->addStretch(1);
    outer->addLayout(centreRow);
    outer->addStretch(3);

    connect(m_newNoteButton, &QPushButton::clicked, this, &WelcomeScreen::newNoteRequested);
    connect(m_continueButton, &QPushButton::clicked, this, &WelcomeScreen::dismissed);
    connect(m_signInButton, &QPushButton::clicked, this, &WelcomeScreen::signInRequested);

    refresh();
}

void WelcomeScreen::setSignedIn(bool signedIn)
{
    if (signedIn == m_signedIn)
        return;
    m_signedIn = signedIn;
    refresh();
}

void WelcomeScreen::setSignInAvailable(bool available)
{
    if (available == m_signInAvailable)
        return;
    m_signInAvailable = available;
    refresh();
}

void WelcomeScreen::refresh()
{
    // Setting a style sheet sends palette and style events of its own.
    m_refreshing = true;
    m_accountRow->setVisible(!m_signedIn);
    m_signInButton->setEnabled(m_signInAvailable);
    m_signInButton->setToolTip(m_signInAvailable ? tr("Sign in to sync your notes")
                                                : tr("Signing in is not available in this build yet."));

    const QPalette pal = palette();
    const QString muted = mutedColor(pal).name();
    const QColor accent = pal.color(QPalette::Highlight);
    m_tagline->setStyleSheet(QStringLiteral("color: %1;").arg(muted));
    m_accountText->setStyleSheet(QStringLiteral("color: %1;").arg(muted));
    findChild<QFrame *>(QStringLiteral("welcomeRule"))
        ->setStyleSheet(QStringLiteral("color: %1;").arg(pal.color(QPalette::Mid).name()));
    m_newNoteButton->setStyleSheet(
        QStringLiteral("QPushButton { background: %1; color: %2; border: none; border-radius: 6px;"
                       " padding: 6px 22px; }"
                       "QPushButton:hover { background: %3; }"
                       "QPushButton:pressed { background: %4; }")
            .arg(accent.name(), pal.color(QPalette::HighlightedText).name(), accent.lighter(112).name(),
                 accent.darker(112).name()));
    m_refreshing = false;
}

void WelcomeScreen::changeEvent(QEvent *event)
{
    QWidget::changeEvent(event);
    // Palette changes arrive during construction too, before there is a page.
    if (event->type() == QEvent::PaletteChange && m_signInButton && !m_refreshing)
        refresh();
}
