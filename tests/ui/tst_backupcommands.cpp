#include "app/appstate.h"
#include "storage/attachmentrepository.h"
#include "storage/notebookrepository.h"
#include "storage/noterepository.h"
#include "ui/backupcommands.h"

#include "testarchives.h"
#include "testmain.h"

#include <QAbstractButton>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTimer>
#include <QUuid>

#include <memory>

namespace {

Note makeNote(const QString &text)
{
    Note note;
    note.id = QUuid::createUuid().toString(QUuid::WithoutBraces);
    note.body = QStringLiteral("[{\"insert\":\"%1\\n\"}]").arg(text);
    note.createdAt = note.updatedAt = note.modifiedAt = QDateTime::currentDateTimeUtc();
    return note;
}

// Answers the dialogs of one command as they come up: the file dialog with
// `path`, a question with Yes, and an information or warning box with OK,
// keeping its title and text.
class DialogAnswers : public QObject
{
public:
    explicit DialogAnswers(const QString &path)
        : m_path(path)
    {
        connect(&m_timer, &QTimer::timeout, this, &DialogAnswers::answer);
        m_timer.start(10);
    }

    QStringList titles;
    QString lastText;

private:
    void answer()
    {
        QWidget *modal = QApplication::activeModalWidget();
        if (auto *files = qobject_cast<QFileDialog *>(modal)) {
            if (files != m_answered)
                titles << files->windowTitle();
            m_answered = files;
            // Typed, not selectFile(): that only selects what the dialog has
            // finished listing, which takes a while in a new folder.
            if (auto *name = files->findChild<QLineEdit *>(QStringLiteral("fileNameEdit")))
                name->setText(m_path);
            static_cast<QDialog *>(files)->accept();
        } else if (auto *box = qobject_cast<QMessageBox *>(modal)) {
            titles << box->windowTitle();
            lastText = box->text();
            QAbstractButton *yes = box->button(QMessageBox::Yes);
            (yes ? yes : box->button(QMessageBox::Ok))->click();
        }
    }

    QString m_path;
    QTimer m_timer;
    QPointer<QFileDialog> m_answered;
};

} // namespace

class TestBackupCommands : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();
    void workerRestoresWhatWentMissing();
    void restoreCommandReportsCounts_data();
    void restoreCommandReportsCounts();
    void backupCommandReportsFailure();

private:
    std::unique_ptr<LumoraTest::ScopedDataDir> m_dir;
    std::unique_ptr<AppState> m_state;
    QWidget *m_window = nullptr;
};

void TestBackupCommands::init()
{
    m_dir = std::make_unique<LumoraTest::ScopedDataDir>();
    m_state = std::make_unique<AppState>();
    QVERIFY(m_state->initialize());
    for (int i = 0; i < 5; ++i)
        QVERIFY(m_state->notes()->insert(makeNote(QStringLiteral("Note %1").arg(i))));
    QVERIFY(m_state->notebooks()->create(QStringLiteral("Work")));
    QVERIFY(m_state->attachments()->saveFile(QStringLiteral("file-1"), "attached bytes"));
    m_window = new QWidget;
    m_window->show();
}

void TestBackupCommands::cleanup()
{
    delete m_window;
    m_state.reset();
    m_dir.reset();
}

void TestBackupCommands::workerRestoresWhatWentMissing()
{
    QTemporaryDir out;
    const QString path = out.filePath(QStringLiteral("b.zip"));
    const int noteCount = int(m_state->notes()->all().size());
    BackupResult result = runBackup(m_window, m_state.get(), path);
    QCOMPARE(result.errors, 0);
    QCOMPARE(result.imported, noteCount);

    // Lost after the backup: one note and one attachment file.
    const Note lost = m_state->notes()->all().constFirst();
    QVERIFY(m_state->notes()->purge(lost.id));
    QVERIFY(QFile::remove(m_state->attachments()->filePath(QStringLiteral("file-1"))));
    QSignalSpy notesChanged(m_state.get(), &AppState::notesChanged);

    result = runRestore(m_window, m_state.get(), path, RestoreMode::Skip);
    QCOMPARE(result.errors, 0);
    QCOMPARE(result.imported, 1);
    QCOMPARE(result.skipped, noteCount - 1 + int(m_state->notebooks()->all().size()));
    // Written through the worker's connection, seen through the window's.
    QVERIFY(m_state->notes()->byId(lost.id));
    QCOMPARE(m_state->notes()->byId(lost.id)->body, lost.body);
    QVERIFY(notesChanged.count() >= 1);
    QCOMPARE(m_state->attachments()->readFile(QStringLiteral("file-1")), QByteArray("attached bytes"));
}

void TestBackupCommands::restoreCommandReportsCounts_data()
{
    QTest::addColumn<QByteArray>("archive"); // empty: a backup of this library
    QTest::addColumn<QString>("expectedText");

    QTest::newRow("own backup: all skipped") << QByteArray() << "Imported: 0\nSkipped: %1\nErrors: 0";
    QTest::newRow("not an archive") << QByteArray("no zip here") << "Imported: 0\nSkipped: 0\nErrors: 1\n\nCannot read archive";
}

void TestBackupCommands::restoreCommandReportsCounts()
{
    QFETCH(QByteArray, archive);
    QFETCH(QString, expectedText);

    QTemporaryDir out;
    const QString path = out.filePath(QStringLiteral("b.zip"));
    if (archive.isEmpty()) {
        QCOMPARE(runBackup(m_window, m_state.get(), path).errors, 0);
        const int records = int(m_state->notes()->all().size() + m_state->notebooks()->all().size());
        expectedText = expectedText.arg(records);
    } else {
        QVERIFY(LumoraTest::writeBytes(path, archive));
    }

    DialogAnswers answers(path);
    restoreInteractively(m_window, m_state.get());
    QCOMPARE(answers.titles, (QStringList { QStringLiteral("Select Backup"), QStringLiteral("Restore Backup"),
                                            QStringLiteral("Restore Complete") }));
    QVERIFY2(answers.lastText.startsWith(expectedText), qPrintable(answers.lastText));
}

void TestBackupCommands::backupCommandReportsFailure()
{
    QTemporaryDir out;
    // A file where the folder should be.
    const QString blocker = out.filePath(QStringLiteral("not-a-folder"));
    QVERIFY(LumoraTest::writeBytes(blocker, "x"));
    QString message;
    {
        DialogAnswers answers(blocker + QStringLiteral("/b.zip"));
        backupInteractively(m_window, m_state.get(), [&message](const QString &text) { message = text; });
        QCOMPARE(answers.titles, (QStringList { QStringLiteral("Save Backup"), QStringLiteral("Backup Failed") }));
        QVERIFY2(answers.lastText.startsWith(QLatin1String("Cannot write to the folder")),
                 qPrintable(answers.lastText));
        QVERIFY(message.isEmpty());
    }

    const QString good = out.filePath(QStringLiteral("good.zip"));
    DialogAnswers again(good);
    backupInteractively(m_window, m_state.get(), [&message](const QString &text) { message = text; });
    QCOMPARE(again.titles, QStringList { QStringLiteral("Save Backup") });
    QCOMPARE(message, QStringLiteral("Backup saved: %1 notes").arg(m_state->notes()->all().size()));
    QVERIFY(QFileInfo(good).size() > 0);
}

LUMORA_TEST_MAIN(TestBackupCommands)
#include "tst_backupcommands.moc"
