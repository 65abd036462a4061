#include "app/appstate.h"
#include "document/textformats.h"
#include "storage/noterepository.h"
#include "ui/notelistdelegate.h"
#include "ui/notelistwidget.h"
#include "ui/relativetime.h"

#include "testmain.h"

#include <QKeyEvent>
#include <QLocale>
#include <QMimeData>
#include <QSignalSpy>

namespace {

Note makeNote(const QString &id, const QString &body, SyncStatus status = SyncStatus::Synced, bool shared = false)
{
    Note note;
    note.id = id;
    note.body = body;
    note.notebookId = QStringLiteral("nb-") + id;
    note.updatedAt = QDateTime::currentDateTime().addSecs(-120);
    note.syncStatus = status;
    note.isShared = shared;
    return note;
}

QList<Note> makeNotes(const QStringList &ids)
{
    QList<Note> notes;
    for (const QString &id : ids)
        notes.append(makeNote(id, QStringLiteral("[{\"insert\":\"Title %1\\nBody\\n\"}]").arg(id)));
    return notes;
}

} // namespace

class TestNoteList : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates)); }

    void relativeTimes_data();
    void relativeTimes();
    void trashedAgoTexts_data();
    void trashedAgoTexts();
    void texts_data();
    void texts();
    void setNotesKeepsCurrent();
    void userSignals();
    void keys_data();
    void keys();
    void dragData();
    void roles();
    void glyphs_data();
    void glyphs();
    void lazyRowsFarDown();
};

void TestNoteList::relativeTimes_data()
{
    QTest::addColumn<QDateTime>("dateTime");
    QTest::addColumn<QString>("expected");

    // A Wednesday afternoon.
    const QDateTime now(QDate(2024, 6, 12), QTime(15, 0));
    QTest::newRow("59 s") << now.addSecs(-59) << QStringLiteral("just now");
    QTest::newRow("61 s") << now.addSecs(-61) << QStringLiteral("1m ago");
    QTest::newRow("3600 s") << now.addSecs(-3600) << QStringLiteral("1h ago");
    QTest::newRow("yesterday, under 24 h") << QDateTime(QDate(2024, 6, 11), QTime(20, 0)) << QStringLiteral("19h ago");
    QTest::newRow("yesterday, over 24 h") << QDateTime(QDate(2024, 6, 11), QTime(9, 30)) << QStringLiteral("Yesterday");
    QTest::newRow("six days") << QDateTime(QDate(2024, 6, 6), QTime(8, 0)) << QStringLiteral("Thursday");
    QTest::newRow("seven days") << QDateTime(QDate(2024, 6, 5), QTime(18, 0)) << QStringLiteral("Jun 5");
    QTest::newRow("other year") << QDateTime(QDate(2023, 12, 30), QTime(8, 0)) << QStringLiteral("Dec 30, 2023");
    QTest::newRow("future, 1 s") << now.addSecs(1) << QStringLiteral("Jun 12");
    QTest::newRow("invalid") << QDateTime() << QString();
}

void TestNoteList::relativeTimes()
{
    QFETCH(QDateTime, dateTime);
    QFETCH(QString, expected);
    const QDateTime now(QDate(2024, 6, 12), QTime(15, 0));
    QCOMPARE(relativeTime(dateTime, now), expected);
}

void TestNoteList::trashedAgoTexts_data()
{
    QTest::addColumn<qint64>("secondsAgo");
    QTest::addColumn<QString>("expected");

    const qint64 day = 86400;
    QTest::newRow("59 s") << qint64(59) << QStringLiteral("Trashed just now");
    QTest::newRow("1 minute") << qint64(60) << QStringLiteral("Trashed 1 minute ago");
    QTest::newRow("1 hour") << qint64(3600) << QStringLiteral("Trashed 1 hour ago");
    QTest::newRow("1 day") << day << QStringLiteral("Trashed 1 day ago");
    QTest::newRow("2 weeks") << 14 * day << QStringLiteral("Trashed 2 weeks ago");
    QTest::newRow("2 months") << 60 * day << QStringLiteral("Trashed 2 months ago");
    QTest::newRow("1 year") << 365 * day << QStringLiteral("Trashed 1 year ago");
}

void TestNoteList::trashedAgoTexts()
{
    QFETCH(qint64, secondsAgo);
    QFETCH(QString, expected);
    const QDateTime now(QDate(2024, 6, 12), QTime(15, 0), Qt::UTC);
    QCOMPARE(trashedAgo(now.addSecs(-secondsAgo), now), expected);
    // The same instant given in local time reads the same.
    QCOMPARE(trashedAgo(now.addSecs(-secondsAgo).toLocalTime(), now), expected);
    QCOMPARE(trashedAgo(QDateTime(), now), QString());
}

void TestNoteList::texts_data()
{
    QTest::addColumn<QString>("body");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("preview");
    QTest::addColumn<bool>("untitled");

    const QString longLine = QString(130, QLatin1Char('x'));
    QTest::newRow("title and preview")
        << QStringLiteral("[{\"insert\":\"  Groceries \\nMilk\\n\\nEggs\\n\"}]") << QStringLiteral("Groceries")
        << QStringLiteral("Milk  Eggs") << false;
    QTest::newRow("preview moves up") << QStringLiteral("[{\"insert\":\"  \\nSecond line\\nThird\\n\"}]")
                                      << QStringLiteral("Second line Third") << QString() << true;
    QTest::newRow("empty note") << QStringLiteral("[{\"insert\":\"\\n\"}]") << QStringLiteral("Untitled")
                                << QString() << true;
    QTest::newRow("embed line is no title")
        << QStringLiteral("[{\"insert\":{\"divider\":\"hr\"}},{\"insert\":\"\\nAfter\\n\"}]") << QStringLiteral("After")
        << QString() << true;
    // A pasted "<br>" ends the title like a paragraph does.
    QTest::newRow("line break in the first paragraph")
        << QStringLiteral(R"([{"insert":"Title\u2028second\u2028 third\nNext\n"}])") << QStringLiteral("Title")
        << QStringLiteral("second  third Next") << false;
    QTest::newRow("legacy plain text") << QStringLiteral("Plain title\nplain body") << QStringLiteral("Plain title")
                                       << QStringLiteral("plain body") << false;
    QTest::newRow("long preview cut")
        << QStringLiteral("[{\"insert\":\"T\\n%1\\n\"}]").arg(longLine) << QStringLiteral("T")
        << QString(120, QLatin1Char('x')) + QStringLiteral("...") << false;
    // Rows with a null title only have to agree with the repository.
    const QString words = QStringLiteral("word ").repeated(40);
    QTest::newRow("escapes") << QStringLiteral(R"([{"insert":"T\u00e9st \"q\" \\ \/\tx\nnext\r\n"}])") << QString() << QString() << false;
    QTest::newRow("surrogate pair escape") << QStringLiteral(R"([{"insert":"\ud83d\ude00 smile\nok\n"}])") << QString() << QString() << false;
    QTest::newRow("attributes and numbers")
        << QStringLiteral(R"([{"insert":"Head"},{"insert":"\n","attributes":{"header":1,"w":-1.5e3,"a":[true,false,null]}},{"insert":"b\n"}])") << QString() << QString() << false;
    QTest::newRow("non-object ops") << QStringLiteral(R"([1,"x",null,{"insert":"Kept\nline\n"}])") << QString() << QString() << false;
    QTest::newRow("garbage at end is plain text") << QStringLiteral(R"([{"insert":"A\nB\n"}] x)") << QString() << QString() << false;
    QTest::newRow("broken late") << QStringLiteral(R"([{"insert":"A\n%1\n"},{"insert":tru}])").arg(words) << QString() << QString() << false;
}

void TestNoteList::texts()
{
    QFETCH(QString, body);
    QFETCH(QString, title);
    QFETCH(QString, preview);
    QFETCH(bool, untitled);
    const NoteListTexts texts = noteListTexts(body);
    const QString repositoryTitle = noteTitle(body);
    if (!title.isNull()) {
        QCOMPARE(texts.title, title);
        QCOMPARE(texts.preview, preview);
        QCOMPARE(texts.untitled, untitled);
    }
    // The one-pass reader must agree with the repository's own derivations.
    QCOMPARE(texts.untitled, repositoryTitle.isEmpty());
    if (texts.untitled) {
        QCOMPARE(texts.title, notePreview(body).isEmpty() ? QStringLiteral("Untitled") : notePreview(body));
        QCOMPARE(texts.preview, QString());
    } else {
        QCOMPARE(texts.title, repositoryTitle);
        QCOMPARE(texts.preview, notePreview(body));
    }
}

void TestNoteList::setNotesKeepsCurrent()
{
    NoteListWidget list;
    QSignalSpy selected(&list, &NoteListWidget::noteSelected);
    list.setNotes(makeNotes({QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c")}));
    QCOMPARE(list.currentNoteId(), QString());
    QCOMPARE(selected.count(), 0);

    list.selectNote(QStringLiteral("b"));
    QCOMPARE(list.currentNoteId(), QStringLiteral("b"));
    QCOMPARE(selected.count(), 1);
    QCOMPARE(selected.takeFirst().at(0).toString(), QStringLiteral("b"));

    list.selectNote(QStringLiteral("missing"));
    QCOMPARE(list.currentNoteId(), QStringLiteral("b"));
    // Reordered refresh: same note current, at its new row, silently.
    list.setNotes(makeNotes({QStringLiteral("new"), QStringLiteral("c"), QStringLiteral("b"), QStringLiteral("b")}));
    QCOMPARE(list.currentRow(), 2);
    QCOMPARE(list.currentNoteId(), QStringLiteral("b"));
    QCOMPARE(selected.count(), 0);

    // Refresh without it: nothing current, still silent.
    list.setNotes(makeNotes({QStringLiteral("a"), QStringLiteral("c")}));
    QCOMPARE(list.currentNoteId(), QString());
    QCOMPARE(selected.count(), 0);
    list.setCurrentRow(1);
    QCOMPARE(selected.count(), 1);
    QCOMPARE(selected.takeFirst().at(0).toString(), QStringLiteral("c"));
}

void TestNoteList::userSignals()
{
    NoteListWidget list;
    list.resize(400, 600);
    list.setNotes(makeNotes({QStringLiteral("a"), QStringLiteral("b")}));
    list.show();
    QVERIFY(QTest::qWaitForWindowExposed(&list));

    QSignalSpy menu(&list, &NoteListWidget::noteContextMenuRequested);
    QSignalSpy doubleClicked(&list, &NoteListWidget::noteDoubleClicked);
    const QPoint onB = list.visualRect(list.model()->index(1, 0)).center();
    Q_EMIT list.customContextMenuRequested(onB);
    QCOMPARE(menu.count(), 1);
    QCOMPARE(menu.at(0).at(0).toString(), QStringLiteral("b"));
    QCOMPARE(menu.at(0).at(1).toPoint(), list.viewport()->mapToGlobal(onB));

    // Below the last row: no note, no signal.
    Q_EMIT list.customContextMenuRequested(QPoint(10, list.viewport()->height() - 2));
    QCOMPARE(menu.count(), 1);

    Q_EMIT list.doubleClicked(list.model()->index(0, 0));
    QCOMPARE(doubleClicked.count(), 1);
    QCOMPARE(doubleClicked.at(0).at(0).toString(), QStringLiteral("a"));
}

void TestNoteList::keys_data()
{
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("currentRow");
    QTest::addColumn<int>("activated");
    QTest::addColumn<int>("deleteRequested");
    QTest::addColumn<bool>("accepted");
    QTest::addColumn<int>("rowAfter");

    QTest::newRow("return") << int(Qt::Key_Return) << 1 << 1 << 0 << true << 1;
    QTest::newRow("keypad enter") << int(Qt::Key_Enter) << 0 << 1 << 0 << true << 0;
    QTest::newRow("delete") << int(Qt::Key_Delete) << 2 << 0 << 1 << true << 2;
    QTest::newRow("delete, no current row") << int(Qt::Key_Delete) << -1 << 0 << 0 << false << -1;
}

void TestNoteList::keys()
{
    QFETCH(int, key);
    QFETCH(int, currentRow);
    QFETCH(int, activated);
    QFETCH(int, deleteRequested);
    QFETCH(bool, accepted);
    QFETCH(int, rowAfter);

    NoteListWidget list;
    list.setNotes(makeNotes({QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c")}));
    if (currentRow >= 0)
        list.setCurrentRow(currentRow);
    QSignalSpy activatedSpy(&list, &NoteListWidget::noteActivated);
    QSignalSpy deleteSpy(&list, &NoteListWidget::noteDeleteRequested);

    QKeyEvent event(QEvent::KeyPress, key, Qt::NoModifier);
    QCoreApplication::sendEvent(&list, &event);
    QCOMPARE(event.isAccepted(), accepted);
    QCOMPARE(activatedSpy.count(), activated);
    QCOMPARE(deleteSpy.count(), deleteRequested);
    const QString expectedId = currentRow >= 0 ? QStringLiteral("abc").mid(currentRow, 1) : QString();
    if (activated)
        QCOMPARE(activatedSpy.at(0).at(0).toString(), expectedId);
    if (deleteRequested)
        QCOMPARE(deleteSpy.at(0).at(0).toString(), expectedId);
    QCOMPARE(list.currentRow(), rowAfter);
}

void TestNoteList::dragData()
{
    NoteListWidget list;
    QCOMPARE(list.mimeTypes(), QStringList{QStringLiteral("application/x-lumora-note-id")});

    const QString id = QStringLiteral(u"n\u00F6te-\u00FC");
    list.setNotes(makeNotes({id, QStringLiteral("other")}));
    QAbstractItemModel *model = list.model();

    QVERIFY(!model->mimeData({}));
    std::unique_ptr<QMimeData> data(model->mimeData({model->index(0, 0), model->index(1, 0)}));
    QVERIFY(data);
    QCOMPARE(data->data(QStringLiteral("application/x-lumora-note-id")), id.toUtf8());
}

void TestNoteList::roles()
{
    NoteListWidget list;
    Note a = makeNote(QStringLiteral("a"), QStringLiteral("[{\"insert\":\"Alpha\\nmore\\n\"}]"), SyncStatus::Conflict,
                      true);
    a.updatedAt = QDateTime(QDate(2024, 2, 3), QTime(4, 5), Qt::UTC);
    const Note b = makeNote(QStringLiteral("b"), QStringLiteral("[{\"insert\":\"\\n\"}]"), SyncStatus::Pending);
    list.setNotebookNameResolver(
        [](const QString &id) { return id == QLatin1String("nb-a") ? QStringLiteral("Work") : QString(); });
    list.setNotes({a, b});

    const QModelIndex first = list.model()->index(0, 0);
    QCOMPARE(first.data(NoteListWidget::UpdatedAtRole).toDateTime(), a.updatedAt);
    QCOMPARE(first.data(NoteListWidget::NotebookNameRole).toString(), QStringLiteral("Work"));
    QCOMPARE(first.data(NoteListWidget::SyncStatusRole).toInt(), 2);
    const QModelIndex second = list.model()->index(1, 0);
    QCOMPARE(second.data(NoteListWidget::TitleRole).toString(), QStringLiteral("Untitled"));
    QCOMPARE(second.data(NoteListWidget::NotebookNameRole).toString(), QString());
    QCOMPARE(second.data(NoteListWidget::SyncStatusRole).toInt(), 0);
}

void TestNoteList::glyphs_data()
{
    QTest::addColumn<bool>("shared");
    QTest::addColumn<int>("status");
    QTest::addColumn<bool>("syncEnabled");
    QTest::addColumn<QStringList>("expected"); // each glyph's tooltip, left to right

    const QString shared = NoteListDelegate::glyphText(NoteListGlyph::Shared);
    const QString pending = NoteListDelegate::glyphText(NoteListGlyph::Pending);
    const QString conflict = NoteListDelegate::glyphText(NoteListGlyph::Conflict);
    QTest::newRow("pending, signed out") << false << int(SyncStatus::Pending) << false << QStringList();
    QTest::newRow("shared pending, signed in")
        << true << int(SyncStatus::Pending) << true << QStringList { shared, pending };
    QTest::newRow("conflict, signed out") << false << int(SyncStatus::Conflict) << false << QStringList { conflict };
    QTest::newRow("synced") << false << int(SyncStatus::Synced) << true << QStringList();
}

void TestNoteList::glyphs()
{
    QFETCH(bool, shared);
    QFETCH(int, status);
    QFETCH(bool, syncEnabled);
    QFETCH(QStringList, expected);

    NoteListWidget list;
    list.resize(360, 300);
    list.setSyncEnabled(syncEnabled);
    const QString body = QStringLiteral("[{\"insert\":\"Alpha\\n\"}]");
    list.setNotes({ makeNote(QStringLiteral("a"), body, SyncStatus(status), shared) });
    list.show();
    QVERIFY(QTest::qWaitForWindowExposed(&list));
    const auto *delegate = qobject_cast<NoteListDelegate *>(list.itemDelegate());
    const QModelIndex index = list.model()->index(0, 0);
    const QRect row = list.visualRect(index);

    QStringList texts;
    for (const NoteListGlyph &glyph : delegate->glyphs(row, index))
        texts << delegate->glyphToolTip(row, index, glyph.rect.center());
    QCOMPARE(texts, expected);
    // Nothing over the title.
    QCOMPARE(delegate->glyphToolTip(row, index, QPoint(row.left() + 40, row.top() + 20)), QString());
}

void TestNoteList::lazyRowsFarDown()
{
    LumoraTest::ScopedDataDir dir;
    AppState state;
    QVERIFY(state.initialize());
    // More rows than a few pages; note i is i minutes old, so row r shows note r.
    constexpr int Count = 230;
    const QDateTime now = QDateTime::currentDateTimeUtc();
    for (int i = 0; i < Count; ++i) {
        Note note = makeNote(QStringLiteral("n%1").arg(i), QStringLiteral("[{\"insert\":\"Note %1\\npreview %1\\n\"}]").arg(i));
        note.updatedAt = note.createdAt = note.modifiedAt = now.addSecs(-60 * i);
        QVERIFY(state.notes()->insert(note));
    }
    NoteListWidget list;
    list.setRepository(state.notes());
    list.setRowIds(state.notes()->listRowIds());
    list.resize(400, 500);
    list.show();
    QVERIFY(QTest::qWaitForWindowExposed(&list));
    QCOMPARE(list.count(), Count);

    for (const int target : {Count - 1, 150, 97, 33}) {
        list.scrollTo(list.model()->index(target, 0), QAbstractItemView::PositionAtCenter);
        QCoreApplication::processEvents();
        const QModelIndex shown = list.indexAt(list.viewport()->rect().center());
        QVERIFY(shown.isValid());
        const int row = shown.row();
        QVERIFY(qAbs(row - target) <= 3);
        QCOMPARE(shown.data(NoteListWidget::TitleRole).toString(), QStringLiteral("Note %1").arg(row));
        QCOMPARE(shown.data(NoteListWidget::PreviewRole).toString(), QStringLiteral("preview %1").arg(row));
        QCOMPARE(shown.data(NoteListWidget::NoteIdRole).toString(), QStringLiteral("n%1").arg(row));
        // The last row of a page and the first of the next.
        QCOMPARE(list.noteIdAt(63), QStringLiteral("n63"));
        QCOMPARE(list.noteIdAt(64), QStringLiteral("n64"));
    }
    list.selectNote(QStringLiteral("n201"));
    QCOMPARE(list.currentRow(), 201);
}

LUMORA_TEST_MAIN(TestNoteList)
#include "tst_notelist.moc"
