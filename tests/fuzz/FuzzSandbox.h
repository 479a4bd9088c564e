#pragma once

#include <QByteArray>
#include <QDir>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QTemporaryDir>

// A private home for fuzz entries that read and write files: made on first use (HOME and the
// XDG folders point into it), emptied between inputs, removed when the program ends. The
// programs' own logging is silenced: a corrupt file is expected on every other input.
class FuzzSandbox
{
public:
    static const QString& home()
    {
        static const QString path = [] {
            // In memory when possible: every input makes a few synced writes.
            const QString shm = QStringLiteral("/dev/shm");
            static QTemporaryDir dir(QFileInfo(shm).isWritable()
                                         ? shm + QStringLiteral("/zv-fuzz-XXXXXX")
                                         : QDir::tempPath() + QStringLiteral("/zv-fuzz-XXXXXX"));
            const QByteArray home = QFile::encodeName(dir.path());
            qputenv("HOME", home);
            qputenv("XDG_CONFIG_HOME", home + "/.config");
            qputenv("XDG_DATA_HOME", home + "/.local/share");
            qputenv("XDG_CACHE_HOME", home + "/.cache");
            QLoggingCategory::setFilterRules(QStringLiteral("zorvane.*=false"));
            return dir.path();
        }();
        return path;
    }

    static void reset()
    {
        QDir dir(home());
        for (const QString& name :
             dir.entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot)) {
            QFileInfo entry(dir.filePath(name));
            if (entry.isDir() && !entry.isSymLink())
                QDir(entry.filePath()).removeRecursively();
            else
                QFile::remove(entry.filePath());
        }
    }
};
