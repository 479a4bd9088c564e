// Hammers every flow that moves the user's only copy with one fault per run and checks that
// nothing is lost:
//   fault_inject [N] [--seed S] [--flow NAME] [--verbose]
// N injections (default 200) are spread over the flows (protect a folder, protect a file,
// restore, move a vault image, the uninstaller). Each flow first runs once without a fault to
// measure its duration. Prints one line per flow ("injections, survived, lost") and the faults
// and stages covered; exit status 1 on any loss or an injection that could not be set up, 2 when
// it can't run here.
#include "tests/fault/FaultCase.h"
#include "tests/fault/FaultPlan.h"
#include "tests/support/TestPaths.h"
#include "tests/support/TestVaults.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QSet>
#include <cstdio>

namespace {

void say(const QString& line)
{
    std::printf("%s\n", qPrintable(line));
    std::fflush(stdout);
}

struct Tally
{
    int injections = 0;
    int survived = 0;
    int lost = 0;
    int notRun = 0;
    int missed = 0; // the fault came after the flow was over (or the stage was never reached)
};

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
    int total = 200;
    quint32 seed = quint32(QDateTime::currentMSecsSinceEpoch());
    QString onlyFlow;
    bool verbose = false;
    for (int i = 0; i < args.size(); ++i) {
        if (args.at(i) == QLatin1String("--seed") && i + 1 < args.size())
            seed = args.at(++i).toUInt();
        else if (args.at(i) == QLatin1String("--flow") && i + 1 < args.size())
            onlyFlow = args.at(++i);
        else if (args.at(i) == QLatin1String("--verbose"))
            verbose = true;
        else if (args.at(i).toInt() > 0)
            total = args.at(i).toInt();
        else {
            std::fprintf(stderr, "usage: fault_inject [N] [--seed S] [--flow NAME] [--verbose]\n");
            return 64;
        }
    }
    if (!TestVaults::prepare()) {
        std::fprintf(stderr, "fault_inject: run it through tests/run-in-session.sh\n");
        return 2;
    }
    const QString root = QDir::homePath() + QStringLiteral("/fault");
    QDir().mkpath(root);
    say(QStringLiteral("fault_inject %1 --seed %2").arg(total).arg(seed));

    QList<FaultPlan::Flow> flows;
    for (FaultPlan::Flow flow : FaultPlan::flows())
        if (onlyFlow.isEmpty() || FaultPlan::name(flow) == onlyFlow)
            flows.append(flow);
    if (flows.isEmpty()) {
        std::fprintf(stderr, "fault_inject: no flow named %s\n", qPrintable(onlyFlow));
        return 64;
    }

    QMap<QString, Tally> tallies;
    QSet<QString> faultsCovered;
    QSet<QString> stagesCovered;
    int index = 0;
    bool anyLoss = false;
    for (int f = 0; f < flows.size(); ++f) {
        const FaultPlan::Flow flow = flows.at(f);
        const int count = total / int(flows.size()) + (f < total % int(flows.size()) ? 1 : 0);
        // The clean run measures the flow; it must lose nothing either.
        FaultPlan clean;
        clean.flow = flow;
        clean.index = index++;
        clean.seed = seed + quint32(clean.index) * 7919u;
        qint64 measured = 0;
        {
            FaultCase run(clean, root, 0);
            const FaultCase::Outcome outcome = run.run();
            measured = outcome.runMs;
            // Without a fault the flow must also succeed, or its duration measures nothing.
            if (!outcome.problems.isEmpty() || outcome.exitCode != 0) {
                anyLoss = true;
                say(QStringLiteral("FAILED %1: %2\n  %3\n  flow output: %4")
                        .arg(clean.describe(), outcome.effect, outcome.problems.join(QStringLiteral("\n  ")),
                             outcome.output));
            } else if (verbose) {
                say(QStringLiteral("ok %1: %2 ms").arg(clean.describe()).arg(measured));
            }
        }
        Tally& tally = tallies[FaultPlan::name(flow)];
        for (const FaultPlan& plan : FaultPlan::schedule(flow, count, f * 2, seed, index)) {
            ++index;
            FaultCase run(plan, root, measured);
            const FaultCase::Outcome outcome = run.run();
            ++tally.injections;
            if (outcome.effect.contains(QLatin1String("before")))
                ++tally.missed;
            faultsCovered.insert(FaultPlan::name(plan.fault));
            if (plan.fault == FaultPlan::Fault::KillStage)
                stagesCovered.insert(FaultPlan::name(flow) + QLatin1Char(':') + plan.stage);
            if (outcome.setupFailed) {
                ++tally.notRun;
                anyLoss = true;
                say(QStringLiteral("NOT RUN %1: %2")
                        .arg(plan.describe(), outcome.problems.join(QLatin1Char(' '))));
            } else if (outcome.problems.isEmpty()) {
                ++tally.survived;
                if (verbose)
                    say(QStringLiteral("ok %1: %2").arg(plan.describe(), outcome.effect));
            } else {
                ++tally.lost;
                anyLoss = true;
                say(QStringLiteral("LOST %1: %2\n  %3\n  flow output: %4")
                        .arg(plan.describe(), outcome.effect, outcome.problems.join(QStringLiteral("\n  ")),
                             outcome.output));
            }
        }
        say(QStringLiteral(
                "%1: %2 injections, %3 survived, %4 lost (clean run %5 ms, %6 met it after its end)")
                .arg(FaultPlan::name(flow), -15)
                .arg(tally.injections)
                .arg(tally.survived)
                .arg(tally.lost)
                .arg(measured)
                .arg(tally.missed) +
            (tally.notRun ? QStringLiteral(", %1 could not be set up").arg(tally.notRun) : QString()));
    }
    QStringList faults = faultsCovered.values();
    faults.sort();
    say(QStringLiteral("faults covered: %1 (%2); kill stages covered: %3")
            .arg(faults.size())
            .arg(faults.join(QStringLiteral(", ")))
            .arg(stagesCovered.size()));
    return anyLoss ? 1 : 0;
}
