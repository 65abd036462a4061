#include "app/appstate.h"
#include "notegenerator.h"
#include "storage/database.h"
#include "storage/noterepository.h"
#include "storage/snapshotrepository.h"
#include "ui/mainwindow.h"
#include "ui/noteeditor.h"
#include "ui/notelistwidget.h"
#include "ui/notewindow.h"
#include "ui/statusbar.h"

#include "testmain.h"

#include <QSignalSpy>
#include <QSqlQuery>

#include <memory>

namespace {

// Everything a stray write would touch, one line per note.
QStringList noteRows(Database *database)
{
    QStringList rows;
    QSqlQuery q(database->db());
    q.exec(QStringLiteral("SELECT id, body, version, updated_at, modified_at, sync_status FROM notes ORDER BY id"));
    while (q.next()) {
        QStringList fields;
        for (int i = 0; i < 6; ++i)
            fields << q.value(i).toString();
        rows << fields.join(QLatin1Char('|'));
    }
    return rows;
}

int snapshotCount(Database *database)
{
    QSqlQuery q(database->db());
    q.exec(QStringLiteral("SELECT COUNT(*) FROM note_snapshots"));
    return q.next() ? q.value(0).toInt() : -1;
}

} // namespace

// A note is written only when the user changed it, in every window.
class TestSaveRule : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();

    void browsingWritesNothing();
    void editingOneNoteWritesOnlyThatNote();
    void changeElsewhereReloadsWithoutMovingTheCursor();
    void failedSaveKeepsTheTextAndRetries();
    void pulledChangeWhileOpen_data();
    void pulledChangeWhileOpen();

private:
    void browseAll();

    std::unique_ptr<LumoraTest::ScopedDataDir> m_dir;
    std::unique_ptr<AppState> m_state;
    std::unique_ptr<MainWindow> m_window;
    QStringList m_ids;
};

void TestSaveRule::init()
{
    m_dir = std::make_unique<LumoraTest::ScopedDataDir>();
    m_state = std::make_unique<AppState>();
    QVERIFY(m_state->initialize());
    // Generated bodies (headings, code, dividers, tables) differ from what the editor would write.
    GeneratorOptions options;
    options.count = 50;
    options.trashedPercent = 0;
    options.seed = 7;
    NoteGenerator generator(options);
    m_ids.clear();
    while (!generator.atEnd()) {
        const Note note = generator.next();
        QVERIFY(m_state->notes()->insert(note));
        m_ids << note.id;
    }
    m_window = std::make_unique<MainWindow>(m_state.get());
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
}

void TestSaveRule::cleanup()
{
    m_window.reset();
    m_state.reset();
    m_dir.reset();
}

void TestSaveRule::browseAll()
{
    auto *list = m_window->findChild<NoteListWidget *>();
    QVERIFY(list);
    list->setFocus();
    list->setCurrentRow(0);
    for (int i = 1; i < m_ids.size(); ++i) {
        QTest::keyClick(list, Qt::Key_Down);
        QCOMPARE(m_window->openNoteId(), list->currentNoteId());
    }
    // Longer than the autosave delay: a timer armed by looking would fire.
    QTest::qWait(1200);
}

void TestSaveRule::browsingWritesNothing()
{
    const QStringList before = noteRows(m_state->database());
    for (int i = 0; i < 5; ++i) // note windows only look too
        m_state->openNoteWindow(m_ids.at(i));
    browseAll();
    for (int i = 0; i < 5; ++i)
        m_state->noteWindow(m_ids.at(i))->close();
    m_window->close();
    QCOMPARE(noteRows(m_state->database()), before);
    QCOMPARE(snapshotCount(m_state->database()), 0);
}

void TestSaveRule::editingOneNoteWritesOnlyThatNote()
{
    const QStringList before = noteRows(m_state->database());
    auto *list = m_window->findChild<NoteListWidget *>();
    list->setCurrentRow(5);
    const QString edited = m_window->openNoteId();
    NoteEditor *editor = m_window->editor();
    editor->moveCursor(QTextCursor::End);
    QTest::keyClicks(editor, QStringLiteral(" zebra"));
    browseAll();
    m_window->close();

    const QStringList after = noteRows(m_state->database());
    QCOMPARE(after.size(), before.size());
    int changed = 0;
    for (int i = 0; i < after.size(); ++i) {
        if (after.at(i) == before.at(i))
            continue;
        ++changed;
        QVERIFY(after.at(i).startsWith(edited + QLatin1Char('|')));
    }
    QCOMPARE(changed, 1);
    const std::optional<Note> note = m_state->notes()->byId(edited);
    QVERIFY(deltaToPlainText(note->body).contains(QLatin1String("zebra")));
    QCOMPARE(note->version, 2); // written once, on leaving
    const QList<NoteSnapshot> snapshots = m_state->snapshots()->forNote(edited);
    QCOMPARE(snapshots.size(), 1);
    QCOMPARE(snapshots.first().body, note->body);
    QCOMPARE(snapshotCount(m_state->database()), 1);
}

void TestSaveRule::changeElsewhereReloadsWithoutMovingTheCursor()
{
    const QString id = m_ids.at(3);
    m_window->selectNote(id);
    NoteEditor *main = m_window->editor();
    QTextCursor cursor = main->textCursor();
    cursor.setPosition(12);
    main->setTextCursor(cursor);

    m_state->openNoteWindow(id);
    NoteWindow *other = m_state->noteWindow(id);
    QVERIFY(other);
    other->editor()->moveCursor(QTextCursor::End);
    QTest::keyClicks(other->editor(), QStringLiteral(" from elsewhere"));
    other->save();

    QVERIFY(main->toPlainText().contains(QLatin1String("from elsewhere")));
    QCOMPARE(main->textCursor().position(), 12);
    QVERIFY(main->isSaved());
    // Reloading is not an edit: nothing more is written by the main window.
    const QStringList before = noteRows(m_state->database());
    m_window->selectNote(m_ids.at(4));
    QCOMPARE(noteRows(m_state->database()), before);
    other->close();
}

void TestSaveRule::failedSaveKeepsTheTextAndRetries()
{
    const QString id = m_ids.at(1);
    m_window->selectNote(id);
    NoteEditor *editor = m_window->editor();
    QVERIFY(QSqlQuery(m_state->database()->db())
                .exec(QStringLiteral(
                    "CREATE TRIGGER refuse BEFORE UPDATE ON notes BEGIN SELECT RAISE(ABORT, 'disk full'); END")));
    QSignalSpy failed(editor, &NoteEditor::saveFailed);
    QSignalSpy modified(editor, &NoteEditor::noteModified);
    editor->moveCursor(QTextCursor::End);
    QTest::keyClicks(editor, QStringLiteral(" keep me"));
    QVERIFY(failed.wait(3000));
    QVERIFY(!editor->isSaved());
    QVERIFY(editor->toPlainText().endsWith(QLatin1String(" keep me")));
    QVERIFY(m_window->statusBarWidget()->noteStateText().contains(QLatin1String("Not saved")));
    QVERIFY(!deltaToPlainText(m_state->notes()->byId(id)->body).contains(QLatin1String("keep me")));

    // The disk comes back: the retry stores the text without another keystroke.
    QVERIFY(QSqlQuery(m_state->database()->db()).exec(QStringLiteral("DROP TRIGGER refuse")));
    const int attempts = int(modified.count());
    QTRY_VERIFY_WITH_TIMEOUT(modified.count() > attempts, 5000);
    QTRY_VERIFY(editor->isSaved());
    QVERIFY(deltaToPlainText(m_state->notes()->byId(id)->body).contains(QLatin1String("keep me")));
    QVERIFY(m_window->statusBarWidget()->noteStateText().endsWith(QLatin1String("Saved")));
}

LUMORA_TEST_MAIN(TestSaveRule)
#include "tst_saverule.moc"

void TestSaveRule::pulledChangeWhileOpen_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("expectedEditorEnd");
    QTest::addColumn<int>("expectedCopies");

    // Without typing the editor shows the server's text; with typing the
    // typing is stored and the server's text is kept as a copy.
    QTest::newRow("no unsaved typing: reloads") << QString() << QStringLiteral("from the server") << 0;
    QTest::newRow("unsaved typing: kept, server text copied") << QStringLiteral(" typed here") << QStringLiteral(" typed here") << 1;
}

void TestSaveRule::pulledChangeWhileOpen()
{
    QFETCH(QString, typed);
    QFETCH(QString, expectedEditorEnd);
    QFETCH(int, expectedCopies);

    const QString id = m_ids.at(2);
    m_window->selectNote(id);
    NoteEditor *editor = m_window->editor();
    editor->moveCursor(QTextCursor::End);
    if (!typed.isEmpty())
        QTest::keyClicks(editor, typed);

    // What a sync pull writes: the server's text as a synced row.
    Note pulled = *m_state->notes()->byId(id);
    pulled.body = QStringLiteral(R"([{"insert":"Server title\nfrom the server\n"}])");
    pulled.version += 5;
    pulled.syncStatus = SyncStatus::Synced;
    QVERIFY(m_state->notes()->update(pulled));
    QVERIFY(editor->toPlainText().endsWith(expectedEditorEnd));

    m_window->selectNote(m_ids.at(4));
    const std::optional<Note> stored = m_state->notes()->byId(id);
    QCOMPARE(deltaToPlainText(stored->body).contains(QLatin1String("typed here")), !typed.isEmpty());
    int copies = 0;
    for (const Note &note : m_state->notes()->all()) {
        if (note.id != id && deltaToPlainText(note.body) == QLatin1String("Server title (conflicting copy)\nfrom the server\n"))
            ++copies;
    }
    QCOMPARE(copies, expectedCopies);
}
