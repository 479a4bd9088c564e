#pragma once

#include <QByteArray>
#include <QString>
#include <optional>

// AES-256-CBC with PKCS #7 padding and an all-zero IV, keyed by a text: its UTF-8 bytes, at
// most 32 of them, zero-padded to 32. This is the cipher of the application catalogue.
class NSDataAES
{
public:
    static std::optional<QByteArray> AESDecryptWithKey(const QByteArray& data, const QString& key);
    static std::optional<QByteArray> AESEncryptWithKey(const QByteArray& data, const QString& key);

    static QByteArray keyBytes(const QString& key);
};
