// Fuzz entry for the settings reader: the input is a domain file as it may be found on disk
// (hand-edited, cut short, written by something else). Reading it through every kind of getter
// and then writing one key must end quietly; the input's bytes must survive (as the file, or set
// aside beside it when they are not a property list), and a write must leave every value that
// readers saw before exactly as it was.
#include "core/settings/Paths.h"
#include "core/settings/PropertyList.h"
#include "core/settings/Records.h"
#include "core/settings/SettingsKeys.h"
#include "core/settings/SettingsStore.h"
#include "tests/fuzz/FuzzHints.h"
#include "tests/fuzz/FuzzSandbox.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

const QString kWrittenKey = QStringLiteral("zv-fuzz-written");

[[noreturn]] void fail(const char* what)
{
    std::fprintf(stderr, "fuzz_settings: %s\n", what);
    std::abort();
}

qint64 wholeSeconds(const QDateTime& t)
{
    const qint64 ms = t.toMSecsSinceEpoch();
    return ms >= 0 ? ms / 1000 : -((-ms + 999) / 1000);
}

// Values as a reader compares them. NaN equals itself, so a stored NaN isn't a change; a date
// counts to the second, all the XML form holds (a binary file may carry fractions); a value of
// a type no reader can read (a binary file's UID) is written back as an empty string.
bool sameValue(const QVariant& a, const QVariant& b)
{
    if (!a.isValid() && b.typeId() == QMetaType::QString && b.toString().isEmpty())
        return true;
    if (a.typeId() != b.typeId())
        return false;
    switch (a.typeId()) {
    case QMetaType::QVariantMap: {
        const QVariantMap x = a.toMap();
        const QVariantMap y = b.toMap();
        if (x.size() != y.size())
            return false;
        for (auto it = x.cbegin(); it != x.cend(); ++it)
            if (!y.contains(it.key()) || !sameValue(it.value(), y.value(it.key())))
                return false;
        return true;
    }
    case QMetaType::QVariantList: {
        const QVariantList x = a.toList();
        const QVariantList y = b.toList();
        if (x.size() != y.size())
            return false;
        for (qsizetype i = 0; i < x.size(); ++i)
            if (!sameValue(x.at(i), y.at(i)))
                return false;
        return true;
    }
    case QMetaType::Double:
        return (std::isnan(a.toDouble()) && std::isnan(b.toDouble())) || a.toDouble() == b.toDouble();
    case QMetaType::QDateTime:
        return wholeSeconds(a.toDateTime()) == wholeSeconds(b.toDateTime());
    default:
        return a == b;
    }
}

QByteArray readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

FuzzHints fuzzHints()
{
    return {
        "fuzz_settings",
        {"<dict>",
         "</dict>",
         "<array>",
         "</array>",
         "<key>vaultitem</key>",
         "<key>StartupItem</key>",
         "<key>redirectitem</key>",
         "<string>",
         "</string>",
         "<integer>-1</integer>",
         "<integer>18446744073709551615</integer>",
         "<real>1e308</real>",
         "<real>nan</real>",
         "<true/>",
         "<false/>",
         "<date>2001-01-01T00:00:00Z</date>",
         "<date>9999-12-31T23:59:59Z</date>",
         "<data>AAEC</data>",
         "<data>",
         "&amp;",
         "&#1;",
         "&lt;",
         "\x01",
         "\xc3\xa4",
         "\xff",
         "bplist00",
         "<?xml version=\"1.0\" encoding=\"UTF-8\"?>",
         "<plist version=\"1.0\">",
         "</plist>"},
        {QByteArray(),
         "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist "
         "version=\"1.0\">\n<dict>\n\t<key>vaultitem</key>\n"
         "\t<dict>\n\t\t<key>Data</key>\n\t\t<string>/home/user/Zorvane/Data.sparsebundle</string>\n\t</"
         "dict>\n"
         "\t<key>StartupItem</key>\n\t<array>\n\t\t<string>/home/user/Zorvane/Data.sparsebundle</string>\n"
         "\t</array>\n</dict>\n</plist>\n"}};
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzSandbox::home();
    FuzzSandbox::reset();
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    const QString file = Paths::settingsFile(SettingsStore::kZorvaneDomain);
    QDir().mkpath(Paths::settingsFolder());
    {
        QFile out(file);
        if (!out.open(QIODevice::WriteOnly) || out.write(bytes) != bytes.size())
            fail("cannot write the input");
    }

    // What every reader sees.
    const std::optional<QVariant> parsed = PropertyList::fromData(bytes);
    const bool isDomain = parsed && parsed->typeId() == QMetaType::QVariantMap;
    const QVariantMap before = isDomain ? parsed->toMap() : QVariantMap();

    SettingsStore store(SettingsStore::kZorvaneDomain);
    store.addSuiteNamed(SettingsStore::kStatusDomain);
    for (const QString& key :
         before.keys() + QStringList{SettingsKeys::VaultItem, SettingsKeys::StartupItem}) {
        if (!sameValue(store.objectForKey(key), before.value(key)))
            fail("a reader saw another value than the file holds");
        store.dictionaryForKey(key);
        store.stringArrayForKey(key);
        store.stringForKey(key);
        store.boolForKey(key);
    }
    Records records(store);
    records.startupItems();
    records.uniqueVaultName(QStringLiteral("Data"));
    records.list(SettingsKeys::RedirectItem);

    if (!store.setObject(QStringLiteral("written"), kWrittenKey))
        fail("a write failed");
    const std::optional<QVariant> after = PropertyList::fromData(readFile(file));
    if (!after || after->typeId() != QMetaType::QVariantMap)
        fail("the store wrote a file it can't read back");
    QVariantMap expected = before;
    expected.insert(kWrittenKey, QStringLiteral("written"));
    if (!sameValue(*after, expected)) {
        if (isDomain)
            fail("a write changed values it did not write");
        fail("a write of a fresh file holds more than the written key");
    }

    // Bytes that were not a domain are kept beside it, whole.
    const QStringList aside =
        QDir(Paths::settingsFolder())
            .entryList({QFileInfo(file).fileName() + QStringLiteral(".corrupt-*")}, QDir::Files);
    if (isDomain || bytes.isEmpty()) {
        if (!aside.isEmpty())
            fail("a readable file was set aside");
    } else if (aside.size() != 1 ||
               readFile(QDir(Paths::settingsFolder()).filePath(aside.first())) != bytes) {
        fail("a corrupt file was not kept whole");
    }
    return 0;
}
