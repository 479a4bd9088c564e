// The open-file scan against `lsof +c0 -F p <folder>` on the same folder, held open by this
// process. Prints the ratio (lsof time / our time).
#include "core/ProcessInfo.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <cstdio>
#include <fcntl.h>
#include <functional>
#include <unistd.h>

namespace {

double bestOf(int runs, const std::function<void()>& work)
{
    double best = 1e30;
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer t;
        t.start();
        work();
        best = std::min(best, t.nsecsElapsed() / 1e6);
    }
    return best;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QString lsof = QStandardPaths::findExecutable(QStringLiteral("lsof"));
    if (lsof.isEmpty()) {
        printf("open-file scan: lsof is not installed; skipped\n");
        return 0;
    }
    QTemporaryDir dir(QDir::tempPath() + QStringLiteral("/zv-bench-XXXXXX"));
    QFile held(dir.filePath(QStringLiteral("held.db")));
    held.open(QIODevice::WriteOnly);
    // lsof given a plain folder reports only processes that have that folder itself open.
    const int folderFd = open(QFile::encodeName(dir.path()).constData(), O_RDONLY | O_DIRECTORY);
    QString ours;
    QByteArray theirs;
    const double oursMs = bestOf(5, [&] { ours = ProcessInfo().FolderOpenByProcess(dir.path()); });
    const double lsofMs = bestOf(5, [&] {
        QProcess p;
        p.start(lsof, {QStringLiteral("+c0"), QStringLiteral("-F"), QStringLiteral("p"), dir.path()});
        p.waitForFinished(-1);
        theirs = p.readAllStandardOutput();
    });
    printf("open-file scan: ours %.1f ms (found \"%s\"), lsof %.1f ms (found %s) -> ratio %.1f\n", oursMs,
           qPrintable(ours), lsofMs, theirs.simplified().constData(), lsofMs / oursMs);
    close(folderFd);
    return 0;
}
