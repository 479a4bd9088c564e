#pragma once

#include <QString>

// Generic-password items named by item name and kind, for vault passwords and network-share
// credentials. Every item carries service = label = item name, description = item kind and
// account = the user's full name. Implemented over the desktop's secret store in platform/.
class KeychainStore
{
public:
    static inline const QString kDiskImagePassword = QStringLiteral("disk image password");
    static inline const QString kNetworkSharedPassword = QStringLiteral("network shared password");
    // What a read returns in place of a password when the item exists but cannot be read.
    static inline const QString kErrorGettingPassword = QStringLiteral("Error getting password");

    virtual ~KeychainStore() = default;

    virtual bool checkForExistanceOfKeychainItem(const QString& itemName, const QString& itemKind,
                                                 const QString& username) = 0;
    virtual bool addKeychainItem(const QString& itemName, const QString& itemKind, const QString& username,
                                 const QString& password) = 0;
    virtual bool modifyKeychainItem(const QString& itemName, const QString& itemKind, const QString& username,
                                    const QString& newPassword) = 0;
    virtual bool deleteKeychainItem(const QString& itemName, const QString& itemKind,
                                    const QString& username) = 0;
    // "" when there is no such item (or no secret store at all).
    virtual QString getPasswordFromKeychainItem(const QString& itemName, const QString& itemKind,
                                                const QString& username) = 0;

    // Why the last operation failed, for a message to the user; empty after success.
    virtual QString lastError() const = 0;

    // The account attribute: the full name of the passwd entry, else the login name.
    static QString currentUserFullName();

    // A stored "user|password" credential, split at the first "|" so a password may hold "|".
    struct Credential
    {
        QString user;
        QString password;
    };
    static Credential splitCredential(const QString& stored);
    static QString joinCredential(const QString& user, const QString& password);
};
