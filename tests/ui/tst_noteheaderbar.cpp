#include "app/thememanager.h"
#include "ui/noteheaderbar.h"

#include "testmain.h"

#include <QAction>
#include <QMenu>
#include <QMetaMethod>
#include <QSignalSpy>
#include <QToolButton>

#include <map>
#include <memory>

namespace {

// One spy on every signal of the bar, by signal name.
class SignalLog
{
public:
    explicit SignalLog(NoteHeaderBar *bar)
    {
        const QMetaObject *meta = bar->metaObject();
        for (int i = meta->methodOffset(); i < meta->methodCount(); ++i) {
            const QMetaMethod method = meta->method(i);
            if (method.methodType() == QMetaMethod::Signal)
                m_spies[QString::fromLatin1(method.name())] = std::make_unique<QSignalSpy>(bar, method);
        }
    }

    // The names of the signals emitted so far, one entry per emission.
    QStringList emitted() const
    {
        QStringList result;
        for (const auto &[name, spy] : m_spies) {
            for (qsizetype i = 0; i < spy->count(); ++i)
                result.append(name);
        }
        return result;
    }

private:
    std::map<QString, std::unique_ptr<QSignalSpy>> m_spies;
};

QAction *menuEntry(NoteHeaderBar *bar, const QString &button, const QString &text)
{
    auto *tool = bar->findChild<QToolButton *>(button);
    if (!tool || !tool->menu())
        return nullptr;
    const QList<QAction *> actions = tool->menu()->actions();
    for (QAction *action : actions) {
        if (action->text() == text)
            return action;
    }
    return nullptr;
}

bool enabled(NoteHeaderBar *bar, const char *name)
{
    auto *widget = bar->findChild<QWidget *>(QString::fromLatin1(name));
    return widget && widget->isEnabled();
}

} // namespace

class TestNoteHeaderBar : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();

    void printKeyIsTheWindows();
    void includeFlagFromTheWindowEmitsNothing();
    void shareNeedsEditableAndCanShare_data();
    void shareNeedsEditableAndCanShare();
    void eachControlEmitsItsSignal_data();
    void eachControlEmitsItsSignal();

private:
    std::unique_ptr<NoteHeaderBar> m_bar;
};

void TestNoteHeaderBar::init()
{
    QApplication::setPalette(ThemeManager::lightPalette());
    m_bar = std::make_unique<NoteHeaderBar>();
}

void TestNoteHeaderBar::cleanup()
{
    m_bar.reset();
    QApplication::setPalette(ThemeManager::lightPalette());
}

// Shown in the menu, but the window's own Print owns the key: two window
// actions on one key would both go dead.
void TestNoteHeaderBar::printKeyIsTheWindows()
{
    QCOMPARE(m_bar->printAction()->shortcut(), QKeySequence(QKeySequence::Print));
    QCOMPARE(m_bar->printAction()->shortcutContext(), Qt::WidgetShortcut);
}

void TestNoteHeaderBar::includeFlagFromTheWindowEmitsNothing()
{
    m_bar->setEditable(true);
    QSignalSpy toggled(m_bar.get(), &NoteHeaderBar::includeInTodosToggled);
    QAction *include = menuEntry(m_bar.get(), QStringLiteral("moreButton"), QStringLiteral("Include in To-Dos"));
    QVERIFY(include && include->isCheckable());
    m_bar->setIncludeInTodos(false);
    QVERIFY(!include->isChecked());
    QCOMPARE(toggled.count(), 0);

    // The user's toggle is announced, with the new state.
    include->trigger();
    QCOMPARE(toggled.count(), 1);
    QCOMPARE(toggled.first().first().toBool(), true);
}

void TestNoteHeaderBar::shareNeedsEditableAndCanShare_data()
{
    QTest::addColumn<bool>("editable");
    QTest::addColumn<bool>("canShare");
    QTest::addColumn<bool>("shareFirst");
    QTest::newRow("note, account, share set first") << true << true << true;
    QTest::newRow("note, account, note set first") << true << true << false;
    QTest::newRow("note, no account") << true << false << false;
    QTest::newRow("no note, account") << false << true << true;
}

void TestNoteHeaderBar::shareNeedsEditableAndCanShare()
{
    QFETCH(bool, editable);
    QFETCH(bool, canShare);
    QFETCH(bool, shareFirst);
    if (shareFirst)
        m_bar->setCanShare(canShare);
    m_bar->setEditable(editable);
    if (!shareFirst)
        m_bar->setCanShare(canShare);
    QCOMPARE(enabled(m_bar.get(), "shareButton"), editable && canShare);
    for (const char *name : {"notebookChip", "copyButton", "historyButton", "moreButton"})
        QCOMPARE(enabled(m_bar.get(), name), editable);
    QVERIFY(enabled(m_bar.get(), "focusToggle"));

    // Closing the note takes Share away again, whatever the account says,
    // and the updated line goes with the note.
    m_bar->setUpdatedText(QStringLiteral("Updated 5m ago"));
    m_bar->setEditable(false);
    QVERIFY(!enabled(m_bar.get(), "shareButton"));
    QCOMPARE(m_bar->updatedText(), QString());
}

void TestNoteHeaderBar::eachControlEmitsItsSignal_data()
{
    QTest::addColumn<QString>("button");
    QTest::addColumn<QString>("entry");
    QTest::addColumn<QString>("signal");
    QTest::newRow("focus toggle") << QStringLiteral("focusToggle") << QString() << QStringLiteral("focusToggleClicked");
    QTest::newRow("chip") << QStringLiteral("notebookChip") << QString() << QStringLiteral("notebookChipClicked");
    QTest::newRow("plain text") << QStringLiteral("copyButton") << QStringLiteral("Copy as Plain Text")
                                << QStringLiteral("copyAsPlainTextRequested");
    QTest::newRow("markdown") << QStringLiteral("copyButton") << QStringLiteral("Copy as Markdown")
                              << QStringLiteral("copyAsMarkdownRequested");
    QTest::newRow("html") << QStringLiteral("copyButton") << QStringLiteral("Copy as HTML")
                          << QStringLiteral("copyAsHtmlRequested");
    QTest::newRow("share") << QStringLiteral("shareButton") << QString() << QStringLiteral("shareRequested");
    QTest::newRow("history") << QStringLiteral("historyButton") << QString() << QStringLiteral("historyRequested");
    QTest::newRow("include") << QStringLiteral("moreButton") << QStringLiteral("Include in To-Dos")
                             << QStringLiteral("includeInTodosToggled");
    QTest::newRow("move") << QStringLiteral("moreButton") << QStringLiteral("Move to Notebook\u2026")
                          << QStringLiteral("moveToNotebookRequested");
    QTest::newRow("export") << QStringLiteral("moreButton") << QStringLiteral("Export\u2026")
                            << QStringLiteral("exportRequested");
    QTest::newRow("print") << QStringLiteral("moreButton") << QStringLiteral("Print\u2026")
                           << QStringLiteral("printRequested");
    QTest::newRow("trash") << QStringLiteral("moreButton") << QStringLiteral("Move to Trash")
                           << QStringLiteral("deleteRequested");
}

void TestNoteHeaderBar::eachControlEmitsItsSignal()
{
    QFETCH(QString, button);
    QFETCH(QString, entry);
    QFETCH(QString, signal);
    m_bar->setEditable(true);
    m_bar->setCanShare(true);
    SignalLog log(m_bar.get());
    if (entry.isEmpty()) {
        auto *control = m_bar->findChild<QAbstractButton *>(button);
        QVERIFY(control);
        control->click();
    } else {
        QAction *action = menuEntry(m_bar.get(), button, entry);
        QVERIFY(action);
        action->trigger();
    }
    QCOMPARE(log.emitted(), QStringList(signal));
}

LUMORA_TEST_MAIN(TestNoteHeaderBar)
#include "tst_noteheaderbar.moc"
