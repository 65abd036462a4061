#include "app/appstate.h"
#include "storage/notebookrepository.h"
#include "storage/noterepository.h"
#include "storage/preferencesrepository.h"
#include "storage/snapshotrepository.h"
#include "ui/editortoolbar.h"
#include "ui/mainwindow.h"
#include "ui/notechrome.h"
#include "ui/noteeditor.h"
#include "ui/noteheaderbar.h"
#include "ui/notewindow.h"
#include "ui/statusbar.h"

#include "dialoganswers.h"
#include "testmain.h"

#include <QAbstractButton>
#include <QMessageBox>
#include <QPointer>
#include <QSignalSpy>
#include <QTimer>

#include <memory>

// A note edited in its own window next to the main window.
class TestNoteWindow : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();
    void savesFollowsAndClosesWhenTrashed();
    void saveKeyKeepsOneSnapshot();
    void labelNamesTheNotebook_data();
    void labelNamesTheNotebook();
    void viewOnlySharedNoteIsReadOnly();
    void barsAboveTheEditor();

private:
    std::unique_ptr<LumoraTest::ScopedDataDir> m_dir;
    std::unique_ptr<AppState> m_state;
    std::unique_ptr<MainWindow> m_main;
    QString m_id;
};

void TestNoteWindow::init()
{
    m_dir = std::make_unique<LumoraTest::ScopedDataDir>();
    m_state = std::make_unique<AppState>();
    QVERIFY(m_state->initialize());
    m_main = std::make_unique<MainWindow>(m_state.get());
    m_main->newNote();
    m_id = m_main->openNoteId();
    QVERIFY(!m_id.isEmpty());
}

void TestNoteWindow::cleanup()
{
    m_main.reset();
    m_state.reset();
    m_dir.reset();
}

void TestNoteWindow::savesFollowsAndClosesWhenTrashed()
{
    m_state->openNoteWindow(m_id);
    NoteWindow *window = m_state->noteWindow(m_id);
    QVERIFY(window && !window->editor()->isReadOnly());
    QTest::keyClicks(window->editor(), QStringLiteral("From the window"));
    QTRY_COMPARE_WITH_TIMEOUT(noteTitle(m_state->notes()->byId(m_id)->body), QStringLiteral("From the window"), 3000);
    // The main window shows the note and reloads it; the window itself keeps
    // its cursor because it ignores its own announcement.
    QCOMPARE(m_main->editor()->toPlainText(), QStringLiteral("From the window"));
    QCOMPARE(window->editor()->textCursor().position(), 15);

    // And the other way round.
    m_main->editor()->moveCursor(QTextCursor::End);
    QTest::keyClicks(m_main->editor(), QStringLiteral("!"));
    QTRY_COMPARE_WITH_TIMEOUT(window->editor()->toPlainText(), QStringLiteral("From the window!"), 3000);

    // Trashed elsewhere: the window closes.
    QPointer<NoteWindow> guard(window);
    m_main->moveCurrentNoteToTrash(false);
    QTRY_VERIFY(guard.isNull());
    QVERIFY(m_state->openNoteWindowIds().isEmpty());
}

void TestNoteWindow::saveKeyKeepsOneSnapshot()
{
    m_state->openNoteWindow(m_id);
    NoteWindow *window = m_state->noteWindow(m_id);
    window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(window));
    window->editor()->setFocus();
    QTest::keyClicks(window->editor(), QStringLiteral("Kept"));
    QTest::keySequence(window, QKeySequence::Save);
    QCOMPARE(noteTitle(m_state->notes()->byId(m_id)->body), QStringLiteral("Kept"));
    const QList<NoteSnapshot> snapshots = m_state->snapshots()->forNote(m_id);
    QCOMPARE(snapshots.size(), 1);
    QCOMPARE(snapshots.first().body, m_state->notes()->byId(m_id)->body);
    // Nothing new: no second copy, not even on close.
    QTest::keySequence(window, QKeySequence::Save);
    window->close();
    QCOMPARE(m_state->snapshots()->forNote(m_id).size(), 1);
}

void TestNoteWindow::labelNamesTheNotebook_data()
{
    QTest::addColumn<QString>("notebookId");
    QTest::addColumn<QString>("label");
    QTest::newRow("in a notebook") << "nb1" << "Travel";
    QTest::newRow("in none") << "" << "Notes";
    QTest::newRow("notebook gone") << "missing" << "Notes";
}

void TestNoteWindow::labelNamesTheNotebook()
{
    QFETCH(QString, notebookId);
    QFETCH(QString, label);
    Notebook notebook;
    notebook.id = QStringLiteral("nb1");
    notebook.name = QStringLiteral("Travel");
    notebook.createdAt = notebook.updatedAt = QDateTime::currentDateTimeUtc();
    QVERIFY(m_state->notebooks()->insert(notebook));
    QVERIFY(notebookId.isEmpty() || m_state->notes()->moveToNotebook(m_id, notebookId));
    m_state->openNoteWindow(m_id);
    QCOMPARE(m_state->noteWindow(m_id)->statusBarWidget()->countText(), label);
    m_state->noteWindow(m_id)->close();
}

void TestNoteWindow::viewOnlySharedNoteIsReadOnly()
{
    Note note = *m_state->notes()->byId(m_id);
    note.body = QStringLiteral("[{\"insert\":\"Theirs\\n\"}]");
    note.isShared = true;
    note.permission = QStringLiteral("view");
    QVERIFY(m_state->notes()->update(note));
    m_main->openNote(m_id, true);
    m_state->openNoteWindow(m_id);
    NoteWindow *window = m_state->noteWindow(m_id);
    QVERIFY(window->noteChrome()->toolbar()->isHidden());
    QVERIFY(!window->noteChrome()->headerBar()->isEditable());
    window->editor()->setFocus();
    QTest::keyClicks(window->editor(), QStringLiteral("mine"));
    QCOMPARE(window->editor()->toPlainText(), QStringLiteral("Theirs"));
    const QList<QAction *> actions = window->findChildren<QAction *>();
    for (QAction *action : actions) {
        if (action->text() == QLatin1String("Bold") || action->text() == QLatin1String("Save Snapshot"))
            QVERIFY(!action->isEnabled());
    }
    window->close();
    m_main->saveCurrentNote();
    QCOMPARE(m_state->notes()->byId(m_id)->version, note.version);
}

void TestNoteWindow::barsAboveTheEditor()
{
    Notebook notebook;
    notebook.id = QStringLiteral("nb1");
    notebook.name = QStringLiteral("Travel");
    notebook.createdAt = notebook.updatedAt = QDateTime::currentDateTimeUtc();
    QVERIFY(m_state->notebooks()->insert(notebook));
    QVERIFY(m_state->notes()->moveToNotebook(m_id, notebook.id));
    QVERIFY(m_state->notes()->setIncludeInTodos(m_id, false));
    m_state->openNoteWindow(m_id);
    QPointer<NoteWindow> window = m_state->noteWindow(m_id);
    QSignalSpy closed(window.data(), &NoteWindow::windowClosed);
    NoteHeaderBar *header = window->noteChrome()->headerBar();
    QCOMPARE(window->noteChrome()->toolbar()->editor(), window->editor());
    QVERIFY(header->isEditable());
    QCOMPARE(header->notebookName(), QStringLiteral("Travel"));
    QVERIFY(!header->includeInTodos());
    QVERIFY(header->updatedText().startsWith(QStringLiteral("Updated just now")));
    // No sidebars to hide in a note window.
    QVERIFY(header->findChild<QWidget *>(QStringLiteral("focusToggle"))->isHidden());

    // The header's toggle writes the window's note.
    header->setIncludeInTodos(false);
    Q_EMIT header->includeInTodosToggled(true);
    QVERIFY(m_state->notes()->includeInTodos(m_id));

    // Move to Trash asks first here; the trashed note's window closes, once.
    auto asked = LumoraTest::answerNextBox(QMessageBox::No);
    Q_EMIT header->deleteRequested();
    QVERIFY(*asked);
    QVERIFY(!m_state->notes()->byId(m_id)->isTrashed());
    asked = LumoraTest::answerNextBox(QMessageBox::Yes);
    Q_EMIT header->deleteRequested();
    QVERIFY(*asked);
    QVERIFY(m_state->notes()->byId(m_id)->isTrashed());
    QTRY_VERIFY(!window);
    QCOMPARE(closed.count(), 1);
    QVERIFY(m_state->openNoteWindowIds().isEmpty());
}

LUMORA_TEST_MAIN(TestNoteWindow)
#include "tst_notewindow.moc"
