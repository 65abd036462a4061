#include "app/appstate.h"
#include "features/tasks.h"
#include "storage/database.h"
#include "storage/noterepository.h"
#include "storage/preferencesrepository.h"
#include "ui/mainwindow.h"
#include "ui/noteeditor.h"
#include "ui/notewindow.h"
#include "ui/todosscreen.h"

#include "testmain.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QListView>
#include <QSignalSpy>
#include <QSqlQuery>
#include <QStyle>
#include <QStyleOptionViewItem>

#include <memory>

namespace {

const QDateTime T0(QDate(2024, 3, 1), QTime(9, 0), Qt::UTC);

Note makeNote(const QString &id, const QString &body, int minutes)
{
    Note note;
    note.id = id;
    note.body = body;
    note.createdAt = note.updatedAt = note.modifiedAt = T0.addSecs(60 * minutes);
    return note;
}

// Lines 1 to 3 share one insert, as the editor writes a run of list items.
const char ShopBody[] = R"([{"insert":"Shopping\n"},{"insert":"buy milk\neggs\nbread\n","attributes":{"list":"unchecked"}},)"
                        R"({"insert":"apples"},{"attributes":{"list":"checked"},"insert":"\n"}])";
const char WorkBody[] = R"([{"insert":"Work\n- [ ] typed box\nTODO: call Bob\n"},{"insert":"Zebra report"},)"
                        R"({"attributes":{"list":"unchecked"},"insert":"\n"}])";

// "[x] text" per row, in list order.
QStringList rows(const QListView *list)
{
    QStringList result;
    const QAbstractItemModel *model = list->model();
    for (int i = 0; i < model->rowCount(); ++i) {
        const QModelIndex index = model->index(i, 0);
        const bool checked = index.data(Qt::CheckStateRole).toInt() == Qt::Checked;
        result << (checked ? QStringLiteral("[x] ") : QStringLiteral("[ ] ")) + index.data().toString();
    }
    return result;
}

QModelIndex itemStartingWith(const QListView *list, const QString &text)
{
    const QAbstractItemModel *model = list->model();
    for (int i = 0; i < model->rowCount(); ++i) {
        if (model->index(i, 0).data().toString().startsWith(text))
            return model->index(i, 0);
    }
    return {};
}

Qt::CheckState checkState(const QModelIndex &index)
{
    return Qt::CheckState(index.data(Qt::CheckStateRole).toInt());
}

bool struckOut(const QModelIndex &index)
{
    return index.data(Qt::FontRole).value<QFont>().strikeOut();
}

bool setCheckState(QListView *list, const QModelIndex &index, Qt::CheckState state)
{
    return list->model()->setData(index, state, Qt::CheckStateRole);
}

// Where a click lands on the item's check box.
QPoint checkBoxCentre(QListView *list, const QModelIndex &index)
{
    QStyleOptionViewItem option;
    option.initFrom(list->viewport());
    option.rect = list->visualRect(index);
    option.features = QStyleOptionViewItem::HasCheckIndicator | QStyleOptionViewItem::HasDisplay;
    option.text = index.data().toString();
    option.font = index.data(Qt::FontRole).value<QFont>();
    return list->style()->subElementRect(QStyle::SE_ItemViewItemCheckIndicator, &option, list).center();
}

QString describeTasks(const QString &body)
{
    QStringList lines;
    for (const Task &task : extractTasks(QStringLiteral("n"), body, QDateTime()))
        lines << QStringLiteral("%1%2 %3").arg(task.lineIndex).arg(QLatin1Char(task.completed ? 'x' : '-')).arg(task.text);
    return lines.join(QLatin1String(" | "));
}

} // namespace

// The To-Dos window over a real database, alone or opened by the main window.
class TestTodosScreen : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();

    void sortAndShowCompleted_data();
    void sortAndShowCompleted();
    void filterIgnoresCase_data();
    void filterIgnoresCase();
    void tickWritesTheLineAndTheEditorFollows();
    void onlyChecklistLinesTick_data();
    void onlyChecklistLinesTick();
    void excludedNotesAreLeftOut();
    void lookingWritesNothing();
    void oneNoteChangesMatchARebuild_data();
    void oneNoteChangesMatchARebuild();
    void hiddenWindowCatchesUp();
    void doubleClickOpensTheNote();
    void quitRemembersTheWindow();

private:
    qint64 totalChanges() const;
    std::unique_ptr<TodosScreen> shownScreen();

    std::unique_ptr<LumoraTest::ScopedDataDir> m_dir;
    std::unique_ptr<AppState> m_state;
};

void TestTodosScreen::init()
{
    m_dir = std::make_unique<LumoraTest::ScopedDataDir>();
    m_state = std::make_unique<AppState>();
    QVERIFY(m_state->initialize());
    NoteRepository *notes = m_state->notes();
    QVERIFY(notes->insert(makeNote(QStringLiteral("lonely"),
                                   QStringLiteral(R"([{"insert":"\n"},{"insert":"lonely task"},)"
                                                  R"({"attributes":{"list":"unchecked"},"insert":"\n"}])"),
                                   0)));
    QVERIFY(notes->insert(makeNote(QStringLiteral("plain"), QStringLiteral(R"([{"insert":"Nothing to do\n"}])"), 1)));
    QVERIFY(notes->insert(makeNote(QStringLiteral("work"), QString::fromUtf8(WorkBody), 2)));
    QVERIFY(notes->insert(makeNote(QStringLiteral("shop"), QString::fromUtf8(ShopBody), 3)));
    QVERIFY(notes->insert(makeNote(QStringLiteral("private"),
                                   QStringLiteral(R"([{"insert":"Private\n"},{"insert":"secret task"},)"
                                                  R"({"attributes":{"list":"unchecked"},"insert":"\n"}])"),
                                   4)));
    QVERIFY(notes->setIncludeInTodos(QStringLiteral("private"), false));
}

void TestTodosScreen::cleanup()
{
    m_state.reset();
    m_dir.reset();
}

qint64 TestTodosScreen::totalChanges() const
{
    QSqlQuery q(m_state->database()->db());
    return q.exec(QStringLiteral("SELECT total_changes()")) && q.next() ? q.value(0).toLongLong() : -1;
}

std::unique_ptr<TodosScreen> TestTodosScreen::shownScreen()
{
    auto screen = std::make_unique<TodosScreen>(m_state.get());
    screen->resize(600, 500);
    screen->show();
    screen->refresh();
    return screen;
}

void TestTodosScreen::sortAndShowCompleted_data()
{
    QTest::addColumn<QString>("sort");
    QTest::addColumn<bool>("showCompleted");
    QTest::addColumn<QStringList>("expected");

    const QString shop = QStringLiteral("  \u2014 Shopping");
    const QString work = QStringLiteral("  \u2014 Work");
    // Newest note first, its to-dos in line order; no title, no dash.
    QTest::newRow("note updated, completed shown")
        << QStringLiteral("updated") << true
        << QStringList{QStringLiteral("[ ] buy milk") + shop, QStringLiteral("[ ] eggs") + shop,
                       QStringLiteral("[ ] bread") + shop, QStringLiteral("[x] apples") + shop,
                       QStringLiteral("[ ] typed box") + work, QStringLiteral("[ ] call Bob") + work,
                       QStringLiteral("[ ] Zebra report") + work, QStringLiteral("[ ] lonely task")};
    // "Zebra" after "typed": capitals do not sort first.
    QTest::newRow("alphabetical") << QStringLiteral("alpha") << false
                                  << QStringList{QStringLiteral("[ ] bread") + shop, QStringLiteral("[ ] buy milk") + shop,
                                                 QStringLiteral("[ ] call Bob") + work, QStringLiteral("[ ] eggs") + shop,
                                                 QStringLiteral("[ ] lonely task"), QStringLiteral("[ ] typed box") + work,
                                                 QStringLiteral("[ ] Zebra report") + work};
}

void TestTodosScreen::sortAndShowCompleted()
{
    QFETCH(QString, sort);
    QFETCH(bool, showCompleted);
    QFETCH(QStringList, expected);

    const auto screen = shownScreen();
    screen->sortBox()->setCurrentIndex(screen->sortBox()->findData(sort));
    screen->showCompletedBox()->setChecked(showCompleted);
    QCOMPARE(rows(screen->taskList()), expected);
}

void TestTodosScreen::filterIgnoresCase_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QStringList>("expected");

    QTest::newRow("capitals find lower case")
        << QStringLiteral("MILK") << QStringList{QStringLiteral("[ ] buy milk  \u2014 Shopping")};
    // The note's title is not the task's text.
    QTest::newRow("title not searched") << QStringLiteral("shopping") << QStringList();
}

void TestTodosScreen::filterIgnoresCase()
{
    QFETCH(QString, typed);
    QFETCH(QStringList, expected);

    const auto screen = shownScreen();
    QTest::keyClicks(screen->filterField(), typed);
    QCOMPARE(rows(screen->taskList()), expected);
    screen->filterField()->clear();
    QCOMPARE(screen->taskList()->model()->rowCount(), 7);
}

void TestTodosScreen::tickWritesTheLineAndTheEditorFollows()
{
    MainWindow window(m_state.get());
    window.show();
    window.openNote(QStringLiteral("shop"), false);
    window.showTodosWindow();
    TodosScreen *screen = window.todosWindow();
    QVERIFY(QTest::qWaitForWindowExposed(screen));

    const Note before = *m_state->notes()->byId(QStringLiteral("shop"));
    const Note work = *m_state->notes()->byId(QStringLiteral("work"));
    QSignalSpy announced(m_state.get(), &AppState::noteUpdatedExternally);
    QListView *list = screen->taskList();
    QModelIndex eggs = itemStartingWith(list, QStringLiteral("eggs"));
    QVERIFY(eggs.flags() & Qt::ItemIsUserCheckable);
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, checkBoxCentre(list, eggs));

    // Line 2 alone, in the middle of a three-line insert.
    const Note after = *m_state->notes()->byId(QStringLiteral("shop"));
    const QString ticked = QStringLiteral("1- buy milk | 2x eggs | 3- bread | 4x apples");
    QCOMPARE(describeTasks(after.body), ticked);
    QCOMPARE(after.version, before.version + 1);
    QCOMPARE(after.syncStatus, SyncStatus::Pending);
    QCOMPARE(m_state->notes()->byId(QStringLiteral("work"))->body, work.body);
    QCOMPARE(announced.size(), 1);
    QCOMPARE(announced.first().at(0).toString(), QStringLiteral("shop"));
    QCOMPARE(announced.first().at(1).value<QObject *>(), static_cast<QObject *>(screen));

    // The open editor shows the tick, and has nothing of its own to save.
    QCOMPARE(describeTasks(window.editor()->currentJson()), ticked);
    QVERIFY(window.editor()->isSaved());
    // Completed to-dos are hidden: the ticked one has gone.
    QVERIFY(!itemStartingWith(list, QStringLiteral("eggs")).isValid());

    // Shown again, struck out; unticked, the note reads as before.
    screen->showCompletedBox()->setChecked(true);
    eggs = itemStartingWith(list, QStringLiteral("eggs"));
    QVERIFY(checkState(eggs) == Qt::Checked && struckOut(eggs));
    QVERIFY(setCheckState(list, eggs, Qt::Unchecked));
    QCOMPARE(describeTasks(m_state->notes()->byId(QStringLiteral("shop"))->body), describeTasks(before.body));
    QCOMPARE(describeTasks(window.editor()->currentJson()), describeTasks(before.body));
    eggs = itemStartingWith(list, QStringLiteral("eggs"));
    QVERIFY(checkState(eggs) == Qt::Unchecked && !struckOut(eggs));
}

void TestTodosScreen::onlyChecklistLinesTick_data()
{
    QTest::addColumn<QString>("task");
    QTest::addColumn<int>("source");

    QTest::newRow("typed box") << QStringLiteral("typed box") << 1;
    QTest::newRow("TODO line") << QStringLiteral("call Bob") << 2;
}

void TestTodosScreen::onlyChecklistLinesTick()
{
    QFETCH(QString, task);
    QFETCH(int, source);

    const auto screen = shownScreen();
    QVERIFY(QTest::qWaitForWindowExposed(screen.get()));
    QListView *list = screen->taskList();
    const QModelIndex item = itemStartingWith(list, task);
    QVERIFY(item.isValid());
    QCOMPARE(item.data(TodosScreen::SourceRole).toInt(), source);
    QVERIFY(!(item.flags() & Qt::ItemIsUserCheckable));

    const qint64 changes = totalChanges();
    QSignalSpy announced(m_state.get(), &AppState::noteUpdatedExternally);
    // Neither a click nor a tick from code gets through.
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, checkBoxCentre(list, item));
    QCOMPARE(checkState(item), Qt::Unchecked);
    QVERIFY(!setCheckState(list, item, Qt::Checked));
    QCOMPARE(checkState(item), Qt::Unchecked);
    QCOMPARE(totalChanges(), changes);
    QCOMPARE(announced.size(), 0);
}

void TestTodosScreen::excludedNotesAreLeftOut()
{
    const auto screen = shownScreen();
    screen->showCompletedBox()->setChecked(true);
    QVERIFY(!itemStartingWith(screen->taskList(), QStringLiteral("secret task")).isValid());

    // A change to the left-out note does not bring it in.
    QCOMPARE(m_state->notes()->saveEditedBody(
                 QStringLiteral("private"),
                 QStringLiteral(R"([{"insert":"Private\n"},{"insert":"secret task"},)"
                                R"({"attributes":{"list":"checked"},"insert":"\n"}])")),
             NoteRepository::SaveResult::Saved);
    QVERIFY(!itemStartingWith(screen->taskList(), QStringLiteral("secret task")).isValid());

    // Taken back in from its header: the open list follows at once, and
    // storing the same value again tells nobody.
    QSignalSpy told(m_state->notes(), &NoteRepository::includeInTodosChanged);
    QVERIFY(m_state->notes()->setIncludeInTodos(QStringLiteral("private"), true));
    QVERIFY(m_state->notes()->setIncludeInTodos(QStringLiteral("private"), true));
    QCOMPARE(told.size(), 1);
    const QModelIndex secret = itemStartingWith(screen->taskList(), QStringLiteral("secret task"));
    QVERIFY(secret.isValid() && checkState(secret) == Qt::Checked);
}

void TestTodosScreen::lookingWritesNothing()
{
    MainWindow window(m_state.get());
    window.show();
    const QList<Note> before = m_state->notes()->all();
    const qint64 changes = totalChanges();

    window.showTodosWindow();
    TodosScreen *screen = window.todosWindow();
    QVERIFY(screen && screen->taskList()->model()->rowCount() > 0);
    screen->sortBox()->setCurrentIndex(1);
    screen->showCompletedBox()->setChecked(true);
    QTest::keyClicks(screen->filterField(), QStringLiteral("e"));
    screen->hide();
    window.showTodosWindow();
    QCOMPARE(window.todosWindow(), screen);

    QCOMPARE(totalChanges(), changes);
    const QList<Note> after = m_state->notes()->all();
    QCOMPARE(after.size(), before.size());
    for (qsizetype i = 0; i < after.size(); ++i) {
        QCOMPARE(after.at(i).body, before.at(i).body);
        QCOMPARE(after.at(i).version, before.at(i).version);
        QCOMPARE(after.at(i).updatedAt, before.at(i).updatedAt);
    }
}

// Writes elsewhere update only the written note's rows; the list must read
// exactly as a rebuild would.
void TestTodosScreen::oneNoteChangesMatchARebuild_data()
{
    QTest::addColumn<QString>("sort");
    QTest::addColumn<bool>("showCompleted");

    QTest::newRow("updated") << QStringLiteral("updated") << false;
    QTest::newRow("alpha, completed") << QStringLiteral("alpha") << true;
}

void TestTodosScreen::oneNoteChangesMatchARebuild()
{
    QFETCH(QString, sort);
    QFETCH(bool, showCompleted);

    const auto screen = shownScreen();
    screen->sortBox()->setCurrentIndex(screen->sortBox()->findData(sort));
    screen->showCompletedBox()->setChecked(showCompleted);
    NoteRepository *notes = m_state->notes();
    QListView *list = screen->taskList();
    const auto compareWithRebuild = [&] {
        const QStringList followed = rows(list);
        screen->refresh();
        QCOMPARE(followed, rows(list));
    };

    // New title, a to-do gone, a ticked one added. The other notes' rows are
    // not made again.
    const QPersistentModelIndex lonely = itemStartingWith(list, QStringLiteral("lonely task"));
    QCOMPARE(notes->saveEditedBody(QStringLiteral("work"),
                                   QStringLiteral(R"([{"insert":"Office\nTODO: call Bob\n"},{"insert":"Aardvark"},)"
                                                  R"({"attributes":{"list":"checked"},"insert":"\n"}])")),
             NoteRepository::SaveResult::Saved);
    QVERIFY(lonely.isValid());
    QCOMPARE(QModelIndex(lonely), itemStartingWith(list, QStringLiteral("lonely task")));
    QVERIFY(itemStartingWith(list, QStringLiteral("call Bob  \u2014 Office")).isValid());
    QVERIFY(!itemStartingWith(list, QStringLiteral("typed box")).isValid());
    compareWithRebuild();

    QVERIFY(notes->insert(makeNote(QStringLiteral("new"), QStringLiteral(R"([{"insert":"New\nTODO: middle\n"}])"), 10)));
    QVERIFY(itemStartingWith(list, QStringLiteral("middle")).isValid());
    compareWithRebuild();

    QVERIFY(notes->moveToTrash(QStringLiteral("shop")));
    QVERIFY(!itemStartingWith(list, QStringLiteral("bread")).isValid());
    compareWithRebuild();
    QVERIFY(notes->restore(QStringLiteral("shop")));
    QVERIFY(itemStartingWith(list, QStringLiteral("bread")).isValid());
    compareWithRebuild();

    QVERIFY(notes->moveToTrash(QStringLiteral("lonely")));
    QVERIFY(notes->purge(QStringLiteral("lonely")));
    QVERIFY(!itemStartingWith(list, QStringLiteral("lonely")).isValid());
    compareWithRebuild();

    QVERIFY(setCheckState(list, itemStartingWith(list, QStringLiteral("bread")), Qt::Checked));
    QCOMPARE(itemStartingWith(list, QStringLiteral("bread")).isValid(), showCompleted);
    compareWithRebuild();
    QCOMPARE(describeTasks(notes->byId(QStringLiteral("shop"))->body),
             QStringLiteral("1- buy milk | 2- eggs | 3x bread | 4x apples"));
}

void TestTodosScreen::hiddenWindowCatchesUp()
{
    const auto screen = shownScreen();
    screen->hide();
    NoteRepository *notes = m_state->notes();

    // Written with the same update time: only the change signal tells.
    Note work = *notes->byId(QStringLiteral("work"));
    work.body = QStringLiteral(R"([{"insert":"Work\nTODO: fresh\n"}])");
    QVERIFY(notes->update(work));
    // Written behind the program's back: only the update time tells.
    QSqlQuery q(m_state->database()->db());
    QVERIFY(q.prepare(QStringLiteral("UPDATE notes SET body = ?, updated_at = ? WHERE id = 'plain'")));
    q.addBindValue(QStringLiteral(R"([{"insert":"Nothing to do\nunless"},{"attributes":{"list":"unchecked"},"insert":"\n"}])"));
    q.addBindValue(toStoredTimestamp(T0.addSecs(600)));
    QVERIFY(q.exec());

    screen->show();
    screen->refresh();
    QCOMPARE(rows(screen->taskList()).mid(0, 2),
             (QStringList{QStringLiteral("[ ] unless  \u2014 Nothing to do"), QStringLiteral("[ ] buy milk  \u2014 Shopping")}));
    QVERIFY(itemStartingWith(screen->taskList(), QStringLiteral("fresh  \u2014 Work")).isValid());
    QVERIFY(!itemStartingWith(screen->taskList(), QStringLiteral("call Bob")).isValid());
}

void TestTodosScreen::doubleClickOpensTheNote()
{
    const auto screen = shownScreen();
    QVERIFY(QTest::qWaitForWindowExposed(screen.get()));
    QListView *list = screen->taskList();
    const QModelIndex item = itemStartingWith(list, QStringLiteral("call Bob"));
    // As a mouse does it: the first click, then the second one as a double click.
    const QPoint at = list->visualRect(item).center();
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, at);
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, at);
    NoteWindow *window = m_state->noteWindow(QStringLiteral("work"));
    QVERIFY(window && window->isVisible());
    QCOMPARE(m_state->openNoteWindowIds(), QStringList{QStringLiteral("work")});
    window->close();
}

void TestTodosScreen::quitRemembersTheWindow()
{
    PreferencesRepository *prefs = m_state->preferences();
    auto window = std::make_unique<MainWindow>(m_state.get());
    window->show();
    window->showTodosWindow();
    window->quitApplication();
    QVERIFY(prefs->getBool(QStringLiteral("restore_todos_window"), false));

    // Opened and closed again, or never opened: not reopened.
    window = std::make_unique<MainWindow>(m_state.get());
    window->show();
    window->showTodosWindow();
    window->todosWindow()->close();
    window->quitApplication();
    QVERIFY(!prefs->getBool(QStringLiteral("restore_todos_window"), true));
    window = std::make_unique<MainWindow>(m_state.get());
    window->quitApplication();
    QVERIFY(!prefs->getBool(QStringLiteral("restore_todos_window"), true));
}

LUMORA_TEST_MAIN(TestTodosScreen)
#include "tst_todosscreen.moc"
