#include "document/deltadocument.h"
#include "storage/database.h"
#include "storage/datapaths.h"
#include "storage/noterepository.h"

#include "testmain.h"
#include "typist.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSqlQuery>
#include <QTextDocument>
#include <QUuid>

namespace {

// Typing never pauses: the editor must still save at the latest a second
// after the first unsaved keystroke.
constexpr int BurstWords = 1;
constexpr int PauseMs = 50;
// What may be missing after a kill: the last second of typing, plus slack
// for the save itself on a loaded machine.
constexpr qint64 MayBeLostMs = 1300;
// The note starts this big, so that the saves the kills land in take a while.
constexpr qsizetype StartChars = 60000;

struct Typed
{
    qint64 chars;
    qint64 atMs;
};

QList<Typed> parseTyped(const QByteArray &output)
{
    QList<Typed> result;
    const QList<QByteArray> lines = output.split('\n');
    for (const QByteArray &line : lines) {
        const QList<QByteArray> fields = line.split(' ');
        // A line cut short by the kill is not counted.
        if (fields.size() == 3 && fields.at(0) == "typed")
            result.append({fields.at(1).toLongLong(), fields.at(2).toLongLong()});
    }
    return result;
}

quint32 chosenSeed()
{
    bool ok = false;
    const quint32 fromEnv = qEnvironmentVariable("LUMORA_CRASH_SEED").toUInt(&ok);
    return ok ? fromEnv : quint32(QDateTime::currentMSecsSinceEpoch());
}

int chosenRounds()
{
    bool ok = false;
    const int fromEnv = qEnvironmentVariableIntValue("LUMORA_CRASH_ROUNDS", &ok);
    return ok && fromEnv > 0 ? fromEnv : 100;
}

} // namespace

// Typing in a real editor and being killed at any moment never damages the
// database and loses at most the last moments of typing.
class TestCrashSafety : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void killedWhileTyping();

private:
    // The text of the one note after a kill, checked to be sound; empty
    // when no note was made yet.
    void checkDatabase(QString *text);
};

namespace {

// Paragraphs of words, as a Delta body.
bool insertStartNote(quint32 seed)
{
    LumoraTest::WordStream words(seed);
    QString text;
    for (int word = 1; text.size() < StartChars; ++word)
        text += words.next() + (word % 12 == 0 ? QStringLiteral("\n") : QString());
    Database database;
    if (!database.open(databasePath()) || !database.migrate())
        return false;
    Note note;
    note.id = QUuid::createUuid().toString(QUuid::WithoutBraces);
    QJsonObject insert;
    insert.insert(QStringLiteral("insert"), QString(text + QStringLiteral("end\n")));
    note.body = QString::fromUtf8(QJsonDocument(QJsonArray{insert}).toJson(QJsonDocument::Compact));
    note.createdAt = note.updatedAt = note.modifiedAt = QDateTime::currentDateTimeUtc();
    return NoteRepository(&database).insert(note);
}

} // namespace

void TestCrashSafety::checkDatabase(QString *text)
{
    text->clear();
    Database database;
    QString error;
    QVERIFY2(database.open(databasePath(), &error), qPrintable(error));
    QSqlQuery q(database.db());
    QStringList integrity;
    if (q.exec(QStringLiteral("PRAGMA integrity_check"))) {
        while (q.next())
            integrity << q.value(0).toString();
    }
    q.finish();
    QCOMPARE(integrity, QStringList{QStringLiteral("ok")});
    QVERIFY2(database.migrate(&error), qPrintable(error));

    const QList<Note> notes = NoteRepository(&database).all();
    QVERIFY2(notes.size() <= 1, "more than one note");
    if (notes.isEmpty())
        return;
    QJsonParseError parse;
    const QJsonDocument json = QJsonDocument::fromJson(notes.first().body.toUtf8(), &parse);
    QVERIFY2(parse.error == QJsonParseError::NoError && json.isArray(),
             qPrintable(QStringLiteral("body is not a Delta array: ") + parse.errorString()));
    DeltaDocument document;
    document.setDelta(json.array());
    *text = document.document()->toPlainText();
}

void TestCrashSafety::killedWhileTyping()
{
    const quint32 seed = chosenSeed();
    const int rounds = chosenRounds();
    qInfo("seed %u (LUMORA_CRASH_SEED repeats a run), %d rounds", seed, rounds);
    QRandomGenerator random(seed);

    // One data directory for all rounds: the note grows, and later kills hit
    // saves of a bigger note.
    LumoraTest::ScopedDataDir dir;
    QVERIFY(LumoraTest::markWhatsNewSeen());
    QVERIFY(insertStartNote(random.generate()));
    QString before;
    checkDatabase(&before);
    QVERIFY(before.size() > StartChars);
    QElapsedTimer total;
    total.start();
    qint64 longestLoss = 0;
    for (int round = 0; round < rounds; ++round) {
        const quint32 wordsSeed = random.generate();
        const int waitMs = int(random.bounded(300, 2501));
        QProcess child;
        LumoraTest::startTypist(child, {QStringLiteral("crash"), QString::number(wordsSeed),
                                        QString::number(BurstWords), QString::number(PauseMs)});
        QVERIFY2(child.waitForStarted(), qPrintable(child.errorString()));
        QTest::qWait(waitMs);
        const qint64 killedAt = QDateTime::currentMSecsSinceEpoch();
        child.kill();
        QVERIFY(child.waitForFinished(10000));
        QVERIFY2(child.exitStatus() == QProcess::CrashExit,
                 qPrintable(QStringLiteral("round %1: the child ended on its own: ").arg(round)
                            + QString::fromLocal8Bit(child.readAllStandardError())));

        const QList<Typed> typed = parseTyped(child.readAllStandardOutput());
        QString after;
        checkDatabase(&after);
        if (QTest::currentTestFailed()) {
            qWarning("round %d, killed after %d ms", round, waitMs);
            return;
        }
        QVERIFY2(after.startsWith(before), qPrintable(QStringLiteral("round %1: earlier text changed").arg(round)));
        const QString added = after.mid(before.size());
        QCOMPARE(added, LumoraTest::WordStream::text(wordsSeed, added.size()));

        qint64 mustHave = 0;
        qint64 typedChars = 0;
        for (const Typed &line : typed) {
            typedChars = line.chars;
            if (line.atMs < killedAt - MayBeLostMs)
                mustHave = line.chars;
        }
        QVERIFY2(added.size() <= typedChars, qPrintable(QStringLiteral("round %1: more saved than typed").arg(round)));
        QVERIFY2(added.size() >= mustHave,
                 qPrintable(QStringLiteral("round %1 (killed after %2 ms): %3 of %4 characters typed more than "
                                           "%5 ms before the kill were saved")
                                .arg(round)
                                .arg(waitMs)
                                .arg(added.size())
                                .arg(mustHave)
                                .arg(MayBeLostMs)));
        longestLoss = qMax(longestLoss, typedChars - added.size());
        before = after;
    }
    qInfo("%d rounds in %lld ms; the note holds %lld characters; at most %lld typed characters lost in a round",
          rounds, total.elapsed(), static_cast<long long>(before.size()), longestLoss);
}

LUMORA_TEST_MAIN(TestCrashSafety)
#include "tst_crashsafety.moc"
