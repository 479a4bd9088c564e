#include "core/vault/KeychainStore.h"

#include <pwd.h>
#include <unistd.h>
#include <vector>

QString KeychainStore::currentUserFullName()
{
    struct passwd pw;
    struct passwd* result = nullptr;
    std::vector<char> buf(16384);
    if (::getpwuid_r(::getuid(), &pw, buf.data(), buf.size(), &result) == 0 && result) {
        // The GECOS field holds "Full Name,room,phone,...".
        const QString gecos =
            QString::fromLocal8Bit(pw.pw_gecos ? pw.pw_gecos : "").section(QLatin1Char(','), 0, 0);
        if (!gecos.trimmed().isEmpty())
            return gecos.trimmed();
        return QString::fromLocal8Bit(pw.pw_name);
    }
    return qEnvironmentVariable("USER");
}

KeychainStore::Credential KeychainStore::splitCredential(const QString& stored)
{
    const qsizetype bar = stored.indexOf(QLatin1Char('|'));
    if (bar < 0)
        return {stored, QString()};
    return {stored.left(bar), stored.mid(bar + 1)};
}

QString KeychainStore::joinCredential(const QString& user, const QString& password)
{
    return user + QLatin1Char('|') + password;
}
