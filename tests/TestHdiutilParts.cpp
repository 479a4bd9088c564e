#include "core/vault/DiskImageMetadata.h"
#include "core/vault/VaultVolume.h"
#include "tests/support/TestPaths.h"
#include "tools/hdiutil/KeyCheck.h"
#include "tools/hdiutil/PasswordInput.h"
#include "tools/hdiutil/SizeText.h"
#include "tools/hdiutil/ToolArguments.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <unistd.h>

// The pieces of the disk-image tool that need no mount: sizes, command lines, the framing of
// passwords on standard input, the password check and the image description.
class TestHdiutilParts : public QObject
{
    Q_OBJECT

private:
    // A fresh encrypted folder made by the engine itself, with a cheap key derivation.
    static bool initCipherFolder(const QString& folder, const QByteArray& password)
    {
        QDir().mkpath(folder);
        QProcess p;
        p.start(QStringLiteral("gocryptfs"), {QStringLiteral("-init"), QStringLiteral("-q"),
                                              QStringLiteral("-scryptn"), QStringLiteral("10"), folder});
        p.waitForStarted();
        p.write(password + '\n');
        p.closeWriteChannel();
        return p.waitForFinished(30000) && p.exitCode() == 0;
    }

private Q_SLOTS:
    void sizes_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<qint64>("bytes"); // -1: refused
        const qint64 k = 1024, m = k * k, g = m * k;
        QTest::newRow("20G") << "20G" << 20 * g;
        QTest::newRow("4.2G") << "4.2G" << qint64(4.2 * double(g));
        QTest::newRow("570M") << "570M" << 570 * m;
        QTest::newRow("100M") << "100M" << 100 * m;
        QTest::newRow("500MB") << "500MB" << 500 * m;
        QTest::newRow("35.2GB") << "35.2GB" << qint64(35.2 * double(g));
        QTest::newRow("2GB") << "2GB" << 2 * g;
        QTest::newRow("lower case") << "1gb" << g;
        QTest::newRow("terabytes") << "1T" << 1024 * g;
        QTest::newRow("plain bytes") << "4096" << qint64(4096);
        QTest::newRow("zero") << "0G" << qint64(-1);
        QTest::newRow("negative") << "-1G" << qint64(-1);
        QTest::newRow("unknown unit") << "12Q" << qint64(-1);
        QTest::newRow("unit only") << "GB" << qint64(-1);
        QTest::newRow("empty") << "" << qint64(-1);
        QTest::newRow("two dots") << "1.2.3G" << qint64(-1);
        QTest::newRow("overflow") << "999999999999999T" << qint64(-1);
    }
    void sizes()
    {
        QFETCH(QString, text);
        QFETCH(qint64, bytes);
        const std::optional<qint64> parsed = SizeText::parse(text);
        if (bytes < 0)
            QVERIFY2(!parsed, qPrintable(QString::number(parsed.value_or(0))));
        else
            QCOMPARE(parsed.value_or(-1), bytes);
    }

    void commandLines_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("error"); // empty: accepted
        const QString img = QStringLiteral("/v/Data.sparsebundle");
        QTest::newRow("create") << QStringList{"create",     "-puppetstrings",
                                               "-stdinpass", "-encryption",
                                               "AES-256",    "-size",
                                               "20G",        "-fs",
                                               "HFS+",       "-layout",
                                               "NONE",       "-volname",
                                               "Data",       img}
                                << QString();
        QTest::newRow("first mount") << QStringList{"mount", "-stdinpass", img} << QString();
        QTest::newRow("mount") << QStringList{"mount", img, "-plist", "-puppetstrings", "-stdinpass"}
                               << QString();
        QTest::newRow("info") << QStringList{"info", "-plist"} << QString();
        QTest::newRow("isencrypted") << QStringList{"isencrypted", img, "-plist"} << QString();
        QTest::newRow("imageinfo") << QStringList{"imageinfo", img, "-plist", "-stdinpass"} << QString();
        QTest::newRow("chpass") << QStringList{"chpass", img, "-oldstdinpass", "-newstdinpass"} << QString();
        QTest::newRow("resize") << QStringList{"resize", img, "-size", "2GB", "-stdinpass"} << QString();
        QTest::newRow("detach") << QStringList{"detach", "/m/Data", "-force"} << QString();
        QTest::newRow("no verb") << QStringList{} << "no verb";
        QTest::newRow("unknown verb") << QStringList{"frobnicate"} << "verb not recognized";
        QTest::newRow("unknown option") << QStringList{"mount", img, "-bogus"} << "unknown option -bogus";
        QTest::newRow("option of another verb") << QStringList{"info", "-force"} << "unknown option -force";
        QTest::newRow("value missing")
            << QStringList{"resize", img, "-stdinpass", "-size"} << "needs a value";
        QTest::newRow("no image") << QStringList{"mount", "-stdinpass"} << "exactly one path";
        QTest::newRow("two images") << QStringList{"mount", img, img} << "exactly one path";
        QTest::newRow("operand for info") << QStringList{"info", img} << "unexpected argument";
        QTest::newRow("half of chpass") << QStringList{"chpass", img, "-oldstdinpass"} << "go together";
    }
    void commandLines()
    {
        QFETCH(QStringList, args);
        QFETCH(QString, error);
        QString message;
        const std::optional<ToolArguments> parsed = ToolArguments::parse(args, &message);
        QCOMPARE(parsed.has_value(), error.isEmpty());
        QVERIFY2(message.contains(error), qPrintable(message));
    }

    void passwordFraming_data()
    {
        QTest::addColumn<QByteArray>("input");
        QTest::addColumn<bool>("closeInput");
        QTest::addColumn<QList<QByteArray>>("pieces"); // then no more
        QTest::newRow("raw then end") << QByteArray("secret") << true << QList<QByteArray>{"secret"};
        QTest::newRow("zero framed, pipe left open")
            << QByteArray("secret\0", 7) << false << QList<QByteArray>{"secret"};
        QTest::newRow("old and new") << QByteArray("old\0new\0", 8) << true
                                     << QList<QByteArray>{"old", "new"};
        QTest::newRow("licence answer")
            << QByteArray("pw\0Y\n\0", 6) << true << QList<QByteArray>{"pw", "Y\n"};
        QTest::newRow("utf-8 kept as is")
            << QByteArray("p\xc3\xa4ss\0", 6) << true << QList<QByteArray>{QByteArray("p\xc3\xa4ss")};
        QTest::newRow("shell line feed dropped") << QByteArray("pw\n") << true << QList<QByteArray>{"pw"};
        QTest::newRow("empty framed") << QByteArray("\0", 1) << true << QList<QByteArray>{""};
        QTest::newRow("nothing") << QByteArray() << true << QList<QByteArray>{};
    }
    void passwordFraming()
    {
        QFETCH(QByteArray, input);
        QFETCH(bool, closeInput);
        QFETCH(QList<QByteArray>, pieces);
        int fds[2];
        QCOMPARE(::pipe(fds), 0);
        QCOMPARE(::write(fds[1], input.constData(), size_t(input.size())), ssize_t(input.size()));
        if (closeInput)
            ::close(fds[1]);
        PasswordInput in(fds[0]);
        for (const QByteArray& expected : pieces)
            QCOMPARE(in.next().value_or("<none>"), expected);
        // With the pipe still open, asking for more would block: the reader must not have
        // consumed beyond the pieces asked for.
        if (closeInput)
            QVERIFY(!in.next());
        else
            ::close(fds[1]);
        ::close(fds[0]);
    }

    void passwordRefusals_data()
    {
        QTest::addColumn<QByteArray>("password");
        QTest::addColumn<QString>("refusal");
        QTest::newRow("fine") << QByteArray("a b\tc\r") << QString();
        QTest::newRow("empty") << QByteArray() << "must not be empty";
        QTest::newRow("line break") << QByteArray("ab\ncd") << "line break";
        QTest::newRow("too long") << QByteArray(PasswordInput::maxLength + 1, 'x') << "longer than";
        QTest::newRow("longest") << QByteArray(PasswordInput::maxLength, 'x') << QString();
    }
    void passwordRefusals()
    {
        QFETCH(QByteArray, password);
        QFETCH(QString, refusal);
        const QString got = PasswordInput::refusal(password);
        QCOMPARE(got.isEmpty(), refusal.isEmpty());
        QVERIFY2(got.contains(refusal), qPrintable(got));
    }

    void keyCheck_data()
    {
        QTest::addColumn<QByteArray>("password");
        QTest::addColumn<QByteArray>("tried");
        QTest::addColumn<int>("result");
        QTest::newRow("right") << QByteArray("correct horse") << QByteArray("correct horse")
                               << int(KeyCheck::Result::Correct);
        QTest::newRow("wrong") << QByteArray("correct horse") << QByteArray("correct hors")
                               << int(KeyCheck::Result::Wrong);
        QTest::newRow("non-ASCII right")
            << QString::fromUtf8("pässwörd✓ 密码").toUtf8() << QString::fromUtf8("pässwörd✓ 密码").toUtf8()
            << int(KeyCheck::Result::Correct);
        QTest::newRow("other normalisation")
            << QString::fromUtf8("pässwörd").toUtf8() << QString::fromUtf8("pa\u0308sswörd").toUtf8()
            << int(KeyCheck::Result::Wrong);
    }
    void keyCheck()
    {
        QFETCH(QByteArray, password);
        QFETCH(QByteArray, tried);
        QFETCH(int, result);
        QTemporaryDir dir;
        QVERIFY(initCipherFolder(dir.filePath(QStringLiteral("c")), password));
        QCOMPARE(int(KeyCheck::check(dir.filePath(QStringLiteral("c/gocryptfs.conf")), tried)), result);
    }

    void keyCheckUnreadable_data()
    {
        QTest::addColumn<QByteArray>("config");
        QTest::newRow("not json") << QByteArray("garbage");
        QTest::newRow("no key") << QByteArray(
            R"({"ScryptObject":{"Salt":"AAAA","N":1024,"R":8,"P":1,"KeyLen":32}})");
        QTest::newRow("absurd cost") << QByteArray(
            R"({"EncryptedKey":"AAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAA=",)"
            R"("ScryptObject":{"Salt":"AAAA","N":1073741824,"R":8,"P":1,"KeyLen":32}})");
    }
    void keyCheckUnreadable()
    {
        QFETCH(QByteArray, config);
        QTemporaryDir dir;
        QFile f(dir.filePath(QStringLiteral("gocryptfs.conf")));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(config);
        f.close();
        QCOMPARE(KeyCheck::check(f.fileName(), "pw"), KeyCheck::Result::Unreadable);
        QCOMPARE(KeyCheck::check(dir.filePath(QStringLiteral("missing")), "pw"),
                 KeyCheck::Result::Unreadable);
    }

    void metadataRoundTrip()
    {
        QTemporaryDir dir;
        const QString image = dir.filePath(QStringLiteral("My Vault.sparseimage"));
        DiskImageMetadata m;
        m.volumeName = QStringLiteral("My Vault");
        m.capacity = 37795712204;
        m.encryption = QStringLiteral("AES-128");
        m.format = DiskImageMetadata::formatOfPath(image);
        m.fileSystem = QStringLiteral("HFS+");
        m.licenseAgreement = true;
        QVERIFY(m.write(image));
        QCOMPARE(QFile(DiskImageMetadata::metadataPath(image)).permissions() & QFileDevice::ReadOther,
                 QFileDevice::Permissions());
        const std::optional<DiskImageMetadata> back = DiskImageMetadata::read(image);
        QVERIFY(back);
        QCOMPARE(back->volumeName, m.volumeName);
        QCOMPARE(back->capacity, m.capacity);
        QCOMPARE(back->encryption, QStringLiteral("AES-128"));
        QCOMPARE(back->format, QStringLiteral("sparseimage"));
        QVERIFY(back->licenseAgreement);
        // Without an initialised encrypted folder it is not an image yet.
        QVERIFY(!DiskImageMetadata::isImage(image));
        QVERIFY(initCipherFolder(DiskImageMetadata::cipherPath(image), "pw"));
        QVERIFY(DiskImageMetadata::isImage(image));
        QCOMPARE(DiskImageMetadata::imageOfCipherFolder(DiskImageMetadata::cipherPath(image)),
                 QDir::cleanPath(image));
        QCOMPARE(DiskImageMetadata::imageOfCipherFolder(image), QString());
    }

    void metadataRefusesForeignFiles_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::newRow("not a plist") << QByteArray("hello");
        QTest::newRow("array") << QByteArray(
            "<?xml version=\"1.0\"?><plist version=\"1.0\"><array/></plist>");
        QTest::newRow("no capacity") << QByteArray(
            "<?xml version=\"1.0\"?><plist version=\"1.0\"><dict><key>VolumeName</key>"
            "<string>x</string></dict></plist>");
        // The volume name makes the mount point: one that isn't a single path component would
        // have mounted the vault outside the volumes folder.
        for (const char* name : {"../../.ssh", "a/b", "..", "."})
            QTest::addRow("volume name %s", name)
                << QByteArray(
                       "<?xml version=\"1.0\"?><plist version=\"1.0\"><dict><key>VolumeName</key><string>") +
                       name + "</string><key>Capacity</key><integer>1000</integer></dict></plist>";
    }
    void metadataRefusesForeignFiles()
    {
        QFETCH(QByteArray, content);
        QTemporaryDir dir;
        const QString image = dir.filePath(QStringLiteral("x.dmg"));
        QDir().mkpath(image);
        QFile f(DiskImageMetadata::metadataPath(image));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(content);
        f.close();
        QString error;
        QVERIFY(!DiskImageMetadata::read(image, &error));
        QVERIFY(!error.isEmpty());
    }

    void imageFormats_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("format");
        QTest::newRow("bundle") << "/a/Data.sparsebundle"
                                << "sparsebundle";
        QTest::newRow("sparse") << "/a/Data.sparseimage"
                                << "sparseimage";
        QTest::newRow("dmg, trailing slash") << "/a/Data.dmg/"
                                             << "dmg";
        QTest::newRow("no name") << "/a/.dmg" << QString();
        QTest::newRow("other") << "/a/Data.iso" << QString();
    }
    void imageFormats()
    {
        QFETCH(QString, path);
        QFETCH(QString, format);
        QCOMPARE(DiskImageMetadata::formatOfPath(path), format);
    }

    void bytesStoredCountsFilesNotLinks()
    {
        QTemporaryDir dir;
        QDir().mkpath(dir.filePath(QStringLiteral("a/b")));
        QFile f1(dir.filePath(QStringLiteral("a/one")));
        QVERIFY(f1.open(QIODevice::WriteOnly));
        f1.write(QByteArray(1000, 'x'));
        f1.close();
        QFile f2(dir.filePath(QStringLiteral("a/b/two")));
        QVERIFY(f2.open(QIODevice::WriteOnly));
        f2.write(QByteArray(24, 'y'));
        f2.close();
        // A link to a huge folder outside must count as the link, never as its target.
        QVERIFY(QFile::link(QStringLiteral("/usr"), dir.filePath(QStringLiteral("a/usr"))));
        QCOMPARE(VaultVolume::bytesStored(dir.filePath(QStringLiteral("a"))), qint64(1000 + 24 + 4));
        QCOMPARE(VaultVolume::bytesStored(dir.filePath(QStringLiteral("missing"))), qint64(0));
    }

    void mountedVaultsComeFromTheMountTable()
    {
        QTemporaryDir dir;
        const QString image = dir.filePath(QStringLiteral("V.sparsebundle"));
        DiskImageMetadata m;
        m.volumeName = QStringLiteral("V");
        m.capacity = 1 << 20;
        QVERIFY(m.write(image));
        QDir().mkpath(DiskImageMetadata::cipherPath(image));
        const QByteArray cipher =
            QFile::encodeName(DiskImageMetadata::cipherPath(image)).replace(' ', "\\040");
        const QByteArray info = "40 1 0:39 / /m/V rw - fuse.gocryptfs " + cipher +
                                " rw\n"
                                "41 1 0:40 / /m/raw rw - fuse.gocryptfs /tmp/elsewhere/cipher rw\n"
                                "42 1 0:41 / /m/other rw - ext4 " +
                                cipher + " rw\n";
        const QList<MountEntry> mounts = MountTable::parse(info);
        const QList<MountedVault> vaults = VaultVolume::mountedVaults(mounts);
        QCOMPARE(vaults.size(), 1);
        QCOMPARE(vaults.first().imagePath, QFileInfo(image).canonicalFilePath());
        QCOMPARE(vaults.first().mountPoint, QStringLiteral("/m/V"));
        QVERIFY(VaultVolume::mountOfImage(image + QStringLiteral("/"), mounts));
        QVERIFY(VaultVolume::vaultAtMountPoint(QStringLiteral("/m/V/"), mounts));
        QVERIFY(!VaultVolume::vaultAtMountPoint(QStringLiteral("/m/raw"), mounts));
    }
};

QTEST_GUILESS_MAIN(TestHdiutilParts)
#include "TestHdiutilParts.moc"
