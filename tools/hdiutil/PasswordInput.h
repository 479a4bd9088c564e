#pragma once

#include <QByteArray>
#include <QString>
#include <optional>

// Reads the pieces callers write to standard input: each piece ends with a zero byte or with
// the end of input. Reads only up to the end of the piece asked for, because callers may
// leave the pipe open after the last one.
class PasswordInput
{
public:
    explicit PasswordInput(int fd = 0);
    ~PasswordInput();
    PasswordInput(const PasswordInput&) = delete;
    PasswordInput& operator=(const PasswordInput&) = delete;

    // nullopt when the input ended before the piece began. A piece ended by the end of input
    // loses one final line feed, so `echo pw | hdiutil …` works from a shell.
    std::optional<QByteArray> next();

    // The engine reads a password as one line and limits its length: an empty message means
    // the password is acceptable.
    static QString refusal(const QByteArray& password);
    static constexpr int maxLength = 2048;

private:
    int m_fd;
    bool m_ended = false;
};
