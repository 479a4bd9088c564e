// Fuzz entry for the job journals read at start: the input is a journal file as a job cut off
// (or a broken disk) may leave it, settled among real files: a vault image recorded at one
// place, a copy at another, a move's staging folder and a file of the user. Whatever the
// journal says, the settle must end quietly; the journal is settled, kept as it was, or set
// aside whole; no file's content is lost (the Trash may take a duplicate); and the vault record
// names a whole image afterwards.
#include "core/files/JobJournal.h"
#include "core/files/JobRecovery.h"
#include "core/settings/Paths.h"
#include "core/settings/PropertyList.h"
#include "core/settings/Records.h"
#include "core/settings/SettingsKeys.h"
#include "core/settings/SettingsStore.h"
#include "core/vault/DiskImageMetadata.h"
#include "tests/fuzz/FuzzHints.h"
#include "tests/fuzz/FuzzSandbox.h"

#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

// Seeds name the home they were made in; the input's copy of it is this sandbox.
const QByteArray kSeedHome = "/home/user";
const QString kId = QStringLiteral("20260101T000000000-move-00000000");

[[noreturn]] void fail(const char* what)
{
    std::fprintf(stderr, "fuzz_journal: %s\n", what);
    std::abort();
}

bool writeFile(const QString& path, const QByteArray& bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

QByteArray readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QString image(const QString& folder)
{
    return FuzzSandbox::home() + QLatin1Char('/') + folder + QStringLiteral("/Mail.sparsebundle");
}

void makeImage(const QString& path, const QByteArray& content)
{
    DiskImageMetadata meta;
    meta.volumeName = QStringLiteral("Mail");
    meta.capacity = 1 << 30;
    meta.encryption = QStringLiteral("AES-256");
    meta.format = QStringLiteral("sparsebundle");
    QDir().mkpath(path);
    if (!meta.write(path) ||
        !writeFile(DiskImageMetadata::cipherPath(path) + QStringLiteral("/gocryptfs.conf"), "{}") ||
        !writeFile(DiskImageMetadata::cipherPath(path) + QStringLiteral("/Qm9keQ"), content))
        fail("cannot build the sandbox");
}

// The contents of the user's files: everything but the journals, the settings and staging
// folders (which a settle may remove: they hold its own partial copies).
QList<QByteArray> contents()
{
    QList<QByteArray> found;
    QDirIterator it(FuzzSandbox::home(), QDir::Files | QDir::Hidden | QDir::System | QDir::NoSymLinks,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        if (path.startsWith(Paths::jobsFolder()) || path.startsWith(Paths::settingsFolder()) ||
            path.contains(QStringLiteral(".zorvane-move")))
            continue;
        found.append(QCryptographicHash::hash(readFile(path), QCryptographicHash::Sha256));
    }
    std::sort(found.begin(), found.end());
    return found;
}

// An input that isn't a journal file is read as a journal's fields, one a line (kind, stage,
// name, old path, new path), so the settle also meets many well-formed journals with odd values.
QByteArray journalOf(const QByteArray& input)
{
    if (input.startsWith('<') || input.startsWith("bplist"))
        return input;
    static const char* const keys[] = {"kind", "stage", "name", "oldpath", "newpath"};
    const QList<QByteArray> lines = input.split('\n');
    QVariantMap fields;
    for (int i = 0; i < 5 && i < lines.size(); ++i)
        fields.insert(QString::fromLatin1(keys[i]), QString::fromUtf8(lines.at(i)));
    return PropertyList::toXml(fields);
}

} // namespace

FuzzHints fuzzHints()
{
    return {
        "fuzz_journal",
        {"<key>stage</key>",
         "<string>copying</string>",
         "<string>copied</string>",
         "<string>switched</string>",
         "<key>kind</key>",
         "<string>move</string>",
         "<key>oldpath</key>",
         "<key>newpath</key>",
         "<key>name</key>",
         "<string>Mail</string>",
         "/home/user/Zorvane/Mail.sparsebundle",
         "/home/user/Other/Mail.sparsebundle",
         "/home/user/Documents",
         "/home/user/Documents/keep.txt",
         "/..",
         "/./",
         "//",
         "<string></string>",
         "<dict>",
         "</dict>",
         "<array>",
         "</array>",
         "<true/>",
         "\n",
         "/home/user/Other/.Mail.sparsebundle.zorvane-move",
         "/home/user/Zorvane",
         "Mail_0",
         "Mail/.."},
        {"move\ncopying\nMail\n/home/user/Zorvane/Mail.sparsebundle\n/home/user/Other/Mail.sparsebundle\n",
         "move\ncopied\nMail\n/home/user/Zorvane/Mail.sparsebundle\n/home/user/Other/Mail.sparsebundle\n",
         "move\nswitched\nMail\n/home/user/Other/Mail.sparsebundle\n/home/user/Zorvane/Mail.sparsebundle\n"}};
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QString& home = FuzzSandbox::home();
    FuzzSandbox::reset();
    makeImage(image(QStringLiteral("Zorvane")), "mail, the recorded image");
    makeImage(image(QStringLiteral("Other")), "mail, a copy at the new place");
    writeFile(home + QStringLiteral("/Other/.Mail.sparsebundle.zorvane-move/Image.plist"), "partial");
    writeFile(home + QStringLiteral("/Documents/keep.txt"), "the only copy of the user's notes");
    SettingsStore settings(SettingsStore::kZorvaneDomain);
    Records(settings).setEntry(SettingsKeys::VaultItem, QStringLiteral("Mail"),
                               image(QStringLiteral("Zorvane")));
    Records(settings).addStartupItem(image(QStringLiteral("Zorvane")));

    QByteArray journal = journalOf(QByteArray(reinterpret_cast<const char*>(data), qsizetype(size)));
    journal.replace(kSeedHome, QFile::encodeName(home));
    const QString path = JobJournal::journalPath(kId);
    if (!writeFile(path, journal))
        fail("cannot write the input");
    const QList<QByteArray> before = contents();

    int trashed = 0;
    const MoveToTrash trash = [&](const QString& item, QString*) {
        const QString to = home + QStringLiteral("/.trash/%1").arg(++trashed);
        QDir().mkpath(QFileInfo(to).absolutePath());
        return QFile::rename(item, to) || QDir().rename(item, to);
    };
    const JobSettler::Report report = JobRecovery::settler().settle({&settings, trash});

    const int outcomes = int(report.settled.contains(kId)) + int(report.kept.contains(kId)) +
                         int(report.setAside.contains(kId));
    if (outcomes != 1 || !report.live.isEmpty())
        fail("the journal was not settled, kept or set aside");
    if (report.kept.contains(kId) && readFile(path) != journal)
        fail("a kept journal changed");
    if (report.setAside.contains(kId) &&
        (QFile::exists(path) || readFile(path + JobSettler::kUnreadableSuffix) != journal))
        fail("a journal set aside was not kept whole");
    if (report.settled.contains(kId) && QFile::exists(path))
        fail("a settled journal stayed");

    const QList<QByteArray> after = contents();
    for (const QByteArray& content : before)
        if (!after.contains(content))
            fail("the content of a file was lost");
    const QString recorded = Records(settings).entry(SettingsKeys::VaultItem, QStringLiteral("Mail"));
    if (!DiskImageMetadata::isImage(recorded))
        fail("the vault record names no whole image");
    return 0;
}
