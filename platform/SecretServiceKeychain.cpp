#include "platform/SecretServiceKeychain.h"

#include "core/system/Logging.h"
#include "core/system/SecretWipe.h"

#include <cstdio>
#include <libsecret/secret.h>

namespace {

const SecretSchema* schema()
{
    static const SecretSchema s = {"com.tarnwick.Zorvane.Password",
                                   SECRET_SCHEMA_DONT_MATCH_NAME,
                                   {
                                       {"service", SECRET_SCHEMA_ATTRIBUTE_STRING},
                                       {"description", SECRET_SCHEMA_ATTRIBUTE_STRING},
                                       {"account", SECRET_SCHEMA_ATTRIBUTE_STRING},
                                       {nullptr, SECRET_SCHEMA_ATTRIBUTE_STRING},
                                   },
                                   0,
                                   nullptr,
                                   nullptr,
                                   nullptr,
                                   nullptr,
                                   nullptr,
                                   nullptr,
                                   nullptr};
    return &s;
}

struct Attributes
{
    QByteArray service, description, account;
    Attributes(const QString& name, const QString& kind, const QString& user)
        : service(name.toUtf8()), description(kind.toUtf8()), account(user.toUtf8())
    {}
};

QString takeError(GError* error)
{
    const QString text = error ? QString::fromUtf8(error->message) : QString();
    if (error)
        g_error_free(error);
    return text;
}

} // namespace

// Looks the item up; a locked collection is unlocked through the service's prompt.
static gchar* lookup(const QString& itemName, const QString& itemKind, const QString& username,
                     GError** error)
{
    const Attributes a(itemName, itemKind, username);
    return secret_password_lookup_sync(schema(), nullptr, error, "service", a.service.constData(),
                                       "description", a.description.constData(), "account",
                                       a.account.constData(), nullptr);
}

bool SecretServiceKeychain::checkForExistanceOfKeychainItem(const QString& itemName, const QString& itemKind,
                                                            const QString& username)
{
    GError* error = nullptr;
    gchar* secret = lookup(itemName, itemKind, username, &error);
    m_lastError = takeError(error);
    const bool found = secret != nullptr;
    secret_password_free(secret);
    return found;
}

bool SecretServiceKeychain::store(const QString& itemName, const QString& itemKind, const QString& username,
                                  const QString& password)
{
    const Attributes a(itemName, itemKind, username);
    const QByteArray label = itemName.toUtf8();
    QByteArray secret = password.toUtf8();
    const SecretWipe::Guard wipe(secret);
    GError* error = nullptr;
    const gboolean ok =
        secret_password_store_sync(schema(), SECRET_COLLECTION_DEFAULT, label.constData(), secret.constData(),
                                   nullptr, &error, "service", a.service.constData(), "description",
                                   a.description.constData(), "account", a.account.constData(), nullptr);
    m_lastError = takeError(error);
    if (!ok && m_lastError.isEmpty())
        m_lastError = QStringLiteral("The password could not be stored in the keyring.");
    return ok;
}

bool SecretServiceKeychain::addKeychainItem(const QString& itemName, const QString& itemKind,
                                            const QString& username, const QString& password)
{
    const bool ok = store(itemName, itemKind, username, password);
    if (!ok)
        qCWarning(lcPlatform).noquote() << "Error creating new item:" << m_lastError;
    return ok;
}

bool SecretServiceKeychain::modifyKeychainItem(const QString& itemName, const QString& itemKind,
                                               const QString& username, const QString& newPassword)
{
    if (!checkForExistanceOfKeychainItem(itemName, itemKind, username))
        return false;
    return store(itemName, itemKind, username, newPassword);
}

bool SecretServiceKeychain::deleteKeychainItem(const QString& itemName, const QString& itemKind,
                                               const QString& username)
{
    const Attributes a(itemName, itemKind, username);
    GError* error = nullptr;
    const gboolean removed =
        secret_password_clear_sync(schema(), nullptr, &error, "service", a.service.constData(), "description",
                                   a.description.constData(), "account", a.account.constData(), nullptr);
    m_lastError = takeError(error);
    return removed;
}

QString SecretServiceKeychain::getPasswordFromKeychainItem(const QString& itemName, const QString& itemKind,
                                                           const QString& username)
{
    GError* error = nullptr;
    gchar* secret = lookup(itemName, itemKind, username, &error);
    if (!secret) {
        // No service on the bus (or no bus) reads as "nothing stored"; any other error about
        // this item yields a text that fails as a password, so the next candidate is tried.
        const bool noService = error && error->domain == G_DBUS_ERROR;
        const int code = error ? error->code : 0;
        m_lastError = takeError(error);
        if (m_lastError.isEmpty() || noService)
            return QString();
        std::printf("Error = %d\n", code);
        std::fflush(stdout);
        return kErrorGettingPassword;
    }
    m_lastError.clear();
    // At most 1023 bytes of the secret are used.
    QByteArray bytes(secret);
    const SecretWipe::Guard wipe(bytes);
    secret_password_free(secret); // overwrites it before freeing
    if (bytes.size() > 1023)
        bytes.truncate(1023);
    return QString::fromUtf8(bytes);
}
