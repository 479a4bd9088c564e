// Runs the fuzz entry on seed documents and a bounded number of deterministic mutations of
// them, so the decipher-and-parse path is exercised in every test run without libFuzzer.
// usage: fuzz_catalogue_driver [-runs=N] [-seconds=S] [-seed=N] [FILE...]
// Files given are run once each (to reproduce a finding) and added to the seeds.
#include <QByteArray>
#include <QElapsedTimer>
#include <QFile>
#include <QList>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <random>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace {

const char* const kTokens[] = {"<appcategory>",
                               "</appcategory>",
                               "<app ",
                               "/>",
                               "<app name=\"x\" libpath=\"$homelib/a\"/>",
                               "<",
                               ">",
                               "</",
                               "\"",
                               "=",
                               "&amp;",
                               "&#0;",
                               "&#x10FFFF;",
                               "&e;",
                               "<!DOCTYPE a [<!ENTITY e \"xx\">]>",
                               "<![CDATA[",
                               "]]>",
                               "<!--",
                               "-->",
                               "<?xml version=\"1.0\"?>",
                               "xmlns:p=\"urn:x\" ",
                               "p:",
                               " text=\"t\"",
                               "\xef\xbb\xbf",
                               "\xff\xfe",
                               "\xc3",
                               "\r\n"};

QList<QByteArray> builtInSeeds()
{
    return {
        "<appcategory><app name=\"A\" processname=\"a|b\" libpath=\"$homelib/a\" apppath=\"/x|/y\" "
        "issymlink=\"1\" "
        "isui=\"0\" infor=\"i\"/><app name=\"B\"/></appcategory>",
        "<a x=\"1\"><b/><b/></a>",
        "<a>one<b>two</b>three<b/></a>",
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<!-- c --><appcategory app=\"s\"><app/></appcategory>",
        "<!DOCTYPE r [<!ENTITY e \"&f;&f;\"><!ENTITY f \"ab\">]><r>&e;<![CDATA[<x>]]></r>",
        QByteArray(),
    };
}

QByteArray mutate(QByteArray input, const QList<QByteArray>& seeds, std::mt19937& rng)
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
            input.insert(at, kTokens[rng() % (sizeof(kTokens) / sizeof(kTokens[0]))]);
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

void run(const QByteArray& input)
{
    LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(input.constData()), size_t(input.size()));
}

} // namespace

int main(int argc, char** argv)
{
    long runs = 20000;
    double seconds = 3.0;
    unsigned seed = 7;
    QList<QByteArray> seeds = builtInSeeds();
    for (int i = 1; i < argc; ++i) {
        if (std::strncmp(argv[i], "-runs=", 6) == 0) {
            runs = std::strtol(argv[i] + 6, nullptr, 10);
        } else if (std::strncmp(argv[i], "-seconds=", 9) == 0) {
            seconds = std::strtod(argv[i] + 9, nullptr);
        } else if (std::strncmp(argv[i], "-seed=", 6) == 0) {
            seed = unsigned(std::strtoul(argv[i] + 6, nullptr, 10));
        } else {
            QFile file(QString::fromLocal8Bit(argv[i]));
            if (!file.open(QIODevice::ReadOnly)) {
                std::fprintf(stderr, "cannot read %s\n", argv[i]);
                return 2;
            }
            seeds.append(file.readAll());
        }
    }

    for (const QByteArray& s : seeds)
        run(s);
    std::mt19937 rng(seed);
    QElapsedTimer clock;
    clock.start();
    long done = 0;
    for (; done < runs && clock.elapsed() < qint64(seconds * 1000); ++done)
        run(mutate(seeds.at(qsizetype(rng() % quint64(seeds.size()))), seeds, rng));
    std::printf("fuzz_catalogue: %lld seeds and %ld mutated inputs, no fault\n", qlonglong(seeds.size()),
                done);
    return 0;
}
