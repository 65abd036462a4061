#include "app/appstate.h"
#include "storage/noterepository.h"
#include "storage/preferencesrepository.h"
#include "ui/mainwindow.h"
#include "ui/noteeditor.h"
#include "ui/notewindow.h"

#include "testmain.h"

#include <QPointer>

#include <memory>

// A note edited in its own window next to the main window.
class TestNoteWindow : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();
    void savesFollowsAndClosesWhenTrashed();

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
    QCOMPARE(window->windowTitle(), QStringLiteral("From the window \u2014 Lumora Notes"));
    // The main window shows the note and reloads it; the window itself keeps
    // its cursor because it ignores its own announcement.
    QCOMPARE(m_main->editor()->toPlainText(), QStringLiteral("From the window"));
    QCOMPARE(window->editor()->textCursor().position(), 15);

    // And the other way round.
    m_main->editor()->moveCursor(QTextCursor::End);
    QTest::keyClicks(m_main->editor(), QStringLiteral("!"));
    QTRY_COMPARE_WITH_TIMEOUT(window->editor()->toPlainText(), QStringLiteral("From the window!"), 3000);

    // Reopened at the size it was closed with.
    window->resize(700, 500);
    window->close();
    QTRY_VERIFY(!m_state->noteWindow(m_id));
    QVERIFY(!m_state->preferences()->getString(QStringLiteral("note_window_geom/%1").arg(m_id)).isEmpty());
    m_state->openNoteWindow(m_id);
    window = m_state->noteWindow(m_id);
    QCOMPARE(window->size(), QSize(700, 500));

    // Trashed elsewhere: the window closes.
    QPointer<NoteWindow> guard(window);
    m_main->moveCurrentNoteToTrash(false);
    QTRY_VERIFY(guard.isNull());
    QVERIFY(m_state->openNoteWindowIds().isEmpty());
}

LUMORA_TEST_MAIN(TestNoteWindow)
#include "tst_notewindow.moc"
