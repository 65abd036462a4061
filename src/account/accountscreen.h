#pragma once

#include "records.h"

#include <QDateTime>
#include <QWidget>

#include <memory>

class QLabel;
class QListWidget;
class QPushButton;
class QStackedWidget;
class QTimer;
class QVBoxLayout;

namespace BrioAccount {

class Client;
class Prompts;

// How long ago a device synced or a session was active: "Active now",
// "5m ago", "3h ago", "2d ago", and the local date from a week on;
// "Unknown" for an invalid time.
QString lastActiveText(const QDateTime &time, const QDateTime &now);

// The signed-in user's account: profile, group, devices, sessions and
// deleting the account, one panel per category. Everything shown comes from
// the servers on each load; nothing is kept beyond what is on screen.
class AccountScreen : public QWidget
{
    Q_OBJECT
public:
    enum Panel { ProfilePanel, GroupPanel, DevicesPanel, SecurityPanel, DataPanel };
    Q_ENUM(Panel)

    explicit AccountScreen(Client *client, QWidget *parent = nullptr);
    ~AccountScreen() override;

    // Replaces the dialogs that ask for input and confirmation.
    void setPrompts(std::unique_ptr<Prompts> prompts);

    QListWidget *categoryList() const { return m_categories; }
    QStackedWidget *panels() const { return m_panels; }
    QLabel *statusLabel() const { return m_status; }
    QTimer *statusTimer() const { return m_statusTimer; }
    // The category list's style sheet for the current application palette.
    static QString categoryStyleSheet(const QPalette &palette);

    static constexpr int StatusTimeoutMs = 4000;

public Q_SLOTS:
    // Loads every panel again.
    void refresh();
    void loadProfile();
    void loadGroup();
    void loadDevices();
    void loadSessions();
    // The delete button follows the group role in the access token.
    void updateDeleteState();

    void editDisplayName();
    void changePassword();
    void joinGroup();
    void inviteByEmail();
    void generateInviteCode();
    void leaveGroup();
    void deleteAccount();

Q_SIGNALS:
    // The account is gone (scheduled for deletion): the application signs out.
    void logoutRequested();

protected:
    void changeEvent(QEvent *event) override;

private:
    struct PanelPage
    {
        QWidget *widget = nullptr;
        // Rebuilt on every load, under the panel's title.
        QVBoxLayout *content = nullptr;
    };

    PanelPage addPanel(const QString &title);
    QVBoxLayout *addSection(QVBoxLayout *content, const QString &heading, const QString &description);
    QLabel *addMuted(QVBoxLayout *layout, const QString &text);
    void showError(const QString &message);
    void showConfirmation(const QString &message);
    void showStatus(const QString &message, const char *styleSheet);
    void applyTheme();
    bool isGroupOwner() const;
    bool isCurrentUser(const GroupMember &member) const;

    void showGroup(const Group &group);
    void showDevices(const QList<Device> &devices);
    void showSessions(const QList<Session> &sessions);
    void removeMember(const GroupMember &member);
    void revokeInvitation(const QString &invitationId);
    void removeDevice(const Device &device);
    void revokeSession(const QString &sessionId);

    Client *m_client;
    std::unique_ptr<Prompts> m_prompts;
    QListWidget *m_categories = nullptr;
    QStackedWidget *m_panels = nullptr;
    PanelPage m_profile, m_group, m_devices, m_security, m_data;
    QLabel *m_status = nullptr;
    QTimer *m_statusTimer = nullptr;
    QPushButton *m_deleteButton = nullptr;
    QLabel *m_ownerNote = nullptr;
    User m_user;
    QList<QLabel *> m_mutedLabels;
};

} // namespace BrioAccount
