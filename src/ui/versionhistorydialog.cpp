#include "ui/versionhistorydialog.h"

#include "app/appstate.h"
#include "storage/noterepository.h"
#include "storage/snapshotrepository.h"
#include "ui/noteeditor.h"
#include "ui/relativetime.h"

#include <QHBoxLayout>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QSplitter>
#include <QVBoxLayout>

VersionHistoryDialog::VersionHistoryDialog(AppState *state, const QString &noteId, QWidget *parent)
    : QDialog(parent)
    , m_state(state)
    , m_noteId(noteId)
    , m_snapshotList(new QListWidget(this))
    , m_preview(new NoteEditor(this))
    , m_saveButton(new QPushButton(tr("Save Snapshot Now"), this))
    , m_restoreButton(new QPushButton(tr("Restore Selected"), this))
{
    setWindowTitle(tr("Version History"));
    resize(800, 500);

    m_preview->clearNote();
    m_preview->setAttachmentRepository(state->attachments());
    m_preview->setPlaceholderText(QString());
    // The placeholder row promises Ctrl+S; it works here as in the note windows.
    m_saveButton->setShortcut(QKeySequence::Save);
    m_restoreButton->setEnabled(false);
    // Rows as roomy as the note list's, not packed at the font's height.
    m_snapshotList->setStyleSheet(QStringLiteral("QListWidget::item { padding: 5px 4px; }"));
    // The empty-state hint is wider than the column: it wraps rather than scrolls.
    m_snapshotList->setWordWrap(true);
    m_snapshotList->setResizeMode(QListView::Adjust);
    m_snapshotList->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_restoreButton->setAutoDefault(false);
    m_saveButton->setAutoDefault(false);

    auto *left = new QWidget(this);
    auto *leftLayout = new QVBoxLayout(left);
    leftLayout->setContentsMargins(0, 0, 0, 0);
    leftLayout->addWidget(m_snapshotList);
    auto *buttons = new QHBoxLayout;
    buttons->addWidget(m_saveButton);
    buttons->addWidget(m_restoreButton);
    leftLayout->addLayout(buttons);

    auto *splitter = new QSplitter(Qt::Horizontal, this);
    splitter->addWidget(left);
    splitter->addWidget(m_preview);
    splitter->setChildrenCollapsible(false);
    splitter->setSizes({250, 550});
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(splitter);

    connect(m_snapshotList, &QListWidget::currentRowChanged, this, &VersionHistoryDialog::onRowChanged);
    connect(m_saveButton, &QPushButton::clicked, this, &VersionHistoryDialog::saveSnapshotNow);
    connect(m_restoreButton, &QPushButton::clicked, this, &VersionHistoryDialog::restoreSelected);
    // A history of a note that is gone has nothing left to restore into.
    connect(m_state, &AppState::noteDeletedExternally, this, [this](const QString &id) {
        if (id == m_noteId)
            close();
    });

    reload();
}

void VersionHistoryDialog::reload()
{
    m_snapshotList->clear();
    const QList<NoteSnapshot> snapshots =
        m_state->snapshots() ? m_state->snapshots()->forNote(m_noteId) : QList<NoteSnapshot>();
    if (snapshots.isEmpty()) {
        // A hint, not a version: it can become current but never looks chosen.
        auto *item = new QListWidgetItem(tr("No snapshots yet. Press Ctrl+S to save one."), m_snapshotList);
        item->setFlags(Qt::ItemIsEnabled);
        item->setForeground(palette().brush(QPalette::PlaceholderText));
        return;
    }
    const QDateTime now = QDateTime::currentDateTime();
    for (const NoteSnapshot &snapshot : snapshots) {
        auto *item = new QListWidgetItem(
            tr("v%1 \u2014 %2").arg(snapshot.version).arg(relativeTime(snapshot.createdAt, now)), m_snapshotList);
        item->setData(Qt::UserRole, snapshot.id);
        // The exact time stays at hand behind the short one.
        item->setToolTip(QLocale().toString(snapshot.createdAt.toLocalTime(), QStringLiteral("MMM d, yyyy h:mm AP")));
    }
}

void VersionHistoryDialog::onRowChanged(int row)
{
    m_restoreButton->setEnabled(row >= 0);
    const QListWidgetItem *item = row >= 0 ? m_snapshotList->item(row) : nullptr;
    const QString snapshotId = item ? item->data(Qt::UserRole).toString() : QString();
    const std::optional<NoteSnapshot> snapshot =
        snapshotId.isEmpty() || !m_state->snapshots() ? std::nullopt : m_state->snapshots()->byId(snapshotId);
    if (!snapshot) {
        m_preview->clearNote();
        m_preview->setPlaceholderText(QString());
        return;
    }
    // Under its own id, so the preview never passes for the note itself.
    m_preview->loadNote(QStringLiteral("preview"), snapshot->body);
    m_preview->setReadOnly(true);
    m_preview->setPlaceholderText(QString());
}

void VersionHistoryDialog::saveSnapshotNow()
{
    if (!m_state->notes() || !m_state->snapshots())
        return;
    const std::optional<Note> note = m_state->notes()->byId(m_noteId);
    if (!note) {
        QMessageBox::warning(this, tr("Version History"), tr("This note no longer exists."));
        return;
    }
    // An empty body is not kept as a version: there is nothing to go back to.
    if (!note->body.isEmpty() && !snapshotStoredVersion(m_state->snapshots(), m_state->notes(), m_noteId)) {
        QMessageBox::warning(this, tr("Version History"), tr("The snapshot could not be saved."));
        return;
    }
    reload();
}

void VersionHistoryDialog::restoreSelected()
{
    const QListWidgetItem *item = m_snapshotList->currentItem();
    const QString snapshotId = item ? item->data(Qt::UserRole).toString() : QString();
    if (snapshotId.isEmpty() || !m_state->notes() || !m_state->snapshots())
        return;
    const std::optional<NoteSnapshot> snapshot = m_state->snapshots()->byId(snapshotId);
    if (!snapshot)
        return;
    if (QMessageBox::question(this, tr("Restore Snapshot"),
                              tr("Replace current content with this snapshot? A snapshot of the current content "
                                 "will be saved first."),
                              QMessageBox::Yes | QMessageBox::No)
        != QMessageBox::Yes)
        return;

    const std::optional<Note> note = m_state->notes()->byId(m_noteId);
    if (!note) {
        QMessageBox::warning(this, tr("Restore Snapshot"), tr("This note no longer exists."));
        return;
    }
    // The content being replaced is kept first; without that copy nothing is
    // replaced.
    if (!note->body.isEmpty() && !snapshotStoredVersion(m_state->snapshots(), m_state->notes(), m_noteId)) {
        QMessageBox::warning(this, tr("Restore Snapshot"),
                             tr("The current content could not be saved as a snapshot, so nothing was restored."));
        return;
    }
    // The editors' own write: new times, a new version, marked for sync. Its
    // change signal reloads every editor showing the note that holds no edits
    // of its own; the announcement reaches those that listen for other
    // windows' writes.
    if (m_state->notes()->saveEditedBody(m_noteId, snapshot->body) == NoteRepository::SaveResult::Failed) {
        reload();
        QMessageBox::warning(this, tr("Restore Snapshot"),
                             tr("The note could not be saved; its content is unchanged."));
        return;
    }
    m_state->notifyNoteUpdated(m_noteId, this);
    reload();
    QMessageBox::information(this, tr("Restored"), tr("Snapshot restored successfully."));
}

VersionHistoryDialog *showVersionHistory(AppState *state, const QString &noteId, QWidget *parent)
{
    if (!state || noteId.isEmpty())
        return nullptr;
    if (parent) {
        const QList<VersionHistoryDialog *> open = parent->findChildren<VersionHistoryDialog *>();
        for (VersionHistoryDialog *dialog : open) {
            if (dialog->noteId() == noteId) {
                dialog->raise();
                dialog->activateWindow();
                return dialog;
            }
        }
    }
    auto *dialog = new VersionHistoryDialog(state, noteId, parent);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setModal(false);
    dialog->show();
    return dialog;
}
