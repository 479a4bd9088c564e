#pragma once

#include "core/vault/DiskImageMetadata.h"
#include "tools/hdiutil/PasswordInput.h"
#include "tools/hdiutil/ToolArguments.h"

#include <QString>
#include <cstdio>
#include <optional>

// The verbs of the disk-image tool. Every failure prints one "hdiutil: " line on standard
// error, returns a non-zero status and leaves files as they were.
class DiskImageTool
{
public:
    DiskImageTool(int inputFd, std::FILE* out, std::FILE* err);
    int run(const ToolArguments& args);

private:
    // An image opened for a command that needs its password; the password is wiped with it.
    struct UnlockRequest
    {
        QString imagePath; // canonical
        DiskImageMetadata meta;
        QByteArray password;
        UnlockRequest() = default;
        UnlockRequest(UnlockRequest&&) = default; // leaves the source's password empty
        UnlockRequest& operator=(UnlockRequest&&) = delete;
        ~UnlockRequest();
    };

    int create(const ToolArguments& args);
    int mount(const ToolArguments& args);
    int info(const ToolArguments& args);
    int isEncrypted(const ToolArguments& args);
    int imageInfo(const ToolArguments& args);
    int changePassword(const ToolArguments& args);
    int resize(const ToolArguments& args);
    int detach(const ToolArguments& args);

    int fail(const QString& verb, const QString& message);
    // The image at args' operand with its metadata, or nullopt after reporting why not.
    std::optional<DiskImageMetadata> openImage(const QString& verb, const QString& imagePath);
    // The next password piece, checked; nullopt after reporting.
    std::optional<QByteArray> readPassword(const QString& verb);
    // The same, after checking that the command line announces it with -stdinpass.
    std::optional<QByteArray> requirePassword(const ToolArguments& args);
    // The -size option in bytes; nullopt after reporting.
    std::optional<qint64> sizeOption(const ToolArguments& args);
    // Opens the image and reads its password, checked against the image when verify is set.
    std::optional<UnlockRequest> openWithPassword(const ToolArguments& args, bool verify);
    // Correct password: true. Otherwise reports and returns false.
    bool verifyPassword(const QString& verb, const QString& imagePath, const QByteArray& password);
    bool checkEngine(const QString& verb, bool needsFuse);

    void print(const QString& text);
    void write(const QByteArray& bytes);
    void printPlist(const QVariant& value);
    void progress(double percent);
    void progressMessage(const QString& text);

    PasswordInput m_input;
    std::FILE* m_out;
    std::FILE* m_err;
    bool m_puppetStrings = false;
};
