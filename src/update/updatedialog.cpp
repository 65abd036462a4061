#include "updatedialog.h"

#include "logging.h"
#include "releasenotesfetcher.h"

#include <QDesktopServices>
#include <QDialogButtonBox>
#include <QLabel>
#include <QPushButton>
#include <QTextBrowser>
#include <QVBoxLayout>

namespace BrioUpdate {

bool openInBrowser(const QUrl &url)
{
    if (QDesktopServices::openUrl(url))
        return true;
    qCWarning(lcClient) << "BrioUpdate: QDesktopServices::openUrl failed for:" << url;
    return false;
}

QLabel *boldLabel(const QString &text, int extraPoints, QWidget *parent)
{
    auto *label = new QLabel(text, parent);
    QFont font = label->font();
    font.setBold(true);
    font.setPointSizeF(font.pointSizeF() + extraPoints);
    label->setFont(font);
    return label;
}

UpdateDialog::UpdateDialog(
    const Artifact &artifact, const QString &displayName, const QString &currentVersion, QWidget *parent)
    : QDialog(parent)
    , m_artifact(artifact)
{
    setWindowTitle(tr("Update available"));
    setModal(true);

    auto *layout = new QVBoxLayout(this);

    QLabel *headline = boldLabel(tr("A new version of %1 is available.").arg(displayName), 1, this);
    headline->setObjectName(QStringLiteral("headline"));
    headline->setWordWrap(true);
    layout->addWidget(headline);

    auto *versions
        = new QLabel(tr("You have version %1. The latest version is %2.").arg(currentVersion, artifact.version), this);
    versions->setObjectName(QStringLiteral("versions"));
    versions->setWordWrap(true);
    layout->addWidget(versions);

    if (artifact.releaseNotesUrl.isValid()) {
        m_notes = new QTextBrowser(this);
        m_notes->setObjectName(QStringLiteral("releaseNotes"));
        m_notes->setOpenExternalLinks(true);
        m_notes->setPlaceholderText(tr("Loading release notes…"));
        m_notes->setMinimumHeight(150);
        m_notes->document()->setDocumentMargin(10);
        layout->addSpacing(4);
        layout->addWidget(m_notes, 1);

        auto *fetcher = new ReleaseNotesFetcher(artifact.releaseNotesUrl, QStringLiteral("update-dialog"), this);
        connect(fetcher, &ReleaseNotesFetcher::notesReady, this, [this, fetcher](const QString &markdown) {
            onNotesReady(markdown);
            fetcher->deleteLater();
        });
        connect(fetcher, &ReleaseNotesFetcher::notesUnavailable, this, [this, fetcher] {
            m_notes->setMarkdown(tr("*Release notes are not available for this version.*"));
            fetcher->deleteLater();
        });
        fetcher->fetch();
        resize(520, 420);
    } else {
        layout->addStretch(1);
        resize(420, minimumSizeHint().height());
    }

    auto *buttons = new QDialogButtonBox(this);
    QPushButton *download = buttons->addButton(tr("Download"), QDialogButtonBox::AcceptRole);
    download->setObjectName(QStringLiteral("download"));
    download->setDefault(true);
    buttons->addButton(tr("Later"), QDialogButtonBox::RejectRole);
    connect(buttons, &QDialogButtonBox::accepted, this, &UpdateDialog::onDownloadClicked);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
}

void UpdateDialog::onNotesReady(const QString &markdown)
{
    if (m_notes)
        m_notes->setMarkdown(markdown);
}

void UpdateDialog::onDownloadClicked()
{
    if (!m_artifact.url.isValid())
        qCWarning(lcClient) << "BrioUpdate: download URL is empty or invalid";
    else
        openInBrowser(m_artifact.url);
    accept();
}

} // namespace BrioUpdate
