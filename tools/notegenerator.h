#pragma once

#include "storage/note.h"
#include "storage/searchindex.h"

#include <QDateTime>
#include <QList>
#include <QRandomGenerator>
#include <QSqlQuery>
#include <QString>
#include <QStringList>

#include <memory>

class Database;

// Realistic fake notes for benchmarks, tests and trying the program with a
// large library. Everything is drawn from one QRandomGenerator, so a seed
// (and a fixed "now") always gives the same notebooks and notes.

struct GeneratorOptions
{
    int count = 0;
    int notebooks = 5;
    int trashedPercent = 3;
    quint32 seed = 1;
    // Timestamps are spread over the two years before this; invalid means the
    // current time.
    QDateTime now;
};

struct GeneratedNotebook
{
    QString id;
    QString name;
    QDateTime createdAt;
    QDateTime updatedAt;
};

// A word that occurs nowhere but in a fixed number of notes, so searches for
// it have a known answer.
struct RareWord
{
    QString word;
    int perMille;
};

class NoteGenerator
{
public:
    explicit NoteGenerator(const GeneratorOptions &options);

    const QList<RareWord> &rareWords() const;
    // Notes of `count` that get `word`, trashed or not.
    static int notesWithRareWord(const RareWord &word, int count);
    static int trashedNotes(int count, int trashedPercent);

    const QList<GeneratedNotebook> &notebooks() const { return m_notebooks; }
    bool atEnd() const { return m_index >= m_options.count; }
    // The next of the `count` notes; call only while !atEnd().
    Note next();

    // One body on its own, with `extraWords` placed in one of its paragraphs.
    QString body(const QStringList &extraWords = {});

private:
    class DeltaBuilder;

    int bounded(int lowest, int highest);
    bool chance(int percent);
    QString uuid();
    const QString &word();
    QString words(int lowest, int highest, bool capitalise);
    QDateTime timeBetween(const QDateTime &from, const QDateTime &to);
    void paragraph(DeltaBuilder &out, QStringList *extraWords);
    void block(DeltaBuilder &out);
    QString tableJson();

    GeneratorOptions m_options;
    QRandomGenerator m_rng;
    QList<GeneratedNotebook> m_notebooks;
    int m_index = 0;
    int m_trashedLeft = 0;
    QList<int> m_rareLeft;
};

// Writes notebooks and notes with plain prepared statements inside one
// transaction: the repositories' one-statement-per-call autocommit writes are
// far too slow for tens of thousands of rows.
class NoteWriter
{
public:
    explicit NoteWriter(Database *database);

    bool begin();
    bool insertNotebook(const GeneratedNotebook &notebook);
    bool insertNote(const Note &note);
    bool commit();
    void rollback();

    QString errorText() const { return m_error; }

private:
    bool fail(const QString &what, const QString &driverError);

    Database *m_database;
    QSqlQuery m_noteQuery;
    QSqlQuery m_notebookQuery;
    std::unique_ptr<NoteIndexWriter> m_index;
    bool m_inTransaction = false;
    QString m_error;
};

struct GenerationSummary
{
    int notes = 0;
    int trashed = 0;
    int notebooks = 0;
    int withoutNotebook = 0;
    qint64 bodyChars = 0;
    QList<QPair<QString, int>> rareWordNotes;
};

// Generates and writes everything in one transaction. On failure nothing is
// kept and `error` says why.
bool generateInto(Database *database, const GeneratorOptions &options, GenerationSummary *summary, QString *error);
