#include "tools/hdiutil/KeyCheck.h"

#include "core/system/SecretWipe.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <memory>
#include <openssl/evp.h>
#include <openssl/kdf.h>

namespace {

constexpr int kKeyLength = 32;
constexpr int kNonceLength = 16; // the configuration's key block always uses 128-bit nonces
constexpr int kTagLength = 16;
const char kHkdfInfo[] = "AES-GCM file content encryption";

// Wipes key material however the function is left.
struct SecretBytes
{
    explicit SecretBytes(int n) : bytes(n, '\0') {}
    ~SecretBytes() { SecretWipe::wipe(bytes); }
    unsigned char* data() { return reinterpret_cast<unsigned char*>(bytes.data()); }
    QByteArray bytes;
};

bool hkdfSha256(const unsigned char* key, int keyLen, unsigned char* out, size_t outLen)
{
    std::unique_ptr<EVP_PKEY_CTX, decltype(&EVP_PKEY_CTX_free)> ctx(
        EVP_PKEY_CTX_new_id(EVP_PKEY_HKDF, nullptr), &EVP_PKEY_CTX_free);
    return ctx && EVP_PKEY_derive_init(ctx.get()) > 0 &&
           EVP_PKEY_CTX_set_hkdf_md(ctx.get(), EVP_sha256()) > 0 &&
           EVP_PKEY_CTX_set1_hkdf_key(ctx.get(), key, keyLen) > 0 &&
           EVP_PKEY_CTX_add1_hkdf_info(ctx.get(), reinterpret_cast<const unsigned char*>(kHkdfInfo),
                                       static_cast<int>(sizeof kHkdfInfo - 1)) > 0 &&
           EVP_PKEY_derive(ctx.get(), out, &outLen) > 0;
}

// 1: opened, 0: authentication failed, -1: error.
int openSealedKey(const unsigned char* key, const QByteArray& sealed, QByteArray* plain)
{
    const int ctLen = static_cast<int>(sealed.size()) - kNonceLength - kTagLength;
    const auto* in = reinterpret_cast<const unsigned char*>(sealed.constData());
    std::unique_ptr<EVP_CIPHER_CTX, decltype(&EVP_CIPHER_CTX_free)> ctx(EVP_CIPHER_CTX_new(),
                                                                        &EVP_CIPHER_CTX_free);
    // Associated data: the block number 0 as a big-endian 64-bit integer, no file id.
    const unsigned char aad[8] = {};
    int len = 0;
    plain->resize(ctLen);
    auto* out = reinterpret_cast<unsigned char*>(plain->data());
    if (!ctx || EVP_DecryptInit_ex(ctx.get(), EVP_aes_256_gcm(), nullptr, nullptr, nullptr) != 1 ||
        EVP_CIPHER_CTX_ctrl(ctx.get(), EVP_CTRL_GCM_SET_IVLEN, kNonceLength, nullptr) != 1 ||
        EVP_DecryptInit_ex(ctx.get(), nullptr, nullptr, key, in) != 1 ||
        EVP_DecryptUpdate(ctx.get(), nullptr, &len, aad, sizeof aad) != 1 ||
        EVP_DecryptUpdate(ctx.get(), out, &len, in + kNonceLength, ctLen) != 1 ||
        EVP_CIPHER_CTX_ctrl(ctx.get(), EVP_CTRL_GCM_SET_TAG, kTagLength,
                            const_cast<unsigned char*>(in + kNonceLength + ctLen)) != 1)
        return -1;
    return EVP_DecryptFinal_ex(ctx.get(), out + len, &len) == 1 ? 1 : 0;
}

} // namespace

KeyCheck::Result KeyCheck::check(const QString& configPath, const QByteArray& password, QString* error)
{
    auto unreadable = [&](const QString& why) {
        if (error)
            *error = why;
        return Result::Unreadable;
    };
    QFile file(configPath);
    if (file.size() > 64 * 1024 || !file.open(QIODevice::ReadOnly))
        return unreadable(QStringLiteral("cannot read %1").arg(configPath));
    const QJsonObject conf = QJsonDocument::fromJson(file.readAll()).object();
    const QJsonObject scrypt = conf.value(QStringLiteral("ScryptObject")).toObject();
    const QByteArray sealed =
        QByteArray::fromBase64(conf.value(QStringLiteral("EncryptedKey")).toString().toLatin1());
    const QByteArray salt =
        QByteArray::fromBase64(scrypt.value(QStringLiteral("Salt")).toString().toLatin1());
    const qint64 n = scrypt.value(QStringLiteral("N")).toInteger();
    const qint64 r = scrypt.value(QStringLiteral("R")).toInteger();
    const qint64 p = scrypt.value(QStringLiteral("P")).toInteger();
    const qint64 keyLen = scrypt.value(QStringLiteral("KeyLen")).toInteger();
    // Refuse parameters that would make us allocate absurd memory before failing.
    if (sealed.size() <= kNonceLength + kTagLength || salt.isEmpty() || n < 2 || (n & (n - 1)) != 0 ||
        n > (1 << 28) || r < 1 || r > 64 || p < 1 || p > 16 || keyLen != kKeyLength)
        return unreadable(QStringLiteral("%1 is not an encrypted folder configuration").arg(configPath));

    SecretBytes derived(kKeyLength);
    const uint64_t maxMem =
        128ull * static_cast<uint64_t>(r) * (static_cast<uint64_t>(n) + 2 + static_cast<uint64_t>(p)) +
        (1u << 20);
    if (EVP_PBE_scrypt(password.constData(), static_cast<size_t>(password.size()),
                       reinterpret_cast<const unsigned char*>(salt.constData()),
                       static_cast<size_t>(salt.size()), static_cast<uint64_t>(n), static_cast<uint64_t>(r),
                       static_cast<uint64_t>(p), maxMem, derived.data(), kKeyLength) != 1)
        return unreadable(QStringLiteral("key derivation failed"));

    const QJsonArray flags = conf.value(QStringLiteral("FeatureFlags")).toArray();
    SecretBytes gcmKey(kKeyLength);
    if (flags.contains(QStringLiteral("HKDF"))) {
        if (!hkdfSha256(derived.data(), kKeyLength, gcmKey.data(), kKeyLength))
            return unreadable(QStringLiteral("key derivation failed"));
    } else {
        gcmKey.bytes = derived.bytes;
    }
    SecretBytes masterKey(0);
    const int opened = openSealedKey(gcmKey.data(), sealed, &masterKey.bytes);
    if (opened < 0)
        return unreadable(QStringLiteral("cannot decrypt the master key"));
    return opened == 1 ? Result::Correct : Result::Wrong;
}
