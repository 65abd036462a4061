#include "credentialmanagertokenstore.h"

#ifdef Q_OS_WIN

#include <qt_windows.h>

#include <wincred.h>

namespace BrioAccount {

CredentialManagerTokenStore::CredentialManagerTokenStore(const QString &appId)
    : m_appId(appId)
{
}

QString CredentialManagerTokenStore::targetName(const QString &key) const
{
    return QStringLiteral("Lumora/%1/%2").arg(m_appId, key);
}

std::optional<QString> CredentialManagerTokenStore::load(const QString &key)
{
    const QString target = targetName(key);
    PCREDENTIALW credential = nullptr;
    if (!CredReadW(reinterpret_cast<LPCWSTR>(target.utf16()), CRED_TYPE_GENERIC, 0, &credential))
        return std::nullopt;
    const QString value = QString::fromUtf8(reinterpret_cast<const char *>(credential->CredentialBlob),
                                            qsizetype(credential->CredentialBlobSize));
    CredFree(credential);
    return value;
}

bool CredentialManagerTokenStore::save(const QString &key, const QString &value)
{
    QString target = targetName(key);
    QByteArray blob = value.toUtf8();
    CREDENTIALW credential = {};
    credential.Type = CRED_TYPE_GENERIC;
    credential.TargetName = reinterpret_cast<LPWSTR>(target.data());
    credential.CredentialBlobSize = DWORD(blob.size());
    credential.CredentialBlob = reinterpret_cast<LPBYTE>(blob.data());
    credential.Persist = CRED_PERSIST_LOCAL_MACHINE;
    return CredWriteW(&credential, 0) != FALSE;
}

bool CredentialManagerTokenStore::remove(const QString &key)
{
    const QString target = targetName(key);
    return CredDeleteW(reinterpret_cast<LPCWSTR>(target.utf16()), CRED_TYPE_GENERIC, 0) != FALSE;
}

} // namespace BrioAccount

#endif
