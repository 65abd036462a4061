#include "app/appstate.h"
#include "storage/noterepository.h"
#include "storage/snapshotrepository.h"
#include "ui/mainwindow.h"
#include "ui/noteeditor.h"
#include "ui/statusbar.h"

#include "testmain.h"

#include "ui/notelistwidget.h"
#include <QSignalSpy>

#include <memory>

namespace {

Note makeNote(const QString &id, const QString &title, const QDateTime &updated)
{
    Note note;
    note.id = id;
    note.body = QStringLiteral("[{\"insert\":\"%1\"},{\"insert\":\"\\n\"}]").arg(title);
    note.createdAt = note.updatedAt = note.modifiedAt = updated;
    return note;
}

} // namespace

// The main window's editing loop against a real database.
class TestMainWindow : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();

    void typingSavesAfterTheDebounce();
    void switchingNotesSavesAtOnce();
    void newNoteOpensEmptyAndWritable();
    void trashingTheOpenNoteClearsTheEditor();
    void closingSavesPendingEdits();
    void reopensLastNote();
    void reloadsWhenSavedElsewhere();
    void listDrivesTheEditor();
    void leavingAChangedNoteSnapshotsIt();

private:
    std::unique_ptr<LumoraTest::ScopedDataDir> m_dir;
    std::unique_ptr<AppState> m_state;
    std::unique_ptr<MainWindow> m_window;
    QDateTime m_t0 = QDateTime(QDate(2024, 1, 1), QTime(8, 0), Qt::UTC);
};

void TestMainWindow::init()
{
    m_dir = std::make_unique<LumoraTest::ScopedDataDir>();
    m_state = std::make_unique<AppState>();
    QVERIFY(m_state->initialize());
    QVERIFY(m_state->notes()->insert(makeNote(QStringLiteral("a"), QStringLiteral("Alpha"), m_t0)));
    QVERIFY(m_state->notes()->insert(makeNote(QStringLiteral("b"), QStringLiteral("Beta"), m_t0.addSecs(60))));
    m_window = std::make_unique<MainWindow>(m_state.get());
    m_window->show();
}

void TestMainWindow::cleanup()
{
    m_window.reset();
    m_state.reset();
    m_dir.reset();
}

void TestMainWindow::typingSavesAfterTheDebounce()
{
    m_window->selectNote(QStringLiteral("a"));
    NoteEditor *editor = m_window->editor();
    QVERIFY(!editor->isReadOnly());
    QSignalSpy changed(m_state.get(), &AppState::notesChanged);
    editor->moveCursor(QTextCursor::End);
    QTest::keyClicks(editor, QStringLiteral(" more"));
    QCOMPARE(changed.count(), 0); // nothing is written while typing
    QTRY_COMPARE_WITH_TIMEOUT(m_state->notes()->byId(QStringLiteral("a"))->version, 2, 3000);
    const Note saved = *m_state->notes()->byId(QStringLiteral("a"));
    QVERIFY(deltaToPlainText(saved.body).contains(QStringLiteral("more")));
    QVERIFY(saved.updatedAt > m_t0);
    QCOMPARE(saved.syncStatus, SyncStatus::Pending);
    // The saved note moved to the top of the list and stayed selected.
    QCOMPARE(m_window->openNoteId(), QStringLiteral("a"));
    QTRY_VERIFY(m_window->statusBarWidget()->noteStateText().endsWith(QStringLiteral("Saved")));
    QCOMPARE(m_state->notes()->search(QStringLiteral("more")).size(), 1);
}

void TestMainWindow::switchingNotesSavesAtOnce()
{
    m_window->selectNote(QStringLiteral("a"));
    m_window->editor()->moveCursor(QTextCursor::End);
    QTest::keyClicks(m_window->editor(), QStringLiteral("X"));
    m_window->selectNote(QStringLiteral("b"));
    // Saved on the switch, without waiting for the timer.
    QVERIFY(deltaToPlainText(m_state->notes()->byId(QStringLiteral("a"))->body).contains(QStringLiteral("AlphaX")));
    QCOMPARE(m_window->openNoteId(), QStringLiteral("b"));
    QCOMPARE(m_window->editor()->toPlainText(), QStringLiteral("Beta"));
    QCOMPARE(m_state->currentNoteId(), QStringLiteral("b"));
    // Only a real change counts: b was not touched.
    QCOMPARE(m_state->notes()->byId(QStringLiteral("b"))->version, 1);
}

void TestMainWindow::newNoteOpensEmptyAndWritable()
{
    m_window->newNote();
    const QList<Note> all = m_state->notes()->all();
    QCOMPARE(all.size(), 3);
    QCOMPARE(m_window->openNoteId(), all.first().id);
    QCOMPARE(all.first().body, emptyNoteBody());
    QVERIFY(!m_window->editor()->isReadOnly());
    QTest::keyClicks(m_window->editor(), QStringLiteral("Fresh"));
    m_window->saveCurrentNote();
    QCOMPARE(noteTitle(m_state->notes()->byId(all.first().id)->body), QStringLiteral("Fresh"));
}

void TestMainWindow::trashingTheOpenNoteClearsTheEditor()
{
    m_window->selectNote(QStringLiteral("b"));
    m_window->moveCurrentNoteToTrash(false);
    QVERIFY(m_state->notes()->byId(QStringLiteral("b"))->isTrashed());
    QCOMPARE(m_window->findChild<NoteListWidget *>()->count(), 1);
    // The next note takes its place in the editor.
    QCOMPARE(m_window->openNoteId(), QStringLiteral("a"));
    m_window->moveCurrentNoteToTrash(false);
    QVERIFY(m_window->openNoteId().isEmpty());
    QVERIFY(m_window->editor()->isReadOnly());
}

void TestMainWindow::closingSavesPendingEdits()
{
    m_window->selectNote(QStringLiteral("a"));
    m_window->editor()->moveCursor(QTextCursor::End);
    QTest::keyClicks(m_window->editor(), QStringLiteral("!"));
    m_window->close();
    QCOMPARE(noteTitle(m_state->notes()->byId(QStringLiteral("a"))->body), QStringLiteral("Alpha!"));
}

void TestMainWindow::reopensLastNote()
{
    m_window->selectNote(QStringLiteral("a"));
    m_window.reset();
    m_window = std::make_unique<MainWindow>(m_state.get());
    QCOMPARE(m_window->openNoteId(), QStringLiteral("a"));
    QCOMPARE(m_window->editor()->toPlainText(), QStringLiteral("Alpha"));
}

void TestMainWindow::reloadsWhenSavedElsewhere()
{
    m_window->selectNote(QStringLiteral("a"));
    const QString other = QStringLiteral("[{\"insert\":\"Changed elsewhere\"},{\"insert\":\"\\n\"}]");
    QCOMPARE(m_state->notes()->saveEditedBody(QStringLiteral("a"), other), NoteRepository::SaveResult::Saved);
    QCOMPARE(m_window->editor()->toPlainText(), QStringLiteral("Changed elsewhere"));

    // Unsaved edits are not thrown away by a change from elsewhere.
    QTest::keyClicks(m_window->editor(), QStringLiteral("Z"));
    const QString third = QStringLiteral("[{\"insert\":\"Third\"},{\"insert\":\"\\n\"}]");
    QCOMPARE(m_state->notes()->saveEditedBody(QStringLiteral("a"), third), NoteRepository::SaveResult::Saved);
    QVERIFY(m_window->editor()->toPlainText().contains(QLatin1Char('Z')));
}

void TestMainWindow::listDrivesTheEditor()
{
    auto *list = m_window->findChild<NoteListWidget *>();
    QCOMPARE(list->count(), 2);
    QCOMPARE(list->noteIdAt(0), QStringLiteral("b")); // newest first
    list->setCurrentRow(1);
    QCOMPARE(m_window->openNoteId(), QStringLiteral("a"));
    QCOMPARE(m_window->editor()->toPlainText(), QStringLiteral("Alpha"));

    // An autosave re-sorts the list; the edited note stays current.
    m_window->editor()->moveCursor(QTextCursor::End);
    QTest::keyClicks(m_window->editor(), QStringLiteral(" edited"));
    QTRY_COMPARE_WITH_TIMEOUT(list->noteIdAt(0), QStringLiteral("a"), 3000);
    QCOMPARE(list->currentNoteId(), QStringLiteral("a"));

    // Delete in the list trashes without asking and opens the next note.
    list->setFocus();
    QTest::keyClick(list, Qt::Key_Delete);
    QVERIFY(m_state->notes()->byId(QStringLiteral("a"))->isTrashed());
    QCOMPARE(m_window->openNoteId(), QStringLiteral("b"));
    QCOMPARE(list->currentNoteId(), QStringLiteral("b"));
}

void TestMainWindow::leavingAChangedNoteSnapshotsIt()
{
    SnapshotRepository *snapshots = m_state->snapshots();
    m_window->selectNote(QStringLiteral("a"));
    m_window->selectNote(QStringLiteral("b"));
    QVERIFY(snapshots->forNote(QStringLiteral("a")).isEmpty()); // looked at, not changed

    m_window->selectNote(QStringLiteral("a"));
    m_window->editor()->moveCursor(QTextCursor::End);
    QTest::keyClicks(m_window->editor(), QStringLiteral(" v2"));
    m_window->selectNote(QStringLiteral("b"));
    QList<NoteSnapshot> list = snapshots->forNote(QStringLiteral("a"));
    QCOMPARE(list.size(), 1);
    QCOMPARE(list.first().version, 2); // the version the save just made
    QCOMPARE(list.first().body, m_state->notes()->byId(QStringLiteral("a"))->body);

    // Closing the window is a leave too.
    m_window->selectNote(QStringLiteral("a"));
    QTest::keyClicks(m_window->editor(), QStringLiteral(" v3"));
    m_window->close();
    list = snapshots->forNote(QStringLiteral("a"));
    QCOMPARE(list.size(), 2);
    QCOMPARE(list.first().version, 3);
}

LUMORA_TEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
