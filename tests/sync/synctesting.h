#pragma once

#include "../account/accounttest.h"
#include "account/apiclient.h"
#include "account/client.h"
#include "account/tokenmanager.h"
#include "account/tokenstore.h"
#include "fakenotesserver.h"
#include "storage/attachmentrepository.h"
#include "storage/database.h"
#include "storage/datapaths.h"
#include "storage/notebookrepository.h"
#include "storage/noterepository.h"
#include "storage/preferencesrepository.h"
#include "sync/syncengine.h"
#include "testenvironment.h"

#include <QDateTime>
#include <QEventLoop>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTest>
#include <QTimer>
#include <QUuid>

#include <memory>

namespace SyncTesting {

// One installation: its own data directory, database, repositories and a
// signed-in account client, syncing through the given server. Members are
// destroyed in reverse order: the engine first, the data directory last.
struct Device
{
    std::unique_ptr<LumoraTest::ScopedDataDir> dir;
    std::unique_ptr<BrioAccount::Client> client;
    std::unique_ptr<Database> database;
    std::unique_ptr<NoteRepository> notes;
    std::unique_ptr<NotebookRepository> notebooks;
    std::unique_ptr<PreferencesRepository> preferences;
    std::unique_ptr<AttachmentRepository> attachments;
    std::unique_ptr<SyncEngine> engine;

    explicit Device(const LumoraTest::FakeNotesServer &server, const QString &existingDir = QString())
        : Device(server.baseUrl(), existingDir)
    {
    }

    // existingDir: reopen that data directory (the caller keeps it).
    explicit Device(const QUrl &notesBase, const QString &existingDir = QString())
    {
        if (existingDir.isEmpty()) {
            dir = std::make_unique<LumoraTest::ScopedDataDir>();
        } else {
            qputenv("NOTES_DATA_DIR", existingDir.toUtf8());
        }
        const QString origin = notesBase.adjusted(QUrl::RemovePath).toString();
        client = std::make_unique<BrioAccount::Client>(AccountTest::configFor(origin), nullptr,
                                                       new BrioAccount::MemoryTokenStore);
        client->tokenManager()->setTokens(AccountTest::tokenExpiringIn(3600), QStringLiteral("refresh-1"));
        client->notesApi()->setBaseUrl(notesBase);
        database = std::make_unique<Database>();
        if (!database->open(databasePath()) || !database->migrate())
            qFatal("test database cannot be opened");
        notes = std::make_unique<NoteRepository>(database.get());
        notebooks = std::make_unique<NotebookRepository>(database.get());
        preferences = std::make_unique<PreferencesRepository>(database.get());
        attachments = std::make_unique<AttachmentRepository>(database.get());
        engine = std::make_unique<SyncEngine>(client->notesApi(), database.get(), notes.get(), notebooks.get(),
                                              attachments.get(), preferences.get());
    }

    // Starts a run and waits for it (and any run it chains) to end.
    SyncEngine::SyncState syncNow(int timeoutMs = 60000)
    {
        QEventLoop loop;
        QTimer timeout;
        timeout.setSingleShot(true);
        QObject::connect(&timeout, &QTimer::timeout, &loop, &QEventLoop::quit);
        QObject::connect(engine.get(), &SyncEngine::stateChanged, &loop, [&loop](SyncEngine::SyncState state) {
            if (state != SyncEngine::Syncing)
                loop.quit();
        });
        timeout.start(timeoutMs);
        engine->sync();
        if (engine->state() == SyncEngine::Syncing)
            loop.exec();
        return engine->state();
    }

    Note addNote(const QString &text, const QString &notebookId = QString())
    {
        Note note;
        note.id = QUuid::createUuid().toString(QUuid::WithoutBraces);
        note.notebookId = notebookId;
        note.body = bodyOf(text);
        note.createdAt = note.updatedAt = note.modifiedAt = QDateTime::currentDateTimeUtc();
        notes->insert(note);
        return note;
    }

    QString textOf(const QString &id) const
    {
        const std::optional<Note> note = notes->byId(id);
        return note ? deltaToPlainText(note->body) : QString();
    }

    // Every note body's text, trashed notes included.
    QStringList allTexts() const
    {
        QStringList texts;
        for (const Note &note : notes->all() + notes->trashed())
            texts.append(deltaToPlainText(note.body));
        texts.sort();
        return texts;
    }

    Notebook addNotebook(const QString &id, const QString &name, SyncStatus status = SyncStatus::Pending, int version = 1)
    {
        Notebook notebook;
        notebook.id = id;
        notebook.name = name;
        notebook.createdAt = notebook.updatedAt = QDateTime::currentDateTimeUtc();
        notebook.version = version;
        notebook.syncStatus = status;
        if (!notebooks->insert(notebook))
            qFatal("test notebook cannot be stored");
        return notebook;
    }

    // A pending attachment of the note; its file is written unless bytes is null.
    Attachment addAttachment(const QString &noteId, const QByteArray &bytes, const QString &filename,
                             const QString &mimeType)
    {
        Attachment attachment;
        attachment.id = QUuid::createUuid().toString(QUuid::WithoutBraces);
        attachment.noteId = noteId;
        attachment.filename = filename;
        attachment.mimeType = mimeType;
        attachment.sizeBytes = bytes.size();
        attachment.createdAt = QDateTime::currentDateTimeUtc();
        if (!attachments->insert(attachment) || (!bytes.isNull() && !attachments->saveFile(attachment.id, bytes)))
            qFatal("test attachment cannot be stored");
        return attachment;
    }

    static QString bodyOf(const QString &text)
    {
        return QString::fromUtf8(QJsonDocument(QJsonArray{QJsonObject{{QStringLiteral("insert"), QString(text + QLatin1Char('\n'))}}})
                                     .toJson(QJsonDocument::Compact));
    }
};

inline LumoraTest::HttpResponse status(int code)
{
    return LumoraTest::HttpResponse::json(R"({"error":"x"})", code);
}

// Each test function of a derived test case gets a fresh server.
class ServerTestCase : public QObject
{
    Q_OBJECT

protected:
    LumoraTest::FakeNotesServer &server() { return *m_server; }

private Q_SLOTS:
    void init()
    {
        m_server = std::make_unique<LumoraTest::FakeNotesServer>();
        QVERIFY(m_server->listen());
    }
    void cleanup() { m_server.reset(); }

private:
    std::unique_ptr<LumoraTest::FakeNotesServer> m_server;
};

} // namespace SyncTesting
