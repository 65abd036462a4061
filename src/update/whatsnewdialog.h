#pragma once

#include <QDialog>
#include <QUrl>

class QTextBrowser;

namespace BrioUpdate {

// Shows the release notes of one version; with a download URL it also offers
// that version's download.
class WhatsNewDialog : public QDialog
{
    Q_OBJECT
public:
    WhatsNewDialog(const QString &markdown, const QString &displayName, const QString &version,
        const QString &runningVersion, const QUrl &downloadUrl = QUrl(), QWidget *parent = nullptr);

    QTextBrowser *notesBrowser() const { return m_notes; }

private:
    QTextBrowser *m_notes = nullptr;
};

} // namespace BrioUpdate
