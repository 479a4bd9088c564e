#pragma once

#include <QByteArray>
#include <QString>
#include <optional>

// AES-256-CBC with PKCS #7 padding. Keys and IVs are taken as given bytes: the first 32 (16)
// bytes in a zero-filled buffer, so shorter keys are padded with zeros and longer ones cut.
// Used for the self-protection key file; the string forms carry the cipher text as base-64.
class AesEncryptor
{
public:
    static std::optional<QByteArray> encryptData(const QByteArray& data, const QByteArray& key,
                                                 const QByteArray& iv = {});
    static std::optional<QByteArray> decryptData(const QByteArray& data, const QByteArray& key,
                                                 const QByteArray& iv = {});

    // UTF-8 text enciphered with the UTF-8 key and no IV, as base-64; a null string on failure.
    static QString encryptBase64String(const QString& text, const QString& keyString, bool separateLines);
    // The inverse; a null string when the text is not base-64, the key is wrong or the plain
    // text is not UTF-8.
    static QString decryptBase64String(const QString& base64, const QString& keyString);

    // Lower-case "%02x" per byte.
    static QString hexStringForData(const QByteArray& data);
    // Digit pairs; a non-hex character counts as 0 and a trailing odd digit d gives d * 16.
    static QByteArray dataForHexString(const QString& hex);
};
