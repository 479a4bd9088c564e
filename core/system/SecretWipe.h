#pragma once

#include <QByteArray>
#include <QString>
#include <optional>

// Passwords are overwritten before their memory goes back to the allocator. Qt's strings and
// byte arrays share buffers: a buffer is overwritten (its whole allocation, so text that was
// chopped or removed from the front goes too) only by its last holder, because a shared one
// still serves someone else; the holder's reference is dropped either way. Whoever lets go of a
// password last therefore wipes it: a widget's text is taken, the widget cleared, then the
// taken copy wiped.
class SecretWipe
{
public:
    static void wipe(QByteArray& bytes);
    static void wipe(QString& text);
    static void wipe(std::optional<QString>& text);
    static void wipe(std::optional<QByteArray>& bytes);

    // Wipes a QByteArray or QString when it goes out of scope.
    template<typename Secret> class Guard
    {
    public:
        explicit Guard(Secret& secret) : m_secret(secret) {}
        ~Guard() { wipe(m_secret); }
        Guard(const Guard&) = delete;
        Guard& operator=(const Guard&) = delete;

    private:
        Secret& m_secret;
    };
};
