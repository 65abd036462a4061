#include "sharemembersdialog.h"

#include "accountclient.h"
#include "authclient.h"
#include "prompts.h"
#include "sharingbackend.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QSet>
#include <QVBoxLayout>

namespace BrioAccount {

namespace {

constexpr int AccountIdRole = Qt::UserRole;
constexpr int NameRole = Qt::UserRole + 1;

QString memberName(const QString &displayName, const QString &email)
{
    return displayName.isEmpty() ? email : displayName;
}

} // namespace

ShareMembersDialog::ShareMembersDialog(SharingBackend *backend, AccountClient *account, const QString &itemId,
                                       const ShareDialogTexts &texts, const QString &permission, QWidget *parent)
    : QDialog(parent)
    , m_backend(backend)
    , m_account(account)
    , m_itemId(itemId)
    , m_texts(texts)
    , m_permission(permission)
    , m_prompts(std::make_unique<Prompts>())
    , m_picker(new QComboBox(this))
    , m_noGroup(new QLabel(tr("You are not in a group yet, so there is nobody to share with. Join or create one "
                              "under Manage Account."),
                           this))
    , m_shareButton(new QPushButton(tr("Share"), this))
    , m_shares(new QListWidget(this))
    , m_removeButton(new QPushButton(tr("Remove Selected"), this))
{
    setWindowTitle(texts.windowTitle);
    setMinimumWidth(460);

    auto *heading = new QLabel(texts.heading, this);
    heading->setTextFormat(Qt::PlainText);
    QFont font = heading->font();
    font.setPointSizeF(font.pointSizeF() + 2);
    font.setWeight(QFont::DemiBold);
    heading->setFont(font);
    auto *description = new QLabel(texts.description, this);
    description->setWordWrap(true);
    description->setForegroundRole(QPalette::PlaceholderText);

    m_noGroup->setWordWrap(true);
    m_noGroup->hide();
    m_picker->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    m_shareButton->setDefault(true);
    auto *pickRow = new QHBoxLayout;
    pickRow->addWidget(m_picker, 1);
    pickRow->addWidget(m_shareButton);

    auto *listHeading = new QLabel(tr("Shared with"), this);
    QFont bold = listHeading->font();
    bold.setBold(true);
    listHeading->setFont(bold);
    m_shares->setSelectionMode(QAbstractItemView::SingleSelection);

    auto *close = new QPushButton(tr("Close"), this);
    close->setAutoDefault(false);
    m_removeButton->setAutoDefault(false);
    auto *buttons = new QHBoxLayout;
    buttons->addWidget(m_removeButton);
    buttons->addStretch();
    buttons->addWidget(close);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(20, 20, 20, 16);
    layout->setSpacing(10);
    layout->addWidget(heading);
    layout->addWidget(description);
    layout->addSpacing(4);
    layout->addLayout(pickRow);
    layout->addWidget(m_noGroup);
    layout->addSpacing(4);
    layout->addWidget(listHeading);
    layout->addWidget(m_shares, 1);
    layout->addLayout(buttons);

    connect(m_shareButton, &QPushButton::clicked, this, &ShareMembersDialog::onAddShare);
    connect(m_removeButton, &QPushButton::clicked, this, &ShareMembersDialog::onRemoveSelected);
    connect(close, &QPushButton::clicked, this, &QDialog::close);
    connect(m_shares, &QListWidget::itemSelectionChanged, this, &ShareMembersDialog::updateRemoveButton);
    refreshAll();
}

ShareMembersDialog::~ShareMembersDialog() = default;

void ShareMembersDialog::setPrompts(std::unique_ptr<Prompts> prompts)
{
    m_prompts = std::move(prompts);
}

bool ShareMembersDialog::isCurrentUser(const GroupMember &member) const
{
    const User user = m_account->authClient()->currentUser();
    if (!user.id.isEmpty() && member.accountId == user.id)
        return true;
    return !user.email.isEmpty() && member.email.compare(user.email, Qt::CaseInsensitive) == 0;
}

void ShareMembersDialog::refreshAll()
{
    m_picker->clear();
    m_picker->addItem(tr("Loading..."));
    m_picker->setEnabled(false);
    m_shareButton->setEnabled(false);
    m_removeButton->setEnabled(false);

    // The picker needs the user, the group and the shares; a later refresh
    // makes the answers of an earlier one stale.
    const int generation = ++m_generation;
    m_pending = 2;
    const auto arrived = [this, generation] {
        if (generation == m_generation && --m_pending == 0) {
            showShares();
            showMembers();
        }
    };
    const auto fetchGroup = [this, generation, arrived] {
        m_account->getGroup(whileAlive(this, [this, generation, arrived](const Group &group) {
            if (generation == m_generation)
                m_group = group;
            arrived();
        }));
    };
    // The user is told apart from the other members by the signed-in user.
    if (m_account->authClient()->currentUser().isEmpty())
        m_account->authClient()->fetchCurrentUser(whileAlive(this, [fetchGroup](const User &) { fetchGroup(); }));
    else
        fetchGroup();
    m_backend->listMembers(m_itemId, whileAlive(this, [this, generation, arrived](const QList<ShareMember> &shares) {
        if (generation == m_generation)
            m_current = shares;
        arrived();
    }));
}

void ShareMembersDialog::showMembers()
{
    m_picker->clear();
    const bool inGroup = !m_group.id.isEmpty();
    m_picker->setVisible(inGroup);
    m_shareButton->setVisible(inGroup);
    m_noGroup->setVisible(!inGroup);

    QSet<QString> shared;
    for (const ShareMember &share : std::as_const(m_current))
        shared.insert(share.accountId);
    for (const GroupMember &member : std::as_const(m_group.members)) {
        if (isCurrentUser(member) || shared.contains(member.accountId))
            continue;
        m_picker->addItem(member.displayName.isEmpty()
                              ? member.email
                              : QStringLiteral("%1 (%2)").arg(member.displayName, member.email),
                          member.accountId);
        m_picker->setItemData(m_picker->count() - 1, memberName(member.displayName, member.email), NameRole);
    }
    const bool anyone = m_picker->count() > 0;
    if (!anyone)
        m_picker->addItem(tr("All group members already added"));
    m_picker->setEnabled(anyone);
    m_shareButton->setEnabled(anyone);
}

void ShareMembersDialog::showShares()
{
    m_shares->clear();
    for (const ShareMember &share : std::as_const(m_current)) {
        const QString name = memberName(share.displayName, share.email);
        auto *item = new QListWidgetItem(QStringLiteral("%1 (%2)").arg(name, share.permission), m_shares);
        item->setData(AccountIdRole, share.accountId);
        item->setData(NameRole, name);
    }
    if (m_current.isEmpty()) {
        auto *empty = new QListWidgetItem(tr("Not shared with anyone yet."), m_shares);
        empty->setForeground(QColor(QStringLiteral("#888888")));
        empty->setFlags(Qt::NoItemFlags);
    }
    updateRemoveButton();
}

void ShareMembersDialog::updateRemoveButton()
{
    const QList<QListWidgetItem *> selected = m_shares->selectedItems();
    m_removeButton->setEnabled(!selected.isEmpty() && !selected.first()->data(AccountIdRole).toString().isEmpty());
}

void ShareMembersDialog::onAddShare()
{
    const QString accountId = m_picker->currentData(AccountIdRole).toString();
    if (accountId.isEmpty())
        return;
    const QString name = m_picker->currentData(NameRole).toString();
    m_shareButton->setEnabled(false);
    m_shareButton->setText(tr("Sharing..."));
    m_backend->shareWith(m_itemId, accountId, m_permission,
                         whileAlive(this, [this, name](bool ok, const QString &error) {
                             m_shareButton->setText(tr("Share"));
                             m_shareButton->setEnabled(true);
                             if (ok) {
                                 Q_EMIT sharingChanged();
                                 refreshAll();
                                 return;
                             }
                             m_prompts->warn(this, tr("Share Failed"),
                                             error.isEmpty() ? tr("Could not share with %1.").arg(name) : error);
                         }));
}

void ShareMembersDialog::onRemoveSelected()
{
    const QList<QListWidgetItem *> selected = m_shares->selectedItems();
    if (selected.isEmpty())
        return;
    const QString accountId = selected.first()->data(AccountIdRole).toString();
    const QString name = selected.first()->data(NameRole).toString();
    if (accountId.isEmpty())
        return;
    if (!m_prompts->askYesNo(this, tr("Remove Share"), m_texts.removeQuestion.arg(name)))
        return;
    m_backend->removeShare(m_itemId, accountId, whileAlive(this, [this](bool ok) {
        if (ok) {
            Q_EMIT sharingChanged();
            refreshAll();
            return;
        }
        m_prompts->warn(this, tr("Remove Failed"), tr("Could not remove share."));
    }));
}

} // namespace BrioAccount
