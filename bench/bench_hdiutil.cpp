// Attaching a vault through the disk-image tool against mounting the same encrypted folder with
// gocryptfs directly, and listing attached vaults with ten of them mounted.
#include "bench/BenchSupport.h"
#include "core/vault/DiskImageMetadata.h"

#include <QCoreApplication>
#include <QDir>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <cstdio>

namespace {

QString g_tool;
QProcessEnvironment g_env;

int run(const QString& program, const QStringList& args, const QByteArray& input = {})
{
    return bench::runProgram(program, args, input, g_env);
}

void unmount(const QString& mountPoint)
{
    run(QStringLiteral("fusermount3"), {QStringLiteral("-u"), mountPoint});
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1).filter(QRegularExpression(QStringLiteral("^[^-]")));
    g_tool = !args.isEmpty() ? args.first()
                             : QCoreApplication::applicationDirPath() +
                                   QStringLiteral("/../Zorvane.app/Contents/bin/hdiutil");
    if (!QFileInfo(g_tool).isExecutable()) {
        std::fprintf(stderr, "disk-image tool not found at %s\n", qPrintable(g_tool));
        return 1;
    }
    // Never touch the real home: the tool mounts below XDG_DATA_HOME.
    QTemporaryDir home;
    g_env = QProcessEnvironment::systemEnvironment();
    g_env.insert(QStringLiteral("HOME"), home.path());
    g_env.insert(QStringLiteral("XDG_DATA_HOME"), home.path() + QStringLiteral("/.local/share"));
    g_env.remove(QStringLiteral("ZV_HDIUTIL_SCRYPTN")); // the key derivation users get
    const QByteArray pw("bench password");
    const int rounds = 7; // short enough for --quick too

    auto create = [&](const QString& name) {
        const QString image = home.path() + QLatin1Char('/') + name + QStringLiteral(".sparsebundle");
        run(g_tool,
            {"create", "-puppetstrings", "-stdinpass", "-encryption", "AES-128", "-size", "1G", "-fs", "HFS+",
             "-layout", "NONE", "-volname", name, image},
            pw);
        return image;
    };
    const QString image = create(QStringLiteral("Bench"));
    if (!DiskImageMetadata::isImage(image)) {
        std::fprintf(stderr, "could not create a vault\n");
        return 1;
    }
    const QString mountPoint = home.path() + QStringLiteral("/.local/share/Zorvane/Volumes/Bench");
    const QString rawMount = home.path() + QStringLiteral("/raw");
    QDir().mkpath(rawMount);

    QList<double> toolTimes, rawTimes;
    const double mountRatio = bench::median(bench::pairedRatios(
        rounds,
        [&] {
            return bench::timeMs([&] {
                run(g_tool, {"mount", image, "-plist", "-puppetstrings", "-stdinpass"}, pw + '\0');
                run(g_tool, {"detach", mountPoint});
            });
        },
        [&] {
            return bench::timeMs([&] {
                run(QStringLiteral("gocryptfs"), {"-q", DiskImageMetadata::cipherPath(image), rawMount},
                    pw + '\n');
                unmount(rawMount);
            });
        },
        [&](int, double tool, double raw) {
            toolTimes.append(tool);
            rawTimes.append(raw);
        }));
    const double toolMount = bench::median(toolTimes);
    const double rawMountMs = bench::median(rawTimes);
    const double infoEmpty = bench::medianMs(rounds * 3, [&] { run(g_tool, {"info", "-plist"}); });
    // The listing never derives a key: these ten get the cheap derivation, to save the run time.
    g_env.insert(QStringLiteral("ZV_HDIUTIL_SCRYPTN"), QStringLiteral("10"));
    QStringList images;
    for (int i = 0; i < 10; ++i) {
        images.append(create(QStringLiteral("V%1").arg(i)));
        run(g_tool, {"mount", images.last(), "-stdinpass"}, pw);
    }
    const double infoTen = bench::medianMs(rounds * 3, [&] { run(g_tool, {"info", "-plist"}); });
    const double spawn = bench::medianMs(rounds * 3, [&] { run(QStringLiteral("/bin/true"), {}); });
    for (const QString& img : images)
        run(g_tool, {"detach", img, "-force"});

    std::printf(
        "mount through the tool (with detach) vs raw gocryptfs mount+unmount: %.2fx (medians %.1f ms vs "
        "%.1f ms)\n",
        mountRatio, toolMount, rawMountMs);
    std::printf("info -plist with 10 vaults vs with none: %.2fx (%.1f ms vs %.1f ms)\n", infoTen / infoEmpty,
                infoTen, infoEmpty);
    std::printf("info -plist with 10 vaults vs starting /bin/true: %.2fx\n", infoTen / spawn);
    // The tool adds two program starts (mount, detach) and its checks to the engine's work; a
    // second key derivation or a scan on every detach would show as about twice the time.
    bench::result(QStringLiteral("tool mount+detach vs raw gocryptfs (time ratio, median of %1)").arg(rounds),
                  QString::number(mountRatio, 'f', 2), QStringLiteral("<= 1.5"), mountRatio <= 1.5);
    bench::result(QStringLiteral("info with 10 vaults vs none (time ratio)"),
                  QString::number(infoTen / infoEmpty, 'f', 2), QStringLiteral("<= 2.0"),
                  infoTen / infoEmpty <= 2.0);
    return 0;
}
