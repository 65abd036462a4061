#include "app/appstate.h"
#include "app/thememanager.h"
#include "document/markdown.h"
#include "document/textformats.h"
#include "storage/notebookrepository.h"
#include "storage/noterepository.h"
#include "storage/preferencesrepository.h"
#include "storage/snapshotrepository.h"
#include "ui/editortoolbar.h"
#include "ui/findbar.h"
#include "ui/mainwindow.h"
#include "ui/notebooklistwidget.h"
#include "ui/notechrome.h"
#include "ui/noteeditor.h"
#include "ui/noteheaderbar.h"
#include "ui/notelistwidget.h"
#include "ui/notewindow.h"
#include "ui/settingsdialog.h"
#include "ui/statusbar.h"
#include "ui/welcomescreen.h"

#include "dialoganswers.h"
#include "testmain.h"

#include <QClipboard>
#include <QComboBox>
#include <QFile>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QMimeData>
#include <QRegularExpression>
#include <QSettings>
#include <QSignalSpy>
#include <QSplitter>
#include <QStackedWidget>
#include <QTimer>
#include <QToolButton>

#include <memory>

using LumoraTest::answerNextBox;

namespace {

Note makeNote(const QString &id, const QString &title, const QDateTime &updated)
{
    Note note;
    note.id = id;
    note.body = QStringLiteral("[{\"insert\":\"%1\"},{\"insert\":\"\\n\"}]").arg(title);
    note.createdAt = note.updatedAt = note.modifiedAt = updated;
    return note;
}

Notebook makeNotebook(const QString &id, const QString &name)
{
    Notebook notebook;
    notebook.id = id;
    notebook.name = name;
    notebook.createdAt = notebook.updatedAt = QDateTime(QDate(2024, 1, 1), QTime(8, 0), Qt::UTC);
    return notebook;
}

QAction *findAction(const QList<QAction *> &actions, const QString &text)
{
    for (QAction *action : actions) {
        if (action->text() == text)
            return action;
    }
    return nullptr;
}

QAction *findAction(QWidget *window, const QString &text)
{
    return findAction(window->findChildren<QAction *>(), text);
}

QAction *headerEntry(MainWindow *window, const QString &text)
{
    auto *more = window->noteChrome()->headerBar()->findChild<QToolButton *>(QStringLiteral("moreButton"));
    return findAction(more->menu()->actions(), text);
}

QStringList listedIds(const NoteListWidget *list)
{
    QStringList ids;
    for (int row = 0; row < list->count(); ++row)
        ids.append(list->noteIdAt(row));
    return ids;
}

QString keyText(const QKeySequence &keys)
{
    return keys.toString(QKeySequence::PortableText);
}

// The rows of the README table whose header row starts with `firstHeader`,
// each as its trimmed cells.
QList<QStringList> readmeTable(const QString &firstHeader)
{
    QFile file(QStringLiteral(LUMORA_README_PATH));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QList<QStringList> rows;
    bool inTable = false;
    for (const QString &line : QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'))) {
        QStringList cells = line.mid(1, line.size() - 2).split(QLatin1String(" | "));
        for (QString &cell : cells)
            cell = cell.trimmed();
        if (!line.startsWith(QLatin1Char('|')))
            inTable = false;
        else if (cells.first() == firstHeader)
            inTable = true;
        else if (inTable && !cells.first().startsWith(QLatin1String("---")))
            rows.append(cells);
    }
    return rows;
}

// "`Ctrl+W` or `Ctrl+F4`" → {"Ctrl+W", "Ctrl+F4"}.
QStringList readmeKeys(const QString &cell)
{
    QStringList keys;
    static const QRegularExpression code(QStringLiteral("(`+) ?(.+?) ?\\1"));
    for (auto it = code.globalMatch(cell); it.hasNext();)
        keys.append(it.next().captured(2));
    return keys;
}

// The actions of a window that answer a key; a key shown beside a menu entry
// only (widget context) is not a key of the window.
QHash<QString, QAction *> keyedActions(QWidget *window)
{
    QHash<QString, QAction *> actions;
    for (QAction *action : window->findChildren<QAction *>()) {
        if (!action->shortcut().isEmpty() && action->shortcutContext() != Qt::WidgetShortcut)
            actions.insert(action->text(), action);
    }
    return actions;
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
    void listDrivesTheEditor();
    void leavingAChangedNoteSnapshotsIt();
    void oneNoteChangesMoveOneRow_data();
    void oneNoteChangesMoveOneRow();
    void formattingKeysActOnce_data();
    void formattingKeysActOnce();
    void layoutModes_data();
    void layoutModes();
    void searchRefreshesOnceAfterTyping();
    void preferencesApplyLive();
    void findInNote();
    void trashCommands();
    void statusBarNamesTheNotebook();
    void quitSavesEverythingAndRestartRestores();
    void readmeListsEveryShortcut();
    void noteDroppedOnNotebook_data();
    void noteDroppedOnNotebook();
    void deletingNotebookMovesNotesOut();
    void preferencesChangeTheTheme();
    void sidebarCountsFollowMovesNotEdits();
    void headerFollowsTheOpenNote();
    void includeInTodosFromTheHeaderPersists();
    void toolbarOnlyWithANoteOpen();
    void headerCommands();

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

void TestMainWindow::listDrivesTheEditor()
{
    auto *list = m_window->noteList();
    QCOMPARE(list->noteIdAt(0), QStringLiteral("b")); // newest first
    list->setCurrentRow(1);
    QCOMPARE(m_window->openNoteId(), QStringLiteral("a"));
    QCOMPARE(m_window->editor()->toPlainText(), QStringLiteral("Alpha"));

    // The autosave writes after the debounce and moves the row to the top; the
    // edited note stays current, silently, and the list is not read again.
    QSignalSpy changed(m_state.get(), &AppState::notesChanged);
    QSignalSpy selected(list, &NoteListWidget::noteSelected);
    QSignalSpy reset(list->model(), &QAbstractItemModel::modelAboutToBeReset);
    m_window->editor()->moveCursor(QTextCursor::End);
    QTest::keyClicks(m_window->editor(), QStringLiteral(" edited"));
    QCOMPARE(changed.count(), 0);
    QTRY_COMPARE_WITH_TIMEOUT(list->noteIdAt(0), QStringLiteral("a"), 3000);
    QCOMPARE(m_state->notes()->byId(QStringLiteral("a"))->version, 2);
    QCOMPARE(list->currentNoteId(), QStringLiteral("a"));
    QCOMPARE(list->model()->index(0, 0).data(NoteListWidget::TitleRole).toString(), QStringLiteral("Alpha edited"));
    QCOMPARE(selected.count(), 0);
    QCOMPARE(reset.count(), 0);
}

void TestMainWindow::leavingAChangedNoteSnapshotsIt()
{
    SnapshotRepository *snapshots = m_state->snapshots();
    // Switching saves at once, without waiting for the timer.
    m_window->selectNote(QStringLiteral("a"));
    m_window->editor()->moveCursor(QTextCursor::End);
    QTest::keyClicks(m_window->editor(), QStringLiteral(" v2"));
    m_window->selectNote(QStringLiteral("b"));
    QCOMPARE(noteTitle(m_state->notes()->byId(QStringLiteral("a"))->body), QStringLiteral("Alpha v2"));
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
    QTest::newRow("purge removes the row") << "all" << "purge a" << "d c b";
    QTest::newRow("moved out of the notebook shown") << "nb1" << "move c -" << "d";
    QTest::newRow("moved into the notebook shown, at its date") << "nb1" << "move b nb1" << "d c b";
    QTest::newRow("new note in the notebook shown") << "nb1" << "insert e nb1" << "e d c";
    QTest::newRow("new note elsewhere stays out") << "nb1" << "insert e -" << "d c";
    QTest::newRow("search: a saved row keeps its place") << "search:common" << "save $last" << "=";
    // clang-format on
}

void TestMainWindow::oneNoteChangesMoveOneRow()
{
    QFETCH(QString, view);
    QFETCH(QString, changes);
    QFETCH(QString, expected);

    NoteRepository *notes = m_state->notes();
    for (const auto &[id, title, age] : {std::tuple{"c", "Gamma common", 120}, std::tuple{"d", "Delta common", 180}}) {
        Note note = makeNote(QString::fromLatin1(id), QString::fromLatin1(title), m_t0.addSecs(age));
        note.notebookId = QStringLiteral("nb1");
        QVERIFY(notes->insert(note));
    }
    m_state->preferences()->setBool(QStringLiteral("steno_mode"), view == QLatin1String("steno"));
    // The notebooks exist: a view of a missing one falls back to All Notes.
    for (const QString &id : {QStringLiteral("nb1"), QStringLiteral("nb2")})
        QVERIFY(m_state->notebooks()->insert(makeNotebook(id, id)));
    if (view.startsWith(QLatin1String("nb")))
        m_state->setCurrentNotebookId(view);
    m_window = std::make_unique<MainWindow>(m_state.get());
    m_window->show();
    auto *list = m_window->noteList();
    if (view.startsWith(QLatin1String("search:"))) {
        m_window->findChild<QLineEdit *>(QStringLiteral("searchField"))->setText(view.mid(7));
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

void TestMainWindow::formattingKeysActOnce_data()
{
    QTest::addColumn<bool>("focusInEditor");
    QTest::addColumn<bool>("viewOnly");
    QTest::newRow("focus in the editor") << true << false;
    QTest::newRow("focus in the note list") << false << false;
    QTest::newRow("view-only shared note") << true << true;
}

void TestMainWindow::formattingKeysActOnce()
{
    QFETCH(bool, focusInEditor);
    QFETCH(bool, viewOnly);
    Note shared = makeNote(QStringLiteral("s"), QStringLiteral("Shared"), m_t0.addSecs(600));
    shared.isShared = true;
    shared.permission = viewOnly ? QStringLiteral("view") : QStringLiteral("edit");
    QVERIFY(m_state->notes()->insert(shared));
    m_window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(m_window.get()));
    m_window->selectNote(QStringLiteral("s"));
    QCOMPARE(m_window->editor()->isReadOnly(), viewOnly);
    QTextCursor cursor(m_window->editor()->document());
    cursor.select(QTextCursor::Document);
    m_window->editor()->setTextCursor(cursor);
    QWidget *target = focusInEditor ? static_cast<QWidget *>(m_window->editor()) : m_window->noteList();
    target->setFocus();
    QTRY_COMPARE(QApplication::focusWidget(), target);

    // Twice would toggle bold back off; a heading key applied twice stays.
    QTest::keyClick(target, Qt::Key_B, Qt::ControlModifier);
    QTest::keyClick(target, Qt::Key_X, Qt::ControlModifier | Qt::ShiftModifier);
    const QTextCharFormat format = m_window->editor()->textCursor().charFormat();
    QCOMPARE(format.fontWeight() >= QFont::Bold, !viewOnly);
    QCOMPARE(format.fontStrikeOut(), !viewOnly);
    // Ctrl+Backspace stays the editor's word deletion: the note stays.
    m_window->editor()->setFocus();
    QTest::keyClick(m_window->editor(), Qt::Key_Backspace, Qt::ControlModifier);
    QVERIFY(!m_state->notes()->byId(QStringLiteral("s"))->isTrashed());
    QCOMPARE(m_window->openNoteId(), QStringLiteral("s"));
    // The view-only note is never written.
    m_window->saveCurrentNote();
    QCOMPARE(m_state->notes()->byId(QStringLiteral("s"))->version, viewOnly ? 1 : 2);
}

void TestMainWindow::layoutModes_data()
{
    QTest::addColumn<QString>("stored"); // "normalSplitterSizes"
    QTest::addColumn<bool>("accepted");
    QTest::newRow("three sizes") << "150,300,600" << true;
    QTest::newRow("two sizes") << "1,2" << false;
    QTest::newRow("not numbers") << "a,b,c" << false;
}

void TestMainWindow::layoutModes()
{
    QFETCH(QString, stored);
    QFETCH(bool, accepted);
    m_window.reset();
    QSettings settings;
    settings.remove(QStringLiteral("mainWindow"));
    settings.setValue(QStringLiteral("mainWindow/normalSplitterSizes"), stored);
    settings.sync();
    m_window = std::make_unique<MainWindow>(m_state.get());
    m_window->resize(1400, 800);
    m_window->show();
    m_window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(m_window.get()));

    QSplitter *splitter = m_window->splitter();
    const QList<int> base = accepted ? MainWindow::parseSplitterSizes(stored)
                                     : QList<int>{200, 260, std::max(m_window->width() - 460, 400)};
    QCOMPARE(m_window->normalSplitterSizes().size(), accepted ? 3 : 0);

    // Focus mode by its key: only the editor; the key again brings the
    // remembered sizes back.
    QTest::keyClick(m_window.get(), Qt::Key_Backslash, Qt::ControlModifier);
    QVERIFY(m_window->focusMode());
    QVERIFY(m_window->sidebarPane()->isHidden() && m_window->listPane()->isHidden());
    QVERIFY(splitter->sizes().at(2) >= splitter->width() - 2 * splitter->handleWidth());
    QVERIFY(QSettings().value(QStringLiteral("mainWindow/focusMode")).toBool());
    QTest::keyClick(m_window.get(), Qt::Key_Backslash, Qt::ControlModifier);
    QVERIFY(!m_window->focusMode());
    QVERIFY(!m_window->sidebarPane()->isHidden() && !m_window->listPane()->isHidden());
    QCOMPARE(splitter->sizes().at(0), base.at(0));
    QCOMPARE(splitter->sizes().at(1), base.at(1));

    // The sidebar alone.
    QTest::keyClick(m_window.get(), Qt::Key_B, Qt::ControlModifier | Qt::AltModifier);
    QVERIFY(m_window->sidebarPane()->isHidden() && !m_window->listPane()->isHidden());
    QCOMPARE(splitter->sizes().at(0), 0);
    QCOMPARE(splitter->sizes().at(1), base.at(1));
    QVERIFY(!QSettings().value(QStringLiteral("mainWindow/notebookSidebarVisible")).toBool());
    QTest::keyClick(m_window.get(), Qt::Key_B, Qt::ControlModifier | Qt::AltModifier);
    QVERIFY(!m_window->sidebarPane()->isHidden());
    QCOMPARE(splitter->sizes().at(0), base.at(0));
}

void TestMainWindow::searchRefreshesOnceAfterTyping()
{
    auto *list = m_window->noteList();
    auto *field = m_window->findChild<QLineEdit *>(QStringLiteral("searchField"));
    QSignalSpy reset(list->model(), &QAbstractItemModel::modelReset);
    field->setFocus();
    QTest::keyClicks(field, QStringLiteral("Alph"));
    QCOMPARE(reset.count(), 0); // not per keystroke
    QTRY_COMPARE(reset.count(), 1);
    QCOMPARE(listedIds(list), QStringList{QStringLiteral("a")});
    QCOMPARE(m_window->statusBarWidget()->countText(), QStringLiteral("All Notes (1 note)"));
    // F3 brings the focus back to the field, with its text selected.
    m_window->editor()->setFocus();
    m_window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(m_window.get()));
    QTest::keyClick(m_window.get(), Qt::Key_F3);
    QCOMPARE(QApplication::focusWidget(), field);
    QCOMPARE(field->selectedText(), QStringLiteral("Alph"));
}

void TestMainWindow::preferencesApplyLive()
{
    m_window->selectNote(QStringLiteral("a"));
    m_state->preferences()->setInt(QStringLiteral("editor_body_pt"), 18);
    QCOMPARE(m_window->editor()->font().pixelSize(), 24);
    // The open note is shown again at the new size, and not written.
    m_window->saveCurrentNote();
    QCOMPARE(m_state->notes()->byId(QStringLiteral("a"))->version, 1);
}

void TestMainWindow::findInNote()
{
    const QString body = QStringLiteral("[{\"insert\":\"one cat, two cats\\nno dog\\n\"}]");
    QCOMPARE(m_state->notes()->saveEditedBody(QStringLiteral("a"), body), NoteRepository::SaveResult::Saved);
    m_window->selectNote(QStringLiteral("a"));
    m_window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(m_window.get()));
    m_window->editor()->setFocus();
    QTest::keySequence(m_window.get(), QKeySequence::Find);
    FindBar *bar = m_window->findBar();
    QCOMPARE(QApplication::focusWidget(), bar->field());
    QTest::keyClicks(bar->field(), QStringLiteral("cat"));
    QCOMPARE(bar->statusText(), QStringLiteral("1 of 2"));
    QCOMPARE(m_window->editor()->extraSelections().size(), 2);
    QTest::keyClick(bar->field(), Qt::Key_Return);
    QCOMPARE(m_window->editor()->textCursor().position(), 13);
    QTest::keyClick(bar->field(), Qt::Key_Return, Qt::ShiftModifier);
    QCOMPARE(m_window->editor()->textCursor().position(), 4);
    QTest::keyClicks(bar->field(), QStringLiteral("fish"));
    QCOMPARE(bar->statusText(), QStringLiteral("No matches"));
    QVERIFY(m_window->editor()->extraSelections().isEmpty());
    QTest::keyClick(bar->field(), Qt::Key_Escape);
    QVERIFY(!bar->isVisible());
    QCOMPARE(QApplication::focusWidget(), m_window->editor());
    // Looking never writes.
    m_window->saveCurrentNote();
    QCOMPARE(m_state->notes()->byId(QStringLiteral("a"))->version, 2);
}

void TestMainWindow::trashCommands()
{
    QVERIFY(m_state->notes()->insert(makeNote(QStringLiteral("c"), QStringLiteral("Gamma"), m_t0.addSecs(-60))));
    QVERIFY(m_state->notes()->insert(makeNote(QStringLiteral("d"), QStringLiteral("Delta"), m_t0.addSecs(-120))));
    m_window = std::make_unique<MainWindow>(m_state.get());
    m_window->show();
    auto *list = m_window->noteList();
    QCOMPARE(list->count(), 4); // b a c d
    const auto trashed = [this](const char *id) {
        return m_state->notes()->byId(QString::fromLatin1(id))->isTrashed();
    };
    // A message box takes the activation with it.
    const auto activate = [this] {
        m_window->activateWindow();
        return QTest::qWaitForWindowActive(m_window.get());
    };

    // Ctrl+D asks; No keeps the note, Yes trashes it.
    m_window->selectNote(QStringLiteral("b"));
    QVERIFY(activate());
    m_window->editor()->setFocus();
    std::shared_ptr<bool> asked = answerNextBox(QMessageBox::No);
    QTest::keyClick(m_window->editor(), Qt::Key_D, Qt::ControlModifier);
    QVERIFY(*asked);
    QVERIFY(!trashed("b"));
    asked = answerNextBox(QMessageBox::Yes);
    QVERIFY(activate());
    QTest::keyClick(m_window->editor(), Qt::Key_D, Qt::ControlModifier);
    QVERIFY(*asked);
    QVERIFY(trashed("b"));
    QCOMPARE(m_window->openNoteId(), QStringLiteral("a")); // took b's row

    // The no-ask key, from the editor, does not ask.
    QVERIFY(activate());
    QTest::keyClick(m_window->editor(), Qt::Key_Delete, Qt::ControlModifier | Qt::ShiftModifier);
    QVERIFY(trashed("a"));
    QCOMPARE(m_window->openNoteId(), QStringLiteral("c"));

    // Delete in the list on the last row: the new last row opens.
    list->setCurrentRow(1);
    list->setFocus();
    QTest::keyClick(list, Qt::Key_Delete);
    QVERIFY(trashed("d"));
    QCOMPARE(list->currentNoteId(), QStringLiteral("c"));
    QCOMPARE(m_window->openNoteId(), QStringLiteral("c"));

    // The only note: nothing left to show but the welcome page.
    QTest::keyClick(list, Qt::Key_Delete);
    QVERIFY(trashed("c"));
    QVERIFY(m_window->openNoteId().isEmpty());
    QCOMPARE(m_window->screenStack()->currentWidget(), m_window->welcomePage());
}

void TestMainWindow::statusBarNamesTheNotebook()
{
    Notebook notebook = makeNotebook(QStringLiteral("nb1"), QStringLiteral("Recipes"));
    QVERIFY(m_state->notebooks()->insert(notebook));
    QVERIFY(m_state->notes()->moveToNotebook(QStringLiteral("a"), QStringLiteral("nb1")));
    m_state->setCurrentNotebookId(QStringLiteral("nb1"));
    m_window->refreshNoteList();
    QCOMPARE(m_window->statusBarWidget()->countText(), QStringLiteral("Recipes (1 note)"));
    QCOMPARE(m_window->noteList()->model()->index(0, 0).data(NoteListWidget::NotebookNameRole).toString(),
             QStringLiteral("Recipes"));
    // A search keeps the notebook's name, never "Search"; a rename follows.
    m_window->findChild<QLineEdit *>(QStringLiteral("searchField"))->setText(QStringLiteral("Beta"));
    QTRY_COMPARE(m_window->noteList()->count(), 1);
    QCOMPARE(m_window->statusBarWidget()->countText(), QStringLiteral("Recipes (1 note)"));
    notebook.name = QStringLiteral("Cooking");
    QVERIFY(m_state->notebooks()->update(notebook));
    QTRY_COMPARE(m_window->statusBarWidget()->countText(), QStringLiteral("Cooking (1 note)"));
}

void TestMainWindow::quitSavesEverythingAndRestartRestores()
{
    m_window->resize(1000, 700);
    m_window->move(40, 30);
    m_window->setFocusMode(true);
    const QRect geometry = m_window->geometry();
    for (const char *id : {"a", "b"}) {
        m_state->openNoteWindow(QString::fromLatin1(id));
        NoteWindow *window = m_state->noteWindow(QString::fromLatin1(id));
        window->editor()->moveCursor(QTextCursor::End);
        QTest::keyClicks(window->editor(), QStringLiteral(" typed"));
    }

    // The real event loop, ended by Quit alone (with a guard against hanging).
    QAction *quit = findAction(m_window.get(), QStringLiteral("Quit"));
    QTimer::singleShot(0, quit, &QAction::trigger);
    bool hung = false;
    QTimer::singleShot(10000, qApp, [&hung] {
        hung = true;
        QCoreApplication::exit(1);
    });
    QCOMPARE(QApplication::exec(), 0);
    QVERIFY(!hung);
    QCOMPARE(noteTitle(m_state->notes()->byId(QStringLiteral("a"))->body), QStringLiteral("Alpha typed"));
    QCOMPARE(noteTitle(m_state->notes()->byId(QStringLiteral("b"))->body), QStringLiteral("Beta typed"));
    QVERIFY(m_state->openNoteWindowIds().isEmpty());
    QCOMPARE(m_state->preferences()->getString(QStringLiteral("restore_note_windows")), QStringLiteral("a,b"));
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);

    // The next run: same settings, same data.
    m_window = std::make_unique<MainWindow>(m_state.get());
    QCOMPARE(m_window->geometry().size(), geometry.size());
    QVERIFY(m_window->focusMode());
    QVERIFY(m_window->listPane()->isHidden());
}

void TestMainWindow::readmeListsEveryShortcut()
{
    const QList<QStringList> rows = readmeTable(QStringLiteral("Keys"));
    QVERIFY(rows.size() > 30);
    m_state->openNoteWindow(QStringLiteral("a"));
    QPointer<NoteWindow> noteWindow = m_state->noteWindow(QStringLiteral("a"));
    const QHash<QString, QAction *> mainActions = keyedActions(m_window.get());
    const QHash<QString, QHash<QString, QAction *>> windows{{QStringLiteral("main"), mainActions},
                                                            {QStringLiteral("note"), keyedActions(noteWindow)}};

    // Every row exists with its key, and every action with a key has its row.
    QHash<QString, QSet<QString>> listed;
    for (const QStringList &row : rows) {
        QCOMPARE(row.size(), 3);
        const QString &command = row.at(1);
        for (auto it = windows.cbegin(); it != windows.cend(); ++it) {
            if (row.at(2) != it.key() && row.at(2) != QLatin1String("both"))
                continue;
            QAction *action = it.value().value(command);
            QVERIFY2(action, qPrintable(it.key() + QLatin1String(": ") + command));
            QVERIFY2(readmeKeys(row.at(0)).contains(keyText(action->shortcut())), qPrintable(command));
            listed[it.key()].insert(command);
        }
    }
    for (auto it = windows.cbegin(); it != windows.cend(); ++it) {
        for (const QString &command : it.value().keys())
            QVERIFY2(listed.value(it.key()).contains(command), qPrintable(command));
    }

    // The changed keys: the editor's stay off every main window entry; the
    // others belong to the command named.
    const QList<QStringList> changed = readmeTable(QStringLiteral("Key"));
    QVERIFY(changed.size() >= 5);
    for (const QStringList &row : changed) {
        const QString key = readmeKeys(row.at(0)).value(0);
        const QString &here = row.at(2);
        if (here == QLatin1String("editor")) {
            for (QAction *action : mainActions)
                QVERIFY2(!action->shortcuts().contains(QKeySequence(key)), qPrintable(key));
        } else {
            QVERIFY2(mainActions.contains(here), qPrintable(here));
            QCOMPARE(keyText(mainActions.value(here)->shortcut()), key);
        }
    }
    noteWindow->close();
}

void TestMainWindow::noteDroppedOnNotebook_data()
{
    QTest::addColumn<QString>("shown"); // notebook shown in the list, "" = All Notes
    QTest::addColumn<QString>("target"); // sidebar row dropped on, "" = All Notes
    QTest::addColumn<bool>("stillListed");

    QTest::newRow("all notes, onto a notebook") << QString() << QStringLiteral("nb2") << true;
    QTest::newRow("notebook, onto all notes") << QStringLiteral("nb1") << QString() << false;
}

void TestMainWindow::noteDroppedOnNotebook()
{
    QFETCH(QString, shown);
    QFETCH(QString, target);
    QFETCH(bool, stillListed);

    for (const QString &id : {QStringLiteral("nb1"), QStringLiteral("nb2")})
        QVERIFY(m_state->notebooks()->insert(makeNotebook(id, id)));
    QVERIFY(m_state->notes()->moveToNotebook(QStringLiteral("a"), QStringLiteral("nb1")));
    m_state->setCurrentNotebookId(shown);
    m_window->refreshNoteList();
    m_window->selectNote(QStringLiteral("a"));
    QTest::keyClicks(m_window->editor(), QStringLiteral("typed "));

    NotebookListWidget *sidebar = m_window->notebookList();
    const int row = target.isEmpty() ? sidebar->rowOfKind(NotebookListWidget::AllNotesRow) : sidebar->rowOfNotebook(target);
    QVERIFY(row >= 0);
    const QPoint pos = sidebar->visualItemRect(sidebar->item(row)).center();
    QMimeData data;
    data.setData(NoteListWidget::noteIdMimeType(), QByteArrayLiteral("a"));
    QDragEnterEvent enter(pos, Qt::CopyAction | Qt::MoveAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(sidebar->viewport(), &enter);
    QDragMoveEvent move(pos, Qt::CopyAction | Qt::MoveAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(sidebar->viewport(), &move);
    QDropEvent drop(pos, Qt::CopyAction | Qt::MoveAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(sidebar->viewport(), &drop);
    QVERIFY(drop.isAccepted());

    const std::optional<Note> note = m_state->notes()->byId(QStringLiteral("a"));
    QCOMPARE(note->notebookId, target);
    // The typing made before the drag went with the note.
    QVERIFY(note->body.contains(QLatin1String("typed ")));
    QTRY_COMPARE(listedIds(m_window->noteList()).contains(QStringLiteral("a")), stillListed);
    // The list shown is still the one the note was dragged from.
    QCOMPARE(m_state->currentNotebookId(), shown);
}

void TestMainWindow::deletingNotebookMovesNotesOut()
{
    QVERIFY(m_state->notebooks()->insert(makeNotebook(QStringLiteral("nb1"), QStringLiteral("Recipes"))));
    QVERIFY(m_state->notes()->moveToNotebook(QStringLiteral("a"), QStringLiteral("nb1")));
    NotebookListWidget *sidebar = m_window->notebookList();
    QTRY_VERIFY(sidebar->rowOfNotebook(QStringLiteral("nb1")) >= 0);
    QTest::mouseClick(sidebar->viewport(), Qt::LeftButton, {},
                      sidebar->visualItemRect(sidebar->item(sidebar->rowOfNotebook(QStringLiteral("nb1")))).center());
    QCOMPARE(m_state->currentNotebookId(), QStringLiteral("nb1"));

    // Context menu → "Delete Notebook" → Yes.
    QTimer::singleShot(50, qApp, [] {
        auto *menu = qobject_cast<QMenu *>(QApplication::activePopupWidget());
        QVERIFY(menu);
        QAction *remove = findAction(menu->actions(), QStringLiteral("Delete Notebook"));
        QVERIFY(remove);
        remove->trigger();
        menu->close();
    });
    const auto asked = answerNextBox(QMessageBox::Yes);
    Q_EMIT sidebar->notebookContextMenuRequested(QStringLiteral("nb1"), m_window->mapToGlobal(QPoint(50, 50)));
    QTRY_VERIFY(*asked);

    QVERIFY(m_state->notebooks()->byId(QStringLiteral("nb1"))->deletedAt.has_value());
    QCOMPARE(m_state->notes()->byId(QStringLiteral("a"))->notebookId, QString());
    // The list falls back to All Notes.
    QCOMPARE(m_state->currentNotebookId(), QString());
    QTRY_COMPARE(sidebar->rowOfNotebook(QStringLiteral("nb1")), -1);
    QCOMPARE(m_window->statusBarWidget()->countText(), QStringLiteral("All Notes (2 notes)"));
}

// The theme chosen in the preferences is the one the application shows.
void TestMainWindow::preferencesChangeTheTheme()
{
    m_window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(m_window.get()));
    QTest::keyClick(m_window.get(), Qt::Key_Comma, Qt::ControlModifier);
    QTRY_COMPARE(m_window->findChildren<SettingsDialog *>().size(), 1);
    // Asking again brings the same window forward.
    findAction(m_window.get(), QStringLiteral("Preferences\u2026"))->trigger();
    QCOMPARE(m_window->findChildren<SettingsDialog *>().size(), 1);

    auto *combo = m_window->findChild<SettingsDialog *>()->findChild<QComboBox *>(QStringLiteral("themeCombo"));
    for (const auto &[mode, palette] : {std::pair{QStringLiteral("dark"), ThemeManager::darkPalette()},
                                        std::pair{QStringLiteral("light"), ThemeManager::lightPalette()}}) {
        combo->setCurrentIndex(combo->findData(mode));
        QCOMPARE(QApplication::palette().color(QPalette::Base), palette.color(QPalette::Base));
    }
}

void TestMainWindow::sidebarCountsFollowMovesNotEdits()
{
    QVERIFY(m_state->notebooks()->insert(makeNotebook(QStringLiteral("nb1"), QStringLiteral("Recipes"))));
    NotebookListWidget *sidebar = m_window->notebookList();
    auto countOf = [sidebar](int row) { return sidebar->item(row)->data(NotebookListWidget::CountRole).toInt(); };
    QTRY_VERIFY(sidebar->rowOfNotebook(QStringLiteral("nb1")) >= 0);
    const int allRow = sidebar->rowOfKind(NotebookListWidget::AllNotesRow);
    QCOMPARE(countOf(allRow), 2);

    QVERIFY(m_state->notes()->moveToNotebook(QStringLiteral("a"), QStringLiteral("nb1")));
    QTRY_COMPARE(countOf(sidebar->rowOfNotebook(QStringLiteral("nb1"))), 1);
    QVERIFY(m_state->notes()->moveToTrash(QStringLiteral("b")));
    QTRY_COMPARE(countOf(sidebar->rowOfKind(NotebookListWidget::TrashRow)), 1);
    QTRY_COMPARE(countOf(allRow), 1);

    // Typing saves the body every second: that must not recount every note.
    QSignalSpy rebuilt(sidebar->model(), &QAbstractItemModel::modelAboutToBeReset);
    m_window->selectNote(QStringLiteral("a"));
    QTest::keyClicks(m_window->editor(), QStringLiteral("more "));
    m_window->saveCurrentNote();
    QVERIFY(m_state->notes()->byId(QStringLiteral("a"))->body.contains(QLatin1String("more ")));
    QCoreApplication::processEvents();
    QCOMPARE(rebuilt.count(), 0);
}

void TestMainWindow::headerFollowsTheOpenNote()
{
    Notebook notebook = makeNotebook(QStringLiteral("nb1"), QStringLiteral("Recipes"));
    QVERIFY(m_state->notebooks()->insert(notebook));
    QVERIFY(m_state->notes()->moveToNotebook(QStringLiteral("a"), QStringLiteral("nb1")));
    NoteHeaderBar *header = m_window->noteChrome()->headerBar();

    m_window->selectNote(QStringLiteral("a"));
    QCOMPARE(header->notebookName(), QStringLiteral("Recipes"));
    // "Alpha", last updated on the first of January 2024.
    QVERIFY2(header->updatedText().endsWith(QStringLiteral(" \u00b7 1 words")), qPrintable(header->updatedText()));
    QVERIFY(!header->updatedText().contains(QStringLiteral("just now")));

    // A rename, and a move made elsewhere, show at once.
    notebook.name = QStringLiteral("Cooking");
    QVERIFY(m_state->notebooks()->update(notebook));
    QCOMPARE(header->notebookName(), QStringLiteral("Cooking"));
    QVERIFY(m_state->notes()->moveToNotebook(QStringLiteral("a"), QString()));
    QCOMPARE(header->notebookName(), QStringLiteral("Unorganized"));

    // Typing counts at once; the save makes the note new.
    m_window->editor()->moveCursor(QTextCursor::End);
    QTest::keyClicks(m_window->editor(), QStringLiteral(" and more"));
    QVERIFY2(header->updatedText().endsWith(QStringLiteral(" \u00b7 3 words")), qPrintable(header->updatedText()));
    m_window->saveCurrentNote();
    QCOMPARE(header->updatedText(), QStringLiteral("Updated just now \u00b7 3 words"));
}

void TestMainWindow::includeInTodosFromTheHeaderPersists()
{
    m_window->selectNote(QStringLiteral("a"));
    QAction *include = headerEntry(m_window.get(), QStringLiteral("Include in To-Dos"));
    QVERIFY(include && include->isChecked());
    include->trigger();
    QVERIFY(!m_state->notes()->includeInTodos(QStringLiteral("a")));

    // Each note shows its own flag, and showing it writes nothing.
    m_window->selectNote(QStringLiteral("b"));
    QVERIFY(include->isChecked());
    m_window->selectNote(QStringLiteral("a"));
    QVERIFY(!include->isChecked());
    QVERIFY(!m_state->notes()->includeInTodos(QStringLiteral("a")));
    QVERIFY(m_state->notes()->includeInTodos(QStringLiteral("b")));

    m_window = std::make_unique<MainWindow>(m_state.get());
    QVERIFY(!headerEntry(m_window.get(), QStringLiteral("Include in To-Dos"))->isChecked());
}

void TestMainWindow::toolbarOnlyWithANoteOpen()
{
    EditorToolbar *toolbar = m_window->noteChrome()->toolbar();
    NoteHeaderBar *header = m_window->noteChrome()->headerBar();
    auto shown = [toolbar] { return !toolbar->isHidden() && toolbar->isEnabled(); };
    QVERIFY(!shown());
    QVERIFY(!header->isEditable());

    m_window->selectNote(QStringLiteral("a"));
    QVERIFY(shown());
    QVERIFY(header->isEditable());
    QCOMPARE(toolbar->editor(), m_window->editor());

    // A view-only shared note: no toolbar, no note commands.
    Note shared = *m_state->notes()->byId(QStringLiteral("b"));
    shared.isShared = true;
    shared.permission = QStringLiteral("view");
    QVERIFY(m_state->notes()->update(shared));
    m_window->selectNote(QStringLiteral("b"));
    QVERIFY(toolbar->isHidden());
    QVERIFY(!header->isEditable());
    m_window->selectNote(QStringLiteral("a"));
    QVERIFY(shown());

    m_window->moveCurrentNoteToTrash(false);
    m_window->moveCurrentNoteToTrash(false);
    QVERIFY(m_window->openNoteId().isEmpty());
    QVERIFY(!shown());
    QVERIFY(!header->isEditable());
    QCOMPARE(header->updatedText(), QString());
    m_window->newNote();
    QVERIFY(shown());
}

void TestMainWindow::headerCommands()
{
    QVERIFY(m_state->notebooks()->insert(makeNotebook(QStringLiteral("nb1"), QStringLiteral("Recipes"))));
    QVERIFY(m_state->notes()->moveToNotebook(QStringLiteral("a"), QStringLiteral("nb1")));
    m_window->selectNote(QStringLiteral("a"));
    NoteHeaderBar *header = m_window->noteChrome()->headerBar();

    // The focus toggle is the window's focus mode.
    Q_EMIT header->focusToggleClicked();
    QVERIFY(m_window->focusMode());
    QVERIFY(header->focusMode());
    m_window->setFocusMode(false);

    // The chip opens the note's notebook in the list.
    Q_EMIT header->notebookChipClicked();
    QCOMPARE(m_state->currentNotebookId(), QStringLiteral("nb1"));

    // Copies store the typing first and take what is stored.
    m_window->editor()->moveCursor(QTextCursor::End);
    QTest::keyClicks(m_window->editor(), QStringLiteral(" typed"));
    Q_EMIT header->copyAsMarkdownRequested();
    const QString stored = m_state->notes()->byId(QStringLiteral("a"))->body;
    QVERIFY(stored.contains(QStringLiteral("typed")));
    QCOMPARE(QGuiApplication::clipboard()->text(), deltaToMarkdown(stored));
    Q_EMIT header->copyAsHtmlRequested();
    const QMimeData *html = QGuiApplication::clipboard()->mimeData();
    QVERIFY(html->hasHtml() && html->html().contains(QStringLiteral("Alpha typed")));
    QCOMPARE(html->text(), html->html());
    Q_EMIT header->copyAsPlainTextRequested();
    QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("Alpha typed"));

    // Export and print reach the File menu's commands, and follow their state.
    for (const auto &[entry, command] : {std::pair{header->exportAction(), QStringLiteral("Export...")},
                                         std::pair{header->printAction(), QStringLiteral("Print...")}}) {
        QAction *fileAction = findAction(m_window.get(), command);
        QObject::disconnect(fileAction, &QAction::triggered, m_window.get(), nullptr);
        QSignalSpy ran(fileAction, &QAction::triggered);
        entry->trigger();
        QCOMPARE(ran.count(), 1);
        fileAction->setEnabled(false);
        QVERIFY(!entry->isEnabled());
    }

    // Move to Trash from the header asks nothing.
    Q_EMIT header->deleteRequested();
    QVERIFY(m_state->notes()->byId(QStringLiteral("a"))->isTrashed());
}

LUMORA_TEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
