#include "app/appstate.h"
#include "storage/database.h"
#include "storage/notebookrepository.h"
#include "storage/noterepository.h"
#include "tarwriter.h"
#include "ui/importdialog.h"

#include "testmain.h"

#include <QApplication>
#include <QClipboard>
#include <QFile>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QSqlQuery>
#include <QTemporaryDir>

#include <memory>

namespace {

QString hexId(int n)
{
    return QStringLiteral("%1").arg(n, 32, 16, QLatin1Char('0'));
}

// `notes` notes in one folder, and a tag (which is reported as skipped).
bool writeJex(const QString &path, int notes)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    TarWriter tar(&file);
    tar.addFile(hexId(0xf1) + QStringLiteral(".md"),
                joplinItem(QStringLiteral("Imported folder"), QString(),
                           {{QStringLiteral("id"), hexId(0xf1)}, {QStringLiteral("type_"), QStringLiteral("2")}}));
    tar.addFile(hexId(0xf2) + QStringLiteral(".md"),
                joplinItem(QStringLiteral("a_tag"), QString(),
                           {{QStringLiteral("id"), hexId(0xf2)}, {QStringLiteral("type_"), QStringLiteral("5")}}));
    for (int i = 1; i <= notes; ++i) {
        tar.addFile(hexId(i) + QStringLiteral(".md"),
                    joplinItem(QStringLiteral("Note %1").arg(i), QStringLiteral("Some *text* %1\n\n| a | b |\n| - | - |\n| 1 | 2 |").arg(i),
                               {{QStringLiteral("id"), hexId(i)},
                                {QStringLiteral("parent_id"), hexId(0xf1)},
                                {QStringLiteral("type_"), QStringLiteral("1")}}));
    }
    return tar.finish();
}

int noteRows(AppState *state)
{
    QSqlQuery q(state->database()->db());
    return q.exec(QStringLiteral("SELECT COUNT(*) FROM notes")) && q.next() ? q.value(0).toInt() : -1;
}

} // namespace

class TestImportDialog : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();
    void importsAndReports();
    void cancelStoresNothing();
    void noFileSelected();

private:
    // The wizard up to its progress page, which starts the import.
    void runTo(ImportDialog &dialog, const QString &path);

    std::unique_ptr<LumoraTest::ScopedDataDir> m_dir;
    std::unique_ptr<AppState> m_state;
    QTemporaryDir m_temp;
};

void TestImportDialog::init()
{
    m_dir = std::make_unique<LumoraTest::ScopedDataDir>();
    m_state = std::make_unique<AppState>();
    QVERIFY(m_state->initialize());
}

void TestImportDialog::cleanup()
{
    m_state.reset();
    m_dir.reset();
}

void TestImportDialog::runTo(ImportDialog &dialog, const QString &path)
{
    dialog.formatButton(ImportFormat::Joplin)->setChecked(true);
    dialog.setFilePath(path);
    dialog.show();
    dialog.next();
    dialog.next();
    QCOMPARE(dialog.currentId(), int(ImportDialog::ProgressPage));
}

void TestImportDialog::importsAndReports()
{
    const QString path = m_temp.filePath(QStringLiteral("three.jex"));
    QVERIFY(writeJex(path, 3));
    const int before = noteRows(m_state.get());
    QSignalSpy notesChanged(m_state->notes(), &NoteRepository::notesChanged);
    QSignalSpy notebooksChanged(m_state->notebooks(), &NotebookRepository::notebooksChanged);

    ImportDialog dialog(m_state.get());
    QSignalSpy finished(&dialog, &ImportDialog::importFinished);
    runTo(dialog, path);
    QVERIFY(finished.wait(30000));
    QCOMPARE(dialog.currentId(), int(ImportDialog::ReportPage));
    QCOMPARE(dialog.result().imported, 3);
    QCOMPARE(noteRows(m_state.get()), before + 3);
    // The window's views hear of the import through the GUI's repositories.
    QVERIFY(notesChanged.count() >= 1);
    QVERIFY(notebooksChanged.count() >= 1);
    QVERIFY(dialog.summaryLabel()->text().contains(QStringLiteral("Imported: 3 notes")));
    QVERIFY(dialog.summaryLabel()->text().contains(QStringLiteral("Skipped: 1")));
    QVERIFY(dialog.reportView()->toPlainText().contains(QStringLiteral("a_tag: tags are not imported")));
    QCOMPARE(dialog.progressBar()->maximum(), 3);

    dialog.copyReportButton()->click();
    QCOMPARE(QApplication::clipboard()->text(), dialog.result().reportText());
}

void TestImportDialog::cancelStoresNothing()
{
    const QString path = m_temp.filePath(QStringLiteral("many.jex"));
    QVERIFY(writeJex(path, 400));
    const int before = noteRows(m_state.get());

    ImportDialog dialog(m_state.get());
    QSignalSpy finished(&dialog, &ImportDialog::importFinished);
    runTo(dialog, path);
    dialog.runImport(); // at once, not after the page's start delay
    QVERIFY(dialog.isImporting());
    dialog.reject();
    QVERIFY(dialog.isVisible()); // stays until the import has stopped
    QVERIFY(finished.wait(30000));
    QVERIFY(dialog.result().cancelled);
    QCOMPARE(dialog.result().imported, 0);
    QCOMPARE(noteRows(m_state.get()), before);
    QVERIFY(dialog.summaryLabel()->text().contains(QStringLiteral("cancelled")));
}

void TestImportDialog::noFileSelected()
{
    ImportDialog dialog(m_state.get());
    QSignalSpy finished(&dialog, &ImportDialog::importFinished);
    runTo(dialog, QString());
    QVERIFY(finished.wait(5000));
    QCOMPARE(dialog.result().errors, 1);
    QVERIFY(dialog.summaryLabel()->text().contains(QStringLiteral("No file was selected.")));
}

LUMORA_TEST_MAIN(TestImportDialog)
#include "tst_importdialog.moc"
