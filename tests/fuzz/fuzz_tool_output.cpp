// Fuzz entry for what the programs read from the disk-image tool: its output streams as they
// arrive in chunks (progress lines, messages, property lists), its property-list answers, and
// an image's description file. Whatever the tool prints, reading must end quietly; a valid
// text frames into the same messages however the pipe cuts it; and an image description is
// accepted only with a volume name that is one path component, so its mount point can't
// leave the volumes folder.
#include "core/settings/Paths.h"
#include "core/settings/PropertyList.h"
#include "core/vault/AttachDiskImageController.h"
#include "core/vault/DiskImageMetadata.h"
#include "core/vault/ToolMessageStream.h"
#include "tests/fuzz/FuzzHints.h"
#include "tests/fuzz/FuzzSandbox.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <QStringDecoder>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

[[noreturn]] void fail(const char* what)
{
    std::fprintf(stderr, "fuzz_tool_output: %s\n", what);
    std::abort();
}

// Chunk lengths taken from the input itself, so a finding replays the same cuts.
QList<QByteArray> chunked(const QByteArray& bytes)
{
    QList<QByteArray> chunks;
    quint32 state = 2166136261u;
    for (char c : bytes)
        state = (state ^ quint8(c)) * 16777619u;
    for (qsizetype at = 0; at < bytes.size();) {
        state = state * 1103515245u + 12345u;
        const qsizetype length = 1 + qsizetype((state >> 16) % 97);
        chunks.append(bytes.mid(at, length));
        at += length;
    }
    return chunks;
}

QStringList frame(const QList<QByteArray>& chunks)
{
    ToolMessageStream stream;
    QStringList messages;
    for (const QByteArray& chunk : chunks)
        for (auto m = stream.parseNextMessage(chunk); m; m = stream.parseNextMessage())
            messages.append(*m);
    return messages;
}

// Every value of the tree that isn't a list or a dictionary, as text.
QSet<QString> leafTexts(const QVariant& value)
{
    QSet<QString> texts;
    if (value.typeId() == QMetaType::QVariantMap) {
        for (const QVariant& v : value.toMap())
            texts.unite(leafTexts(v));
    } else if (value.typeId() == QMetaType::QVariantList) {
        for (const QVariant& v : value.toList())
            texts.unite(leafTexts(v));
    } else {
        texts.insert(value.toString());
    }
    return texts;
}

bool isValidUtf8(const QByteArray& bytes)
{
    QStringDecoder decoder(QStringDecoder::Utf8);
    const QString text = decoder.decode(bytes); // decoding happens on conversion
    return !decoder.hasError();
}

} // namespace

FuzzHints fuzzHints()
{
    return {"fuzz_tool_output",
            {"PERCENT:",
             "PERCENT:-1.000000\n",
             "PERCENT:2147483648\n",
             "MESSAGE:",
             "hdiutil:",
             "\n",
             "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n",
             "</plist>\n",
             "<key>images</key>",
             "<key>image-path</key>",
             "<key>system-entities</key>",
             "<key>mount-point</key>",
             "<key>VolumeName</key>",
             "<string>..</string>",
             "<string>a/b</string>",
             "<string>../../x</string>",
             "<string>/</string>",
             "<string></string>",
             "<key>Capacity</key>",
             "<integer>-5</integer>",
             "<array>",
             "</array>",
             "<dict>",
             "</dict>",
             "\xe2\x82",
             "\xac",
             "\xff"},
            {}};
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzSandbox::home();
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    const QList<QByteArray> chunks = chunked(bytes);

    // However the pipe cuts a valid text, it frames into the same messages.
    const QStringList whole = frame({bytes});
    if (isValidUtf8(bytes) && frame(chunks) != whole)
        fail("chunking changed the messages");

    // The attach's readers over both streams.
    AttachDiskImageController runner;
    for (const QByteArray& chunk : chunks) {
        runner.processStandardOutput(chunk);
        runner.processStandardError(chunk);
    }

    // A property-list answer: the mount point found is one the listing names.
    if (const std::optional<QVariant> plist = PropertyList::fromData(bytes)) {
        const QVariantList images = plist->toMap().value(QStringLiteral("images")).toList();
        const QString path = images.isEmpty()
                                 ? QStringLiteral("/x.sparsebundle")
                                 : images.first().toMap().value(QStringLiteral("image-path")).toString();
        const QString mountPoint = runner.getMountPointWithDiskImage(path, *plist);
        if (!mountPoint.isEmpty() && !leafTexts(*plist).contains(mountPoint))
            fail("a mount point the listing doesn't name");
    }

    // The description of an image.
    const QString image = FuzzSandbox::home() + QStringLiteral("/Vault.sparsebundle");
    QDir().mkpath(image);
    QFile description(DiskImageMetadata::metadataPath(image));
    if (!description.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
        description.write(bytes) != bytes.size())
        fail("cannot write the input");
    description.close();
    if (const std::optional<DiskImageMetadata> meta = DiskImageMetadata::read(image)) {
        if (!Paths::isValidVaultName(meta->volumeName) || meta->capacity <= 0)
            fail("an image description with an unusable volume name or capacity was accepted");
        if (QFileInfo(Paths::mountPoint(meta->volumeName)).absolutePath() !=
            QDir::cleanPath(Paths::volumesRoot()))
            fail("a mount point outside the volumes folder");
    }
    return 0;
}
