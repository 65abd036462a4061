#pragma once

#include <QDateTime>
#include <QList>
#include <QString>

class NoteRepository;
class PreferencesRepository;

// A ready-made note that ships with the program.
struct BuiltInNote
{
    QString title;
    // Delta JSON for the welcome notes, Markdown for the samples.
    QString text;
    // Welcome notes: milliseconds after now; samples: days before today.
    int offset = 0;
};

// The three welcome notes in the order they are written; the last one is the
// newest and heads the list.
const QList<BuiltInNote> &welcomeNotes();
// The seven sample notes, newest first.
const QList<BuiltInNote> &sampleNotes();

// Writes the welcome notes once per database: nothing when the preference
// "has_seen_welcome" is set, or when the database already holds notes (an
// existing library is never sprinkled with welcome notes). Sets the
// preference afterwards. Returns the number of notes written.
int createWelcomeNotes(NoteRepository *notes, PreferencesRepository *preferences,
                       const QDateTime &now = QDateTime::currentDateTimeUtc());

// Inserts the seven sample notes as new notes dated from today back to four
// weeks ago; returns how many were inserted.
int loadSampleNotes(NoteRepository *notes, const QDateTime &now = QDateTime::currentDateTimeUtc());

// The hours (0 to 11) a sample is moved back by, from a 64-bit random value.
int sampleHoursBack(quint64 random);
