#pragma once

#include <QWidget>

class QLabel;
class QPushButton;

// The editor pane's page while no note is open and no account is signed in:
// what the program is, and the ways on from here.
class WelcomeScreen : public QWidget
{
    Q_OBJECT

public:
    explicit WelcomeScreen(QWidget *parent = nullptr);

    bool isSignedIn() const { return m_signedIn; }
    void setSignedIn(bool signedIn);
    // Without an account client the button stays, disabled, and says why.
    void setSignInAvailable(bool available);
    // Re-reads the palette and the account state into the page.
    void refresh();

    QPushButton *newNoteButton() const { return m_newNoteButton; }
    QPushButton *continueButton() const { return m_continueButton; }
    QPushButton *signInButton() const { return m_signInButton; }

Q_SIGNALS:
    void newNoteRequested();
    void dismissed();
    void signInRequested();

protected:
    void changeEvent(QEvent *event) override;

private:
    bool m_signedIn = false;
    bool m_signInAvailable = false;
    bool m_refreshing = false;
    QLabel *m_icon = nullptr;
    QLabel *m_title = nullptr;
    QLabel *m_tagline = nullptr;
    QPushButton *m_newNoteButton = nullptr;
    QPushButton *m_continueButton = nullptr;
    QWidget *m_accountRow = nullptr;
    QLabel *m_accountText = nullptr;
    QPushButton *m_signInButton = nullptr;
};
