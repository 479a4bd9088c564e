// Folder sizes against `du -sb`, the tree copy and the protect job into a gocryptfs vault against
// `cp -a` into the same vault, and the open-file scan against `lsof +c0 -F p <folder>`. Prints ratios
// (baseline time / our time: above 1 means we are faster).
#include "core/files/FileOperation.h"
#include "core/files/TreeCopier.h"
#include "core/processes/ProcessInfo.h"
#include "core/vault/ProtectWork.h"
#include "platform/FreedesktopTrash.h"

#include <QCoreApplication>
#include <QDateTime>
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

bool run(const QString& program, const QStringList& args, const QByteArray& input = QByteArray())
{
    QProcess p;
    p.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    p.start(program, args);
    if (!input.isEmpty())
        p.write(input);
    p.closeWriteChannel();
    p.waitForFinished(-1);
    p.readAllStandardOutput();
    return p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

bool writeFile(const QString& path, qint64 size, char fill)
{
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly))
        return false;
    const QByteArray block(1 << 16, fill);
    for (qint64 left = size; left > 0; left -= block.size())
        f.write(block.constData(), std::min<qint64>(left, block.size()));
    return true;
}

void benchFolderSize(const QString& base)
{
    const QString tree = base + QStringLiteral("/sizes");
    for (int d = 0; d < 1000; ++d) {
        const QString folder = QStringLiteral("%1/d%2/e%3").arg(tree).arg(d % 40).arg(d);
        QDir().mkpath(folder);
        for (int f = 0; f < 100; ++f)
            writeFile(QStringLiteral("%1/f%2").arg(folder).arg(f), (d * 100 + f) % 4000, 'x');
    }
    quint64 ours = 0;
    const double oursMs = bestOf(5, [&] { ours = FileOperation::fastFolderSizeAtFSRef(tree); });
    const double duMs = bestOf(5, [&] { run(QStringLiteral("du"), {QStringLiteral("-sb"), tree}); });
    printf("folder size, 100000 files: ours %.1f ms (%llu bytes of files), du -sb %.1f ms -> ratio %.2f\n",
           oursMs, static_cast<unsigned long long>(ours), duMs, duMs / oursMs);
}

// A mixed 200 MB tree: large media, a mail store of small messages, links.
QString buildMixedTree(const QString& base)
{
    const QString tree = base + QStringLiteral("/Library");
    QDir().mkpath(tree + QStringLiteral("/Photos"));
    for (int i = 0; i < 24; ++i)
        writeFile(QStringLiteral("%1/Photos/IMG_%2.jpg").arg(tree).arg(i), 6 << 20, char('a' + i));
    for (int box = 0; box < 20; ++box) {
        const QString folder = QStringLiteral("%1/Mail/box%2/cur").arg(tree).arg(box);
        QDir().mkpath(folder);
        for (int m = 0; m < 200; ++m)
            writeFile(QStringLiteral("%1/%2.eml").arg(folder).arg(m), 2000 + (m * 997) % 20000, 'm');
        QFile::link(QStringLiteral("cur"), QStringLiteral("%1/Mail/box%2/new").arg(tree).arg(box));
    }
    return tree;
}

// A gocryptfs vault mounted at base/mount (its cipher folder base/cipher); false when it can't be.
bool mountGocryptfs(const QString& base)
{
    const QString cipher = base + QStringLiteral("/cipher");
    const QString mount = base + QStringLiteral("/mount");
    QDir().mkpath(cipher);
    QDir().mkpath(mount);
    return run(QStringLiteral("gocryptfs"),
               {QStringLiteral("-q"), QStringLiteral("-init"), QStringLiteral("-scryptn"),
                QStringLiteral("10"), cipher},
               "bench-password\n") &&
           run(QStringLiteral("gocryptfs"), {QStringLiteral("-q"), cipher, mount}, "bench-password\n");
}

// Removes the copy a run left in the vault and writes everything back, so runs start alike.
void removeCopy(const QString& mount)
{
    TreeCopier::removeTree(mount + QStringLiteral("/Library"));
    run(QStringLiteral("sync"), {});
}

void result(const char* name, double figure, const char* goal, bool met)
{
    printf("RESULT\t%s\t%.2f\t%s\t%s\n", name, figure, goal, met ? "met" : "missed");
}

void benchCopy(const QString& base, const QString& tree)
{
    printf("copy tree: %s of files\n",
           qPrintable(FileOperation::stringFromFileSize(FileOperation::fastFolderSizeAtFSRef(tree))));
    const QString mount = base + QStringLiteral("/mount");
    const auto clean = [&] {
        removeCopy(mount);
    };
    auto ours = [&](int threads) {
        clean();
        return bestOf(1, [&] {
            TreeCopier::Control control;
            control.threads = threads;
            if (!TreeCopier::copyInto(tree, mount, control).ok)
                printf("copy failed\n");
        });
    };
    clean();
    const double cpMs = bestOf(1, [&] { run(QStringLiteral("cp"), {QStringLiteral("-a"), tree, mount}); });
    const double one = ours(1);
    const double four = ours(TreeCopier::Control().threads);
    const double eight = ours(8);
    clean();
    const double cpMs2 = bestOf(1, [&] { run(QStringLiteral("cp"), {QStringLiteral("-a"), tree, mount}); });
    clean();
    const double cp = std::min(cpMs, cpMs2);
    printf(
        "copy into gocryptfs: cp -a %.0f ms; ours 1 thread %.0f ms (ratio %.2f), default %d threads %.0f ms "
        "(ratio %.2f), 8 threads %.0f ms (ratio %.2f)\n",
        cp, one, cp / one, TreeCopier::Control().threads, four, cp / four, eight, cp / eight);
}

// The protect job's file work (copy, check against the original, write-back, Trash, link) into the
// vault against `cp -a` into it, one run each; the job's fixed 1.0 s wait before the Trash step is
// left out of its time.
void benchProtect(const QString& base, const QString& tree)
{
    const QString mount = base + QStringLiteral("/mount");
    FreedesktopTrash trash;
    const auto clean = [&] {
        removeCopy(mount);
    };
    const auto cpRun = [&] {
        clean();
        return bestOf(1, [&] { run(QStringLiteral("cp"), {QStringLiteral("-a"), tree, mount}); });
    };
    const auto protect = [&](bool readBack) {
        clean();
        ProtectWork::Plan plan;
        plan.item = QStringLiteral("Library");
        plan.place = tree;
        plan.vault = QStringLiteral("Bench");
        plan.mountPoint = mount;
        plan.imagePath = base + QStringLiteral("/cipher");
        plan.verifyContent = readBack;
        ProtectWork work(plan, trash.access());
        bool over = false;
        const double ms = bestOf(1, [&] { over = work.begin() && work.run(); });
        work.endJournal();
        if (!over)
            printf("protect failed: %s\n", qPrintable(work.failure()));
        // Back as it was for the next run: the link goes, the original comes out of the Trash.
        QFile::remove(tree);
        trash.restore(trash.findTrashed(tree, QDateTime::currentDateTime().addSecs(-3600)));
        return ms - 1000.0;
    };
    // The machine is shared: each run has a cp -a just before it, and the faster cp -a counts.
    const double cp1 = cpRun();
    const double checked = protect(false);
    const double cp2 = cpRun();
    const double readBack = protect(true);
    const double cpMs = std::min(cp1, cp2);
    clean();
    printf("protect into gocryptfs: cp -a %.0f ms; protect %.0f ms (ratio %.2f), with the contents read back "
           "%.0f "
           "ms (ratio %.2f); 1.0 s wait left out\n",
           cpMs, checked, cpMs / checked, readBack, cpMs / readBack);
    result("protect vs cp -a into gocryptfs (checked, wait left out)", cpMs / checked, ">= 1.0",
           cpMs / checked >= 1.0);
    result("protect with contents read back vs cp -a", cpMs / readBack, "report", true);
}

void benchOpenFileScan(const QString& base)
{
    const QString lsof = QStandardPaths::findExecutable(QStringLiteral("lsof"));
    if (lsof.isEmpty()) {
        printf("open-file scan: lsof is not installed; skipped\n");
        return;
    }
    QDir dir(base);
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
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QTemporaryDir base(QDir::tempPath() + QStringLiteral("/zv-bench-XXXXXX"));
    benchFolderSize(base.path());
    const QString tree = buildMixedTree(base.path());
    if (mountGocryptfs(base.path())) {
        benchCopy(base.path(), tree);
        benchProtect(base.path(), tree);
        run(QStringLiteral("fusermount3"), {QStringLiteral("-u"), base.path() + QStringLiteral("/mount")});
    } else {
        printf("copy: gocryptfs could not mount a vault; skipped\n");
    }
    benchOpenFileScan(base.path());
    return 0;
}
