#include "core/catalogue/NSDataAES.h"

#include "core/catalogue/AesEncryptor.h"

QByteArray NSDataAES::keyBytes(const QString& key)
{
    // The key text is copied as a C string: it ends at its first zero byte.
    QByteArray utf8 = key.toUtf8();
    const qsizetype nul = utf8.indexOf('\0');
    if (nul >= 0)
        utf8.truncate(nul);
    utf8.truncate(32);
    utf8.append(QByteArray(32 - utf8.size(), '\0'));
    return utf8;
}

std::optional<QByteArray> NSDataAES::AESDecryptWithKey(const QByteArray& data, const QString& key)
{
    return AesEncryptor::decryptData(data, keyBytes(key));
}

std::optional<QByteArray> NSDataAES::AESEncryptWithKey(const QByteArray& data, const QString& key)
{
    return AesEncryptor::encryptData(data, keyBytes(key));
}
