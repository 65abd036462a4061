#include "app/appstate.h"
#include "storage/database.h"
#include "storage/noterepository.h"
#include "storage/snapshotrepository.h"
#include "ui/noteeditor.h"
#include "ui/notewindow.h"
#include "ui/versionhistorydialog.h"

#include "testmain.h"

#include <QAbstractButton>
#include <QListWidget>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QSqlQuery>
#include <QTimer>
#include <QUuid>

#include <memory>

namespace {

QString body(const QString &text)
{
    return QStringLiteral("[{\"insert\":\"%1\\n\"}]").arg(text);
}

// Answers the message boxes a click brings up, in order, and keeps their texts.
class BoxAnswers : public QObject
{
public:
    explicit BoxAnswers(QList<QMessageBox::StandardButton> answers, QObject *parent)
        : QObject(parent)
        , m_answers(std::move(answers))
    {
        auto *timer = new QTimer(this);
        connect(timer, &QTimer::timeout, this, [this] {
            auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
            if (!box || m_answers.isEmpty())
                return;
            texts.append(box->text());
            box->button(m_answers.takeFirst())->click();
        });
        timer->start(10);
    }
    QStringList texts;

private:
    QList<QMessageBox::StandardButton> m_answers;
};

} // namespace

class TestVersionHistory : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();
    void listsNewestFirstAndPreviewsWithoutWriting();
    void noSnapshotsShowsPlaceholder();
    void saveNow_data();
    void saveNow();
    void restore_data();
    void restore();
    void showReusesOpenDialog();

private:
    QString addNote(const QString &text);
    void addSnapshot(const QString &id, int version, const QString &text, const QDateTime &at);
    void clickRow(VersionHistoryDialog &dialog, int row);
    qint64 totalChanges() const;

    std::unique_ptr<LumoraTest::ScopedDataDir> m_dir;
    std::unique_ptr<AppState> m_state;
    QString m_noteId;
};

void TestVersionHistory::init()
{
    m_dir = std::make_unique<LumoraTest::ScopedDataDir>();
    m_state = std::make_unique<AppState>();
    QVERIFY(m_state->initialize());
}

void TestVersionHistory::cleanup()
{
    m_state.reset();
    m_dir.reset();
}

QString TestVersionHistory::addNote(const QString &text)
{
    Note note;
    note.id = QUuid::createUuid().toString(QUuid::WithoutBraces);
    note.body = body(text);
    note.version = 5;
    note.createdAt = note.updatedAt = note.modifiedAt = QDateTime::currentDateTimeUtc().addDays(-3);
    note.syncStatus = SyncStatus::Synced;
    m_noteId = m_state->notes()->insert(note) ? note.id : QString();
    return m_noteId;
}

void TestVersionHistory::addSnapshot(const QString &id, int version, const QString &text, const QDateTime &at)
{
    QVERIFY(m_state->snapshots()->insert({id, m_noteId, version, body(text), at}));
}

void TestVersionHistory::clickRow(VersionHistoryDialog &dialog, int row)
{
    QListWidget *list = dialog.snapshotList();
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(list->item(row)).center());
}

qint64 TestVersionHistory::totalChanges() const
{
    QSqlQuery q(m_state->database()->db());
    return q.exec(QStringLiteral("SELECT total_changes()")) && q.next() ? q.value(0).toLongLong() : -1;
}

void TestVersionHistory::listsNewestFirstAndPreviewsWithoutWriting()
{
    const QString id = addNote(QStringLiteral("Current text"));
    const QDateTime now = QDateTime::currentDateTimeUtc();
    addSnapshot(QStringLiteral("s2"), 2, QStringLiteral("Second draft"), now.addSecs(-2 * 3600));
    addSnapshot(QStringLiteral("s4"), 4, QStringLiteral("Fourth draft"), now);
    addSnapshot(QStringLiteral("s1"), 1, QStringLiteral("First draft"), now.addDays(-2));
    const qint64 changesBefore = totalChanges();

    VersionHistoryDialog dialog(m_state.get(), id);
    QVERIFY(!dialog.restoreButton()->isEnabled());
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    QListWidget *list = dialog.snapshotList();
    QCOMPARE(list->count(), 3);
    QCOMPARE(list->item(0)->text(), QStringLiteral("v4 \u2014 just now"));
    QCOMPARE(list->item(1)->text(), QStringLiteral("v2 \u2014 2h ago"));
    QCOMPARE(list->item(2)->data(Qt::UserRole).toString(), QStringLiteral("s1"));

    clickRow(dialog, 1);
    QCOMPARE(dialog.preview()->toPlainText(), QStringLiteral("Second draft"));
    QVERIFY(dialog.restoreButton()->isEnabled());
    QTest::keyClick(list, Qt::Key_Down);
    // Typing into the preview changes neither it nor anything stored.
    QTest::keyClicks(dialog.preview(), QStringLiteral("xyz"));
    QCOMPARE(dialog.preview()->toPlainText(), QStringLiteral("First draft"));
    QTest::qWait(1200); // past any editor save delay
    // Not one row written, to the note or to its snapshots.
    QCOMPARE(totalChanges(), changesBefore);
}

void TestVersionHistory::noSnapshotsShowsPlaceholder()
{
    const QString id = addNote(QStringLiteral("Only version"));
    VersionHistoryDialog dialog(m_state.get(), id);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    // The placeholder row is a row to click, but nothing to restore: no
    // question, no write.
    QCOMPARE(dialog.snapshotList()->count(), 1);
    clickRow(dialog, 0);
    QVERIFY(dialog.restoreButton()->isEnabled());
    BoxAnswers answers({QMessageBox::Yes, QMessageBox::Ok}, this);
    const qint64 changesBefore = totalChanges();
    QTest::mouseClick(dialog.restoreButton(), Qt::LeftButton);
    QTest::qWait(50);
    QVERIFY(answers.texts.isEmpty());
    QCOMPARE(totalChanges(), changesBefore);
}

void TestVersionHistory::saveNow_data()
{
    QTest::addColumn<bool>("byKey");
    QTest::newRow("button") << false;
    QTest::newRow("Ctrl+S") << true;
}

void TestVersionHistory::saveNow()
{
    QFETCH(bool, byKey);
    const QString id = addNote(QStringLiteral("Worth keeping"));
    VersionHistoryDialog dialog(m_state.get(), id);
    dialog.show();
    QApplication::setActiveWindow(&dialog);
    QVERIFY(QTest::qWaitForWindowActive(&dialog));
    const auto press = [&] {
        if (byKey)
            QTest::keyClick(dialog.snapshotList(), Qt::Key_S, Qt::ControlModifier);
        else
            QTest::mouseClick(dialog.saveButton(), Qt::LeftButton);
    };

    // A button's shortcut clicks it a moment later, as if pressed.
    press();
    QTRY_COMPARE(m_state->snapshots()->forNote(id).size(), 1);
    const QList<NoteSnapshot> snapshots = m_state->snapshots()->forNote(id);
    QCOMPARE(snapshots.first().version, 5);
    QCOMPARE(snapshots.first().body, body(QStringLiteral("Worth keeping")));
    QCOMPARE(dialog.snapshotList()->item(0)->data(Qt::UserRole).toString(), snapshots.first().id);
    // The note itself is only read.
    QCOMPARE(m_state->notes()->byId(id)->syncStatus, SyncStatus::Synced);

    // The same version again replaces its snapshot rather than adding one.
    press();
    QTRY_VERIFY(m_state->snapshots()->forNote(id).first().id != snapshots.first().id);
    QCOMPARE(m_state->snapshots()->forNote(id).size(), 1);
}

void TestVersionHistory::restore_data()
{
    QTest::addColumn<bool>("confirm");
    QTest::newRow("confirmed") << true;
    QTest::newRow("declined") << false;
}

void TestVersionHistory::restore()
{
    QFETCH(bool, confirm);
    const QString id = addNote(QStringLiteral("Current text"));
    const QDateTime now = QDateTime::currentDateTimeUtc();
    addSnapshot(QStringLiteral("s3"), 3, QStringLiteral("Third draft"), now.addSecs(-60));
    addSnapshot(QStringLiteral("s2"), 2, QStringLiteral("Second draft"), now.addSecs(-120));
    m_state->openNoteWindow(id);
    NoteWindow *window = m_state->noteWindow(id);
    QVERIFY(window);
    const Note before = *m_state->notes()->byId(id);

    VersionHistoryDialog dialog(m_state.get(), id);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    clickRow(dialog, 1);
    QCOMPARE(dialog.preview()->toPlainText(), QStringLiteral("Second draft"));

    BoxAnswers answers({confirm ? QMessageBox::Yes : QMessageBox::No, QMessageBox::Ok}, this);
    QTest::mouseClick(dialog.restoreButton(), Qt::LeftButton);

    const Note after = *m_state->notes()->byId(id);
    const QList<NoteSnapshot> snapshots = m_state->snapshots()->forNote(id);
    if (!confirm) {
        QCOMPARE(answers.texts.size(), 1); // the question, and no report
        QCOMPARE(after.version, before.version);
        QCOMPARE(snapshots.size(), 2);
        QCOMPARE(window->editor()->toPlainText(), QStringLiteral("Current text"));
        return;
    }
    QCOMPARE(answers.texts.size(), 2);
    QCOMPARE(after.body, body(QStringLiteral("Second draft")));
    QCOMPARE(after.version, before.version + 1);
    QCOMPARE(after.syncStatus, SyncStatus::Pending);
    // Exactly one new snapshot: the content the restore replaced.
    QCOMPARE(snapshots.size(), 3);
    QCOMPARE(snapshots.first().version, before.version);
    QCOMPARE(snapshots.first().body, before.body);
    QCOMPARE(dialog.snapshotList()->count(), 3);
    // The note's window shows the restored text.
    QCOMPARE(window->editor()->toPlainText(), QStringLiteral("Second draft"));
}

void TestVersionHistory::showReusesOpenDialog()
{
    const QString id = addNote(QStringLiteral("Text"));
    QWidget parent;
    QPointer<VersionHistoryDialog> first = showVersionHistory(m_state.get(), id, &parent);
    QVERIFY(first && first->isVisible() && !first->isModal());
    QCOMPARE(showVersionHistory(m_state.get(), id, &parent), first.data());
    QVERIFY(!showVersionHistory(m_state.get(), QString(), &parent));
    first->close();
    QTRY_VERIFY(first.isNull());
}

LUMORA_TEST_MAIN(TestVersionHistory)
#include "tst_versionhistory.moc"
