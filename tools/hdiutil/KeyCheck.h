#pragma once

#include <QByteArray>
#include <QString>

// Tells whether a password opens an encrypted folder, without mounting it: the folder's
// configuration holds the master key sealed with AES-256-GCM under a key derived from the
// password (scrypt, then HKDF-SHA256 on current folders). The master key is wiped at once.
class KeyCheck
{
public:
    enum class Result
    {
        Correct,
        Wrong,
        Unreadable
    };
    static Result check(const QString& configPath, const QByteArray& password, QString* error = nullptr);
};
