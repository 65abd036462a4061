#include "app/appstate.h"
#include "app/thememanager.h"
#include "storage/noterepository.h"
#include "storage/preferencesrepository.h"
#include "ui/notewindow.h"

#include "testmain.h"

#include <QPointer>
#include <QSignalSpy>

#include <memory>

class TestAppState : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();

    void selectionIsPersistedOnce();
    void storedStateComesBack();
    void newNoteWindowAndRelayedSignals();
    void oneWindowPerNote();

private:
    std::unique_ptr<LumoraTest::ScopedDataDir> m_dir;
    std::unique_ptr<AppState> m_state;
};

void TestAppState::init()
{
    m_dir = std::make_unique<LumoraTest::ScopedDataDir>();
    m_state = std::make_unique<AppState>();
    QSignalSpy ready(m_state.get(), &AppState::databaseReady);
    QVERIFY(m_state->initialize());
    QCOMPARE(ready.count(), 1);
}

void TestAppState::cleanup()
{
    m_state.reset();
    m_dir.reset();
}

void TestAppState::selectionIsPersistedOnce()
{
    QSignalSpy noteChanged(m_state.get(), &AppState::currentNoteChanged);
    QSignalSpy notebookChanged(m_state.get(), &AppState::currentNotebookChanged);
    QSignalSpy prefWrites(m_state->preferences(), &PreferencesRepository::changed);

    m_state->setCurrentNoteId(QStringLiteral("n1"));
    m_state->setCurrentNoteId(QStringLiteral("n1"));
    m_state->setCurrentNotebookId(QStringLiteral("b1"));
    m_state->setCurrentNotebookId(QStringLiteral("b1"));

    QCOMPARE(noteChanged.count(), 1);
    QCOMPARE(noteChanged.at(0).at(0).toString(), QStringLiteral("n1"));
    QCOMPARE(notebookChanged.count(), 1);
    QCOMPARE(prefWrites.count(), 2);
    QCOMPARE(m_state->preferences()->getString(QStringLiteral("lastNoteId")), QStringLiteral("n1"));
    QCOMPARE(m_state->preferences()->getString(QStringLiteral("lastNotebookId")), QStringLiteral("b1"));

    // Clearing the selection is a change too.
    m_state->setCurrentNoteId(QString());
    QCOMPARE(noteChanged.count(), 2);
    QCOMPARE(m_state->preferences()->value(QStringLiteral("lastNoteId")), std::optional<QString>(QString()));
}

// The selection and the theme come back from the preferences, without a
// change signal for the selection.
void TestAppState::storedStateComesBack()
{
    m_state->setCurrentNoteId(QStringLiteral("n7"));
    m_state->setCurrentNotebookId(QStringLiteral("b7"));
    m_state->preferences()->setString(QStringLiteral("theme_mode"), QStringLiteral("dark"));
    m_state.reset();

    AppState again;
    QSignalSpy noteChanged(&again, &AppState::currentNoteChanged);
    QVERIFY(again.initialize());
    QCOMPARE(again.currentNoteId(), QStringLiteral("n7"));
    QCOMPARE(again.currentNotebookId(), QStringLiteral("b7"));
    QCOMPARE(noteChanged.count(), 0);
    QCOMPARE(again.themeManager()->theme(), ThemeManager::Theme::Dark);
}

// A new window holds a new empty note in the current notebook; the state
// relays the repositories' signals.
void TestAppState::newNoteWindowAndRelayedSignals()
{
    QSignalSpy changed(m_state.get(), &AppState::notesChanged);
    QSignalSpy deleted(m_state.get(), &AppState::noteDeletedExternally);
    m_state->setCurrentNotebookId(QStringLiteral("work"));
    NoteWindow *window = m_state->newNoteWindow();
    QVERIFY(window);
    QVERIFY(window->isVisible());
    QCOMPARE(changed.count(), 1);
    const std::optional<Note> note = m_state->notes()->byId(window->noteId());
    QVERIFY(note);
    QCOMPARE(note->notebookId, QStringLiteral("work"));
    QCOMPARE(note->syncStatus, SyncStatus::Pending);
    QCOMPARE(m_state->openNoteWindowIds(), QStringList{note->id});

    QVERIFY(m_state->notes()->moveToTrash(window->noteId()));
    QCOMPARE(deleted.count(), 1);
    QCOMPARE(deleted.at(0).at(0).toString(), note->id);
    QCOMPARE(changed.count(), 2);
}

void TestAppState::oneWindowPerNote()
{
    m_state->openNoteWindow(QStringLiteral("b"));
    m_state->openNoteWindow(QStringLiteral("a"));
    QPointer<NoteWindow> first = m_state->noteWindow(QStringLiteral("a"));
    m_state->openNoteWindow(QStringLiteral("a"));
    QCOMPARE(m_state->noteWindow(QStringLiteral("a")), first.data());
    QCOMPARE(m_state->openNoteWindowIds(), (QStringList{QStringLiteral("b"), QStringLiteral("a")}));

    // Closing a window forgets it; opening again makes a new one.
    first->close();
    QTRY_VERIFY(first.isNull());
    QCOMPARE(m_state->openNoteWindowIds(), QStringList{QStringLiteral("b")});
    m_state->openNoteWindow(QStringLiteral("a"));
    QPointer<NoteWindow> again = m_state->noteWindow(QStringLiteral("a"));
    QVERIFY(again);
    QCOMPARE(m_state->openNoteWindowIds(), (QStringList{QStringLiteral("b"), QStringLiteral("a")}));

    // Destroying the state closes its windows.
    m_state.reset();
    QVERIFY(again.isNull());
}

LUMORA_TEST_MAIN(TestAppState)
#include "tst_appstate.moc"
