#include "synctesting.h"
#include "testmain.h"

#include <QTest>

using SyncTesting::Device;

namespace {

// What the user sees of every note, trash included, in a form two devices
// can be compared by.
QStringList contents(const Device &device)
{
    QStringList lines;
    for (const Note &note : device.notes->all() + device.notes->trashed()) {
        const std::optional<Notebook> notebook = device.notebooks->byId(note.notebookId);
        lines.append(QStringLiteral("%1 | %2 | %3 | %4")
                         .arg(note.id, deltaToPlainText(note.body).trimmed(), notebook ? notebook->name : note.notebookId,
                              note.isTrashed() ? QStringLiteral("trash") : QString()));
    }
    lines.sort();
    return lines;
}

QStringList texts(const Device &device)
{
    QStringList result;
    for (const QString &text : device.allTexts())
        result.append(text.trimmed());
    return result;
}

enum class Action { None, Edit, Trash, MoveToNotebook };

void apply(Device &device, Action action, const QString &noteId, const QString &text, const QString &notebookId)
{
    switch (action) {
    case Action::None:
        break;
    case Action::Edit:
        QCOMPARE(device.notes->saveEditedBody(noteId, Device::bodyOf(text)), NoteRepository::SaveResult::Saved);
        break;
    case Action::Trash:
        QVERIFY(device.notes->moveToTrash(noteId));
        break;
    case Action::MoveToNotebook:
        QVERIFY(device.notes->moveToNotebook(noteId, notebookId));
        break;
    }
}

} // namespace

Q_DECLARE_METATYPE(Action)

class TestSyncConvergence : public SyncTesting::ServerTestCase
{
    Q_OBJECT

private Q_SLOTS:
    void changesReachTheOtherDevice()
    {
        Device a(server());
        Device b(server());
        const std::optional<Notebook> work = a.notebooks->create(QStringLiteral("Work"));
        QVERIFY(work);
        const Note plan = a.addNote(QStringLiteral("Plan"), work->id);
        const Note list = a.addNote(QStringLiteral("List"));
        const Note old = a.addNote(QStringLiteral("Old"));
        const Attachment attachment = a.addAttachment(plan.id, "%PDF-1.4\n", QStringLiteral("scan.pdf"),
                                                      QStringLiteral("application/pdf"));

        QCOMPARE(a.syncNow(), SyncEngine::Idle);
        QCOMPARE(b.syncNow(), SyncEngine::Idle);
        QCOMPARE(contents(b), contents(a));
        QCOMPARE(b.attachments->readFile(attachment.id), QByteArray("%PDF-1.4\n"));
        QCOMPARE(b.attachments->byId(attachment.id)->filename, QStringLiteral("scan.pdf"));

        // Edit, trash, move and rename on B; A follows.
        QCOMPARE(b.notes->saveEditedBody(plan.id, Device::bodyOf(QStringLiteral("Plan v2"))), NoteRepository::SaveResult::Saved);
        QVERIFY(b.notes->moveToTrash(old.id));
        QVERIFY(b.notes->moveToNotebook(list.id, work->id));
        QVERIFY(b.notebooks->rename(work->id, QStringLiteral("Work stuff")));
        QCOMPARE(b.syncNow(), SyncEngine::Idle);
        QCOMPARE(a.syncNow(), SyncEngine::Idle);
        QCOMPARE(contents(a), contents(b));
        QCOMPARE(a.textOf(plan.id), QStringLiteral("Plan v2\n"));
        QVERIFY(a.notes->byId(old.id)->isTrashed());
        QCOMPARE(a.notes->byId(list.id)->notebookId, work->id);
        QCOMPARE(a.notebooks->byId(work->id)->name, QStringLiteral("Work stuff"));

        // Restored from the trash on A; B follows. Nothing left pending.
        QVERIFY(a.notes->restore(old.id));
        QCOMPARE(a.syncNow(), SyncEngine::Idle);
        QCOMPARE(b.syncNow(), SyncEngine::Idle);
        QCOMPARE(contents(b), contents(a));
        QVERIFY(a.notes->pending().isEmpty());
        QVERIFY(b.notes->pending().isEmpty());
        QVERIFY(b.notebooks->pending().isEmpty());
    }

    void concurrentChanges_data()
    {
        QTest::addColumn<Action>("onA");
        QTest::addColumn<Action>("onB");
        QTest::addColumn<QStringList>("expectedTexts");

        const QString base = QStringLiteral("Shared");
        const QString fromA = QStringLiteral("Written on A");
        const QString fromB = QStringLiteral("Written on B");
        const QString other = QStringLiteral("Other by B");
        QTest::newRow("both edit the same note") << Action::Edit << Action::Edit
                                                 << QStringList{other, fromA, fromB + QStringLiteral(" (conflicting copy)")};
        QTest::newRow("edit here, trash there") << Action::Edit << Action::Trash
                                                << QStringList{other, base + QStringLiteral(" (conflicting copy)"), fromA};
        QTest::newRow("trash here, edit there") << Action::Trash << Action::Edit << QStringList{other, fromB};
        QTest::newRow("move here, edit there") << Action::MoveToNotebook << Action::Edit << QStringList{other, fromB};
        // The move cannot tell whether the text it carries was edited: it is
        // kept, once, as a copy rather than guessed away.
        QTest::newRow("edit here, move there") << Action::Edit << Action::MoveToNotebook
                                               << QStringList{other, base + QStringLiteral(" (conflicting copy)"), fromA};
        QTest::newRow("both trash") << Action::Trash << Action::Trash << QStringList{other, base};
    }

    // A syncs first, then B; three more rounds settle everything. Whatever
    // was written survives on both devices, and both end up the same.
    void concurrentChanges()
    {
        QFETCH(Action, onA);
        QFETCH(Action, onB);
        QFETCH(QStringList, expectedTexts);

        Device a(server());
        Device b(server());
        const std::optional<Notebook> notebook = a.notebooks->create(QStringLiteral("Projects"));
        const Note shared = a.addNote(QStringLiteral("Shared"));
        const Note other = a.addNote(QStringLiteral("Other"));
        QCOMPARE(a.syncNow(), SyncEngine::Idle);
        QCOMPARE(b.syncNow(), SyncEngine::Idle);

        apply(a, onA, shared.id, QStringLiteral("Written on A"), notebook->id);
        apply(b, onB, shared.id, QStringLiteral("Written on B"), notebook->id);
        // B also edits the other note: a change to a different note merges.
        QCOMPARE(b.notes->saveEditedBody(other.id, Device::bodyOf(QStringLiteral("Other by B"))), NoteRepository::SaveResult::Saved);
        for (int round = 0; round < 3; ++round) {
            QCOMPARE(a.syncNow(), SyncEngine::Idle);
            QCOMPARE(b.syncNow(), SyncEngine::Idle);
        }
        QStringList expected = expectedTexts;
        expected.sort();
        QCOMPARE(texts(a), expected);
        QCOMPARE(contents(b), contents(a));
        QVERIFY(a.notes->pending().isEmpty());
        QVERIFY(b.notes->pending().isEmpty());
    }
};

LUMORA_TEST_MAIN(TestSyncConvergence)
#include "tst_syncconvergence.moc"
