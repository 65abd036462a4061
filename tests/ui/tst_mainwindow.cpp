#include "app/appstate.h"
#include "storage/noterepository.h"
#include "storage/snapshotrepository.h"
#include "ui/mainwindow.h"
#include "ui/noteeditor.h"
#include "ui/statusbar.h"

#include "testmain.h"

#include "storage/preferencesrepository.h"
#include "ui/notelistwidget.h"

#include <QLineEdit>
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

    void newNoteIsWritableAndReopened();
    void reloadsWhenSavedElsewhere();
    void listDrivesTheEditor();
    void leavingAChangedNoteSnapshotsIt();
    void oneNoteChangesMoveOneRow_data();
    void oneNoteChangesMoveOneRow();

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

void TestMainWindow::newNoteIsWritableAndReopened()
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

    // A new window reopens the last open note.
    m_window = std::make_unique<MainWindow>(m_state.get());
    QCOMPARE(m_window->openNoteId(), all.first().id);
    QCOMPARE(m_window->editor()->toPlainText(), QStringLiteral("Fresh"));
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
    // ...and are still written by the next save.
    m_window->saveCurrentNote();
    QVERIFY(deltaToPlainText(m_state->notes()->byId(QStringLiteral("a"))->body).contains(QLatin1Char('Z')));
}

void TestMainWindow::listDrivesTheEditor()
{
    auto *list = m_window->findChild<NoteListWidget *>();
    QCOMPARE(list->count(), 2);
    QCOMPARE(list->noteIdAt(0), QStringLiteral("b")); // newest first
    list->setCurrentRow(1);
    QCOMPARE(m_window->openNoteId(), QStringLiteral("a"));
    QCOMPARE(m_window->editor()->toPlainText(), QStringLiteral("Alpha"));
    QVERIFY(!m_window->editor()->isReadOnly());

    // The autosave writes after the debounce and moves the row to the top; the
    // edited note stays current, silently, and the list is not read again.
    QSignalSpy changed(m_state.get(), &AppState::notesChanged);
    QSignalSpy selected(list, &NoteListWidget::noteSelected);
    QSignalSpy reset(list->model(), &QAbstractItemModel::modelAboutToBeReset);
    m_window->editor()->moveCursor(QTextCursor::End);
    QTest::keyClicks(m_window->editor(), QStringLiteral(" edited"));
    QCOMPARE(changed.count(), 0);
    QTRY_COMPARE_WITH_TIMEOUT(list->noteIdAt(0), QStringLiteral("a"), 3000);
    const Note saved = *m_state->notes()->byId(QStringLiteral("a"));
    QCOMPARE(saved.version, 2);
    QVERIFY(saved.updatedAt > m_t0);
    QCOMPARE(saved.syncStatus, SyncStatus::Pending);
    QCOMPARE(m_state->notes()->search(QStringLiteral("edited")).size(), 1);
    QTRY_VERIFY(m_window->statusBarWidget()->noteStateText().endsWith(QStringLiteral("Saved")));
    QCOMPARE(list->currentNoteId(), QStringLiteral("a"));
    QCOMPARE(list->model()->index(0, 0).data(NoteListWidget::TitleRole).toString(), QStringLiteral("Alpha edited"));
    QCOMPARE(selected.count(), 0);
    QCOMPARE(reset.count(), 0);

    // Delete in the list trashes without asking and opens the next note;
    // trashing the last one leaves the editor empty and read-only.
    list->setFocus();
    QTest::keyClick(list, Qt::Key_Delete);
    QVERIFY(m_state->notes()->byId(QStringLiteral("a"))->isTrashed());
    QCOMPARE(list->count(), 1);
    QCOMPARE(m_window->openNoteId(), QStringLiteral("b"));
    QCOMPARE(list->currentNoteId(), QStringLiteral("b"));
    m_window->moveCurrentNoteToTrash(false);
    QVERIFY(m_window->openNoteId().isEmpty());
    QVERIFY(m_window->editor()->isReadOnly());
}

namespace {

QStringList listedIds(const NoteListWidget *list)
{
    QStringList ids;
    for (int row = 0; row < list->count(); ++row)
        ids.append(list->noteIdAt(row));
    return ids;
}

} // namespace

void TestMainWindow::oneNoteChangesMoveOneRow_data()
{
    QTest::addColumn<QString>("view"); // "all", "steno", a notebook id, or "search:<text>"
    QTest::addColumn<QString>("changes"); // "<op> <note> [notebook]", separated by ';'
    QTest::addColumn<QString>("expected"); // listed ids afterwards, or "=" for unchanged

    // Listed newest first: d c b a; c and d in notebook nb1, and only they say "common".
    // clang-format off
    QTest::newRow("save moves to the top") << "all" << "save a" << "a d c b";
    QTest::newRow("steno: a save goes last") << "steno" << "save b" << "a c d b";
    QTest::newRow("trash removes the row") << "all" << "trash c" << "d b a";
    QTest::newRow("trashing the current note leaves none current") << "all" << "trash d" << "c b a";
    QTest::newRow("restore comes back at its date") << "all" << "trash b;restore b" << "d c b a";
    QTest::newRow("steno: restore comes back at its date") << "steno" << "trash c;restore c" << "a b c d";
    QTest::newRow("purge removes the row") << "all" << "purge a" << "d c b";
    QTest::newRow("moved out of the notebook shown") << "nb1" << "move c -" << "d";
    QTest::newRow("moved into the notebook shown, at its date") << "nb1" << "move b nb1" << "d c b";
    QTest::newRow("new note in the notebook shown") << "nb1" << "insert e nb1" << "e d c";
    QTest::newRow("new note elsewhere stays out") << "nb1" << "insert e -" << "d c";
    QTest::newRow("search: a saved row keeps its place") << "search:common" << "save $last" << "=";
    QTest::newRow("search: trash removes the row") << "search:common" << "trash c" << "d";
    QTest::newRow("search: a new note waits for the next search") << "search:common" << "insert e -" << "=";
    // clang-format on
}

void TestMainWindow::oneNoteChangesMoveOneRow()
{
    QFETCH(QString, view);
    QFETCH(QString, changes);
    QFETCH(QString, expected);

    NoteRepository *notes = m_state->notes();
    Note c = makeNote(QStringLiteral("c"), QStringLiteral("Gamma common"), m_t0.addSecs(120));
    c.notebookId = QStringLiteral("nb1");
    Note d = makeNote(QStringLiteral("d"), QStringLiteral("Delta common"), m_t0.addSecs(180));
    d.notebookId = QStringLiteral("nb1");
    QVERIFY(notes->insert(c) && notes->insert(d));
    m_state->preferences()->setBool(QStringLiteral("steno_mode"), view == QLatin1String("steno"));
    if (view.startsWith(QLatin1String("nb")))
        m_state->setCurrentNotebookId(view);
    m_window = std::make_unique<MainWindow>(m_state.get());
    m_window->show();
    auto *list = m_window->findChild<NoteListWidget *>();
    if (view.startsWith(QLatin1String("search:"))) {
        m_window->findChild<QLineEdit *>()->setText(view.mid(7));
        QTRY_COMPARE(list->count(), 2);
    }
    m_window->selectNote(QStringLiteral("d"));
    const QStringList before = listedIds(list);
    const QStringList expectedIds = expected == QLatin1String("=") ? before : expected.split(QLatin1Char(' '));

    QSignalSpy selected(list, &NoteListWidget::noteSelected);
    QSignalSpy reset(list->model(), &QAbstractItemModel::modelAboutToBeReset);
    QString savedTitle;
    QString savedId;
    for (const QString &change : changes.split(QLatin1Char(';'))) {
        const QStringList parts = change.split(QLatin1Char(' '));
        const QString &op = parts.at(0);
        const QString id = parts.at(1) == QLatin1String("$last") ? before.last() : parts.at(1);
        const QString notebook = parts.value(2) == QLatin1String("-") ? QString() : parts.value(2);
        if (op == QLatin1String("save")) {
            savedId = id;
            savedTitle = QStringLiteral("Saved %1 common").arg(id);
            const QString body = QStringLiteral("[{\"insert\":\"%1\\n\"}]").arg(savedTitle);
            QCOMPARE(notes->saveEditedBody(id, body), NoteRepository::SaveResult::Saved);
        } else if (op == QLatin1String("trash")) {
            QVERIFY(notes->moveToTrash(id));
        } else if (op == QLatin1String("restore")) {
            QVERIFY(notes->restore(id));
        } else if (op == QLatin1String("purge")) {
            QVERIFY(notes->purge(id));
        } else if (op == QLatin1String("move")) {
            QVERIFY(notes->moveToNotebook(id, notebook));
        } else if (op == QLatin1String("insert")) {
            Note note = makeNote(id, QStringLiteral("Epsilon"), QDateTime::currentDateTimeUtc());
            note.notebookId = notebook;
            QVERIFY(notes->insert(note));
        }
    }

    QCOMPARE(listedIds(list), expectedIds);
    QCOMPARE(reset.count(), 0); // one row moved, no full refresh
    QCOMPARE(selected.count(), 0);
    QCOMPARE(list->currentNoteId(), expectedIds.contains(QStringLiteral("d")) ? QStringLiteral("d") : QString());
    QVERIFY(m_window->statusBarWidget()->countText().contains(QStringLiteral("(%1 note").arg(expectedIds.size())));
    if (!savedTitle.isEmpty()) {
        const int row = int(expectedIds.indexOf(savedId));
        QCOMPARE(list->model()->index(row, 0).data(NoteListWidget::TitleRole).toString(), savedTitle);
    }
}

void TestMainWindow::leavingAChangedNoteSnapshotsIt()
{
    SnapshotRepository *snapshots = m_state->snapshots();
    m_window->selectNote(QStringLiteral("a"));
    m_window->selectNote(QStringLiteral("b"));
    QVERIFY(snapshots->forNote(QStringLiteral("a")).isEmpty()); // looked at, not changed

    // Switching saves at once, without waiting for the timer.
    m_window->selectNote(QStringLiteral("a"));
    m_window->editor()->moveCursor(QTextCursor::End);
    QTest::keyClicks(m_window->editor(), QStringLiteral(" v2"));
    m_window->selectNote(QStringLiteral("b"));
    QCOMPARE(noteTitle(m_state->notes()->byId(QStringLiteral("a"))->body), QStringLiteral("Alpha v2"));
    QCOMPARE(m_window->openNoteId(), QStringLiteral("b"));
    QCOMPARE(m_window->editor()->toPlainText(), QStringLiteral("Beta"));
    QCOMPARE(m_state->currentNoteId(), QStringLiteral("b"));
    QCOMPARE(m_state->notes()->byId(QStringLiteral("b"))->version, 1); // only a real change counts
    QList<NoteSnapshot> list = snapshots->forNote(QStringLiteral("a"));
    QCOMPARE(list.size(), 1);
    QCOMPARE(list.first().version, 2); // the version the save just made
    QCOMPARE(list.first().body, m_state->notes()->byId(QStringLiteral("a"))->body);

    // Closing the window saves and is a leave too.
    m_window->selectNote(QStringLiteral("a"));
    m_window->editor()->moveCursor(QTextCursor::End);
    QTest::keyClicks(m_window->editor(), QStringLiteral(" v3"));
    m_window->close();
    QCOMPARE(noteTitle(m_state->notes()->byId(QStringLiteral("a"))->body), QStringLiteral("Alpha v2 v3"));
    list = snapshots->forNote(QStringLiteral("a"));
    QCOMPARE(list.size(), 2);
    QCOMPARE(list.first().version, 3);
}

LUMORA_TEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
