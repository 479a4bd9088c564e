#include "core/catalogue/AesEncryptor.h"

#include "core/catalogue/NSDataBase64.h"
#include "core/system/SecretWipe.h"

#include <QStringDecoder>
#include <algorithm>
#include <limits>
#include <memory>
#include <openssl/evp.h>

namespace {

constexpr int kKeySize = 32;
constexpr int kBlockSize = 16;

struct CipherCtxFree
{
    void operator()(EVP_CIPHER_CTX* ctx) const { EVP_CIPHER_CTX_free(ctx); }
};

QByteArray zeroPadded(const QByteArray& bytes, int size)
{
    QByteArray buffer(size, '\0');
    std::copy_n(bytes.constData(), std::min<qsizetype>(bytes.size(), size), buffer.data());
    return buffer;
}

std::optional<QByteArray> crypt(bool encrypt, const QByteArray& data, const QByteArray& key,
                                const QByteArray& iv)
{
    // The key may be a user's password (the self-protection key file).
    QByteArray keyBuffer = zeroPadded(key, kKeySize);
    const SecretWipe::Guard wipe(keyBuffer);
    const QByteArray ivBuffer = zeroPadded(iv, kBlockSize);
    std::unique_ptr<EVP_CIPHER_CTX, CipherCtxFree> ctx(EVP_CIPHER_CTX_new());
    if (!ctx || data.size() > std::numeric_limits<int>::max() - 2 * kBlockSize)
        return std::nullopt;
    const auto* key8 = reinterpret_cast<const unsigned char*>(keyBuffer.constData());
    const auto* iv8 = reinterpret_cast<const unsigned char*>(ivBuffer.constData());
    if (EVP_CipherInit_ex(ctx.get(), EVP_aes_256_cbc(), nullptr, key8, iv8, encrypt ? 1 : 0) != 1)
        return std::nullopt;

    // Room for one more block than the input, as padding needs.
    QByteArray out(data.size() + kBlockSize, Qt::Uninitialized);
    auto* out8 = reinterpret_cast<unsigned char*>(out.data());
    int written = 0;
    if (EVP_CipherUpdate(ctx.get(), out8, &written, reinterpret_cast<const unsigned char*>(data.constData()),
                         int(data.size())) != 1)
        return std::nullopt;
    int tail = 0;
    if (EVP_CipherFinal_ex(ctx.get(), out8 + written, &tail) != 1)
        return std::nullopt;
    out.truncate(written + tail);
    return out;
}

} // namespace

std::optional<QByteArray> AesEncryptor::encryptData(const QByteArray& data, const QByteArray& key,
                                                    const QByteArray& iv)
{
    return crypt(true, data, key, iv);
}

std::optional<QByteArray> AesEncryptor::decryptData(const QByteArray& data, const QByteArray& key,
                                                    const QByteArray& iv)
{
    return crypt(false, data, key, iv);
}

QString AesEncryptor::encryptBase64String(const QString& text, const QString& keyString, bool separateLines)
{
    QByteArray key = keyString.toUtf8();
    const SecretWipe::Guard wipe(key);
    const auto cipher = encryptData(text.toUtf8(), key);
    if (!cipher)
        return {};
    return NSDataBase64::base64EncodedStringWithSeparateLines(*cipher, separateLines);
}

QString AesEncryptor::decryptBase64String(const QString& base64, const QString& keyString)
{
    const QByteArray cipher = NSDataBase64::dataFromBase64String(base64);
    if (cipher.isEmpty())
        return {};
    QByteArray key = keyString.toUtf8();
    const SecretWipe::Guard wipe(key);
    const auto plain = decryptData(cipher, key);
    if (!plain)
        return {};
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = decoder.decode(*plain);
    if (decoder.hasError())
        return {};
    // An empty plain text is still a successful decryption.
    if (text.isNull())
        text = QStringLiteral("");
    return text;
}

QString AesEncryptor::hexStringForData(const QByteArray& data)
{
    return QString::fromLatin1(data.toHex());
}

QByteArray AesEncryptor::dataForHexString(const QString& hex)
{
    const QString lower = hex.toLower();
    const auto digit = [](QChar c) -> int {
        if (c >= u'0' && c <= u'9')
            return c.unicode() - u'0';
        if (c >= u'a' && c <= u'f')
            return c.unicode() - u'a' + 10;
        return 0;
    };
    QByteArray out;
    out.reserve(lower.size() / 2 + 1);
    for (qsizetype i = 0; i < lower.size(); i += 2) {
        const int high = digit(lower[i]);
        const int low = i + 1 < lower.size() ? digit(lower[i + 1]) : 0;
        out.append(char(high * 16 + low));
    }
    return out;
}
