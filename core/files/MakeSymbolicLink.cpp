#include "core/files/MakeSymbolicLink.h"

#include "core/system/Logging.h"

#include <QFile>
#include <sys/stat.h>
#include <unistd.h>

int MakeSymbolicLink(const char* linkPath, const char* targetPath)
{
    if (!linkPath || !targetPath || !*linkPath || !*targetPath)
        return 0;
    struct stat st;
    if (stat(linkPath, &st) == 0)
        return 0;
    // A dangling link still occupies the name; symlink() refuses it rather than replacing it.
    if (symlink(targetPath, linkPath) != 0) {
        qCInfo(lcFiles) << "Cannot create link" << linkPath << ":" << strerror(errno);
        return 0;
    }
    return 1;
}

int MakeSymbolicLink(const QString& linkPath, const QString& targetPath)
{
    if (linkPath.isEmpty() || targetPath.isEmpty())
        return 0;
    return MakeSymbolicLink(QFile::encodeName(linkPath).constData(),
                            QFile::encodeName(targetPath).constData());
}
