#include "app/appstate.h"
#include "document/delta.h"
#include "document/deltadocument.h"
#include "document/markdown.h"
#include "features/samplenotes.h"
#include "storage/note.h"
#include "storage/noterepository.h"
#include "storage/preferencesrepository.h"
#include "ui/noteeditor.h"
#include "ui/samplenotesprompt.h"
#include "ui/welcomescreen.h"

#include "testmain.h"

#include <QJsonDocument>
#include <QMessageBox>
#include <QPushButton>
#include <QSet>
#include <QSignalSpy>
#include <QTimer>
#include <QUuid>

#include <memory>

namespace {

QString compactJson(const QJsonValue &value)
{
    return value.isObject() ? QString::fromUtf8(QJsonDocument(value.toObject()).toJson(QJsonDocument::Compact))
                            : QString::fromUtf8(QJsonDocument(value.toArray()).toJson(QJsonDocument::Compact));
}

// What a reader sees, one entry per line: block attributes, then the runs
// with their attributes. Run boundaries do not matter, nor the bold that the
// editor gives the text of level 1 and 2 headings.
QStringList meaning(const QJsonArray &ops)
{
    QStringList lines;
    for (const DeltaLine &line : deltaLines(parseDeltaOps(ops))) {
        const int header = line.blockAttributes.value(QLatin1String("header")).toInt();
        QList<std::pair<QJsonObject, QString>> runs;
        for (const DeltaPiece &piece : line.pieces) {
            if (piece.isEmbed) {
                runs.append({ piece.embed, QStringLiteral("[embed]") });
                continue;
            }
            QJsonObject attributes = piece.attributes;
            if (header == 1 || header == 2)
                attributes.remove(QLatin1String("bold"));
            if (!runs.isEmpty() && runs.constLast().first == attributes && !runs.constLast().second.endsWith(u']'))
                runs.last().second += piece.text;
            else
                runs.append({ attributes, piece.text });
        }
        QString text = compactJson(line.blockAttributes);
        for (const auto &[attributes, run] : runs)
            text += QLatin1Char(' ') + compactJson(attributes) + run;
        lines << text;
    }
    return lines;
}

QJsonArray parsed(const QString &json)
{
    return QJsonDocument::fromJson(json.toUtf8()).array();
}

// The lines of a sample with the given block attribute value, as texts.
QStringList linesWith(const QJsonArray &ops, const QString &key, const QJsonValue &value)
{
    QStringList texts;
    for (const DeltaLine &line : deltaLines(parseDeltaOps(ops))) {
        if (line.blockAttributes.value(key) != value)
            continue;
        QString text;
        for (const DeltaPiece &piece : line.pieces)
            text += piece.text;
        texts << text;
    }
    return texts;
}

std::optional<Note> noteTitled(NoteRepository *notes, const QString &title)
{
    for (const Note &note : notes->all()) {
        if (noteTitle(note.body) == title)
            return note;
    }
    return std::nullopt;
}

} // namespace

class TestSampleNotes : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void welcomeNotesOnFirstStartOnly();
    void noWelcomeNotesInAnExistingLibrary_data();
    void noWelcomeNotesInAnExistingLibrary();
    void samplesLoadTwiceWithFreshIdsAndDates();
    void hoursBack_data();
    void hoursBack();
    void samplesHaveNoStrayMarkers();
    void bodiesSurviveTheEditor_data();
    void bodiesSurviveTheEditor();
    void dividerSurvivesASave();
    void samplePrompt_data();
    void samplePrompt();
    void welcomeScreenActions();
};

void TestSampleNotes::initTestCase()
{
    // These tests are about what a fresh library starts with.
    qunsetenv("LUMORA_NO_WELCOME_NOTES");
}

void TestSampleNotes::welcomeNotesOnFirstStartOnly()
{
    LumoraTest::ScopedDataDir dir;
    QStringList ids;
    for (int start = 0; start < 2; ++start) {
        AppState state;
        QVERIFY(state.initialize());
        const QList<Note> notes = state.notes()->all();
        QCOMPARE(notes.size(), 3);
        QVERIFY(state.preferences()->getBool(QStringLiteral("has_seen_welcome"), false));
        QStringList idsNow;
        for (const Note &note : notes)
            idsNow << note.id;
        idsNow.sort();
        if (start == 0)
            ids = idsNow;
        QCOMPARE(idsNow, ids);

        // Newest first: the welcome note heads the list, then the tour, then the packing list.
        QStringList titles;
        for (const NoteListRow &row : state.notes()->listRows(state.notes()->listRowIds()))
            titles << row.texts.title;
        QCOMPARE(titles, (QStringList { QStringLiteral("Welcome to Lumora Notes"), QStringLiteral("Getting Started"),
                                        QStringLiteral("Trip Packing List") }));
    }

    // Each note as written; once deleted for good, they stay deleted.
    {
        AppState state;
        QVERIFY(state.initialize());
        QDateTime first;
        for (const BuiltInNote &welcome : welcomeNotes()) {
            const std::optional<Note> note = noteTitled(state.notes(), welcome.title);
            QVERIFY2(note, qPrintable(welcome.title));
            QVERIFY(!QUuid::fromString(note->id).isNull());
            QVERIFY(!note->id.contains(u'{'));
            QVERIFY(note->notebookId.isEmpty());
            QCOMPARE(note->createdAt, note->updatedAt);
            if (!first.isValid())
                first = note->createdAt;
            QCOMPARE(first.msecsTo(note->createdAt), qint64(welcome.offset));
            QCOMPARE(parsed(note->body), parsed(welcome.text));
            QVERIFY(state.notes()->purge(note->id));
        }
    }
    AppState state;
    QVERIFY(state.initialize());
    QVERIFY(state.notes()->all().isEmpty());
}

void TestSampleNotes::noWelcomeNotesInAnExistingLibrary_data()
{
    QTest::addColumn<bool>("trashed");
    QTest::newRow("a live note") << false;
    QTest::newRow("only a trashed note") << true;
}

void TestSampleNotes::noWelcomeNotesInAnExistingLibrary()
{
    QFETCH(bool, trashed);
    LumoraTest::ScopedDataDir dir;
    {
        AppState state;
        QVERIFY(state.initialize());
        // A library written before the preference existed.
        state.preferences()->remove(QStringLiteral("has_seen_welcome"));
        const QList<Note> notes = state.notes()->all();
        for (qsizetype i = 1; i < notes.size(); ++i)
            QVERIFY(state.notes()->purge(notes.at(i).id));
        if (trashed)
            QVERIFY(state.notes()->moveToTrash(notes.at(0).id));
    }
    AppState state;
    QVERIFY(state.initialize());
    QCOMPARE(state.notes()->all().size() + state.notes()->trashed().size(), 1);
    QVERIFY(state.preferences()->getBool(QStringLiteral("has_seen_welcome"), false));
}

void TestSampleNotes::samplesLoadTwiceWithFreshIdsAndDates()
{
    LumoraTest::ScopedDataDir dir;
    AppState state;
    QVERIFY(state.initialize());
    const QList<Note> welcome = state.notes()->all();

    const QDateTime now = QDateTime::currentDateTimeUtc();
    QCOMPARE(loadSampleNotes(state.notes(), now), 7);
    QCOMPARE(loadSampleNotes(state.notes(), now), 7);

    const QList<Note> all = state.notes()->all();
    QCOMPARE(all.size(), welcome.size() + 14);
    QSet<QString> ids;
    QHash<QString, int> perTitle;
    for (const Note &note : all) {
        ids.insert(note.id);
        if (!note.isSample)
            continue;
        const QString title = noteTitle(note.body);
        const auto it = std::find_if(sampleNotes().cbegin(), sampleNotes().cend(),
                                     [&](const BuiltInNote &sample) { return sample.title == title; });
        if (it == sampleNotes().cend())
            continue; // a welcome note
        ++perTitle[title];
        QVERIFY(note.notebookId.isEmpty());
        QCOMPARE(note.createdAt, note.updatedAt);
        const QDateTime latest = now.addDays(-it->offset);
        const QDateTime earliest = latest.addSecs(-11 * 3600);
        QVERIFY2(note.updatedAt <= latest && note.updatedAt >= earliest,
                 qPrintable(title + QLatin1Char(' ') + note.updatedAt.toString(Qt::ISODate)));
    }
    QCOMPARE(ids.size(), all.size());
    QCOMPARE(perTitle.size(), 7);
    for (auto it = perTitle.cbegin(); it != perTitle.cend(); ++it)
        QCOMPARE(it.value(), 2);
}

void TestSampleNotes::hoursBack_data()
{
    QTest::addColumn<quint64>("random");
    QTest::addColumn<int>("hours");
    QTest::newRow("one hour's share") << quint64(0x15555556) << 1;
    QTest::newRow("largest low half") << quint64(0xFFFFFFFF) << 11;
    QTest::newRow("high half ignored") << quint64(0xFFFFFFFF00000000) << 0;
}

void TestSampleNotes::hoursBack()
{
    QFETCH(quint64, random);
    QFETCH(int, hours);
    QCOMPARE(sampleHoursBack(random), hours);
}

void TestSampleNotes::samplesHaveNoStrayMarkers()
{
    // Every sample opens with its title as a level-2 heading, and no marker is
    // left over as text or turns a line italic by accident.
    for (const BuiltInNote &sample : sampleNotes()) {
        const QJsonArray ops = simpleMarkdownToDelta(sample.text);
        QCOMPARE(linesWith(ops, QStringLiteral("header"), 2), QStringList { sample.title });
        for (const DeltaOp &op : parseDeltaOps(ops)) {
            QVERIFY2(!op.text.contains(u'*') && !op.text.startsWith(u'#'), qPrintable(sample.title + op.text));
            QVERIFY2(!op.attributes.contains(QLatin1String("italic")), qPrintable(sample.title + op.text));
        }
    }
}

void TestSampleNotes::bodiesSurviveTheEditor_data()
{
    QTest::addColumn<QString>("body");
    // Welcome notes are stored as the editor writes them: opening and saving
    // one gives back the same text.
    QTest::addColumn<bool>("exact");
    for (const BuiltInNote &welcome : welcomeNotes())
        QTest::addRow("welcome: %s", qPrintable(welcome.title)) << welcome.text << true;
    for (const BuiltInNote &sample : sampleNotes()) {
        const QString body = compactJson(simpleMarkdownToDelta(sample.text));
        QTest::addRow("sample: %s", qPrintable(sample.title)) << body << false;
    }
}

void TestSampleNotes::bodiesSurviveTheEditor()
{
    QFETCH(QString, body);
    QFETCH(bool, exact);
    DeltaDocument document;
    document.setJson(body);
    QCOMPARE(meaning(document.toDelta()), meaning(parsed(body)));
    if (exact)
        QCOMPARE(document.toJson(), body);
}

// Through the editor and the repository, the way a typed change is saved.
void TestSampleNotes::dividerSurvivesASave()
{
    LumoraTest::ScopedDataDir dir;
    AppState state;
    QVERIFY(state.initialize());
    const std::optional<Note> tour = noteTitled(state.notes(), QStringLiteral("Getting Started"));
    QVERIFY(tour);

    NoteEditor editor;
    editor.loadNote(tour->id, tour->body);
    QVERIFY(!editor.changedJson());
    QTextCursor cursor(editor.document());
    cursor.movePosition(QTextCursor::End);
    cursor.insertText(QStringLiteral(" See you soon."));
    const std::optional<QString> changed = editor.changedJson();
    QVERIFY(changed);
    QCOMPARE(state.notes()->saveEditedBody(tour->id, *changed), NoteRepository::SaveResult::Saved);

    const QString saved = state.notes()->byId(tour->id)->body;
    QVERIFY2(saved.contains(QLatin1String("{\"insert\":{\"divider\":true}}")), qPrintable(saved));
    QVERIFY(saved.contains(QLatin1String("See you soon.")));
}

void TestSampleNotes::samplePrompt_data()
{
    QTest::addColumn<QMessageBox::StandardButton>("answer");
    QTest::addColumn<int>("inserted");
    QTest::addColumn<QStringList>("messages");
    QTest::newRow("yes") << QMessageBox::Yes << 7 << QStringList { QStringLiteral("Loaded 7 sample note(s).") };
    QTest::newRow("closed") << QMessageBox::Escape << 0 << QStringList();
}

void TestSampleNotes::samplePrompt()
{
    QFETCH(QMessageBox::StandardButton, answer);
    QFETCH(int, inserted);
    QFETCH(QStringList, messages);
    LumoraTest::ScopedDataDir dir;
    AppState state;
    QVERIFY(state.initialize());
    const qsizetype before = state.notes()->all().size();

    QMessageBox::StandardButton defaultButton = QMessageBox::NoButton;
    QTimer::singleShot(0, this, [&] {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        QVERIFY(box);
        defaultButton = box->standardButton(box->defaultButton());
        if (answer == QMessageBox::Escape)
            QTest::keyClick(box, Qt::Key_Escape);
        else
            box->button(answer)->click();
    });
    QStringList shown;
    loadSampleNotesInteractively(nullptr, state.notes(), [&](const QString &message) { shown << message; });

    QCOMPARE(defaultButton, QMessageBox::No);
    QCOMPARE(shown, messages);
    QCOMPARE(state.notes()->all().size(), before + inserted);
}

void TestSampleNotes::welcomeScreenActions()
{
    WelcomeScreen screen;
    QSignalSpy newNote(&screen, &WelcomeScreen::newNoteRequested);
    QSignalSpy dismissed(&screen, &WelcomeScreen::dismissed);
    screen.show();
    QTest::mouseClick(screen.newNoteButton(), Qt::LeftButton);
    QTest::mouseClick(screen.continueButton(), Qt::LeftButton);
    QCOMPARE(newNote.count(), 1);
    QCOMPARE(dismissed.count(), 1);

    // Sign-in is offered only while signed out.
    QVERIFY(screen.signInButton()->isVisible());
    screen.setSignedIn(true);
    QVERIFY(!screen.signInButton()->isVisible());
    screen.setSignedIn(false);
    QVERIFY(screen.signInButton()->isVisible());
}

LUMORA_TEST_MAIN(TestSampleNotes)
#include "tst_samplenotes.moc"
