#include "accountscreen.h"

#include "accountclient.h"
#include "authclient.h"
#include "client.h"
#include "prompts.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QScrollArea>
#include <QStackedWidget>
#include <QTimer>
#include <QVBoxLayout>

namespace BrioAccount {

namespace {

const char *const ErrorStyle = "color: #C62828; padding: 4px;";
const char *const ConfirmationStyle = "color: #2E7D32; padding: 4px;";
const char *const DeleteButtonStyle =
    "QPushButton { color: white; background: #C62828; border: none;  border-radius: 4px; padding: 6px 16px; "
    "font-weight: 600; }QPushButton:hover { background: #B71C1C; }QPushButton:disabled { background: #666; }";
const char *const OwnerColour = "#00897B";
const char *const CurrentColour = "#2E7D32";
constexpr int MinimumPasswordLength = 8;

QLabel *colouredLabel(const QString &text, const char *colour)
{
    auto *label = new QLabel(text);
    label->setStyleSheet(QStringLiteral("color: %1; font-weight: 600;").arg(QLatin1String(colour)));
    return label;
}

// One entry of a list: text on the left, its buttons on the right.
QHBoxLayout *addRow(QVBoxLayout *layout)
{
    auto *row = new QHBoxLayout;
    row->setContentsMargins(0, 2, 0, 2);
    layout->addLayout(row);
    return row;
}

QPushButton *addButton(QBoxLayout *layout, const QString &text)
{
    auto *button = new QPushButton(text);
    layout->addWidget(button);
    return button;
}

// Server texts (names, user agents) are shown as they are, never as markup.
QLabel *plainLabel(const QString &text)
{
    auto *label = new QLabel(text);
    label->setTextFormat(Qt::PlainText);
    return label;
}

// Removes what the last load put into a panel.
void clearLayout(QLayout *layout)
{
    while (QLayoutItem *item = layout->takeAt(0)) {
        if (QWidget *widget = item->widget()) {
            widget->hide();
            // A button of this panel may be the sender of the current signal.
            widget->deleteLater();
        } else if (QLayout *inner = item->layout()) {
            clearLayout(inner);
        }
        delete item;
    }
}

} // namespace

QString lastActiveText(const QDateTime &time, const QDateTime &now)
{
    if (!time.isValid())
        return AccountScreen::tr("Unknown");
    const qint64 seconds = time.secsTo(now);
    if (seconds < 60)
        return AccountScreen::tr("Active now");
    if (seconds < 3600)
        return AccountScreen::tr("%1m ago").arg(seconds / 60);
    if (seconds < 86400)
        return AccountScreen::tr("%1h ago").arg(seconds / 3600);
    if (seconds < 604800)
        return AccountScreen::tr("%1d ago").arg(seconds / 86400);
    return time.toLocalTime().toString(QStringLiteral("MMM d, yyyy"));
}

AccountScreen::AccountScreen(Client *client, QWidget *parent)
    : QWidget(parent)
    , m_client(client)
    , m_prompts(std::make_unique<Prompts>())
    , m_categories(new QListWidget(this))
    , m_panels(new QStackedWidget(this))
    , m_status(new QLabel(this))
    , m_statusTimer(new QTimer(this))
{
    setMinimumSize(760, 520);
    m_categories->setFixedWidth(180);
    m_categories->setFrameShape(QFrame::NoFrame);
    m_categories->addItems({tr("Profile"), tr("Group"), tr("Devices"), tr("Security"), tr("Data & Privacy")});
    m_categories->setCurrentRow(0);
    connect(m_categories, &QListWidget::currentRowChanged, m_panels, &QStackedWidget::setCurrentIndex);

    m_profile = addPanel(tr("Profile"));
    m_group = addPanel(tr("Group"));
    m_devices = addPanel(tr("Devices"));
    m_security = addPanel(tr("Security"));
    m_data = addPanel(tr("Data & Privacy"));

    QVBoxLayout *danger = addSection(m_data.content, tr("Danger Zone"),
                                     tr("Permanently delete your account. This cannot be undone after 30 days."));
    m_deleteButton = new QPushButton(tr("Delete Account"));
    m_deleteButton->setStyleSheet(QLatin1String(DeleteButtonStyle));
    m_deleteButton->setCursor(Qt::PointingHandCursor);
    auto *deleteRow = new QHBoxLayout;
    deleteRow->addWidget(m_deleteButton);
    deleteRow->addStretch();
    danger->addLayout(deleteRow);
    m_ownerNote = addMuted(danger, tr("You are the group owner. Transfer ownership or remove all members before "
                                      "deleting your account."));
    connect(m_deleteButton, &QPushButton::clicked, this, &AccountScreen::deleteAccount);
    m_data.content->addStretch();

    m_status->setWordWrap(true);
    m_statusTimer->setSingleShot(true);
    m_statusTimer->setInterval(StatusTimeoutMs);
    connect(m_statusTimer, &QTimer::timeout, m_status, [this] {
        m_status->clear();
        m_status->setStyleSheet(QString());
    });

    auto *right = new QVBoxLayout;
    right->setContentsMargins(0, 0, 0, 0);
    right->setSpacing(0);
    right->addWidget(m_panels, 1);
    right->addWidget(m_status);
    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(m_categories);
    layout->addLayout(right, 1);

    // The role that decides the delete button travels in the access token,
    // which changes after joining or leaving a group.
    connect(m_client, &Client::claimsUpdated, this, &AccountScreen::updateDeleteState);
    applyTheme();
    refresh();
}

AccountScreen::~AccountScreen() = default;

void AccountScreen::setPrompts(std::unique_ptr<Prompts> prompts)
{
    m_prompts = std::move(prompts);
}

QString AccountScreen::categoryStyleSheet(const QPalette &palette)
{
    return QStringLiteral("QListWidget {  background: %1; border: none; padding: 12px 8px;}"
                          "QListWidget::item {  padding: 8px 12px; border-radius: 6px;}"
                          "QListWidget::item:hover { background: %2; }"
                          "QListWidget::item:selected { background: %3; color: %4; }")
        .arg(palette.color(QPalette::AlternateBase).name(), palette.color(QPalette::Mid).name(),
             palette.color(QPalette::Highlight).name(), palette.color(QPalette::HighlightedText).name());
}

void AccountScreen::applyTheme()
{
    m_categories->setStyleSheet(categoryStyleSheet(palette()));
}

void AccountScreen::changeEvent(QEvent *event)
{
    // The theme installs a new application palette.
    if (event->type() == QEvent::PaletteChange)
        applyTheme();
    QWidget::changeEvent(event);
}

AccountScreen::PanelPage AccountScreen::addPanel(const QString &title)
{
    auto *page = new QWidget;
    auto *layout = new QVBoxLayout(page);
    layout->setContentsMargins(24, 24, 24, 24);
    layout->setSpacing(12);
    auto *heading = new QLabel(title);
    QFont font = heading->font();
    font.setPointSizeF(font.pointSizeF() + 4);
    font.setWeight(QFont::DemiBold);
    heading->setFont(font);
    layout->addWidget(heading);

    auto *content = new QWidget;
    auto *contentLayout = new QVBoxLayout(content);
    contentLayout->setContentsMargins(0, 0, 0, 0);
    contentLayout->setSpacing(16);
    layout->addWidget(content, 1);

    // Long member or session lists scroll inside their panel.
    auto *scroll = new QScrollArea;
    scroll->setWidgetResizable(true);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setWidget(page);
    m_panels->addWidget(scroll);
    return {page, contentLayout};
}

QVBoxLayout *AccountScreen::addSection(QVBoxLayout *content, const QString &heading, const QString &description)
{
    auto *section = new QVBoxLayout;
    section->setSpacing(6);
    auto *title = new QLabel(heading);
    QFont bold = title->font();
    bold.setBold(true);
    title->setFont(bold);
    section->addWidget(title);

    auto *body = new QVBoxLayout;
    body->setContentsMargins(12, 0, 0, 0);
    body->setSpacing(6);
    if (!description.isEmpty())
        addMuted(body, description);
    section->addLayout(body);
    content->addLayout(section);
    return body;
}

QLabel *AccountScreen::addMuted(QVBoxLayout *layout, const QString &text)
{
    auto *label = new QLabel(text);
    label->setWordWrap(true);
    // Follows the application palette when the theme changes.
    label->setForegroundRole(QPalette::PlaceholderText);
    layout->addWidget(label);
    return label;
}

void AccountScreen::showStatus(const QString &message, const char *styleSheet)
{
    m_status->setStyleSheet(QLatin1String(styleSheet));
    m_status->setText(message);
    m_statusTimer->start();
}

void AccountScreen::showError(const QString &message)
{
    showStatus(message, ErrorStyle);
}

void AccountScreen::showConfirmation(const QString &message)
{
    showStatus(message, ConfirmationStyle);
}

bool AccountScreen::isGroupOwner() const
{
    return m_client->claims().role == QLatin1String("owner");
}

bool AccountScreen::isCurrentUser(const GroupMember &member) const
{
    if (!m_user.id.isEmpty() && member.accountId == m_user.id)
        return true;
    return !m_user.email.isEmpty() && member.email.compare(m_user.email, Qt::CaseInsensitive) == 0;
}

void AccountScreen::refresh()
{
    loadProfile();
    loadDevices();
    loadSessions();
    updateDeleteState();
}

void AccountScreen::loadProfile()
{
    m_client->authClient()->fetchCurrentUser(whileAlive(this, [this](const User &user) {
        m_user = user;
        clearLayout(m_profile.content);
        QVBoxLayout *personal = addSection(m_profile.content, tr("Personal Information"), QString());
        QLabel *name = plainLabel(tr("Display name: %1").arg(user.displayName.isEmpty() ? tr("(not set)")
                                                                                         : user.displayName));
        name->setObjectName(QStringLiteral("displayNameLabel"));
        personal->addWidget(name);
        QLabel *email = plainLabel(tr("Email: %1").arg(user.email));
        email->setObjectName(QStringLiteral("emailLabel"));
        personal->addWidget(email);
        QHBoxLayout *editRow = addRow(personal);
        connect(addButton(editRow, tr("Edit Display Name")), &QPushButton::clicked, this,
                &AccountScreen::editDisplayName);
        editRow->addStretch();

        QVBoxLayout *password = addSection(m_profile.content, tr("Password"), tr("Change your account password."));
        QHBoxLayout *passwordRow = addRow(password);
        connect(addButton(passwordRow, tr("Change Password")), &QPushButton::clicked, this,
                &AccountScreen::changePassword);
        passwordRow->addStretch();
        m_profile.content->addStretch();
        // Members are told apart from the user by the user's id.
        loadGroup();
    }));
}

void AccountScreen::editDisplayName()
{
    QString name;
    if (!m_prompts->askText(this, tr("Edit Display Name"), tr("Display name:"), QLineEdit::Normal, m_user.displayName,
                            &name))
        return;
    name = name.trimmed();
    // A failed update hands back the user as known before it.
    m_client->authClient()->updateProfile(name, whileAlive(this, [this, name](const User &user) {
        if (user.isEmpty() || user.displayName != name) {
            showError(tr("Failed to update profile."));
            return;
        }
        showConfirmation(tr("Display name updated."));
        loadProfile();
    }));
}

void AccountScreen::changePassword()
{
    const QString title = tr("Change Password");
    QString current, fresh, confirmation;
    if (!m_prompts->askText(this, title, tr("Current password:"), QLineEdit::Password, QString(), &current))
        return;
    if (!m_prompts->askText(this, title, tr("New password (min 8 characters):"), QLineEdit::Password, QString(),
                            &fresh))
        return;
    if (fresh.size() < MinimumPasswordLength) {
        showError(tr("Password must be at least 8 characters."));
        return;
    }
    if (!m_prompts->askText(this, title, tr("Confirm new password:"), QLineEdit::Password, QString(), &confirmation))
        return;
    if (confirmation != fresh) {
        showError(tr("Passwords do not match."));
        return;
    }
    m_client->authClient()->changePassword(current, fresh, whileAlive(this, [this](bool ok) {
        if (ok)
            showConfirmation(tr("Password changed."));
        else
            showError(tr("Failed to change password."));
    }));
}

void AccountScreen::loadGroup()
{
    m_client->accountClient()->getGroup(whileAlive(this, [this](const Group &group) { showGroup(group); }));
}

void AccountScreen::showGroup(const Group &group)
{
    clearLayout(m_group.content);
    QVBoxLayout *content = m_group.content;
    if (group.id.isEmpty()) {
        QVBoxLayout *none = addSection(content, tr("No Group"),
                                       tr("You're not part of a group. The group owner can invite you, or you can "
                                          "join with an invite code."));
        QHBoxLayout *row = addRow(none);
        connect(addButton(row, tr("Join with Invite Code")), &QPushButton::clicked, this, &AccountScreen::joinGroup);
        row->addStretch();
        content->addStretch();
        return;
    }

    const bool owner = isGroupOwner();
    QLabel *name = plainLabel(group.name);
    QFont font = name->font();
    font.setPointSizeF(font.pointSizeF() + 2);
    font.setBold(true);
    name->setFont(font);
    name->setObjectName(QStringLiteral("groupNameLabel"));
    content->addWidget(name);
    auto *seats = new QLabel(tr("%1 of %2 seats used").arg(group.members.size()).arg(group.maxSeats));
    seats->setObjectName(QStringLiteral("seatsLabel"));
    seats->setForegroundRole(QPalette::PlaceholderText);
    content->addWidget(seats);

    QVBoxLayout *members = addSection(content, tr("Members"), QString());
    for (const GroupMember &member : group.members) {
        QHBoxLayout *row = addRow(members);
        row->addWidget(plainLabel(member.displayName.isEmpty() ? member.email : member.displayName));
        if (!member.displayName.isEmpty() && !member.email.isEmpty()) {
            QLabel *email = plainLabel(member.email);
            email->setForegroundRole(QPalette::PlaceholderText);
            row->addWidget(email);
        }
        if (member.role == QLatin1String("owner"))
            row->addWidget(colouredLabel(tr("Owner"), OwnerColour));
        row->addStretch();
        if (owner && member.role != QLatin1String("owner") && !isCurrentUser(member)) {
            connect(addButton(row, tr("Remove")), &QPushButton::clicked, this,
                    [this, member] { removeMember(member); });
        }
    }

    if (owner) {
        QVBoxLayout *pending = addSection(content, tr("Pending Invitations"), QString());
        if (group.pendingInvitations.isEmpty())
            addMuted(pending, tr("No pending invitations."));
        for (const GroupInvitation &invitation : group.pendingInvitations) {
            QHBoxLayout *row = addRow(pending);
            row->addWidget(plainLabel(invitation.invitedEmail.isEmpty() ? tr("Invite code: %1").arg(invitation.inviteCode)
                                                                    : invitation.invitedEmail));
            row->addStretch();
            const QString id = invitation.id;
            connect(addButton(row, tr("Revoke")), &QPushButton::clicked, this, [this, id] { revokeInvitation(id); });
        }

        QVBoxLayout *invite = addSection(content, tr("Invite Members"), QString());
        QHBoxLayout *row = addRow(invite);
        connect(addButton(row, tr("Invite by Email")), &QPushButton::clicked, this, &AccountScreen::inviteByEmail);
        connect(addButton(row, tr("Generate Invite Code")), &QPushButton::clicked, this,
                &AccountScreen::generateInviteCode);
        row->addStretch();
    }

    QHBoxLayout *leaveRow = addRow(content);
    connect(addButton(leaveRow, tr("Leave Group")), &QPushButton::clicked, this, &AccountScreen::leaveGroup);
    leaveRow->addStretch();
    content->addStretch();
}

void AccountScreen::joinGroup()
{
    QString code;
    if (!m_prompts->askText(this, tr("Join Group"), tr("Enter invite code:"), QLineEdit::Normal, QString(), &code))
        return;
    code = code.trimmed();
    if (code.isEmpty())
        return;
    m_client->accountClient()->joinGroup(code, whileAlive(this, [this](bool ok) {
        if (!ok) {
            showError(tr("Invalid or expired invite code."));
            return;
        }
        showConfirmation(tr("Joined group."));
        loadGroup();
        updateDeleteState();
    }));
}

void AccountScreen::inviteByEmail()
{
    QString email;
    if (!m_prompts->askText(this, tr("Invite by Email"), tr("Email address:"), QLineEdit::Normal, QString(), &email))
        return;
    email = email.trimmed();
    if (email.isEmpty())
        return;
    m_client->accountClient()->inviteByEmail(email, whileAlive(this, [this](const GroupInvitation &invitation) {
        if (invitation.id.isEmpty()) {
            showError(tr("Failed to send invitation."));
            return;
        }
        showConfirmation(tr("Invitation sent."));
        loadGroup();
    }));
}

void AccountScreen::generateInviteCode()
{
    m_client->accountClient()->generateInviteCode(whileAlive(this, [this](const GroupInvitation &invitation) {
        if (invitation.inviteCode.isEmpty()) {
            showError(tr("Failed to generate code."));
            return;
        }
        m_prompts->inform(this, tr("Invite Code"),
                          tr("Share this code with the person you want to invite:\n\n%1").arg(invitation.inviteCode));
        loadGroup();
    }));
}

void AccountScreen::removeMember(const GroupMember &member)
{
    const QString name = member.displayName.isEmpty() ? member.email : member.displayName;
    if (!m_prompts->askYesNo(this, tr("Remove Member"), tr("Remove %1 from the group?").arg(name)))
        return;
    m_client->accountClient()->removeMember(member.accountId, whileAlive(this, [this, name] {
        showConfirmation(tr("%1 removed.").arg(name));
        loadGroup();
    }));
}

void AccountScreen::revokeInvitation(const QString &invitationId)
{
    m_client->accountClient()->revokeInvitation(invitationId, whileAlive(this, [this] {
        showConfirmation(tr("Invitation revoked."));
        loadGroup();
    }));
}

void AccountScreen::leaveGroup()
{
    if (!m_prompts->askYesNo(this, tr("Leave Group"), tr("Leave this group? You will lose access to shared data.")))
        return;
    m_client->accountClient()->leaveGroup(whileAlive(this, [this](bool ok) {
        if (!ok) {
            showError(tr("Failed to leave group."));
            return;
        }
        showConfirmation(tr("Left group."));
        loadGroup();
        updateDeleteState();
    }));
}

void AccountScreen::loadDevices()
{
    m_client->accountClient()->getDevices(
        whileAlive(this, [this](const QList<Device> &devices) { showDevices(devices); }));
}

void AccountScreen::showDevices(const QList<Device> &devices)
{
    clearLayout(m_devices.content);
    QVBoxLayout *list = addSection(m_devices.content, tr("Registered Devices"),
                                   tr("Devices that have synced with your account."));
    if (devices.isEmpty())
        addMuted(list, tr("No devices registered."));
    const QDateTime now = QDateTime::currentDateTimeUtc();
    for (const Device &device : devices) {
        QHBoxLayout *row = addRow(list);
        const QString name = device.deviceName.isEmpty() ? tr("Unknown Device") : device.deviceName;
        QString details = device.platform.toHtmlEscaped();
        if (!device.appVersion.isEmpty())
            details += QStringLiteral("  v%1").arg(device.appVersion.toHtmlEscaped());
        auto *label = new QLabel(QStringLiteral("<b>%1</b><br>%2").arg(name.toHtmlEscaped(), details));
        label->setTextFormat(Qt::RichText);
        row->addWidget(label, 1);
        auto *when = new QLabel(lastActiveText(device.lastSyncAt, now));
        when->setForegroundRole(QPalette::PlaceholderText);
        row->addWidget(when);
        connect(addButton(row, tr("Remove")), &QPushButton::clicked, this, [this, device] { removeDevice(device); });
    }
    m_devices.content->addStretch();
}

void AccountScreen::removeDevice(const Device &device)
{
    const QString name = device.deviceName.isEmpty() ? tr("Unknown Device") : device.deviceName;
    if (!m_prompts->askYesNo(this, tr("Remove Device"), tr("Remove %1?").arg(name)))
        return;
    m_client->accountClient()->removeDevice(device.id, whileAlive(this, [this] {
        showConfirmation(tr("Device removed."));
        loadDevices();
    }));
}

void AccountScreen::loadSessions()
{
    m_client->authClient()->listSessions(
        whileAlive(this, [this](const QList<Session> &sessions) { showSessions(sessions); }));
}

void AccountScreen::showSessions(const QList<Session> &sessions)
{
    clearLayout(m_security.content);
    QVBoxLayout *list = addSection(m_security.content, tr("Active Sessions"),
                                   tr("Sessions currently signed in to your account."));
    if (sessions.isEmpty())
        addMuted(list, tr("No active sessions."));
    const QDateTime now = QDateTime::currentDateTimeUtc();
    for (const Session &session : sessions) {
        QHBoxLayout *row = addRow(list);
        QString text = session.userAgent.isEmpty() ? tr("Unknown client") : session.userAgent;
        if (!session.ipAddress.isEmpty())
            text += QStringLiteral("  %1").arg(session.ipAddress);
        QLabel *label = plainLabel(text);
        label->setWordWrap(true);
        row->addWidget(label, 1);
        auto *when = new QLabel(lastActiveText(session.lastActiveAt, now));
        when->setForegroundRole(QPalette::PlaceholderText);
        row->addWidget(when);
        if (session.isCurrent) {
            QLabel *current = colouredLabel(tr("Current"), CurrentColour);
            current->setToolTip(tr("This session"));
            row->addWidget(current);
        } else {
            const QString id = session.id;
            connect(addButton(row, tr("Revoke")), &QPushButton::clicked, this, [this, id] { revokeSession(id); });
        }
    }
    m_security.content->addStretch();
}

void AccountScreen::revokeSession(const QString &sessionId)
{
    m_client->authClient()->revokeSession(sessionId, whileAlive(this, [this] {
        showConfirmation(tr("Session revoked."));
        loadSessions();
    }));
}

void AccountScreen::updateDeleteState()
{
    const bool owner = isGroupOwner();
    m_deleteButton->setEnabled(!owner);
    m_ownerNote->setVisible(owner);
}

void AccountScreen::deleteAccount()
{
    if (isGroupOwner())
        return;
    QString confirmation;
    if (!m_prompts->askText(this, tr("Delete Account"),
                            tr("This will schedule your account for permanent deletion after 30 days.\n\n"
                               "Type DELETE to confirm:"),
                            QLineEdit::Normal, QString(), &confirmation))
        return;
    if (confirmation != QLatin1String("DELETE"))
        return;
    m_client->accountClient()->deleteAccount(whileAlive(this, [this](bool ok) {
        if (!ok) {
            showError(tr("Failed to delete account."));
            return;
        }
        m_prompts->inform(this, tr("Account Scheduled for Deletion"),
                          tr("Your account will be permanently deleted in 30 days. You can recover it by signing "
                             "in before then."));
        Q_EMIT logoutRequested();
    }));
}

} // namespace BrioAccount
