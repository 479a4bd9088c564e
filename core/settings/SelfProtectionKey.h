#pragma once

#include <QString>

// The self-protection key file: the fixed marker enciphered with the user's start-up password,
// as base-64 text. Self-protection is on exactly while the file exists.
//
// The format has no salt and no key stretching (keys are cut at 32 bytes), so the password can be
// guessed offline from a copy of the file. It is kept so that existing key files keep working:
// the file only gates Zorvane's start, while the vault passwords protect the data.
class SelfProtectionKey
{
public:
    static inline const QString kMarker = QStringLiteral("velmarinquostaplewix");

    static QString path();
    static bool exists();
    // Writes the file for password: atomically, mode 0600, its folder created with mode 0700.
    // False with the reason in error when it could not be written; an earlier file stays as it was.
    static bool write(const QString& password, QString* error = nullptr);
    // Removes the file. A missing file is success; anything in its place that can't be removed
    // (a folder, a read-only parent) is a failure with the reason in error.
    static bool remove(QString* error = nullptr);
    // Whether password opens the file on disk.
    static bool matches(const QString& password);
};
