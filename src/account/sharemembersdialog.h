#pragma once

#include "records.h"

#include <QDialog>

#include <memory>

class QComboBox;
class QLabel;
class QListWidget;
class QPushButton;

namespace BrioAccount {

class AccountClient;
class Prompts;
class SharingBackend;

// What the dialog says about the kind of item it shares.
struct ShareDialogTexts
{
    QString windowTitle;
    QString heading; // e.g. "Sharing: Groceries"
    QString description;
    // %1 is the member's name.
    QString removeQuestion = QStringLiteral("Remove %1's access to this item?");
};

// Shares one note or notebook with members of the user's group: a picker of
// the members it is not shared with yet, and the list of current shares.
class ShareMembersDialog : public QDialog
{
    Q_OBJECT
public:
    // permission: what new shares get ("view" or "edit").
    ShareMembersDialog(SharingBackend *backend, AccountClient *account, const QString &itemId,
                       const ShareDialogTexts &texts, const QString &permission, QWidget *parent = nullptr);
    ~ShareMembersDialog() override;

    // Replaces the question and warning boxes.
    void setPrompts(std::unique_ptr<Prompts> prompts);

    QComboBox *memberPicker() const { return m_picker; }
    QLabel *noGroupLabel() const { return m_noGroup; }
    QPushButton *shareButton() const { return m_shareButton; }
    QListWidget *shareList() const { return m_shares; }
    QPushButton *removeButton() const { return m_removeButton; }

public Q_SLOTS:
    void refreshAll();
    void onAddShare();
    void onRemoveSelected();

Q_SIGNALS:
    void sharingChanged();

private:
    void showMembers();
    void showShares();
    void updateRemoveButton();
    bool isCurrentUser(const GroupMember &member) const;

    SharingBackend *m_backend;
    AccountClient *m_account;
    QString m_itemId;
    ShareDialogTexts m_texts;
    QString m_permission;
    std::unique_ptr<Prompts> m_prompts;

    QComboBox *m_picker = nullptr;
    QLabel *m_noGroup = nullptr;
    QPushButton *m_shareButton = nullptr;
    QListWidget *m_shares = nullptr;
    QPushButton *m_removeButton = nullptr;

    // What the last refresh brought; both arrive before the lists show.
    Group m_group;
    QList<ShareMember> m_current;
    int m_pending = 0;
    int m_generation = 0;
};

} // namespace BrioAccount
