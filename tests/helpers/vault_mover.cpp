// Moves a recorded vault image the way the vault page does, for the kill tests:
//   vault_mover NAME IMAGE FOLDER [--copy] [--pause-at copying|verifying|placed|switched]
// It prints "step <name> <detail>" as the move advances and "ended <moved|failed|cancelled>
// <message>" at the end (exit 0, 1, 2). With --pause-at it prints "paused" when that step is
// reached and waits there forever, so a test can kill it at exactly that point.
#include "core/settings/SettingsStore.h"
#include "core/vault/VaultMove.h"
#include "platform/FreedesktopTrash.h"

#include <QCoreApplication>
#include <QThread>
#include <cstdio>

namespace {

QString stepName(VaultMoveStep step)
{
    switch (step) {
    case VaultMoveStep::Copying:
        return QStringLiteral("copying");
    case VaultMoveStep::Verifying:
        return QStringLiteral("verifying");
    case VaultMoveStep::Placed:
        return QStringLiteral("placed");
    case VaultMoveStep::Switched:
        return QStringLiteral("switched");
    case VaultMoveStep::Trashed:
        return QStringLiteral("trashed");
    }
    return QString();
}

void say(const QString& line)
{
    std::printf("%s\n", qPrintable(line));
    std::fflush(stdout);
}

class Printer : public VaultMoveObserver
{
public:
    QString pauseAt;
    int result = -1;

    void setProgressMaximum(quint64) override {}
    void setProgressValue(quint64 done) override { say(QStringLiteral("progress %1").arg(done)); }
    void moveStepChanged(VaultMoveStep step, const QString& detail) override
    {
        say(QStringLiteral("step %1 %2").arg(stepName(step), detail));
        if (stepName(step) != pauseAt)
            return;
        say(QStringLiteral("paused"));
        for (;;)
            QThread::sleep(60);
    }
    void moveEnded(const VaultMoveOutcome& outcome) override
    {
        static const char* names[] = {"moved", "failed", "cancelled"};
        result = int(outcome.result);
        say(QStringLiteral("ended %1 %2").arg(QLatin1String(names[result]), outcome.message));
        QCoreApplication::exit(result);
    }
};

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() < 4) {
        std::fprintf(stderr, "usage: vault_mover NAME IMAGE FOLDER [--copy] [--pause-at STEP]\n");
        return 64;
    }
    Printer printer;
    const qsizetype pause = args.indexOf(QStringLiteral("--pause-at"));
    if (pause > 0 && pause + 1 < args.size())
        printer.pauseAt = args.at(pause + 1);
    SettingsStore settings(SettingsStore::kZorvaneDomain);
    FreedesktopTrash trash;
    VaultMove move({&settings, trash.mover()},
                   {args.at(1), args.at(2), args.at(3), args.contains(QStringLiteral("--copy"))}, &printer);
    move.start();
    // A rename, or a move that could not start, has ended already.
    return printer.result >= 0 ? printer.result : app.exec();
}
