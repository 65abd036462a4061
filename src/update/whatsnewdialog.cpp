#include "whatsnewdialog.h"

#include "updatedialog.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QTextBrowser>
#include <QVBoxLayout>

namespace BrioUpdate {

WhatsNewDialog::WhatsNewDialog(const QString &markdown, const QString &displayName, const QString &version,
    const QString &runningVersion, const QUrl &downloadUrl, QWidget *parent)
    : QDialog(parent)
{
    setWindowTitle(tr("What's New in %1 %2").arg(displayName, version));
    setModal(false);

    auto *layout = new QVBoxLayout(this);

    QLabel *heading = boldLabel(tr("What's new in %1 %2").arg(displayName, version), 2, this);
    heading->setObjectName(QStringLiteral("heading"));
    layout->addWidget(heading);

    m_notes = new QTextBrowser(this);
    m_notes->setObjectName(QStringLiteral("releaseNotes"));
    m_notes->setOpenExternalLinks(true);
    m_notes->document()->setDocumentMargin(10);
    m_notes->setMarkdown(markdown);
    layout->addWidget(m_notes, 1);

    auto *bottom = new QHBoxLayout;
    auto *running = new QLabel(tr("You are running version %1").arg(runningVersion), this);
    running->setObjectName(QStringLiteral("runningVersion"));
    running->setStyleSheet(QStringLiteral("color: gray; font-size: 11px;"));
    bottom->addWidget(running);
    bottom->addStretch(1);

    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    // Some styles draw a dark glyph here that vanishes on a dark palette.
    buttons->button(QDialogButtonBox::Close)->setIcon(QIcon());
    if (downloadUrl.isValid()) {
        QPushButton *download = buttons->addButton(tr("Download %1").arg(version), QDialogButtonBox::AcceptRole);
        download->setObjectName(QStringLiteral("download"));
        download->setDefault(true);
        connect(buttons, &QDialogButtonBox::accepted, this, [this, downloadUrl] {
            openInBrowser(downloadUrl);
            accept();
        });
    }
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    bottom->addWidget(buttons);
    layout->addLayout(bottom);

    resize(600, 520);
}

} // namespace BrioUpdate
