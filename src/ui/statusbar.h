#pragma once

#include <QStatusBar>

class QLabel;

// The main window's status bar: list and count on the left; word count, save
// state and sync text on the right. Formatting only; the window feeds it.
class StatusBar : public QStatusBar
{
    Q_OBJECT

public:
    explicit StatusBar(QWidget *parent = nullptr);

    void setCounts(const QString &label, int count);
    void setWordCount(int count);
    void setSaveState(bool saved);
    // The last save of the open note failed; the editor keeps it and retries.
    void setSaveFailed();
    void setSyncText(const QString &text);

    QString countText() const;
    QString noteStateText() const;
    QString syncText() const;

private:
    void applyStyle();

    QLabel *m_countLabel;
    QLabel *m_noteStateLabel;
    QLabel *m_syncLabel;
    int m_wordCount = -1;
};
