#pragma once

#include <QString>
#include <QWidget>

class AppState;
class QLabel;
class QTextBrowser;

// A note shown in a window of its own. Until the editor exists it shows the
// note read-only, so nothing can be lost through it.
class NoteWindow : public QWidget
{
    Q_OBJECT

public:
    NoteWindow(AppState *state, const QString &noteId, QWidget *parent = nullptr);

    QString noteId() const { return m_noteId; }
    void reload();

Q_SIGNALS:
    void windowClosed(const QString &noteId);

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    AppState *m_state;
    QString m_noteId;
    QTextBrowser *m_view;
    QLabel *m_status;
};
