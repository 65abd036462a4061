#include "app/appstate.h"
#include "storage/database.h"
#include "storage/notebookrepository.h"
#include "storage/noterepository.h"
#include "storage/snapshotrepository.h"
#include "ui/notelistwidget.h"
#include "ui/searchscreen.h"
#include "ui/trashscreen.h"

#include "dialoganswers.h"
#include "testmain.h"

#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>

#include <memory>

using LumoraTest::answerNextBox;

namespace {

Note makeNote(const QString &id, const QString &text)
{
    Note note;
    note.id = id;
    note.body = QStringLiteral("[{\"insert\":\"%1\\n\"}]").arg(text);
    note.createdAt = note.updatedAt = note.modifiedAt = QDateTime(QDate(2024, 3, 1), QTime(9, 0), Qt::UTC);
    return note;
}

} // namespace

// The Search and Trash windows on a real database.
class TestScreens : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();

    void searchQueries_data();
    void searchQueries();
    void searchShowsMatches_data();
    void searchShowsMatches();
    void trashButtonsFollowTheList();
    void trashRowsCarryTrashTime();
    void purgeWithChildRows_data();
    void purgeWithChildRows();

private:
    std::unique_ptr<LumoraTest::ScopedDataDir> m_dir;
    std::unique_ptr<AppState> m_state;
};

void TestScreens::init()
{
    m_dir = std::make_unique<LumoraTest::ScopedDataDir>();
    m_state = std::make_unique<AppState>();
    QVERIFY(m_state->initialize());
    NoteRepository *notes = m_state->notes();
    QVERIFY(notes->insert(makeNote(QStringLiteral("a"), QStringLiteral("Apple orchard"))));
    QVERIFY(notes->insert(makeNote(QStringLiteral("b"), QStringLiteral("Banana bread"))));
    QVERIFY(notes->insert(makeNote(QStringLiteral("c"), QStringLiteral("Cherry orchard"))));
}

void TestScreens::cleanup()
{
    m_state.reset();
    m_dir.reset();
}

void TestScreens::searchQueries_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<int>("rows");

    QTest::newRow("empty") << QString() << 0;
    QTest::newRow("spaces only") << QStringLiteral("   ") << 0;
    QTest::newRow("two matches") << QStringLiteral("orchard") << 2;
}

void TestScreens::searchQueries()
{
    QFETCH(QString, typed);
    QFETCH(int, rows);
    SearchScreen screen(m_state.get());
    screen.show();
    // Something listed first, so that an empty result is a real change.
    screen.queryField()->setText(QStringLiteral("a"));
    screen.runSearch();
    QVERIFY(screen.list()->count() > 0);

    QTest::keyClick(screen.queryField(), Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(screen.queryField(), Qt::Key_Backspace);
    QTest::keyClicks(screen.queryField(), typed);
    // The search runs after the typing pause, by itself.
    QTRY_COMPARE(screen.list()->count(), rows);

    // Picking a result makes it the current note.
    if (rows > 0) {
        screen.list()->setCurrentRow(0);
        QCOMPARE(m_state->currentNoteId(), screen.list()->noteIdAt(0));
    }
}

void TestScreens::searchShowsMatches_data()
{
    QTest::addColumn<QString>("query");
    QTest::addColumn<QString>("noteId");
    QTest::addColumn<QStringList>("marked"); // words between the match markers, in order

    QTest::newRow("whole word") << QStringLiteral("bread") << QStringLiteral("b") << QStringList{QStringLiteral("bread")};
    QTest::newRow("prefix marks the word") << QStringLiteral("ban") << QStringLiteral("b")
                                           << QStringList{QStringLiteral("Banana")};
    QTest::newRow("two words") << QStringLiteral("cherry orchard") << QStringLiteral("c")
                               << QStringList{QStringLiteral("Cherry"), QStringLiteral("orchard")};
}

void TestScreens::searchShowsMatches()
{
    QFETCH(QString, query);
    QFETCH(QString, noteId);
    QFETCH(QStringList, marked);

    Notebook fruit;
    fruit.id = QStringLiteral("nb-fruit");
    fruit.name = QStringLiteral("Fruit");
    fruit.createdAt = fruit.updatedAt = QDateTime::currentDateTimeUtc();
    QVERIFY(m_state->notebooks()->insert(fruit));
    QVERIFY(m_state->notes()->moveToNotebook(noteId, fruit.id));

    SearchScreen screen(m_state.get());
    screen.queryField()->setText(query);
    screen.runSearch();
    int row = 0;
    while (row < screen.list()->count() && screen.list()->noteIdAt(row) != noteId)
        ++row;
    QVERIFY(row < screen.list()->count());
    const QModelIndex index = screen.list()->model()->index(row, 0);
    QCOMPARE(index.data(NoteListWidget::NotebookNameRole).toString(), fruit.name);

    const QString preview = index.data(NoteListWidget::MatchPreviewRole).toString();
    QStringList found;
    for (qsizetype at = preview.indexOf(NoteRepository::kMatchStart); at >= 0;
         at = preview.indexOf(NoteRepository::kMatchStart, at + 1)) {
        const qsizetype end = preview.indexOf(NoteRepository::kMatchEnd, at);
        QVERIFY2(end > at, qPrintable(preview));
        found << preview.mid(at + 1, end - at - 1);
    }
    QCOMPARE(found, marked);

    // The same row listed without a search shows no extract.
    const QList<qint64> rowIds = m_state->notes()->searchRowIds(query);
    screen.list()->setRowIds(rowIds, NoteListing{});
    const QModelIndex plain = screen.list()->model()->index(row, 0);
    QCOMPARE(plain.data(NoteListWidget::NoteIdRole).toString(), noteId);
    QVERIFY(plain.data(NoteListWidget::MatchPreviewRole).toString().isEmpty());
}

void TestScreens::trashButtonsFollowTheList()
{
    TrashScreen trash(m_state.get());
    trash.show();
    trash.refresh();
    QCOMPARE(trash.list()->count(), 0);
    QVERIFY(!trash.emptyButton()->isEnabled());

    QVERIFY(m_state->notes()->moveToTrash(QStringLiteral("a")));
    // Trashed elsewhere while the window is open.
    QTRY_COMPARE(trash.list()->count(), 1);
    QVERIFY(trash.emptyButton()->isEnabled());
    QVERIFY(!trash.restoreButton()->isEnabled());
    QVERIFY(!trash.deleteButton()->isEnabled());

    trash.list()->setCurrentRow(0);
    QVERIFY(trash.restoreButton()->isEnabled() && trash.deleteButton()->isEnabled());
    QTest::mouseClick(trash.restoreButton(), Qt::LeftButton);
    QVERIFY(!m_state->notes()->byId(QStringLiteral("a"))->isTrashed());
    QCOMPARE(trash.list()->count(), 0);
    QVERIFY(!trash.emptyButton()->isEnabled());
}

void TestScreens::trashRowsCarryTrashTime()
{
    QVERIFY(m_state->notes()->moveToTrash(QStringLiteral("b")));
    const QDateTime trashedAt = m_state->notes()->byId(QStringLiteral("b"))->deletedAt.value_or(QDateTime());
    QVERIFY(trashedAt.isValid());
    TrashScreen trash(m_state.get());
    trash.refresh();
    QCOMPARE(trash.list()->count(), 1);
    const QModelIndex index = trash.list()->model()->index(0, 0);
    QCOMPARE(index.data(NoteListWidget::TrashedAtRole).toDateTime(), trashedAt);
    // The main list's rows are not in the trash and say nothing of it.
    SearchScreen search(m_state.get());
    search.queryField()->setText(QStringLiteral("apple"));
    search.runSearch();
    QVERIFY(!search.list()->model()->index(0, 0).data(NoteListWidget::TrashedAtRole).isValid());
}

void TestScreens::purgeWithChildRows_data()
{
    QTest::addColumn<bool>("emptyAll"); // Empty Trash, else Delete Permanently of one
    QTest::addColumn<QMessageBox::StandardButton>("answer");
    QTest::addColumn<QStringList>("left"); // notes still stored afterwards

    const QStringList all{QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c")};
    QTest::newRow("delete one, yes") << false << QMessageBox::Yes << QStringList{QStringLiteral("b"), QStringLiteral("c")};
    QTest::newRow("delete one, no") << false << QMessageBox::No << all;
    QTest::newRow("empty, yes") << true << QMessageBox::Yes << QStringList{QStringLiteral("c")};
}

void TestScreens::purgeWithChildRows()
{
    QFETCH(bool, emptyAll);
    QFETCH(QMessageBox::StandardButton, answer);
    QFETCH(QStringList, left);

    NoteRepository *notes = m_state->notes();
    // Child rows that would refuse the note's delete with foreign keys on.
    for (const QString &id : {QStringLiteral("a"), QStringLiteral("b")}) {
        QVERIFY(snapshotStoredVersion(m_state->snapshots(), notes, id));
        QVERIFY(notes->setIncludeInTodos(id, false));
        QVERIFY(notes->moveToTrash(id));
    }
    TrashScreen trash(m_state.get());
    trash.show();
    trash.refresh();
    QCOMPARE(trash.list()->count(), 2);
    trash.list()->selectNote(QStringLiteral("a"));
    QSignalSpy changed(notes, &NoteRepository::notesChanged);

    const auto asked = answerNextBox(answer);
    QTest::mouseClick(emptyAll ? trash.emptyButton() : trash.deleteButton(), Qt::LeftButton);
    QVERIFY(*asked);

    QStringList stored;
    for (const QString &id : {QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c")}) {
        if (notes->byId(id))
            stored << id;
    }
    QCOMPARE(stored, left);
    // Emptying writes once, whatever the number of notes.
    QCOMPARE(changed.count(), answer == QMessageBox::Yes ? 1 : 0);
    // The list shows what is still in the trash.
    QCOMPARE(trash.list()->count(), int(left.contains(QStringLiteral("a"))) + int(left.contains(QStringLiteral("b"))));
}

LUMORA_TEST_MAIN(TestScreens)

#include "tst_screens.moc"
