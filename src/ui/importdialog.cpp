#include "importdialog.h"

#include "app/appstate.h"
#include "features/importjob.h"
#include "storage/attachmentrepository.h"
#include "storage/database.h"
#include "storage/notebookrepository.h"
#include "storage/noterepository.h"

#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <QVBoxLayout>
#include <QWizardPage>

namespace {

// Complete only when the import has ended, so Next stays off until then.
class ProgressPage : public QWizardPage
{
public:
    using QWizardPage::QWizardPage;
    bool isComplete() const override { return m_done; }
    void setDone()
    {
        m_done = true;
        Q_EMIT completeChanged();
    }

private:
    bool m_done = false;
};

} // namespace

ImportDialog::ImportDialog(AppState *state, QWidget *parent)
    : QWizard(parent)
    , m_state(state)
{
    setWindowTitle(tr("Import Notes"));
    setMinimumWidth(450);
    setPage(FormatPage, createFormatPage());
    setPage(FilePage, createFilePage());
    setPage(ProgressPage, createProgressPage());
    setPage(ReportPage, createReportPage());
    connect(this, &QWizard::currentIdChanged, this, [this](int id) {
        // While importing there is no way back, and at the end nothing to cancel.
        if (id == ProgressPage)
            setButtonLayout({QWizard::Stretch, QWizard::CancelButton});
        else if (id == ReportPage)
            setButtonLayout({QWizard::Stretch, QWizard::FinishButton});
        else
            setButtonLayout({QWizard::Stretch, QWizard::BackButton, QWizard::NextButton, QWizard::CancelButton});
        // Painted first, then started.
        if (id == ProgressPage)
            QTimer::singleShot(100, this, &ImportDialog::runImport);
    });
}

ImportDialog::~ImportDialog() = default;

QWizardPage *ImportDialog::createFormatPage()
{
    auto *page = new QWizardPage(this);
    page->setTitle(tr("Select Format"));
    page->setSubTitle(tr("Choose the format of the file you want to import."));
    m_joplin = new QRadioButton(tr("Joplin Export (.jex)"), page);
    m_noteStation = new QRadioButton(tr("Synology NoteStation (.nsx)"), page);
    m_joplin->setChecked(true);
    auto *layout = new QVBoxLayout(page);
    layout->addWidget(m_joplin);
    layout->addWidget(m_noteStation);
    layout->addStretch();
    return page;
}

QWizardPage *ImportDialog::createFilePage()
{
    auto *page = new QWizardPage(this);
    page->setTitle(tr("Select File"));
    page->setSubTitle(tr("Choose the file to import."));
    m_fileLabel = new QLabel(tr("No file selected"), page);
    m_fileLabel->setWordWrap(true);
    auto *browseButton = new QPushButton(tr("Browse..."), page);
    connect(browseButton, &QPushButton::clicked, this, &ImportDialog::browse);
    auto *layout = new QVBoxLayout(page);
    layout->addWidget(m_fileLabel);
    layout->addWidget(browseButton, 0, Qt::AlignLeft);
    layout->addStretch();
    return page;
}

QWizardPage *ImportDialog::createProgressPage()
{
    auto *page = new ::ProgressPage(this);
    page->setTitle(tr("Importing..."));
    page->setSubTitle(tr("Please wait while your notes are imported."));
    page->setCommitPage(true);
    m_progress = new QProgressBar(page);
    m_progress->setRange(0, 0);
    m_progressLabel = new QLabel(tr("Starting import..."), page);
    m_progressLabel->setWordWrap(true);
    auto *layout = new QVBoxLayout(page);
    layout->addWidget(m_progress);
    layout->addWidget(m_progressLabel);
    layout->addStretch();
    return page;
}

QWizardPage *ImportDialog::createReportPage()
{
    auto *page = new QWizardPage(this);
    page->setTitle(tr("Import Complete"));
    page->setFinalPage(true);
    m_summary = new QLabel(page);
    m_summary->setWordWrap(true);
    m_summary->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_report = new QPlainTextEdit(page);
    m_report->setReadOnly(true);
    m_report->setMinimumHeight(160);
    m_copyReport = new QPushButton(tr("Copy Report"), page);
    connect(m_copyReport, &QPushButton::clicked, this,
            [this] { QApplication::clipboard()->setText(m_result.reportText()); });
    auto *layout = new QVBoxLayout(page);
    layout->addWidget(m_summary);
    layout->addWidget(m_report, 1);
    layout->addWidget(m_copyReport, 0, Qt::AlignLeft);
    return page;
}

ImportFormat ImportDialog::format() const
{
    return m_noteStation->isChecked() ? ImportFormat::NoteStation : ImportFormat::Joplin;
}

QRadioButton *ImportDialog::formatButton(ImportFormat format) const
{
    return format == ImportFormat::NoteStation ? m_noteStation : m_joplin;
}

void ImportDialog::setFilePath(const QString &path)
{
    m_filePath = path;
    m_fileLabel->setText(path.isEmpty() ? tr("No file selected") : QDir::toNativeSeparators(path));
}

void ImportDialog::browse()
{
    const QString filter = format() == ImportFormat::NoteStation ? tr("NoteStation Export (*.nsx);;All Files (*)")
                                                                 : tr("Joplin Export (*.jex);;All Files (*)");
    const QString path = QFileDialog::getOpenFileName(this, tr("Select Import File"), QString(), filter);
    if (!path.isEmpty())
        setFilePath(path);
}

bool ImportDialog::isImporting() const
{
    return m_job && m_job->isRunning();
}

void ImportDialog::runImport()
{
    if (m_job || m_finished)
        return;
    if (m_filePath.isEmpty()) {
        m_progressLabel->setText(tr("No file was selected."));
        m_result = ImportResult();
        m_result.errors = 1;
        m_result.errorMessage = tr("No file was selected.");
        onFinished();
        return;
    }
    m_progressLabel->setText(tr("Starting import of %1...").arg(QFileInfo(m_filePath).fileName()));
    m_job = new ImportJob(format(), m_filePath, m_state->database()->db().databaseName(), this);
    connect(m_job, &ImportJob::progress, this, &ImportDialog::onProgress);
    connect(m_job, &ImportJob::finished, this, [this] {
        m_result = m_job->result();
        onFinished();
    });
    button(QWizard::CancelButton)->setEnabled(true);
    m_job->start();
}

void ImportDialog::onProgress(int current, int total, const QString &label)
{
    if (total >= 1) {
        m_progressLabel->setText(tr("%1 of %2 notes\n%3").arg(current).arg(total).arg(label));
        m_progress->setRange(0, total);
        m_progress->setValue(current);
    } else {
        m_progressLabel->setText(label);
        m_progress->setRange(0, 0);
    }
}

void ImportDialog::onFinished()
{
    m_finished = true;
    // The import wrote through a connection of its own: the window's views
    // learn of it here, on the GUI thread.
    if (m_result.imported > 0 || m_result.notebooks > 0) {
        Q_EMIT m_state->notebooks()->notebooksChanged();
        Q_EMIT m_state->notes()->noteCountsChanged();
        Q_EMIT m_state->notes()->notesChanged();
        Q_EMIT m_state->attachments()->attachmentsChanged();
    }
    showReport();
    static_cast<::ProgressPage *>(page(ProgressPage))->setDone();
    if (currentId() == ProgressPage)
        next();
    Q_EMIT importFinished();
}

void ImportDialog::showReport()
{
    QString summary;
    if (m_result.cancelled)
        summary = tr("The import was cancelled. Nothing was imported.");
    else
        summary = tr("Imported: %1 notes").arg(m_result.imported);
    if (m_result.notebooks > 0)
        summary += tr("\nNotebooks: %1").arg(m_result.notebooks);
    if (m_result.attachments > 0)
        summary += tr("\nAttachments: %1").arg(m_result.attachments);
    if (m_result.trashed > 0)
        summary += tr("\nIn the Trash: %1 (they were in the trash of the archive)").arg(m_result.trashed);
    if (m_result.skipped > 0)
        summary += tr("\nSkipped: %1").arg(m_result.skipped);
    if (m_result.errors > 0)
        summary += tr("\nErrors: %1").arg(m_result.errors);
    if (!m_result.errorMessage.isEmpty())
        summary += QStringLiteral("\n\n") + m_result.errorMessage;
    m_summary->setText(summary);
    const bool anyIssue = !m_result.skippedItems.isEmpty() || !m_result.failedItems.isEmpty();
    m_report->setPlainText(anyIssue ? m_result.issuesText() : tr("Every note of the archive was imported."));
}

void ImportDialog::reject()
{
    // A running import is stopped first; its end shows what happened.
    if (isImporting()) {
        m_job->cancel();
        m_progressLabel->setText(tr("Cancelling..."));
        button(QWizard::CancelButton)->setEnabled(false);
        return;
    }
    QWizard::reject();
}
