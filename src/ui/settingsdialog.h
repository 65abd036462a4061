#pragma once

#include <QDialog>
#include <QList>
#include <QString>

class AppState;
class PreferencesRepository;
class QCheckBox;
class QLabel;
class QListWidget;
class QPushButton;
class QSpinBox;
class QStackedWidget;
class QVBoxLayout;
class QWidget;

// The preferences window: a category list beside a stack of pages. Every
// control writes its preference the moment it changes; whoever cares listens
// to the preference store. Modeless and deleted on close.
class SettingsDialog : public QDialog
{
    Q_OBJECT

public:
    explicit SettingsDialog(AppState *state, QWidget *parent = nullptr);

    // The category list's style sheet for a light or dark application palette.
    static QString categoryStyleSheet(bool dark);

public Q_SLOTS:
    void onCategoryChanged(int row);

    // Account and sync state, fed by the account client and the sync engine.
    void setSignedIn(bool signedIn, const QString &userName = QString());
    // The sync engine's text for its current state; shown while signed in.
    void setSyncStatusText(const QString &text);
    // Whether this build can sign in at all; until it can, the account
    // buttons stay disabled and say why.
    void setAccountAvailable(bool available);

Q_SIGNALS:
    void syncNowRequested();
    void signInRequested();
    void signOutRequested();
    void manageAccountRequested();

private:
    struct Page
    {
        QWidget *widget;
        QVBoxLayout *layout;
    };

    Page createPage(const QString &title);
    QVBoxLayout *addGroup(const Page &page, const QString &heading, const QString &description);
    QLabel *addMutedLabel(QVBoxLayout *layout, const QString &text);
    QCheckBox *addCheckBox(QVBoxLayout *layout, const QString &text, const QString &key, bool defaultValue,
                           const QString &hint = QString());
    QSpinBox *addSpinBox(QVBoxLayout *layout, const QString &label, const QString &key, int defaultValue, int minimum,
                         int maximum, const QString &suffix);

    QWidget *createAppearancePage();
    QWidget *createEditorPage();
    QWidget *createWindowPage();
    QWidget *createSyncPage();
    QWidget *createAccountPage();

    void applyTheme();
    void refreshAccountState();

    PreferencesRepository *m_preferences;
    QListWidget *m_categories;
    QStackedWidget *m_pages;
    QWidget *m_divider;
    QList<QLabel *> m_mutedLabels;

    QLabel *m_syncStatusLabel = nullptr;
    QPushButton *m_syncNowButton = nullptr;
    QLabel *m_accountNameLabel = nullptr;
    QPushButton *m_manageAccountButton = nullptr;
    QPushButton *m_signInButton = nullptr;
    QPushButton *m_signOutButton = nullptr;
    QLabel *m_accountNotice = nullptr;

    bool m_signedIn = false;
    bool m_accountAvailable = false;
    QString m_userName;
    QString m_syncStatusText;
};
