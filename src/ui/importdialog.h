#pragma once

#include "features/import.h"

#include <QWizard>

class AppState;
class ImportJob;
class QLabel;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QRadioButton;
class QWizardPage;

// The "Import Notes" wizard: format, file, progress with cancel, and a
// report of what was imported and what was left out.
class ImportDialog : public QWizard
{
    Q_OBJECT

public:
    enum PageId { FormatPage, FilePage, ProgressPage, ReportPage };

    ImportDialog(AppState *state, QWidget *parent = nullptr);
    ~ImportDialog() override;

    ImportFormat format() const;
    QString filePath() const { return m_filePath; }
    void setFilePath(const QString &path);
    // Starts the chosen importer on a worker thread; the wizard moves to its
    // report page by itself when it ends.
    void runImport();
    bool isImporting() const;
    const ImportResult &result() const { return m_result; }

    QRadioButton *formatButton(ImportFormat format) const;
    QProgressBar *progressBar() const { return m_progress; }
    QLabel *progressLabel() const { return m_progressLabel; }
    QLabel *summaryLabel() const { return m_summary; }
    QPlainTextEdit *reportView() const { return m_report; }
    QPushButton *copyReportButton() const { return m_copyReport; }

Q_SIGNALS:
    void importFinished();

public Q_SLOTS:
    void reject() override;

private:
    QWizardPage *createFormatPage();
    QWizardPage *createFilePage();
    QWizardPage *createProgressPage();
    QWizardPage *createReportPage();
    void browse();
    void onProgress(int current, int total, const QString &label);
    void onFinished();
    void showReport();

    AppState *m_state;
    ImportJob *m_job = nullptr;
    ImportResult m_result;
    bool m_finished = false;
    QString m_filePath;
    QRadioButton *m_joplin = nullptr;
    QRadioButton *m_noteStation = nullptr;
    QLabel *m_fileLabel = nullptr;
    QProgressBar *m_progress = nullptr;
    QLabel *m_progressLabel = nullptr;
    QLabel *m_summary = nullptr;
    QPlainTextEdit *m_report = nullptr;
    QPushButton *m_copyReport = nullptr;
};
