#pragma once

#include "app/application.h"
#include "storage/database.h"
#include "storage/datapaths.h"
#include "storage/preferencesrepository.h"

#include <QProcess>
#include <QRandomGenerator>
#include <QString>
#include <QTest>

namespace LumoraTest {

// The words a typing child types, the same for the child and for the test
// that checks what reached the database: lower-case letters only, so that no
// editor shortcut (lists, headings, links) changes them.
class WordStream
{
public:
    explicit WordStream(quint32 seed)
        : m_random(seed)
    {
    }

    // One word and the space after it.
    QString next()
    {
        QString word;
        const int length = 2 + int(m_random.bounded(8));
        for (int i = 0; i < length; ++i)
            word += QLatin1Char(char('a' + m_random.bounded(26)));
        return word + QLatin1Char(' ');
    }

    // The first `chars` characters of the stream.
    static QString text(quint32 seed, qsizetype chars)
    {
        WordStream words(seed);
        QString result;
        while (result.size() < chars)
            result += words.next();
        return result.left(chars);
    }

private:
    QRandomGenerator m_random;
};

// The what's-new dialog would open over the editor on a first start.
inline bool markWhatsNewSeen()
{
    Database database;
    if (!database.open(databasePath()) || !database.migrate())
        return false;
    PreferencesRepository(&database).setString(QStringLiteral("last_whats_new_version"),
                                               QString::fromLatin1(Application::Version));
    return true;
}

#ifdef LUMORA_TYPIST_BINARY
// Starts the typing child on the current NOTES_DATA_DIR.
inline void startTypist(QProcess &process, const QStringList &arguments)
{
    process.setProgram(QStringLiteral(LUMORA_TYPIST_BINARY));
    process.setArguments(arguments);
    process.setProcessChannelMode(QProcess::SeparateChannels);
    process.start();
}
#endif

} // namespace LumoraTest
