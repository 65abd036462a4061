#include "secretservicetokenstore.h"

#ifdef BRIOACCOUNT_HAVE_QTKEYCHAIN

#include <qt6keychain/keychain.h>

#include <QDebug>
#include <QEventLoop>
#include <QTimer>

namespace BrioAccount {

struct JobResult
{
    bool finished = false;
    QKeychain::Error error = QKeychain::NoError;
    QString errorText;
    QString text;
};

// Runs the job with a bounded wait. User input is held back meanwhile so no
// window action can start while the store is in the middle of a call.
static JobResult runJob(QKeychain::Job *job, int timeoutMs)
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
    m_reason = reason;
    qWarning().noquote() << "SecretServiceTokenStore: keychain unavailable, the sign-in lasts until quit:" << reason;
}

// Only a token that cannot be kept concerns the user, so a failed read at
// start-up stays in the log and the first failed save speaks up.
void SecretServiceTokenStore::tellOnce()
{
    if (m_told || !m_onUnavailable)
        return;
    m_told = true;
    m_onUnavailable(QStringLiteral("The system keychain could not be used (%1). You stay signed in until you quit.")
                        .arg(m_reason));
}

bool SecretServiceTokenStore::succeeded(const JobResult &result)
{
    if (!result.finished) {
        fail(QStringLiteral("no answer within %1 ms").arg(m_timeoutMs));
        return false;
    }
    // A missing entry is an answer, not a broken keychain.
    if (result.error != QKeychain::NoError && result.error != QKeychain::EntryNotFound) {
        fail(result.errorText);
        return false;
    }
    return true;
}

std::optional<QString> SecretServiceTokenStore::load(const QString &key)
{
    if (m_failed)
        return std::nullopt;
    auto *job = new QKeychain::ReadPasswordJob(m_service);
    job->setKey(key);
    const JobResult result = runJob(job, m_timeoutMs);
    if (!succeeded(result) || result.error == QKeychain::EntryNotFound)
        return std::nullopt;
    return result.text;
}

bool SecretServiceTokenStore::save(const QString &key, const QString &value)
{
    if (!m_failed) {
        auto *job = new QKeychain::WritePasswordJob(m_service);
        job->setKey(key);
        job->setTextData(value);
        const JobResult result = runJob(job, m_timeoutMs);
        if (succeeded(result) && result.error == QKeychain::NoError)
            return true;
    }
    tellOnce();
    return false;
}

bool SecretServiceTokenStore::remove(const QString &key)
{
    if (m_failed)
        return false;
    auto *job = new QKeychain::DeletePasswordJob(m_service);
    job->setKey(key);
    return succeeded(runJob(job, m_timeoutMs));
}

} // namespace BrioAccount

#endif
