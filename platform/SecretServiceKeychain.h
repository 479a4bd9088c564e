#pragma once

#include "core/vault/KeychainStore.h"

// Keychain items in the freedesktop Secret Service (gnome-keyring, KWallet) through libsecret.
// A locked collection is unlocked through the service's own prompt. Without a service, reads
// find nothing and writes fail with a message in lastError().
class SecretServiceKeychain : public KeychainStore
{
public:
    bool checkForExistanceOfKeychainItem(const QString& itemName, const QString& itemKind,
                                         const QString& username) override;
    bool addKeychainItem(const QString& itemName, const QString& itemKind, const QString& username,
                         const QString& password) override;
    bool modifyKeychainItem(const QString& itemName, const QString& itemKind, const QString& username,
                            const QString& newPassword) override;
    bool deleteKeychainItem(const QString& itemName, const QString& itemKind,
                            const QString& username) override;
    QString getPasswordFromKeychainItem(const QString& itemName, const QString& itemKind,
                                        const QString& username) override;
    QString lastError() const override { return m_lastError; }

private:
    bool store(const QString& itemName, const QString& itemKind, const QString& username,
               const QString& password);

    QString m_lastError;
};
