#include "ui/notebookdialogs.h"
#include "ui/notebooklistwidget.h"
#include "ui/notelistwidget.h"

#include "testmain.h"

#include <QContextMenuEvent>
#include <QDialogButtonBox>
#include <QDragEnterEvent>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMimeData>
#include <QPushButton>
#include <QSignalSpy>
#include <QTimer>

namespace {

Notebook makeNotebook(const QString &id, const QString &name, bool shared = false)
{
    Notebook n;
    n.id = id;
    n.name = name;
    n.isShared = shared;
    return n;
}

QList<Notebook> threeNotebooks()
{
    return {makeNotebook(QStringLiteral("nb-a"), QStringLiteral("Alpha")),
            makeNotebook(QStringLiteral("nb-b"), QStringLiteral("Beta"), true),
            makeNotebook(QStringLiteral("nb-c"), QStringLiteral("Gamma"))};
}

const QHash<QString, int> kCounts{{QString(), 12}, {QStringLiteral("nb-a"), 5}, {QStringLiteral("nb-b"), 7}};

// Every signal of the sidebar as one line, in the order they came.
struct SignalLog
{
    explicit SignalLog(NotebookListWidget *list)
    {
        QObject::connect(list, &NotebookListWidget::allNotesSelected, list, [this] { lines << QStringLiteral("all"); });
        QObject::connect(list, &NotebookListWidget::notebookSelected, list,
                         [this](const QString &id) { lines << QStringLiteral("notebook:") + id; });
        QObject::connect(list, &NotebookListWidget::trashSelected, list, [this] { lines << QStringLiteral("trash"); });
        QObject::connect(list, &NotebookListWidget::newNotebookRequested, list,
                         [this] { lines << QStringLiteral("new"); });
        QObject::connect(list, &NotebookListWidget::notebookContextMenuRequested, list,
                         [this](const QString &id, const QPoint &pos) {
                             lines << QStringLiteral("menu:%1@%2,%3").arg(id).arg(pos.x()).arg(pos.y());
                         });
        QObject::connect(list, &NotebookListWidget::noteDroppedOnNotebook, list,
                         [this](const QString &note, const QString &notebook) {
                             lines << QStringLiteral("drop:%1:%2").arg(note, notebook);
                         });
    }
    QStringList lines;
};

// A sidebar on screen, with "Alpha", "Beta" (current) and "Gamma".
struct Sidebar
{
    Sidebar()
    {
        list.resize(240, 400);
        list.setNotebooks(threeNotebooks(), kCounts, QStringLiteral("nb-b"), 3);
        list.show();
    }
    QPoint centreOf(int row) const { return list.visualItemRect(list.item(row)).center(); }
    int rowOf(const QString &target) const
    {
        if (target.startsWith(QLatin1String("nb-")))
            return list.rowOfNotebook(target);
        if (target == QLatin1String("all"))
            return list.rowOfKind(NotebookListWidget::AllNotesRow);
        if (target == QLatin1String("trash"))
            return list.rowOfKind(NotebookListWidget::TrashRow);
        return list.rowOfKind(NotebookListWidget::NewNotebookRow);
    }
    NotebookListWidget list;
    SignalLog log{&list};
};

// What a mouse sends for a double-click: QTest::mouseDClick() alone sends no
// press before it.
void doubleClick(QWidget *widget, const QPoint &pos)
{
    QTest::mouseClick(widget, Qt::LeftButton, {}, pos);
    QTest::mouseDClick(widget, Qt::LeftButton, {}, pos);
    QTest::mouseRelease(widget, Qt::LeftButton, {}, pos);
}

} // namespace

class TestNotebookList : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void rowsAndCurrent_data();
    void rowsAndCurrent();
    void activation_data();
    void activation();
    void contextMenu();
    void drops_data();
    void drops();
    void notebookDialog_data();
    void notebookDialog();
    void notebookDialogEntryPoints();
    void moveDialog();
    void moveMenu();
};

void TestNotebookList::rowsAndCurrent_data()
{
    QTest::addColumn<QString>("currentId");
    QTest::addColumn<int>("expectedRow");

    QTest::newRow("a notebook") << QStringLiteral("nb-c") << 3;
    QTest::newRow("deleted") << QStringLiteral("nb-deleted") << 0;
}

void TestNotebookList::rowsAndCurrent()
{
    QFETCH(QString, currentId);
    QFETCH(int, expectedRow);
    NotebookListWidget list;
    SignalLog log(&list);
    QSignalSpy rowChanged(&list, &QListWidget::currentRowChanged);
    QList<Notebook> notebooks = threeNotebooks();
    Notebook deleted = makeNotebook(QStringLiteral("nb-deleted"), QStringLiteral("Deleted"));
    deleted.deletedAt = QDateTime::currentDateTimeUtc();
    notebooks.insert(1, deleted);

    list.setNotebooks(notebooks, kCounts, QStringLiteral("nb-a"), 3);
    list.setNotebooks(notebooks, kCounts, currentId, 0);
    QCOMPARE(list.currentRow(), expectedRow);
    // A refresh rebuilds silently: the main window calls it while answering signals.
    QCOMPARE(log.lines, QStringList());
    QCOMPARE(rowChanged.count(), 0);

    QStringList rows;
    for (int row = 0; row < list.count(); ++row) {
        const QListWidgetItem *item = list.item(row);
        rows << QStringLiteral("%1 %2 %3 %4")
                    .arg(item->data(NotebookListWidget::KindRole).toInt())
                    .arg(item->data(NotebookListWidget::NameRole).toString(),
                         item->data(NotebookListWidget::NotebookIdRole).toString(),
                         item->data(NotebookListWidget::CountRole).toString());
    }
    // The deleted notebook is left out; a notebook absent from the counts has 0.
    QCOMPARE(rows, (QStringList{QStringLiteral("0 All Notes  12"), QStringLiteral("1 Alpha nb-a 5"),
                                QStringLiteral("1 Beta nb-b 7"), QStringLiteral("1 Gamma nb-c 0"),
                                QStringLiteral("2 Trash  0"), QString::fromUtf8("3 New Notebook…  ")}));
    QVERIFY(list.item(2)->data(NotebookListWidget::IsSharedRole).toBool());
}

void TestNotebookList::activation_data()
{
    QTest::addColumn<QString>("target");
    QTest::addColumn<bool>("byKey");
    QTest::addColumn<QString>("expected");
    QTest::addColumn<QString>("currentAfter"); // the row then current

    QTest::newRow("click on All Notes") << "all" << false << "all" << "all";
    QTest::newRow("click on a notebook") << "nb-c" << false << "notebook:nb-c" << "nb-c";
    // Commands, not places: the row of the list shown stays current.
    QTest::newRow("click on Trash") << "trash" << false << "trash" << "nb-b";
    QTest::newRow("Return on a notebook") << "nb-c" << true << "notebook:nb-c" << "nb-c";
    QTest::newRow("Return on New Notebook") << "new" << true << "new" << "nb-b";
}

void TestNotebookList::activation()
{
    QFETCH(QString, target);
    QFETCH(bool, byKey);
    QFETCH(QString, expected);
    QFETCH(QString, currentAfter);
    Sidebar sidebar;
    QVERIFY(QTest::qWaitForWindowExposed(&sidebar.list));
    const int row = sidebar.rowOf(target);
    QVERIFY(row >= 0);

    if (byKey) {
        // Arrowing is only looking; Return opens what the arrows reached.
        sidebar.list.setFocus();
        while (sidebar.list.currentRow() != row) {
            QTest::keyClick(&sidebar.list, sidebar.list.currentRow() < row ? Qt::Key_Down : Qt::Key_Up);
            QCOMPARE(sidebar.log.lines, QStringList());
        }
        QTest::keyClick(&sidebar.list, Qt::Key_Return);
    } else {
        QTest::mouseClick(sidebar.list.viewport(), Qt::LeftButton, {}, sidebar.centreOf(row));
    }
    QCOMPARE(sidebar.log.lines, QStringList{expected});
    QCOMPARE(sidebar.list.currentRow(), sidebar.rowOf(currentAfter));
}

void TestNotebookList::contextMenu()
{
    Sidebar sidebar;
    QVERIFY(QTest::qWaitForWindowExposed(&sidebar.list));
    QWidget *viewport = sidebar.list.viewport();
    for (const QString &target : {QStringLiteral("all"), QStringLiteral("nb-a"), QStringLiteral("trash"),
                                  QStringLiteral("new")}) {
        const QPoint pos = sidebar.centreOf(sidebar.rowOf(target));
        QContextMenuEvent event(QContextMenuEvent::Mouse, pos, viewport->mapToGlobal(pos));
        QApplication::sendEvent(viewport, &event);
    }
    const QPoint global = viewport->mapToGlobal(sidebar.centreOf(sidebar.rowOf(QStringLiteral("nb-a"))));
    QCOMPARE(sidebar.log.lines,
             QStringList{QStringLiteral("menu:nb-a@%1,%2").arg(global.x()).arg(global.y())});
}

void TestNotebookList::drops_data()
{
    QTest::addColumn<QString>("target");
    QTest::addColumn<QString>("mimeType");
    QTest::addColumn<QByteArray>("payload");
    QTest::addColumn<QString>("expected"); // "" = ignored

    const QString noteType = NoteListWidget::noteIdMimeType();
    QTest::newRow("on a notebook") << QStringLiteral("nb-c") << noteType << QByteArray("note-1")
                                   << QStringLiteral("drop:note-1:nb-c");
    QTest::newRow("on All Notes") << QStringLiteral("all") << noteType << QByteArray("note-1")
                                  << QStringLiteral("drop:note-1:");
    QTest::newRow("on Trash") << QStringLiteral("trash") << noteType << QByteArray("note-1") << QString();
    QTest::newRow("plain text") << QStringLiteral("nb-c") << QStringLiteral("text/plain") << QByteArray("note-1")
                                << QString();
}

void TestNotebookList::drops()
{
    QFETCH(QString, target);
    QFETCH(QString, mimeType);
    QFETCH(QByteArray, payload);
    QFETCH(QString, expected);
    Sidebar sidebar;
    QVERIFY(QTest::qWaitForWindowExposed(&sidebar.list));
    const int rows = sidebar.list.count();
    const QPoint pos = sidebar.centreOf(sidebar.rowOf(target));
    QMimeData data;
    data.setData(mimeType, payload);
    const Qt::DropActions offered = Qt::CopyAction | Qt::MoveAction; // what the note list offers
    QWidget *viewport = sidebar.list.viewport();

    QDragEnterEvent enter(pos, offered, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(viewport, &enter);
    QDragMoveEvent move(pos, offered, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(viewport, &move);
    QDropEvent drop(pos, offered, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(viewport, &drop);

    QCOMPARE(sidebar.log.lines, expected.isEmpty() ? QStringList() : QStringList{expected});
    QCOMPARE(drop.isAccepted(), !expected.isEmpty());
    // A drag that ends as a move has the source view remove the dragged row
    // itself; the note must leave the list only through a refresh.
    if (!expected.isEmpty())
        QCOMPARE(drop.dropAction(), Qt::CopyAction);
    // Rows come from setNotebooks() alone, and the list shown stays current.
    QCOMPARE(sidebar.list.count(), rows);
    QCOMPARE(sidebar.list.currentRow(), sidebar.rowOf(QStringLiteral("nb-b")));
}

void TestNotebookList::notebookDialog_data()
{
    QTest::addColumn<QString>("initial");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<bool>("okAtStart");
    QTest::addColumn<bool>("okAfter");
    QTest::addColumn<QString>("name");

    QTest::newRow("new, only spaces") << QString() << QStringLiteral("   ") << false << false << QString();
    QTest::newRow("new, spaced name") << QString() << QStringLiteral("  Ideas ") << false << true
                                      << QStringLiteral("Ideas");
    // The current name is selected: typing replaces it.
    QTest::newRow("rename, typed over") << QStringLiteral("Travel") << QStringLiteral("Trips") << true << true
                                        << QStringLiteral("Trips");
}

void TestNotebookList::notebookDialog()
{
    QFETCH(QString, initial);
    QFETCH(QString, typed);
    QFETCH(bool, okAtStart);
    QFETCH(bool, okAfter);
    QFETCH(QString, name);
    NotebookDialog dialog(QStringLiteral("Title"), initial);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowActive(&dialog));
    auto *edit = dialog.findChild<QLineEdit *>();
    QPushButton *ok = dialog.findChild<QDialogButtonBox *>()->button(QDialogButtonBox::Ok);
    QVERIFY(edit && ok);
    QCOMPARE(QApplication::focusWidget(), edit);
    QCOMPARE(edit->selectedText(), initial);
    QCOMPARE(ok->isEnabled(), okAtStart);

    QTest::keyClicks(edit, typed);
    QCOMPARE(ok->isEnabled(), okAfter);
    QCOMPARE(dialog.name(), name);
    // Return does not get past a disabled OK.
    QTest::keyClick(edit, Qt::Key_Return);
    QCOMPARE(dialog.result(), okAfter ? int(QDialog::Accepted) : int(QDialog::Rejected));
    QCOMPARE(dialog.isVisible(), !okAfter);
}

void TestNotebookList::notebookDialogEntryPoints()
{
    // Answers the next modal dialog: types `text` and presses Return, or Escape.
    auto answer = [](const QString &text, bool accept) {
        QTimer::singleShot(0, qApp, [text, accept] {
            QWidget *dialog = QApplication::activeModalWidget();
            QVERIFY(dialog);
            if (!text.isEmpty())
                QTest::keyClicks(dialog->findChild<QLineEdit *>(), text);
            QTest::keyClick(dialog, accept ? Qt::Key_Return : Qt::Key_Escape);
        });
    };
    answer(QStringLiteral(" Recipes "), true);
    QCOMPARE(NotebookDialog::getNewName(nullptr), QStringLiteral("Recipes"));
    answer(QStringLiteral("Trips"), false);
    QCOMPARE(NotebookDialog::getRenamedName(QStringLiteral("Travel"), nullptr), QString());
}

void TestNotebookList::moveDialog()
{
    MoveToNotebookDialog dialog(threeNotebooks(), QStringLiteral("nb-b"));
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    auto *list = dialog.findChild<QListWidget *>();
    QPushButton *ok = dialog.findChild<QDialogButtonBox *>()->button(QDialogButtonBox::Ok);
    QVERIFY(!ok->isEnabled());

    // The note's own notebook cannot be chosen, by click or double-click.
    const QPoint current = list->visualItemRect(list->item(1)).center();
    doubleClick(list->viewport(), current);
    QVERIFY(!ok->isEnabled());
    QVERIFY(dialog.isVisible());

    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(list->item(0)).center());
    QVERIFY(ok->isEnabled());
    QCOMPARE(dialog.selectedNotebookId(), QStringLiteral("nb-a"));
    doubleClick(list->viewport(), list->visualItemRect(list->item(2)).center());
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
    QCOMPARE(dialog.selectedNotebookId(), QStringLiteral("nb-c"));


    // Keyboard only: Enter on the current row chooses it; arrows pass over
    // the note's own notebook, and Enter on it chooses nothing.
    struct KeyRow { int start; QList<int> keys; QString expected; };
    for (const KeyRow &row : {KeyRow{0, {Qt::Key_Return}, QStringLiteral("nb-a")},
                              KeyRow{0, {Qt::Key_Down, Qt::Key_Return}, QStringLiteral("nb-c")},
                              KeyRow{1, {Qt::Key_Return}, QString()}}) {
        QTimer::singleShot(0, qApp, [row] {
            QWidget *box = QApplication::activeModalWidget();
            auto *rows = box->findChild<QListWidget *>();
            rows->setFocus();
            rows->setCurrentRow(row.start, QItemSelectionModel::NoUpdate);
            for (int key : row.keys)
                QTest::keyClick(rows, Qt::Key(key));
            if (box->isVisible())
                QTest::keyClick(box, Qt::Key_Escape);
        });
        const QString expected = row.expected;
        QCOMPARE(MoveToNotebookDialog::getNotebookId(threeNotebooks(), QStringLiteral("nb-b"), nullptr), expected);
    }
}

void TestNotebookList::moveMenu()
{
    QList<Notebook> notebooks = threeNotebooks();
    notebooks[2].deletedAt = QDateTime::currentDateTimeUtc();
    QMenu menu;
    QStringList chosen;
    QMenu *submenu = addMoveToNotebookMenu(&menu, notebooks, QStringLiteral("nb-b"),
                                           [&chosen](const QString &id) { chosen << id; });
    const QList<QAction *> actions = submenu->actions();
    QCOMPARE(actions.size(), 2); // the deleted notebook is not offered
    QVERIFY(!actions.at(0)->isChecked());
    QCOMPARE(actions.at(1)->text(), QStringLiteral("Beta"));
    QVERIFY(actions.at(1)->isChecked());

    actions.at(1)->trigger(); // where the note already is: nothing to write
    actions.at(0)->trigger();
    QCOMPARE(chosen, QStringList{QStringLiteral("nb-a")});

    QMenu empty;
    QVERIFY(!addMoveToNotebookMenu(&empty, {}, QString(), [](const QString &) {})->isEnabled());
}

LUMORA_TEST_MAIN(TestNotebookList)
#include "tst_notebooklist.moc"
