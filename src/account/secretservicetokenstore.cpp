#include "secretservicetokenstore.h"

#ifdef BRIOACCOUNT_HAVE_QTKEYCHAIN

#include <qt6keychain/keychain.h>

#include <QDebug>
#include <QEventLoop>
#include <QTimer>

namespace BrioAccount {

namespace {

struct JobResult
{
    bool finished = false;
    QKeychain::Error error = QKeychain::NoError;
    QString errorText;
    QString text;
};

// Runs the job with a bounded wait. User input is held back meanwhile so no
// window action can start while the store is in the middle of a call.
JobResult runJob(QKeychain::Job *job, int timeoutMs)
{
    JobResult result;
    QEventLoop loop;
    job->setAutoDelete(true);
    job->setInsecureFallback(false);
    // The loop is the context: a job that outlives the wait reports to nobody.
    QObject::connect(job, &QKeychain::Job::finished, &loop, [&result, &loop](QKeychain::Job *done) {
        result.finished = true;
        result.error = done->error();
        result.errorText = done->errorString();
        if (auto *read = qobject_cast<QKeychain::ReadPasswordJob *>(done))
            result.text = read->textData();
        loop.quit();
    });
    QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
    job->start();
    if (!result.finished)
        loop.exec(QEventLoop::ExcludeUserInputEvents);
    return result;
}

} // namespace

SecretServiceTokenStore::SecretServiceTokenStore(const QString &appId, int timeoutMs)
    : m_service(QStringLiteral("Lumora/%1").arg(appId))
    , m_timeoutMs(timeoutMs)
{
}

void SecretServiceTokenStore::fail(const QString &reason)
{
    if (m_failed)
        return;
    m_failed = true;
    qWarning().noquote() << "SecretServiceTokenStore: keychain unavailable, the sign-in lasts until quit:" << reason;
    if (m_onUnavailable) {
        m_onUnavailable(QStringLiteral(
            "The system keychain could not be used (%1). You stay signed in until you quit.").arg(reason));
    }
}

std::optional<QString> SecretServiceTokenStore::load(const QString &key)
{
    if (m_failed)
        return std::nullopt;
    auto *job = new QKeychain::ReadPasswordJob(m_service);
    job->setKey(key);
    const JobResult result = runJob(job, m_timeoutMs);
    if (!result.finished) {
        fail(QStringLiteral("no answer within %1 ms").arg(m_timeoutMs));
        return std::nullopt;
    }
    if (result.error == QKeychain::EntryNotFound)
        return std::nullopt;
    if (result.error != QKeychain::NoError) {
        fail(result.errorText);
        return std::nullopt;
    }
    return result.text;
}

bool SecretServiceTokenStore::save(const QString &key, const QString &value)
{
    if (m_failed)
        return false;
    auto *job = new QKeychain::WritePasswordJob(m_service);
    job->setKey(key);
    job->setTextData(value);
    const JobResult result = runJob(job, m_timeoutMs);
    if (!result.finished) {
        fail(QStringLiteral("no answer within %1 ms").arg(m_timeoutMs));
        return false;
    }
    if (result.error != QKeychain::NoError) {
        fail(result.errorText);
        return false;
    }
    return true;
}

bool SecretServiceTokenStore::remove(const QString &key)
{
    if (m_failed)
        return false;
    auto *job = new QKeychain::DeletePasswordJob(m_service);
    job->setKey(key);
    const JobResult result = runJob(job, m_timeoutMs);
    if (!result.finished) {
        fail(QStringLiteral("no answer within %1 ms").arg(m_timeoutMs));
        return false;
    }
    if (result.error == QKeychain::EntryNotFound)
        return true;
    if (result.error != QKeychain::NoError) {
        fail(result.errorText);
        return false;
    }
    return true;
}

} // namespace BrioAccount

#endif
