#include "tools/hdiutil/PasswordInput.h"

#include <cerrno>
#include <unistd.h>

PasswordInput::PasswordInput(int fd) : m_fd(fd) {}

PasswordInput::~PasswordInput() = default;

std::optional<QByteArray> PasswordInput::next()
{
    if (m_ended)
        return std::nullopt;
    QByteArray piece;
    // Room for the longest piece read, so no growth leaves a partial copy behind in freed memory.
    piece.reserve(maxLength * 4 + 1);
    bool any = false;
    // One byte at a time: whatever follows the zero byte belongs to the next piece, and the
    // caller may never close the pipe.
    for (;;) {
        char c;
        const ssize_t n = ::read(m_fd, &c, 1);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            m_ended = true;
            if (!any)
                return std::nullopt;
            if (piece.endsWith('\n'))
                piece.chop(1);
            return piece;
        }
        any = true;
        if (c == '\0')
            return piece;
        piece.append(c);
        // Keep a runaway input from growing without bound; the length check refuses it.
        if (piece.size() > maxLength * 4) {
            m_ended = true;
            return piece;
        }
    }
}

QString PasswordInput::refusal(const QByteArray& password)
{
    if (password.isEmpty())
        return QStringLiteral("the password must not be empty");
    if (password.contains('\n'))
        return QStringLiteral("the password must not contain a line break");
    if (password.size() > maxLength)
        return QStringLiteral("the password is longer than %1 bytes").arg(maxLength);
    return {};
}
