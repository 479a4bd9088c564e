#include "core/files/SetAside.h"

#include <QFile>
#include <cerrno>
#include <fcntl.h>
#include <stdio.h>

QString SetAside::moveAside(const QString& from, const QString& basePath, const QString& suffix)
{
    const QByteArray source = QFile::encodeName(from);
    for (int number = 0; number < 10000; ++number) {
        const QString candidate =
            basePath + suffix + (number ? QStringLiteral("_%1").arg(number) : QString());
        // The kernel refuses to replace an existing name, so two callers can't pick the same one.
        if (::renameat2(AT_FDCWD, source.constData(), AT_FDCWD, QFile::encodeName(candidate).constData(),
                        RENAME_NOREPLACE) == 0)
            return candidate;
        if (errno != EEXIST)
            return QString();
    }
    return QString();
}
