#pragma once

#include "artifact.h"

#include <QDialog>

class QLabel;
class QTextBrowser;

namespace BrioUpdate {

// Offers a newer release: what it is, its release notes when it has any,
// and a button that opens the download in the browser.
class UpdateDialog : public QDialog
{
    Q_OBJECT
public:
    UpdateDialog(
        const Artifact &artifact, const QString &displayName, const QString &currentVersion, QWidget *parent = nullptr);

    // Null when the release has no notes URL.
    QTextBrowser *notesBrowser() const { return m_notes; }

public Q_SLOTS:
    void onNotesReady(const QString &markdown);
    void onDownloadClicked();

private:
    Artifact m_artifact;
    QTextBrowser *m_notes = nullptr;
};

// Opens a URL in the system browser, logging when that fails.
bool openInBrowser(const QUrl &url);

// A bold label extraPoints larger than the default font.
QLabel *boldLabel(const QString &text, int extraPoints, QWidget *parent);

} // namespace BrioUpdate
