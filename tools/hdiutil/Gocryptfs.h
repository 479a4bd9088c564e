#pragma once

#include "tools/hdiutil/ChildProcess.h"

#include <QByteArray>
#include <QString>

// The encryption engine: gocryptfs over FUSE 3, run as the user. Passwords go to it only on
// its standard input, one per line.
class Gocryptfs
{
public:
    // Exit status of gocryptfs for a password that does not open the folder.
    static constexpr int wrongPasswordExit = 12;

    // Empty when the program is not installed.
    static QString program();
    static QString unmountProgram();
    // Empty when FUSE can be used, otherwise why not.
    static QString fuseProblem();

    static ChildResult init(const QString& cipherFolder, const QByteArray& password);
    static ChildResult mount(const QString& cipherFolder, const QString& mountPoint,
                             const QByteArray& password, bool readOnly);
    static ChildResult changePassword(const QString& cipherFolder, const QByteArray& oldPassword,
                                      const QByteArray& newPassword);
    static ChildResult unmount(const QString& mountPoint, bool lazy);

private:
    static QStringList costArguments();
};
