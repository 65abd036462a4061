#include "settingsdialog.h"

#include "app/appstate.h"
#include "app/thememanager.h"
#include "document/textformats.h"
#include "storage/preferencesrepository.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QSpinBox>
#include <QStackedWidget>
#include <QStyle>
#include <QVBoxLayout>

namespace {

enum Category { Appearance, Editor, Window, Sync, Account };

struct CategoryColours
{
    const char *background, *itemText, *hover, *selectedBackground, *selectedText;
    // Not part of the list: the divider beside it and the descriptions.
    const char *divider, *muted;
};

CategoryColours coloursFor(bool dark)
{
    if (dark)
        return {"#1B1E22", "#D7DBE0", "#24272C", "#30343A", "#FFFFFF", "#2C3036", "#A3AAB3"};
    return {"#F2F4F7", "#2B3138", "#E6E9EE", "#D9E1EA", "#1A1F26", "#DDE1E6", "#5B6570"};
}

QString signInUnavailableText()
{
    return SettingsDialog::tr("Account sign-in is not available in this build yet.");
}

// Line icons drawn on a 20 × 20 grid, so they stay sharp at any pixel ratio.
void drawCategoryIcon(QPainter &p, int category, const QColor &colour)
{
    QPen pen(colour, 1.6, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    p.setPen(pen);
    p.setBrush(Qt::NoBrush);
    switch (category) {
    case Appearance: {
        // A circle half filled: light and dark.
        const QRectF circle(3.2, 3.2, 13.6, 13.6);
        p.drawEllipse(circle);
        QPainterPath half;
        half.moveTo(circle.center());
        half.arcTo(circle, 90, -180);
        half.closeSubpath();
        p.fillPath(half, colour);
        break;
    }
    case Editor: {
        // A pencil over a writing line.
        QPainterPath pencil;
        pencil.moveTo(4.2, 15.8);
        pencil.lineTo(5.0, 12.4);
        pencil.lineTo(12.6, 4.8);
        pencil.lineTo(15.2, 7.4);
        pencil.lineTo(7.6, 15.0);
        pencil.closeSubpath();
        p.drawPath(pencil);
        p.drawLine(QPointF(10.8, 6.6), QPointF(13.4, 9.2));
        p.drawLine(QPointF(11.0, 16.2), QPointF(16.2, 16.2));
        break;
    }
    case Window: {
        // A window with a title bar.
        p.drawRoundedRect(QRectF(2.8, 4.0, 14.4, 12.0), 2.2, 2.2);
        p.drawLine(QPointF(2.8, 7.8), QPointF(17.2, 7.8));
        p.setPen(Qt::NoPen);
        p.setBrush(colour);
        p.drawEllipse(QPointF(5.4, 5.9), 0.8, 0.8);
        p.drawEllipse(QPointF(7.8, 5.9), 0.8, 0.8);
        break;
    }
    case Sync: {
        // Two arrows chasing each other round a circle.
        const QRectF circle(3.6, 3.6, 12.8, 12.8);
        p.drawArc(circle, 30 * 16, 130 * 16);
        p.drawArc(circle, 210 * 16, 130 * 16);
        const auto arrowHead = [&p](QPointF tip, QPointF a, QPointF b) {
            p.drawLine(tip, a);
            p.drawLine(tip, b);
        };
        // Ends of the arcs at 160° and 340°.
        arrowHead(QPointF(3.99, 7.81), QPointF(3.4, 4.8), QPointF(6.6, 6.4));
        arrowHead(QPointF(16.01, 12.19), QPointF(16.6, 15.2), QPointF(13.4, 13.6));
        break;
    }
    case Account: {
        // Head and shoulders.
        p.drawEllipse(QPointF(10.0, 7.0), 3.2, 3.2);
        QPainterPath shoulders;
        shoulders.moveTo(3.8, 16.8);
        shoulders.cubicTo(4.4, 13.2, 7.0, 11.8, 10.0, 11.8);
        shoulders.cubicTo(13.0, 11.8, 15.6, 13.2, 16.2, 16.8);
        p.drawPath(shoulders);
        break;
    }
    default:
        break;
    }
}

QPixmap categoryPixmap(int category, const QColor &colour, qreal ratio)
{
    const int side = 20;
    QPixmap pixmap(QSize(side, side) * ratio);
    pixmap.setDevicePixelRatio(ratio);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    drawCategoryIcon(p, category, colour);
    return pixmap;
}

QIcon categoryIcon(int category, const QColor &normal, const QColor &selected)
{
    QIcon icon;
    for (const qreal ratio : {1.0, 1.5, 2.0, 3.0}) {
        icon.addPixmap(categoryPixmap(category, normal, ratio), QIcon::Normal);
        icon.addPixmap(categoryPixmap(category, selected, ratio), QIcon::Selected);
    }
    return icon;
}

QFont scaledFont(const QFont &base, qreal factor, QFont::Weight weight)
{
    QFont font = base;
    if (font.pointSizeF() > 0)
        font.setPointSizeF(font.pointSizeF() * factor);
    else
        font.setPixelSize(qRound(font.pixelSize() * factor));
    font.setWeight(weight);
    return font;
}

// Fusion's buttons hug their text; give them room to breathe.
QPushButton *roomyButton(const QString &text, const QString &objectName)
{
    auto *button = new QPushButton(text);
    button->setObjectName(objectName);
    button->setMinimumWidth(std::max(96, button->sizeHint().width() + 20));
    return button;
}

// A label and a control side by side, left aligned.
QHBoxLayout *addRow(QVBoxLayout *layout, const QString &label, QWidget *control)
{
    auto *row = new QHBoxLayout;
    row->setSpacing(12);
    auto *caption = new QLabel(label);
    caption->setBuddy(control);
    row->addWidget(caption);
    row->addWidget(control);
    row->addStretch(1);
    layout->addLayout(row);
    return row;
}

} // namespace

SettingsDialog::SettingsDialog(AppState *state, QWidget *parent)
    : QDialog(parent)
    , m_preferences(state->preferences())
{
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(tr("Preferences"));
    setMinimumSize(720, 520);

    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    m_categories = new QListWidget(this);
    m_categories->setObjectName(QStringLiteral("categoryList"));
    m_categories->setFixedWidth(190);
    m_categories->setFrameShape(QFrame::NoFrame);
    m_categories->setFocusPolicy(Qt::NoFocus);
    m_categories->setSpacing(2);
    m_categories->setIconSize(QSize(20, 20));
    m_categories->addItems({tr("Appearance"), tr("Editor"), tr("Window"), tr("Sync"), tr("Account")});
    layout->addWidget(m_categories);

    auto *divider = new QFrame(this);
    divider->setFrameShape(QFrame::VLine);
    divider->setFrameShadow(QFrame::Plain);
    m_divider = divider;
    layout->addWidget(divider);

    m_pages = new QStackedWidget(this);
    m_pages->setObjectName(QStringLiteral("pageStack"));
    m_pages->addWidget(createAppearancePage());
    m_pages->addWidget(createEditorPage());
    m_pages->addWidget(createWindowPage());
    m_pages->addWidget(createSyncPage());
    m_pages->addWidget(createAccountPage());
    layout->addWidget(m_pages, 1);

    connect(m_categories, &QListWidget::currentRowChanged, this, &SettingsDialog::onCategoryChanged);
    m_categories->setCurrentRow(0);

    applyTheme();
    if (ThemeManager *theme = state->themeManager())
        connect(theme, &ThemeManager::themeChanged, this, &SettingsDialog::applyTheme);
    refreshAccountState();
}

QString SettingsDialog::categoryStyleSheet(bool dark)
{
    const CategoryColours c = coloursFor(dark);
    return QStringLiteral("QListWidget {  background: %1;  border: none;  padding: 14px 10px;  "
                          "font-family: 'IBM Plex Sans';  font-size: 13px;}"
                          "QListWidget::item {  color: %2;  padding: 9px 12px;  border-radius: 6px;}"
                          "QListWidget::item:hover { background: %3; }"
                          "QListWidget::item:selected { background: %4; color: %5; }")
        .arg(QLatin1String(c.background), QLatin1String(c.itemText), QLatin1String(c.hover),
             QLatin1String(c.selectedBackground), QLatin1String(c.selectedText));
}

void SettingsDialog::onCategoryChanged(int row)
{
    if (row < 0 || row >= m_pages->count())
        return;
    m_pages->setCurrentIndex(row);
    // Called directly, the list follows too.
    m_categories->setCurrentRow(row);
}

void SettingsDialog::setSignedIn(bool signedIn, const QString &userName)
{
    m_signedIn = signedIn;
    m_userName = signedIn ? userName : QString();
    refreshAccountState();
}

void SettingsDialog::setSyncStatusText(const QString &text)
{
    m_syncStatusText = text;
    refreshAccountState();
}

void SettingsDialog::setAccountAvailable(bool available)
{
    m_accountAvailable = available;
    refreshAccountState();
}

void SettingsDialog::applyTheme()
{
    const bool dark = isDarkPalette();
    const CategoryColours c = coloursFor(dark);
    m_categories->setStyleSheet(categoryStyleSheet(dark));
    const QColor itemText{QLatin1String(c.itemText)}, selectedText{QLatin1String(c.selectedText)};
    for (int row = 0; row < m_categories->count(); ++row)
        m_categories->item(row)->setIcon(categoryIcon(row, itemText, selectedText));

    QPalette dividerPalette = m_divider->palette();
    dividerPalette.setColor(QPalette::WindowText, QColor(QLatin1String(c.divider)));
    m_divider->setPalette(dividerPalette);

    const QColor muted{QLatin1String(c.muted)};
    for (QLabel *label : std::as_const(m_mutedLabels)) {
        QPalette palette = label->palette();
        palette.setColor(QPalette::WindowText, muted);
        label->setPalette(palette);
    }
}

void SettingsDialog::refreshAccountState()
{
    m_syncStatusLabel->setText(!m_signedIn              ? tr("Not signed in")
                                   : m_syncStatusText.isEmpty() ? tr("Signed in")
                                                                : m_syncStatusText);
    m_syncNowButton->setEnabled(m_signedIn);
    m_syncNowButton->setToolTip(m_signedIn ? tr("Push pending changes and pull the latest from the server.")
                                           : tr("Sign in to your Lumora account to sync."));

    m_accountNameLabel->setText(m_signedIn && !m_userName.isEmpty() ? m_userName : QStringLiteral("—"));
    // Signed out there is only something to sign in to; signed in, the
    // account can be managed or left.
    m_signInButton->setVisible(!m_signedIn);
    m_manageAccountButton->setVisible(m_signedIn);
    m_signOutButton->setVisible(m_signedIn);
    for (QPushButton *button : {m_signInButton, m_manageAccountButton, m_signOutButton}) {
        button->setEnabled(m_accountAvailable);
        button->setToolTip(m_accountAvailable ? QString() : signInUnavailableText());
    }
    m_accountNotice->setVisible(!m_accountAvailable);
}

SettingsDialog::Page SettingsDialog::createPage(const QString &title)
{
    auto *widget = new QWidget(this);
    auto *layout = new QVBoxLayout(widget);
    layout->setContentsMargins(32, 26, 32, 24);
    layout->setSpacing(0);

    auto *titleLabel = new QLabel(title, widget);
    titleLabel->setObjectName(QStringLiteral("pageTitle"));
    titleLabel->setFont(scaledFont(font(), 1.6, QFont::Bold));
    layout->addWidget(titleLabel);
    layout->addSpacing(18);
    return {widget, layout};
}

QVBoxLayout *SettingsDialog::addGroup(const Page &page, const QString &heading, const QString &description)
{
    if (page.layout->count() > 2)
        page.layout->addSpacing(26);
    auto *headingLabel = new QLabel(heading, page.widget);
    headingLabel->setFont(scaledFont(font(), 1.08, QFont::Bold));
    page.layout->addWidget(headingLabel);
    page.layout->addSpacing(4);
    if (!description.isEmpty())
        addMutedLabel(page.layout, description);
    page.layout->addSpacing(12);

    auto *controls = new QVBoxLayout;
    controls->setSpacing(10);
    page.layout->addLayout(controls);
    return controls;
}

QLabel *SettingsDialog::addMutedLabel(QVBoxLayout *layout, const QString &text)
{
    auto *label = new QLabel(text);
    label->setWordWrap(true);
    label->setTextInteractionFlags(Qt::NoTextInteraction);
    layout->addWidget(label);
    m_mutedLabels.append(label);
    return label;
}

QCheckBox *SettingsDialog::addCheckBox(QVBoxLayout *layout, const QString &text, const QString &key,
                                       bool defaultValue, const QString &hint)
{
    auto *box = new QCheckBox(text);
    box->setChecked(m_preferences->getBool(key, defaultValue));
    connect(box, &QCheckBox::toggled, this, [this, key](bool on) { m_preferences->setBool(key, on); });
    if (hint.isEmpty()) {
        layout->addWidget(box);
        return box;
    }
    // The hint sits under the check box's text, not under its indicator.
    auto *block = new QVBoxLayout;
    block->setSpacing(2);
    block->addWidget(box);
    const int indent = style()->pixelMetric(QStyle::PM_IndicatorWidth, nullptr, box)
        + style()->pixelMetric(QStyle::PM_CheckBoxLabelSpacing, nullptr, box);
    auto *hintLayout = new QVBoxLayout;
    hintLayout->setContentsMargins(indent, 0, 0, 0);
    addMutedLabel(hintLayout, hint);
    block->addLayout(hintLayout);
    layout->addLayout(block);
    return box;
}

QSpinBox *SettingsDialog::addSpinBox(QVBoxLayout *layout, const QString &label, const QString &key,
                                     int defaultValue, int minimum, int maximum, const QString &suffix)
{
    auto *spin = new QSpinBox;
    spin->setRange(minimum, maximum);
    spin->setSuffix(suffix);
    spin->setMinimumWidth(96);
    // A stored value outside the range shows clamped but is only written
    // when the user changes it.
    spin->setValue(m_preferences->getInt(key, defaultValue));
    connect(spin, &QSpinBox::valueChanged, this, [this, key](int value) { m_preferences->setInt(key, value); });
    addRow(layout, label, spin);
    return spin;
}

QWidget *SettingsDialog::createAppearancePage()
{
    const Page page = createPage(tr("Appearance"));
    QVBoxLayout *theme = addGroup(page, tr("Theme"),
                                  tr("Choose how Lumora Notes looks. System follows your desktop's light or dark "
                                     "mode automatically."));
    auto *combo = new QComboBox;
    combo->setObjectName(QStringLiteral("themeCombo"));
    combo->setMinimumWidth(160);
    combo->addItem(tr("System"), QStringLiteral("system"));
    combo->addItem(tr("Light"), QStringLiteral("light"));
    combo->addItem(tr("Dark"), QStringLiteral("dark"));
    const QString stored = m_preferences->getString(QStringLiteral("theme_mode"), QStringLiteral("system"));
    combo->setCurrentIndex(std::max(0, combo->findData(stored)));
    connect(combo, &QComboBox::currentIndexChanged, this, [this, combo](int index) {
        m_preferences->setString(QStringLiteral("theme_mode"), combo->itemData(index).toString());
    });
    addRow(theme, tr("Theme"), combo);
    page.layout->addStretch(1);
    return page.widget;
}

QWidget *SettingsDialog::createEditorPage()
{
    const Page page = createPage(tr("Editor"));
    QVBoxLayout *layoutGroup
        = addGroup(page, tr("Layout"),
                   tr("Steno mode flips the note list so the oldest note is at the top and the search bar moves "
                      "to the bottom — a steno-pad feel for rapid capture."));
    addCheckBox(layoutGroup, tr("Enable Steno mode"), QStringLiteral("steno_mode"), false)
        ->setObjectName(QStringLiteral("stenoModeCheck"));

    QVBoxLayout *typography = addGroup(
        page, tr("Typography"), tr("Adjust the base size of the note body. Headings and code scale along with it."));
    addSpinBox(typography, tr("Body size"), QStringLiteral("editor_body_pt"), 12, 9, 18, tr(" pt"))
        ->setObjectName(QStringLiteral("bodySizeSpin"));
    page.layout->addStretch(1);
    return page.widget;
}

QWidget *SettingsDialog::createWindowPage()
{
    const Page page = createPage(tr("Window"));
    QVBoxLayout *tray = addGroup(
        page, tr("System Tray"),
        tr("Keep Lumora Notes running in the background for instant capture without a cold start."));
    addCheckBox(tray, tr("Close to tray"), QStringLiteral("close_to_tray"), false,
                tr("When enabled, closing the window hides it to the system tray instead of quitting."))
        ->setObjectName(QStringLiteral("closeToTrayCheck"));
    tray->addSpacing(4);
    addCheckBox(tray, tr("Start minimized to tray"), QStringLiteral("start_minimized"), false,
                tr("Launch Lumora Notes directly to the tray — useful for autostart at login."))
        ->setObjectName(QStringLiteral("startMinimizedCheck"));
    page.layout->addStretch(1);
    return page.widget;
}

QWidget *SettingsDialog::createSyncPage()
{
    const Page page = createPage(tr("Sync"));
    QVBoxLayout *status = addGroup(page, tr("Status"), tr("Current sync state and a quick manual trigger."));
    auto *statusRow = new QHBoxLayout;
    statusRow->setSpacing(12);
    m_syncStatusLabel = new QLabel;
    m_syncStatusLabel->setObjectName(QStringLiteral("syncStatusLabel"));
    m_syncStatusLabel->setWordWrap(true);
    statusRow->addWidget(m_syncStatusLabel, 1);
    m_syncNowButton = roomyButton(tr("Sync now"), QStringLiteral("syncNowButton"));
    connect(m_syncNowButton, &QPushButton::clicked, this, &SettingsDialog::syncNowRequested);
    statusRow->addWidget(m_syncNowButton);
    status->addLayout(statusRow);

    // The sync engine follows these as they change; they are kept even while
    // no account is signed in.
    QVBoxLayout *automatic = addGroup(page, tr("Automatic Sync"),
                                      tr("Push local changes and pull updates from the server in the background."));
    QCheckBox *autoSync = addCheckBox(automatic, tr("Enable automatic sync"), QStringLiteral("auto_sync"), true);
    autoSync->setObjectName(QStringLiteral("autoSyncCheck"));
    QSpinBox *interval
        = addSpinBox(automatic, tr("Interval:"), QStringLiteral("sync_interval_minutes"), 5, 1, 120, tr(" min"));
    interval->setObjectName(QStringLiteral("syncIntervalSpin"));
    interval->setEnabled(autoSync->isChecked());
    connect(autoSync, &QCheckBox::toggled, interval, &QWidget::setEnabled);

    QVBoxLayout *notifications = addGroup(page, tr("Notifications"), tr("Toast messages about sync state."));
    addCheckBox(notifications, tr("Show a banner when offline"), QStringLiteral("show_offline_notification"), true)
        ->setObjectName(QStringLiteral("offlineBannerCheck"));
    page.layout->addStretch(1);
    return page.widget;
}

QWidget *SettingsDialog::createAccountPage()
{
    const Page page = createPage(tr("Account"));
    QVBoxLayout *account = addGroup(page, tr("Lumora Account"),
                                    tr("Your Lumora account unlocks cloud sync and sharing across devices."));
    m_accountNameLabel = new QLabel;
    m_accountNameLabel->setObjectName(QStringLiteral("accountNameLabel"));
    m_accountNameLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);
    addRow(account, tr("Signed in as"), m_accountNameLabel);

    auto *buttons = new QHBoxLayout;
    buttons->setSpacing(8);
    m_manageAccountButton = roomyButton(tr("Manage Account…"), QStringLiteral("manageAccountButton"));
    m_signInButton = roomyButton(tr("Sign In…"), QStringLiteral("signInButton"));
    m_signOutButton = roomyButton(tr("Sign Out"), QStringLiteral("signOutButton"));
    connect(m_manageAccountButton, &QPushButton::clicked, this, &SettingsDialog::manageAccountRequested);
    connect(m_signInButton, &QPushButton::clicked, this, &SettingsDialog::signInRequested);
    connect(m_signOutButton, &QPushButton::clicked, this, &SettingsDialog::signOutRequested);
    buttons->addWidget(m_manageAccountButton);
    buttons->addWidget(m_signInButton);
    buttons->addWidget(m_signOutButton);
    buttons->addStretch(1);
    account->addSpacing(4);
    account->addLayout(buttons);

    m_accountNotice = addMutedLabel(account, signInUnavailableText());
    m_accountNotice->setObjectName(QStringLiteral("accountNotice"));
    page.layout->addStretch(1);
    return page.widget;
}
