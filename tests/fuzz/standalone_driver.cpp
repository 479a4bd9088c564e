// Runs a fuzz entry on seed documents and a bounded number of deterministic mutations of
// them, so the entry is exercised in every test run without libFuzzer.
// usage: <fuzz program> [-runs=N] [-seconds=S] [-seed=N] [FILE|FOLDER...]
// Files given (and the files in folders given) are run once each, to reproduce a finding, and
// added to the seeds.
#include "tests/fuzz/FuzzHints.h"

#include <QByteArray>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QList>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <random>
#include <unistd.h>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace {

QByteArray mutate(QByteArray input, const QList<QByteArray>& seeds, const QList<QByteArray>& tokens,
                  std::mt19937& rng)
{
    const auto pick = [&rng](qsizetype n) {
        return n <= 0 ? qsizetype(0) : qsizetype(rng() % quint64(n));
    };
    const int steps = 1 + int(rng() % 4);
    for (int s = 0; s < steps; ++s) {
        const qsizetype at = pick(input.size() + 1);
        switch (rng() % 7) {
        case 0:
            if (!input.isEmpty()) {
                const qsizetype i = pick(input.size());
                input[i] = char(input.at(i) ^ (1 << (rng() % 8)));
            }
            break;
        case 1:
            input.insert(at, char(rng() % 256));
            break;
        case 2:
            input.remove(at, pick(16) + 1);
            break;
        case 3: {
            const qsizetype len = pick(64) + 1;
            input.insert(at, input.mid(pick(input.size()), len));
            break;
        }
        case 4:
            if (!tokens.isEmpty())
                input.insert(at, tokens.at(pick(tokens.size())));
            break;
        case 5: {
            const QByteArray& other = seeds.at(pick(seeds.size()));
            input = input.left(at) + other.mid(pick(other.size()));
            break;
        }
        default: {
            // Repeat a slice: deep nesting and long lists.
            const QByteArray slice = input.mid(at, pick(24) + 1);
            input.insert(at, slice.repeated(int(pick(300)) + 1));
            break;
        }
        }
        if (input.size() > 256 * 1024)
            input.truncate(256 * 1024);
    }
    return input;
}

// The input being run, kept where a fatal signal's handler can write it out for replay.
const QByteArray* g_current = nullptr;
char g_crashFile[256] = {};

void saveInput(int sig)
{
    if (g_current) {
        const int fd = ::open(g_crashFile, O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (fd >= 0) {
            (void)!::write(fd, g_current->constData(), size_t(g_current->size()));
            ::close(fd);
        }
    }
    ::signal(sig, SIG_DFL);
    ::raise(sig);
}

void run(const QByteArray& input)
{
    g_current = &input;
    LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(input.constData()), size_t(input.size()));
    g_current = nullptr;
}

bool addSeedFile(const QString& path, QList<QByteArray>& seeds)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "cannot read %s\n", qPrintable(path));
        return false;
    }
    seeds.append(file.readAll());
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    long runs = 20000;
    double seconds = 3.0;
    unsigned seed = 7;
    const FuzzHints hints = fuzzHints();
    QList<QByteArray> seeds = hints.seeds;
    for (int i = 1; i < argc; ++i) {
        if (std::strncmp(argv[i], "-runs=", 6) == 0) {
            runs = std::strtol(argv[i] + 6, nullptr, 10);
        } else if (std::strncmp(argv[i], "-seconds=", 9) == 0) {
            seconds = std::strtod(argv[i] + 9, nullptr);
        } else if (std::strncmp(argv[i], "-seed=", 6) == 0) {
            seed = unsigned(std::strtoul(argv[i] + 6, nullptr, 10));
        } else if (const QString path = QString::fromLocal8Bit(argv[i]); QFileInfo(path).isDir()) {
            for (const QString& name : QDir(path).entryList(QDir::Files | QDir::Hidden, QDir::Name))
                if (!addSeedFile(QDir(path).filePath(name), seeds))
                    return 2;
        } else if (!addSeedFile(path, seeds)) {
            return 2;
        }
    }
    if (seeds.isEmpty())
        seeds.append(QByteArray());
    // A finding is written to <name>-crash in the working folder; give that file to replay it.
    std::snprintf(g_crashFile, sizeof g_crashFile, "%s-crash", hints.name);
    for (int sig : {SIGABRT, SIGSEGV, SIGBUS, SIGFPE, SIGILL})
        ::signal(sig, saveInput);

    for (const QByteArray& s : seeds)
        run(s);
    std::mt19937 rng(seed);
    QElapsedTimer clock;
    clock.start();
    long done = 0;
    for (; done < runs && clock.elapsed() < qint64(seconds * 1000); ++done)
        run(mutate(seeds.at(qsizetype(rng() % quint64(seeds.size()))), seeds, hints.tokens, rng));
    std::printf("%s: %lld seeds and %ld mutated inputs, no fault\n", hints.name, qlonglong(seeds.size()),
                done);
    return 0;
}
