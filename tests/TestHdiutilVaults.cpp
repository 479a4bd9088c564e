#include "core/settings/Paths.h"
#include "core/settings/PropertyList.h"
#include "core/vault/DiskImageMetadata.h"
#include "core/vault/VaultVolume.h"
#include "tests/support/TestPaths.h"

#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTest>
#include <sys/stat.h>

namespace {

struct ToolRun
{
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};

const qint64 kGiB = 1024LL * 1024 * 1024;

} // namespace

// The disk-image tool run as the programs run it, against real encrypted vaults mounted with
// gocryptfs in the test's private home.
class TestHdiutilVaults : public QObject
{
    Q_OBJECT

private:
    QString m_vaults; // folder holding the images
    QStringList m_tmpfs;

    // Vaults this test's home mounted; other sessions on the machine may have their own.
    static QList<MountedVault> ownMountedVaults()
    {
        const QString home = QDir(Paths::home()).canonicalPath() + QLatin1Char('/');
        QList<MountedVault> own;
        for (const MountedVault& v : VaultVolume::mountedVaults()) {
            if (v.imagePath.startsWith(home) || v.mountPoint.startsWith(home))
                own.append(v);
        }
        return own;
    }

    static ToolRun tool(const QStringList& args, const QByteArray& input = {},
                        const QProcessEnvironment& env = QProcessEnvironment::systemEnvironment())
    {
        QProcess p;
        p.setProcessEnvironment(env);
        p.start(TestPaths::toolPath(), args);
        if (!p.waitForStarted())
            return {};
        p.write(input);
        p.closeWriteChannel();
        p.waitForFinished(60000);
        return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1, p.readAllStandardOutput(),
                p.readAllStandardError()};
    }

    QString imagePath(const QString& name, const QString& ext = QStringLiteral("sparsebundle")) const
    {
        return m_vaults + QLatin1Char('/') + name + QLatin1Char('.') + ext;
    }

    static QStringList createArgs(const QString& name, const QString& image,
                                  const QString& size = QStringLiteral("100M"))
    {
        return {"create", "-puppetstrings", "-stdinpass", "-encryption", "AES-128",  "-size", size,
                "-fs",    "HFS+",           "-layout",    "NONE",        "-volname", name,    image};
    }

    QString createVault(const QString& name, const QByteArray& password,
                        const QString& ext = QStringLiteral("sparsebundle"))
    {
        const QString image = imagePath(name, ext);
        const ToolRun r = tool(createArgs(name, image), password);
        return r.exitCode == 0 ? image : QString();
    }

    static ToolRun mountVault(const QString& image, const QByteArray& password)
    {
        return tool({"mount", image, "-plist", "-puppetstrings", "-stdinpass"}, password + '\0');
    }

    static QVariantMap plistOf(const QByteArray& out)
    {
        const qsizetype start = out.indexOf("<?xml");
        return start < 0 ? QVariantMap()
                         : PropertyList::fromData(out.mid(start)).value_or(QVariant()).toMap();
    }

    static QString mountPointOf(const QVariantMap& plist)
    {
        return plist.value("system-entities").toList().value(0).toMap().value("mount-point").toString();
    }

    // The images info lists that this test's home holds or mounted (other sessions on the
    // machine may have theirs mounted too).
    static QMap<QString, QString> imagesInInfo()
    {
        const QString home = QDir(Paths::home()).canonicalPath() + QLatin1Char('/');
        QMap<QString, QString> images;
        const ToolRun r = tool({"info", "-plist"});
        for (const QVariant& v : plistOf(r.out).value("images").toList()) {
            const QVariantMap m = v.toMap();
            const QString image = m.value("image-path").toString();
            const QString mountPoint = mountPointOf(m);
            if (image.startsWith(home) || mountPoint.startsWith(home))
                images.insert(image, mountPoint);
        }
        return images;
    }

    static bool isMounted(const QString& mountPoint)
    {
        for (const MountEntry& m : MountTable::read())
            if (m.mountPoint == mountPoint)
                return true;
        return false;
    }

    // Everything under the home that a failed command must leave alone: path, type, size,
    // mode and a hash of the content.
    static QStringList snapshot()
    {
        QStringList lines;
        QDirIterator it(Paths::home(), QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                        QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QString path = it.next();
            if (path.contains(QStringLiteral("/.cache")) || path.contains(QStringLiteral("/keyrings")))
                continue;
            const QFileInfo fi = it.fileInfo();
            QString line = path + QStringLiteral(" %1 %2").arg(fi.size()).arg(int(fi.permissions()));
            QFile f(path);
            if (fi.isFile() && f.open(QIODevice::ReadOnly))
                line += QString::fromLatin1(
                    QCryptographicHash::hash(f.readAll(), QCryptographicHash::Sha1).toHex());
            lines.append(line);
        }
        lines.sort();
        return lines;
    }

    static void compareSnapshots(const QStringList& now, const QStringList& before)
    {
        QStringList added, removed;
        for (const QString& l : now)
            if (!before.contains(l))
                added.append(l);
        for (const QString& l : before)
            if (!now.contains(l))
                removed.append(l);
        QVERIFY2(
            added.isEmpty() && removed.isEmpty(),
            qPrintable(QStringLiteral("added: %1\nremoved: %2").arg(added.join('\n'), removed.join('\n'))));
    }

    static void verifyRefusal(const ToolRun& r)
    {
        QVERIFY2(r.exitCode > 0, r.err.constData());
        QVERIFY2(r.err.startsWith("hdiutil: "), r.err.constData());
    }

    static void writeFile(const QString& path, const QByteArray& data)
    {
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        QCOMPARE(f.write(data), data.size());
    }

    static QByteArray readFile(const QString& path)
    {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<unreadable>");
    }

    // Every byte sequence of the password's encodings that must never be visible.
    static bool processTableShows(const QByteArray& password)
    {
        const QStringList pids = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs);
        for (const QString& pid : pids) {
            if (!pid.front().isDigit())
                continue;
            for (const char* what : {"/cmdline", "/environ"}) {
                QFile f(QStringLiteral("/proc/") + pid + QLatin1String(what));
                if (f.open(QIODevice::ReadOnly) && f.readAll().contains(password))
                    return true;
            }
        }
        return false;
    }

    // Runs the tool and scans every process's command line and environment while it runs.
    static bool toolLeaksPassword(const QStringList& args, const QByteArray& input,
                                  const QByteArray& password, int* exitCode)
    {
        QProcess p;
        p.start(TestPaths::toolPath(), args);
        p.waitForStarted();
        bool leaked = processTableShows(password);
        p.write(input);
        p.closeWriteChannel();
        while (!p.waitForFinished(2))
            leaked = processTableShows(password) || leaked;
        *exitCode = p.exitCode();
        return leaked || processTableShows(password);
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(TestPaths::homeIsPrivate());
        if (QStandardPaths::findExecutable(QStringLiteral("gocryptfs")).isEmpty() ||
            !QFile::exists("/dev/fuse"))
            QSKIP("gocryptfs and FUSE are needed");
        // Cheap key derivation for the folders the tests make; read only by the tool.
        qputenv("ZV_HDIUTIL_SCRYPTN", "10");
        m_vaults = Paths::home() + QStringLiteral("/Zorvane");
        QVERIFY(QDir().mkpath(m_vaults));
    }

    void cleanup()
    {
        // Unmount whatever a test mounted, even when it failed half-way.
        for (const MountEntry& m : MountTable::read()) {
            if (m.mountPoint.startsWith(Paths::home()) && m.fsType == QStringLiteral("fuse.gocryptfs"))
                QProcess::execute(QStringLiteral("fusermount3"), {"-u", "-z", m.mountPoint});
        }
        for (const QString& t : std::as_const(m_tmpfs))
            QProcess::execute(QStringLiteral("umount"), {"-l", t});
        m_tmpfs.clear();
        QDir(m_vaults).removeRecursively();
        QDir(Paths::volumesRoot()).removeRecursively();
        QDir().mkpath(m_vaults);
    }

    void createMountWriteDetachMountAgain_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("ext");
        QTest::addColumn<QByteArray>("password");
        QTest::addColumn<QString>("size");
        QTest::addColumn<qint64>("capacity");
        QTest::newRow("sparse bundle") << "Data"
                                       << "sparsebundle" << QByteArray("secret") << "20G" << 20 * kGiB;
        QTest::newRow("non-ASCII password, DVD size")
            << "Mail"
            << "sparseimage" << QString::fromUtf8("pässwörd✓ 密码").toUtf8() << "4.2G"
            << qint64(4.2 * double(kGiB));
        QTest::newRow("name with spaces, custom size")
            << "My Vault"
            << "dmg" << QByteArray("with spaces \\ and \"quotes\"") << "500MB" << 500LL * 1024 * 1024;
    }
    void createMountWriteDetachMountAgain()
    {
        QFETCH(QString, name);
        QFETCH(QString, ext);
        QFETCH(QByteArray, password);
        QFETCH(QString, size);
        QFETCH(qint64, capacity);
        const QString image = imagePath(name, ext);

        ToolRun r = tool(createArgs(name, image, size), password);
        QVERIFY2(r.exitCode == 0, r.err.constData());
        // Progress readers take the number between ':' and '.' of each line.
        const QList<QByteArray> lines = r.out.trimmed().split('\n');
        QVERIFY(!lines.isEmpty());
        for (const QByteArray& line : lines)
            QVERIFY2(
                QRegularExpression("^PERCENT:-?\\d+\\.\\d{6}$").match(QString::fromLatin1(line)).hasMatch(),
                line.constData());
        QCOMPARE(lines.last(), QByteArray("PERCENT:100.000000"));
        const std::optional<DiskImageMetadata> meta = DiskImageMetadata::read(image);
        QVERIFY(meta);
        QCOMPARE(meta->volumeName, name);
        QCOMPARE(meta->capacity, capacity);
        QCOMPARE(meta->encryption, QStringLiteral("AES-128"));
        QCOMPARE(meta->format, ext);
        QCOMPARE(QDir(m_vaults).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
                 QStringList{QFileInfo(image).fileName()});

        // First attach after creation: raw password, end of input.
        r = tool({"mount", "-stdinpass", image}, password);
        QVERIFY2(r.exitCode == 0, r.err.constData());
        const QString mountPoint = Paths::mountPoint(name);
        QVERIFY(isMounted(mountPoint));
        struct stat st;
        QCOMPARE(::stat(QFile::encodeName(Paths::volumesRoot()).constData(), &st), 0);
        QCOMPARE(st.st_mode & 0777, 0700u);
        QCOMPARE(::stat(QFile::encodeName(mountPoint).constData(), &st), 0);
        QCOMPARE(st.st_mode & 0777, 0700u);
        QDir().mkpath(mountPoint + QStringLiteral("/Mail/INBOX"));
        writeFile(mountPoint + QStringLiteral("/Mail/INBOX/1.eml"), QByteArray(200000, 'm'));
        // Nothing in plain text reaches the image.
        QDirIterator cipherFiles(DiskImageMetadata::cipherPath(image), QDir::Files,
                                 QDirIterator::Subdirectories);
        while (cipherFiles.hasNext())
            QVERIFY(!cipherFiles.next().contains(QStringLiteral("eml")));

        r = tool({"detach", mountPoint});
        QVERIFY2(r.exitCode == 0, r.err.constData());
        QVERIFY(!isMounted(mountPoint));
        QVERIFY2(!QFileInfo::exists(mountPoint), "a locked vault leaves no mount-point folder");

        r = mountVault(image, password);
        QVERIFY2(r.exitCode == 0, r.err.constData());
        QVERIFY(r.out.endsWith("</plist>\n"));
        QVERIFY(r.out.contains("PERCENT:100.000000\n"));
        QCOMPARE(mountPointOf(plistOf(r.out)), mountPoint);
        QCOMPARE(readFile(mountPoint + QStringLiteral("/Mail/INBOX/1.eml")), QByteArray(200000, 'm'));

        // Attaching again answers with the existing mount, but only for the right password.
        r = mountVault(image, password);
        QCOMPARE(r.exitCode, 0);
        QCOMPARE(mountPointOf(plistOf(r.out)), mountPoint);
        verifyRefusal(mountVault(image, password + "x"));

        const QMap<QString, QString> info = imagesInInfo();
        QCOMPARE(info.value(QFileInfo(image).canonicalFilePath()), mountPoint);

        r = tool({"isencrypted", image, "-plist"});
        QCOMPARE(r.exitCode, 0);
        QCOMPARE(plistOf(r.out).value("encrypted"), QVariant(true));
        r = tool({"imageinfo", image, "-plist", "-stdinpass"}, password + '\0');
        QCOMPARE(r.exitCode, 0);
        QCOMPARE(plistOf(r.out).value("Properties").toMap().value("Software License Agreement"),
                 QVariant(false));

        QCOMPARE(tool({"detach", mountPoint}).exitCode, 0);
    }

    void wrongPasswordChangesNothing_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QByteArray>("input");
        QTest::newRow("first mount") << QStringList{"mount", "-stdinpass", "$IMG"} << QByteArray("wrong");
        QTest::newRow("mount") << QStringList{"mount", "$IMG", "-plist", "-puppetstrings", "-stdinpass"}
                               << QByteArray("wrong\0", 6);
        QTest::newRow("prefix of the password")
            << QStringList{"mount", "$IMG", "-stdinpass"} << QByteArray("righ\0", 5);
        QTest::newRow("imageinfo") << QStringList{"imageinfo", "$IMG", "-plist", "-stdinpass"}
                                   << QByteArray("wrong\0", 6);
        QTest::newRow("resize") << QStringList{"resize", "$IMG", "-size", "2GB", "-stdinpass"}
                                << QByteArray("wrong\0", 6);
        QTest::newRow("chpass") << QStringList{"chpass", "$IMG", "-oldstdinpass", "-newstdinpass"}
                                << QByteArray("wrong\0new\0", 10);
    }
    void wrongPasswordChangesNothing()
    {
        QFETCH(QStringList, args);
        QFETCH(QByteArray, input);
        const QString image = createVault(QStringLiteral("Data"), "right");
        QVERIFY(!image.isEmpty());
        args.replaceInStrings(QStringLiteral("$IMG"), image);
        const QStringList before = snapshot();
        verifyRefusal(tool(args, input));
        compareSnapshots(snapshot(), before);
        QVERIFY(ownMountedVaults().isEmpty());
        QCOMPARE(tool({"imageinfo", image, "-stdinpass"}, "right\0").exitCode, 0);
    }

    void badInputChangesNothing_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QByteArray>("input");
        QTest::addColumn<QString>("setup");
        QTest::addColumn<QString>("message");
        const QByteArray pw("right\0", 6);
        QTest::newRow("unknown verb") << QStringList{"frobnicate", "$IMG"} << pw << ""
                                      << "verb not recognized";
        QTest::newRow("unknown option")
            << QStringList{"mount", "$IMG", "-plist", "-bogus", "-stdinpass"} << pw << ""
            << "unknown option";
        QTest::newRow("missing image")
            << QStringList{"mount", "$HOME/none.sparsebundle", "-stdinpass"} << pw << ""
            << "No such file";
        QTest::newRow("plain folder")
            << QStringList{"mount", "$HOME/Plain.sparsebundle", "-stdinpass"} << pw << "plain"
            << "not a vault";
        QTest::newRow("plain folder, isencrypted")
            << QStringList{"isencrypted", "$HOME/Plain.sparsebundle", "-plist"} << QByteArray() << "plain"
            << "not a vault";
        QTest::newRow("create over an image") << createArgs("Data", "$IMG") << QByteArray("pw") << ""
                                              << "File exists";
        QTest::newRow("create, bad size")
            << createArgs("New", "$VAULTS/New.dmg", "12Q") << QByteArray("pw") << ""
            << "invalid size";
        QTest::newRow("create, no image extension")
            << createArgs("New", "$VAULTS/New") << QByteArray("pw") << ""
            << "must end in";
        QTest::newRow("create, name with a slash")
            << createArgs("a/b", "$VAULTS/New.dmg") << QByteArray("pw") << ""
            << "invalid volume name";
        QTest::newRow("create, empty password") << createArgs("New", "$VAULTS/New.dmg") << QByteArray() << ""
                                                << "must not be empty";
        QTest::newRow("create, line break in password")
            << createArgs("New", "$VAULTS/New.dmg") << QByteArray("a\nb") << ""
            << "line break";
        QTest::newRow("create, folder missing")
            << createArgs("New", "$VAULTS/missing/New.dmg") << QByteArray("pw") << ""
            << "No such file";
        QTest::newRow("mount, empty password")
            << QStringList{"mount", "$IMG", "-stdinpass"} << QByteArray("\0", 1) << ""
            << "must not be empty";
        QTest::newRow("mount, no password at all")
            << QStringList{"mount", "$IMG", "-plist"} << QByteArray() << ""
            << "-stdinpass";
        QTest::newRow("mount point taken") << QStringList{"mount", "$IMG", "-stdinpass"} << pw << "taken"
                                           << "taken by something else";
        QTest::newRow("mount point is a link") << QStringList{"mount", "$IMG", "-stdinpass"} << pw << "link"
                                               << "taken by something else";
        QTest::newRow("gocryptfs missing") << QStringList{"mount", "$IMG", "-stdinpass"} << pw << "nopath"
                                           << "gocryptfs is not installed";
        QTest::newRow("FUSE unusable") << QStringList{"mount", "$IMG", "-stdinpass"} << pw << "nofuse"
                                       << "FUSE cannot be used";
        QTest::newRow("chpass, empty new password")
            << QStringList{"chpass", "$IMG", "-oldstdinpass", "-newstdinpass"} << QByteArray("right\0\0", 7)
            << ""
            << "must not be empty";
        QTest::newRow("chpass, new password missing")
            << QStringList{"chpass", "$IMG", "-oldstdinpass", "-newstdinpass"} << pw << ""
            << "old and the new";
        QTest::newRow("resize, bad size")
            << QStringList{"resize", "$IMG", "-size", "0GB", "-stdinpass"} << pw << ""
            << "invalid size";
        QTest::newRow("detach, nothing there") << QStringList{"detach", "$HOME/.local"} << QByteArray() << ""
                                               << "no attached vault";
    }
    void badInputChangesNothing()
    {
        QFETCH(QStringList, args);
        QFETCH(QByteArray, input);
        QFETCH(QString, setup);
        QFETCH(QString, message);
        const QString image = createVault(QStringLiteral("Data"), "right");
        QVERIFY(!image.isEmpty());
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        if (setup == QStringLiteral("plain")) {
            QDir().mkpath(Paths::home() + QStringLiteral("/Plain.sparsebundle"));
            writeFile(Paths::home() + QStringLiteral("/Plain.sparsebundle/notes.txt"), "mine");
        } else if (setup == QStringLiteral("taken")) {
            QVERIFY(Paths::ensureVolumesRoot());
            QDir().mkpath(Paths::mountPoint(QStringLiteral("Data")));
            writeFile(Paths::mountPoint(QStringLiteral("Data")) + QStringLiteral("/someone-elses"), "data");
        } else if (setup == QStringLiteral("link")) {
            QVERIFY(Paths::ensureVolumesRoot());
            QVERIFY(QFile::link(m_vaults, Paths::mountPoint(QStringLiteral("Data"))));
        } else if (setup == QStringLiteral("nopath")) {
            env.insert(QStringLiteral("PATH"), QStringLiteral("/nonexistent-bin"));
        } else if (setup == QStringLiteral("nofuse")) {
            env.insert(QStringLiteral("ZV_HDIUTIL_FUSE_DEVICE"), Paths::home() + QStringLiteral("/no-fuse"));
        }
        args.replaceInStrings(QStringLiteral("$IMG"), image);
        args.replaceInStrings(QStringLiteral("$VAULTS"), m_vaults);
        args.replaceInStrings(QStringLiteral("$HOME"), Paths::home());
        const QStringList before = snapshot();
        const ToolRun r = tool(args, input, env);
        verifyRefusal(r);
        QVERIFY2(r.err.contains(message.toUtf8()), r.err.constData());
        compareSnapshots(snapshot(), before);
        QVERIFY(ownMountedVaults().isEmpty());
    }

    void changedPasswordReplacesTheOld()
    {
        const QByteArray oldPw("old password");
        const QByteArray newPw = QString::fromUtf8("neues Passwört ✓").toUtf8();
        const QString image = createVault(QStringLiteral("Data"), oldPw);
        QVERIFY(!image.isEmpty());
        QCOMPARE(mountVault(image, oldPw).exitCode, 0);
        writeFile(Paths::mountPoint(QStringLiteral("Data")) + QStringLiteral("/keep"), "kept");
        // The password can change while the vault is attached.
        ToolRun r = tool({"chpass", image, "-oldstdinpass", "-newstdinpass"}, oldPw + '\0' + newPw + '\0');
        QVERIFY2(r.exitCode == 0, r.err.constData());
        QCOMPARE(tool({"detach", Paths::mountPoint(QStringLiteral("Data"))}).exitCode, 0);

        verifyRefusal(tool({"imageinfo", image, "-plist", "-stdinpass"}, oldPw + '\0'));
        verifyRefusal(mountVault(image, oldPw));
        QCOMPARE(tool({"imageinfo", image, "-plist", "-stdinpass"}, newPw + '\0').exitCode, 0);
        r = mountVault(image, newPw);
        QVERIFY2(r.exitCode == 0, r.err.constData());
        QCOMPARE(readFile(Paths::mountPoint(QStringLiteral("Data")) + QStringLiteral("/keep")),
                 QByteArray("kept"));
    }

    void resizeKeepsWhatIsStored()
    {
        const QString image = createVault(QStringLiteral("Data"), "pw");
        QVERIFY(!image.isEmpty());
        QCOMPARE(mountVault(image, "pw").exitCode, 0);
        const QString mountPoint = Paths::mountPoint(QStringLiteral("Data"));
        writeFile(mountPoint + QStringLiteral("/big"), QByteArray(3 * 1024 * 1024, 'b'));

        std::optional<VaultSpace> space = VaultVolume::spaceAtMountPoint(mountPoint);
        QVERIFY(space);
        QCOMPARE(space->capacity, 100LL * 1024 * 1024);
        QVERIFY(space->used >= 3 * 1024 * 1024);
        QCOMPARE(space->free, space->capacity - space->used);
        QCOMPARE(tool({"detach", mountPoint}).exitCode, 0);

        const QByteArray metaBefore = readFile(DiskImageMetadata::metadataPath(image));
        ToolRun r = tool({"resize", image, "-size", "2MB", "-stdinpass"}, QByteArray("pw\0", 3));
        verifyRefusal(r);
        QVERIFY2(r.err.contains("stored"), r.err.constData());
        QCOMPARE(readFile(DiskImageMetadata::metadataPath(image)), metaBefore);

        r = tool({"resize", image, "-size", QStringLiteral("%1%2").arg(2).arg("GB"), "-stdinpass"},
                 QByteArray("pw\0", 3));
        QVERIFY2(r.exitCode == 0, r.err.constData());
        QCOMPARE(DiskImageMetadata::read(image)->capacity, 2 * kGiB);

        // Larger than the disk: the disk's free space is the limit.
        r = tool({"resize", image, "-size", "900000GB", "-stdinpass"}, QByteArray("pw\0", 3));
        QVERIFY2(r.exitCode == 0, r.err.constData());
        space = VaultVolume::spaceOfImage(image);
        QVERIFY(space);
        const qint64 disk = VaultVolume::diskFree(image).value_or(-1);
        QVERIFY(qAbs(space->free - disk) < 64 * 1024 * 1024);
        QVERIFY(space->free < space->capacity - space->used);
    }

    void detachRefusesWhileFilesAreOpen()
    {
        const QString image = createVault(QStringLiteral("Data"), "pw");
        QVERIFY(!image.isEmpty());
        QCOMPARE(mountVault(image, "pw").exitCode, 0);
        const QString mountPoint = Paths::mountPoint(QStringLiteral("Data"));
        writeFile(mountPoint + QStringLiteral("/open"), "busy");

        QProcess holder;
        holder.start(TestPaths::helper(QStringLiteral("hdiutil_holder")),
                     {mountPoint + QStringLiteral("/open")});
        QVERIFY(holder.waitForReadyRead(10000));
        QCOMPARE(holder.readLine(), QByteArray("ready\n"));

        ToolRun r = tool({"detach", mountPoint});
        verifyRefusal(r);
        QVERIFY2(r.err.contains("hdiutil_holder"), r.err.constData());
        QVERIFY2(r.err.contains(QByteArray::number(holder.processId())), r.err.constData());
        QVERIFY(isMounted(mountPoint));
        QCOMPARE(readFile(mountPoint + QStringLiteral("/open")), QByteArray("busy"));

        r = tool({"detach", mountPoint, "-force"});
        QVERIFY2(r.exitCode == 0, r.err.constData());
        QVERIFY(!isMounted(mountPoint));
        QVERIFY(!QFileInfo::exists(mountPoint));
        holder.closeWriteChannel();
        QVERIFY(holder.waitForFinished(10000));

        // The data written before the forced detach is still there.
        QCOMPARE(mountVault(image, "pw").exitCode, 0);
        QCOMPARE(readFile(mountPoint + QStringLiteral("/open")), QByteArray("busy"));
    }

    void infoListsExactlyTheAttached()
    {
        QStringList images;
        for (const QString& name : {QStringLiteral("One"), QStringLiteral("Two"), QStringLiteral("Three")}) {
            images.append(createVault(name, "pw"));
            QVERIFY(!images.last().isEmpty());
        }
        QVERIFY(imagesInInfo().isEmpty());
        QCOMPARE(mountVault(images[0], "pw").exitCode, 0);
        QCOMPARE(mountVault(images[2], "pw").exitCode, 0);
        // An encrypted folder mounted by hand is not a vault image.
        const QString raw = Paths::home() + QStringLiteral("/raw");
        QDir().mkpath(raw + QStringLiteral("/c"));
        QDir().mkpath(raw + QStringLiteral("/m"));
        QProcess init;
        init.start("gocryptfs", {"-init", "-q", "-scryptn", "10", raw + "/c"});
        init.write("pw\n");
        init.closeWriteChannel();
        QVERIFY(init.waitForFinished() && init.exitCode() == 0);
        QProcess mount;
        mount.start("gocryptfs", {"-q", raw + "/c", raw + "/m"});
        mount.write("pw\n");
        mount.closeWriteChannel();
        QVERIFY(mount.waitForFinished() && mount.exitCode() == 0);

        QMap<QString, QString> expected{{images[0], Paths::mountPoint("One")},
                                        {images[2], Paths::mountPoint("Three")}};
        QCOMPARE(imagesInInfo(), expected);
        QCOMPARE(tool({"detach", Paths::mountPoint("One")}).exitCode, 0);
        expected.remove(images[0]);
        QCOMPARE(imagesInInfo(), expected);
        // Detaching by image path works as well.
        QCOMPARE(tool({"detach", images[2]}).exitCode, 0);
        QVERIFY(imagesInInfo().isEmpty());
    }

    void passwordsNeverInProcessTable_data()
    {
        QTest::addColumn<QString>("verb");
        QTest::newRow("create") << "create";
        QTest::newRow("mount") << "mount";
        QTest::newRow("imageinfo") << "imageinfo";
        QTest::newRow("chpass") << "chpass";
        QTest::newRow("resize") << "resize";
    }
    void passwordsNeverInProcessTable()
    {
        QFETCH(QString, verb);
        const QByteArray pw("Zq8-unique-vault-password-4711");
        const QByteArray newPw("Zq8-another-unique-password-0815");
        const QString image = imagePath(QStringLiteral("Data"));
        int exitCode = -1;
        if (verb == QStringLiteral("create")) {
            QVERIFY(!toolLeaksPassword(createArgs("Data", image), pw, pw, &exitCode));
            QCOMPARE(exitCode, 0);
            return;
        }
        QVERIFY(!createVault(QStringLiteral("Data"), pw).isEmpty());
        if (verb == QStringLiteral("mount")) {
            QVERIFY(!toolLeaksPassword({"mount", image, "-plist", "-puppetstrings", "-stdinpass"}, pw + '\0',
                                       pw, &exitCode));
            QCOMPARE(exitCode, 0);
            // Nor in the file system daemon that stays behind.
            QVERIFY(!processTableShows(pw));
        } else if (verb == QStringLiteral("imageinfo")) {
            QVERIFY(
                !toolLeaksPassword({"imageinfo", image, "-plist", "-stdinpass"}, pw + '\0', pw, &exitCode));
            QCOMPARE(exitCode, 0);
        } else if (verb == QStringLiteral("chpass")) {
            QVERIFY(!toolLeaksPassword({"chpass", image, "-oldstdinpass", "-newstdinpass"},
                                       pw + '\0' + newPw + '\0', newPw, &exitCode));
            QCOMPARE(exitCode, 0);
            QVERIFY(!processTableShows(pw));
        } else {
            QVERIFY(!toolLeaksPassword({"resize", image, "-size", "1GB", "-stdinpass"}, pw + '\0', pw,
                                       &exitCode));
            QCOMPARE(exitCode, 0);
        }
    }

    void licenceMustBeAccepted()
    {
        const QString image = createVault(QStringLiteral("Data"), "pw");
        QVERIFY(!image.isEmpty());
        std::optional<DiskImageMetadata> meta = DiskImageMetadata::read(image);
        meta->licenseAgreement = true;
        QVERIFY(meta->write(image));
        ToolRun r = tool({"imageinfo", image, "-plist", "-stdinpass"}, QByteArray("pw\0", 3));
        QCOMPARE(plistOf(r.out).value("Properties").toMap().value("Software License Agreement"),
                 QVariant(true));
        verifyRefusal(mountVault(image, "pw"));
        QVERIFY(!QFileInfo::exists(Paths::mountPoint(QStringLiteral("Data"))));
        r = tool({"mount", image, "-plist", "-puppetstrings", "-stdinpass"}, QByteArray("pw\0Y\n\0", 6));
        QVERIFY2(r.exitCode == 0, r.err.constData());
        QVERIFY(isMounted(Paths::mountPoint(QStringLiteral("Data"))));
    }

    void fullDiskLeavesNothingHalfDone()
    {
        const QString small = Paths::home() + QStringLiteral("/small");
        QDir().mkpath(small);
        if (QProcess::execute(QStringLiteral("mount"), {"-t", "tmpfs", "-o", "size=256k", "tmpfs", small}) !=
            0)
            QSKIP("mounting a small file system needs privileges this run does not have");
        m_tmpfs.append(small);
        const QString image = small + QStringLiteral("/Data.sparsebundle");
        ToolRun r = tool(createArgs("Data", image), "pw");
        QVERIFY2(r.exitCode == 0, r.err.constData());
        // Fill the disk to the last block.
        QFile filler(small + QStringLiteral("/filler"));
        QVERIFY(filler.open(QIODevice::WriteOnly));
        while (filler.write(QByteArray(4096, 'f')) == 4096 && filler.flush()) {
        }
        filler.close();
        const QStringList before = snapshot();

        r = tool(createArgs("Other", small + QStringLiteral("/Other.dmg")), "pw");
        verifyRefusal(r);
        r = tool({"resize", image, "-size", "1GB", "-stdinpass"}, QByteArray("pw\0", 3));
        verifyRefusal(r);
        QVERIFY2(r.err.contains("space"), r.err.constData());
        r = tool({"chpass", image, "-oldstdinpass", "-newstdinpass"}, QByteArray("pw\0new\0", 7));
        verifyRefusal(r);
        compareSnapshots(snapshot(), before);
        QCOMPARE(tool({"imageinfo", image, "-stdinpass"}, QByteArray("pw\0", 3)).exitCode, 0);
    }
};

QTEST_GUILESS_MAIN(TestHdiutilVaults)
#include "TestHdiutilVaults.moc"
