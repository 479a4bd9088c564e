// The disk-image tool runner against a scripted stand-in tool (tests/helpers/runner_fake_tool)
// that records its arguments and standard input. The stand-in reads its input to the end
// before it answers, so every case here also proves that the runner closes standard input.
#include "core/settings/PropertyList.h"
#include "core/system/BundleLayout.h"
#include "core/vault/AttachDiskImageController.h"
#include "core/vault/ToolMessageStream.h"
#include "tests/support/TestPaths.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

namespace {

struct ToolRun
{
    QStringList args;
    QByteArray stdinBytes;
};

using Replies = QJsonObject; // command -> {"exit": n, "steps": [...]}

QJsonObject reply(int exitCode, const QJsonArray& steps = {})
{
    return QJsonObject{{"exit", exitCode}, {"steps", steps}};
}

QJsonObject out(const QByteArray& text)
{
    return QJsonObject{{"outBase64", QString::fromLatin1(text.toBase64())}};
}

QJsonObject plistReply(const QVariant& plist, int exitCode = 0)
{
    return reply(exitCode, {out(PropertyList::toXml(plist))});
}

QVariantMap imageInfo(const QVariant& licence)
{
    QVariantMap properties{{QStringLiteral("Encrypted"), true}};
    if (licence.isValid())
        properties.insert(QStringLiteral("Software License Agreement"), licence);
    return QVariantMap{{QStringLiteral("Properties"), properties},
                       {QStringLiteral("Format"), QStringLiteral("UDSB")}};
}

QVariantMap infoImage(const QString& path, const QVariant& entities)
{
    QVariantMap image{{QStringLiteral("image-path"), path}, {QStringLiteral("writeable"), true}};
    if (entities.isValid())
        image.insert(QStringLiteral("system-entities"), entities);
    return image;
}

QVariantMap entity(const QString& mountPoint)
{
    QVariantMap map{{QStringLiteral("volume-kind"), QStringLiteral("encrypted")}};
    if (!mountPoint.isEmpty())
        map.insert(QStringLiteral("mount-point"), mountPoint);
    return map;
}

QVariantMap infoListing(const QVariantList& images)
{
    return QVariantMap{{QStringLiteral("framework"), QStringLiteral("1")},
                       {QStringLiteral("images"), images}};
}

const QString kImage = QStringLiteral("/home/u/Zorvane/Mail Vault.sparsebundle");

} // namespace

class TestAttachDiskImageRunner : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;

    QString logPath() const { return m_dir.filePath(QStringLiteral("runs.jsonl")); }

    void script(const Replies& replies)
    {
        QFile file(m_dir.filePath(QStringLiteral("script.json")));
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(QJsonDocument(replies).toJson());
    }

    QList<ToolRun> runs() const
    {
        QList<ToolRun> result;
        QFile file(logPath());
        if (!file.open(QIODevice::ReadOnly))
            return result;
        while (!file.atEnd()) {
            const QJsonObject record = QJsonDocument::fromJson(file.readLine()).object();
            QStringList args;
            for (const QJsonValue& arg : record.value(QStringLiteral("args")).toArray())
                args << arg.toString();
            result.append(
                {args, QByteArray::fromBase64(record.value(QStringLiteral("stdin")).toString().toLatin1())});
        }
        return result;
    }

    static std::optional<QString> optional(const QVariant& value)
    {
        return value.isValid() ? std::optional<QString>(value.toString()) : std::nullopt;
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        qputenv("ZV_FAKE_TOOL_LOG", logPath().toLocal8Bit());
        qputenv("ZV_FAKE_TOOL_SCRIPT", m_dir.filePath(QStringLiteral("script.json")).toLocal8Bit());
    }

    void init()
    {
        BundleLayout::setDiskImageToolPath(TestPaths::helper(QStringLiteral("runner_fake_tool")));
        QFile::remove(logPath());
        script({});
    }

    void cleanupTestCase() { BundleLayout::setDiskImageToolPath({}); }

    void commandLines_data()
    {
        QTest::addColumn<QString>("command");
        QTest::addColumn<QVariant>("path");
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<QVariant>("password");
        QTest::addColumn<QVariant>("oldPassword");
        QTest::addColumn<QVariant>("newPassword");
        QTest::addColumn<QByteArray>("rawInput");
        QTest::addColumn<QStringList>("expectedArgs");
        QTest::addColumn<QByteArray>("expectedStdin");

        const QString mp = QStringLiteral("/home/u/.local/share/Zorvane/Volumes/Mail Vault");
        const QVariant none;
        const QStringList createOptions{"-puppetstrings", "-stdinpass", "-encryption", "AES-256", "-size",
                                        "100m",           "-fs",        "HFS+",        "-layout", "NONE",
                                        "-volname",       "Mail Vault", kImage};
        QTest::newRow("create, raw password then end of input")
            << "create" << none << createOptions << none << none << none << QByteArray("s3cret")
            << (QStringList{"create"} << createOptions) << QByteArray("s3cret");
        QTest::newRow("first mount after create")
            << "mount" << none << QStringList{"-stdinpass", kImage} << none << none << none
            << QByteArray("s3cret") << QStringList{"mount", "-stdinpass", kImage} << QByteArray("s3cret");
        QTest::newRow("attach with extra options")
            << "mount" << QVariant(kImage) << QStringList{"-plist", "-puppetstrings", "-readonly"}
            << QVariant("pw") << none << none << QByteArray()
            << QStringList{"mount", kImage, "-plist", "-puppetstrings", "-readonly", "-stdinpass"}
            << QByteArray("pw\0", 3);
        QTest::newRow("info") << "info" << none << QStringList{"-plist"} << none << none << none
                              << QByteArray() << QStringList{"info", "-plist"} << QByteArray();
        QTest::newRow("isencrypted") << "isencrypted" << QVariant(kImage) << QStringList{"-plist"} << none
                                     << none << none << QByteArray()
                                     << QStringList{"isencrypted", kImage, "-plist"} << QByteArray();
        QTest::newRow("imageinfo, non-ASCII password as UTF-8")
            << "imageinfo" << QVariant(kImage) << QStringList{"-plist"}
            << QVariant(QStringLiteral("Grüße €🔑")) << none << none << QByteArray()
            << QStringList{"imageinfo", kImage, "-plist", "-stdinpass"}
            << QByteArray("Gr\xc3\xbc\xc3\x9f"
                          "e \xe2\x82\xac\xf0\x9f\x94\x91\0",
                          16);
        QTest::newRow("imageinfo, empty password still framed")
            << "imageinfo" << QVariant(kImage) << QStringList{"-plist"} << QVariant(QString("")) << none
            << none << QByteArray() << QStringList{"imageinfo", kImage, "-plist", "-stdinpass"}
            << QByteArray("\0", 1);
        QTest::newRow("chpass, old then new")
            << "chpass" << QVariant(kImage) << QStringList() << none << QVariant("old pw") << QVariant("néw")
            << QByteArray() << QStringList{"chpass", kImage, "-oldstdinpass", "-newstdinpass"}
            << QByteArray("old pw\0n\xc3\xa9w\0", 12);
        QTest::newRow("all three passwords in order")
            << "chpass" << QVariant(kImage) << QStringList() << QVariant("a") << QVariant("b")
            << QVariant("c") << QByteArray()
            << QStringList{"chpass", kImage, "-stdinpass", "-oldstdinpass", "-newstdinpass"}
            << QByteArray("a\0b\0c\0", 6);
        QTest::newRow("resize") << "resize" << QVariant(kImage) << QStringList{"-size", "20GB"}
                                << QVariant("pw") << none << none << QByteArray()
                                << QStringList{"resize", kImage, "-size", "20GB", "-stdinpass"}
                                << QByteArray("pw\0", 3);
        QTest::newRow("forced detach")
            << "detach" << QVariant(mp) << QStringList{"-force"} << none << none << none << QByteArray()
            << QStringList{"detach", mp, "-force"} << QByteArray();
    }

    void commandLines()
    {
        QFETCH(QString, command);
        QFETCH(QVariant, path);
        QFETCH(QStringList, options);
        QFETCH(QVariant, password);
        QFETCH(QVariant, oldPassword);
        QFETCH(QVariant, newPassword);
        QFETCH(QByteArray, rawInput);
        QFETCH(QStringList, expectedArgs);
        QFETCH(QByteArray, expectedStdin);

        auto task = AttachDiskImageController::hdiutilTaskWithCommand(
            command, optional(path), options, optional(password), optional(oldPassword),
            optional(newPassword));
        QCOMPARE(task->state(), QProcess::NotRunning);
        task->appendStandardInput(rawInput);
        QCOMPARE(task->runToEnd(), 0);

        const QList<ToolRun> recorded = runs();
        QCOMPARE(recorded.size(), 1);
        QCOMPARE(recorded[0].args, expectedArgs);
        QCOMPARE(recorded[0].stdinBytes, expectedStdin);
    }

    void messageFraming_data()
    {
        QTest::addColumn<QByteArrayList>("chunks");
        QTest::addColumn<QStringList>("expected");
        QTest::addColumn<QString>("rest");

        const QByteArray plist =
            "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\">\n<dict>\n"
            "<key>a</key>\n<string>PERCENT:99</string>\n</dict>\n</plist>\n";
        QTest::newRow("lines and a partial one") << QByteArrayList{"PERCENT:1\nMESSAGE:x\npart"}
                                                 << QStringList{"PERCENT:1", "MESSAGE:x"} << "part";
        QTest::newRow("line split over chunks")
            << QByteArrayList{"MESS", "AGE:Attach", "ing\n"} << QStringList{"MESSAGE:Attaching"} << "";
        QTest::newRow("empty line") << QByteArrayList{"\nx\n"} << QStringList{"", "x"} << "";
        QTest::newRow("property list split over chunks")
            << QByteArrayList{plist.left(30), plist.mid(30, plist.size() - 33),
                              plist.right(3) + "PERCENT:5\n"}
            << QStringList{QString::fromUtf8(plist.chopped(1)), "PERCENT:5"} << "";
        QTest::newRow("property list waits for its end")
            << QByteArrayList{plist.chopped(1)} << QStringList() << QString::fromUtf8(plist.chopped(1));
        QTest::newRow("undecodable chunk dropped")
            << QByteArrayList{"a\n", "b\xff\xfe\n", "c\n"} << QStringList{"a", "c"} << "";
        QTest::newRow("character cut between chunks") << QByteArrayList{"MESSAGE:Gr\xc3", "\xbc\xc3\x9f"
                                                                                          "e\n"}
                                                      << QStringList{"MESSAGE:Grüße"} << "";
    }

    void messageFraming()
    {
        QFETCH(QByteArrayList, chunks);
        QFETCH(QStringList, expected);
        QFETCH(QString, rest);

        ToolMessageStream stream;
        QStringList messages;
        for (const QByteArray& chunk : chunks) {
            for (auto message = stream.parseNextMessage(chunk); message; message = stream.parseNextMessage())
                messages << *message;
        }
        QCOMPARE(messages, expected);
        QCOMPARE(stream.buffer(), rest);
    }

    void standardOutput_data()
    {
        QTest::addColumn<QByteArray>("output");
        QTest::addColumn<QString>("expected");

        QTest::newRow("PERCENT 0 keeps the message") << QByteArray("PERCENT:0\n") << "before";
        QTest::newRow("PERCENT 42") << QByteArray("PERCENT:42\n") << "42%";
        QTest::newRow("fractional percent") << QByteArray("PERCENT:42.750000\n") << "42%";
        QTest::newRow("indeterminate percent") << QByteArray("PERCENT:-1.000000\n") << "before";
        QTest::newRow("later zero keeps 42") << QByteArray("PERCENT:42\nPERCENT:0\n") << "42%";
        QTest::newRow("MESSAGE") << QByteArray("MESSAGE:Verifying…\n") << "Verifying…";
        QTest::newRow("tool line") << QByteArray("hdiutil: attach: done\n") << " attach: done";
        QTest::newRow("other lines ignored") << QByteArray("/dev/loop3\tGUID_partition_scheme\n") << "before";
        QTest::newRow("unterminated line waits") << QByteArray("MESSAGE:half") << "before";
        QTest::newRow("lines inside a property list ignored")
            << QByteArray("<?xml version=\"1.0\"?>\n<plist>\nPERCENT:77\n</plist>\n") << "before";
    }

    void standardOutput()
    {
        QFETCH(QByteArray, output);
        QFETCH(QString, expected);

        AttachDiskImageController runner;
        runner.setMessage(QStringLiteral("before"));
        runner.processStandardOutput(output);
        QCOMPARE(runner.message(), expected);
    }

    void standardError_data()
    {
        QTest::addColumn<QByteArray>("output");
        QTest::addColumn<bool>("isError");
        QTest::addColumn<QString>("errorMessage");

        QTest::newRow("tool prefix stripped") << QByteArray("hdiutil: attach failed - Authentication error\n")
                                              << true << " attach failed - Authentication error";
        QTest::newRow("last line wins") << QByteArray("first\nsecond\n") << true << "second";
        QTest::newRow("partial line not yet an error") << QByteArray("hdiutil: att") << false << "";
    }

    void standardError()
    {
        QFETCH(QByteArray, output);
        QFETCH(bool, isError);
        QFETCH(QString, errorMessage);

        AttachDiskImageController runner;
        runner.processStandardError(output);
        QCOMPARE(runner.isError(), isError);
        QCOMPARE(runner.errorMessage(), errorMessage);
    }

    void mountPoint_data()
    {
        QTest::addColumn<QVariant>("info");
        QTest::addColumn<QString>("expected");

        const QString other = QStringLiteral("/home/u/Zorvane/Other.sparsebundle");
        QTest::newRow("mounted") << QVariant(infoListing(
                                        {infoImage(other, QVariantList{entity("/o")}),
                                         infoImage(kImage, QVariantList{entity({}), entity("/v/Mail"),
                                                                        entity("/v/second")})}))
                                 << "/v/Mail";
        QTest::newRow("first entry without entities ends the search")
            << QVariant(
                   infoListing({infoImage(kImage, {}), infoImage(kImage, QVariantList{entity("/v/Mail")})}))
            << "";
        QTest::newRow("entities without mount point: next entry")
            << QVariant(infoListing({infoImage(kImage, QVariantList{entity({})}),
                                     infoImage(kImage, QVariantList{entity("/v/Mail")})}))
            << "/v/Mail";
        QTest::newRow("path compared exactly")
            << QVariant(infoListing({infoImage(kImage + "/", QVariantList{entity("/v/Mail")})})) << "";
        QTest::newRow("nothing attached") << QVariant(infoListing({})) << "";
        QTest::newRow("not a listing") << QVariant(QVariantList{kImage}) << "";
    }

    void mountPoint()
    {
        QFETCH(QVariant, info);
        QFETCH(QString, expected);

        AttachDiskImageController runner;
        QCOMPARE(runner.getMountPointWithDiskImage(kImage, info), expected);
        QVERIFY(runs().isEmpty());
    }

    void mountPointFromLargeListing()
    {
        // About 1 MB of listing: the tool must be able to write it all while the runner waits.
        QVariantList images;
        for (int i = 0; i < 4000; ++i)
            images << infoImage(QStringLiteral("/home/u/Zorvane/V%1.sparsebundle").arg(i),
                                QVariantList{entity(QStringLiteral("/v/V%1").arg(i))});
        images << infoImage(kImage, QVariantList{entity("/v/Mail Vault")});
        script({{"info", plistReply(infoListing(images))}});
        QVERIFY(PropertyList::toXml(infoListing(images)).size() > 1000 * 1000);

        AttachDiskImageController runner;
        QCOMPARE(runner.getMountPointWithDiskImage(kImage), QStringLiteral("/v/Mail Vault"));
        QCOMPARE(runs().value(0).args, (QStringList{"info", "-plist"}));
    }

    void encryptionStatus_data()
    {
        QTest::addColumn<QJsonObject>("toolReply");
        QTest::addColumn<bool>("result");
        QTest::addColumn<bool>("encrypted");

        QTest::newRow("encrypted") << plistReply(QVariantMap{{"encrypted", true}}) << true << true;
        QTest::newRow("not encrypted") << plistReply(QVariantMap{{"encrypted", false}}) << true << false;
        QTest::newRow("key missing") << plistReply(QVariantMap{{"other", true}}) << false << false;
        QTest::newRow("tool fails") << plistReply(QVariantMap{{"encrypted", true}}, 1) << false << false;
        QTest::newRow("no property list") << reply(0, {out("encrypted: yes\n")}) << false << false;
    }

    void encryptionStatus()
    {
        QFETCH(QJsonObject, toolReply);
        QFETCH(bool, result);
        QFETCH(bool, encrypted);

        script({{"isencrypted", toolReply}});
        AttachDiskImageController runner;
        bool value = false;
        QCOMPARE(runner.getDiskImageEncryptionStatus(&value, kImage), result);
        QCOMPARE(value, encrypted);
        QCOMPARE(runs().value(0).args, (QStringList{"isencrypted", kImage, "-plist"}));
        QCOMPARE(runs().value(0).stdinBytes, QByteArray());
    }

    void licenceStatus_data()
    {
        QTest::addColumn<QJsonObject>("toolReply");
        QTest::addColumn<QString>("earlierError");
        QTest::addColumn<bool>("result");
        QTest::addColumn<bool>("licence");

        // The out value starts true, so an untouched value shows as true.
        QTest::newRow("licence") << plistReply(imageInfo(true)) << "" << true << true;
        QTest::newRow("no licence flag") << plistReply(imageInfo(false)) << "" << true << false;
        QTest::newRow("flag absent: untouched") << plistReply(imageInfo({})) << "" << true << true;
        QTest::newRow("flag absent after an earlier error")
            << plistReply(imageInfo({})) << "earlier" << false << true;
        QTest::newRow("flag present after an earlier error")
            << plistReply(imageInfo(false)) << "earlier" << true << false;
        QTest::newRow("wrong password")
            << reply(1, {QJsonObject{{"err", "hdiutil: imageinfo failed\n"}}}) << "" << false << true;
    }

    void licenceStatus()
    {
        QFETCH(QJsonObject, toolReply);
        QFETCH(QString, earlierError);
        QFETCH(bool, result);
        QFETCH(bool, licence);

        script({{"imageinfo", toolReply}});
        AttachDiskImageController runner;
        bool value = true;
        QString error = earlierError;
        QCOMPARE(runner.getDiskImageSLAStatus(&value, kImage, QStringLiteral("pw"), &error), result);
        QCOMPARE(value, licence);
        QCOMPARE(error, earlierError);
        QCOMPARE(runs().value(0).stdinBytes, QByteArray("pw\0", 3));
    }

    void attach_data()
    {
        QTest::addColumn<QJsonObject>("imageinfoReply");
        QTest::addColumn<int>("mountExit");
        QTest::addColumn<QString>("password");
        QTest::addColumn<bool>("attached");
        QTest::addColumn<QByteArray>("mountStdin"); // empty: the mount must not run

        QTest::newRow("plain") << plistReply(imageInfo({})) << 0 << "pw" << true << QByteArray("pw\0", 3);
        QTest::newRow("licence accepted")
            << plistReply(imageInfo(true)) << 0 << "pw" << true << QByteArray("pw\0Y\n\0", 6);
        QTest::newRow("licence flag off")
            << plistReply(imageInfo(false)) << 0 << "pw" << true << QByteArray("pw\0", 3);
        QTest::newRow("empty password")
            << plistReply(imageInfo({})) << 0 << "" << true << QByteArray("\0", 1);
        QTest::newRow("wrong password stops before the attach")
            << reply(1) << 0 << "pw" << false << QByteArray();
        QTest::newRow("attach fails")
            << plistReply(imageInfo({})) << 1 << "pw" << false << QByteArray("pw\0", 3);
    }

    void attach()
    {
        QFETCH(QJsonObject, imageinfoReply);
        QFETCH(int, mountExit);
        QFETCH(QString, password);
        QFETCH(bool, attached);
        QFETCH(QByteArray, mountStdin);

        script({{"imageinfo", imageinfoReply}, {"mount", reply(mountExit)}});
        AttachDiskImageController runner;
        QCOMPARE(runner.realMountDiskImageAtPath(kImage, {"-nobrowse"}, password), attached);

        const QList<ToolRun> recorded = runs();
        QCOMPARE(recorded.value(0).args, (QStringList{"imageinfo", kImage, "-plist", "-stdinpass"}));
        if (mountStdin.isEmpty()) {
            QCOMPARE(recorded.size(), 1);
            return;
        }
        QCOMPARE(recorded.size(), 2);
        QCOMPARE(recorded[1].args,
                 (QStringList{"mount", kImage, "-plist", "-puppetstrings", "-nobrowse", "-stdinpass"}));
        QCOMPARE(recorded[1].stdinBytes, mountStdin);
        QVERIFY(runner.isOver());
    }

    void attachReportsProgressWhileWaiting()
    {
        const QJsonArray steps{
            out("PERCENT:10.5\n"),
            QJsonObject{{"sleepMs", 200}},
            out("MESSAGE:Mount"),
            QJsonObject{{"sleepMs", 100}},
            out("ing\nPERCENT:0\nPERCENT:90\n" + PropertyList::toXml(QVariantMap{{"x", 1}})),
            QJsonObject{{"err", "hdiutil: warning: slow disk\n"}},
            QJsonObject{{"sleepMs", 100}}};
        script({{"imageinfo", plistReply(imageInfo({}))}, {"mount", reply(0, steps)}});

        AttachDiskImageController runner;
        QStringList messages;
        QList<bool> overWhenSeen;
        connect(&runner, &AttachDiskImageController::messageChanged, this, [&](const QString& message) {
            messages << message;
            overWhenSeen << runner.isOver();
        });
        // Stands for the password panel's spinner: it must keep turning during the attach.
        int ticks = 0;
        QTimer spinner;
        connect(&spinner, &QTimer::timeout, this, [&] { ++ticks; });
        spinner.start(20);

        QVERIFY(runner.realMountDiskImageAtPath(kImage, {}, QStringLiteral("pw")));
        QCOMPARE(messages, (QStringList{"10%", "Mounting", "90%"}));
        QCOMPARE(overWhenSeen.value(0), false);
        QVERIFY(ticks > 0);
        QVERIFY(runner.isOver());
        QVERIFY(runner.isError());
        QCOMPARE(runner.errorMessage(), QStringLiteral(" warning: slow disk"));

        // The ended attach leaves the runner with its owner, ready for the next one.
        QVERIFY(runner.task());
        script({{"imageinfo", plistReply(imageInfo({}))}, {"mount", reply(1, {out("MESSAGE:again\n")})}});
        QVERIFY(!runner.realMountDiskImageAtPath(kImage, {}, QStringLiteral("pw")));
        QCOMPARE(runner.message(), QStringLiteral("again"));
        QVERIFY(!runner.isError());
    }

    void chattyToolDoesNotBlock_data()
    {
        QTest::addColumn<QString>("command");
        QTest::addColumn<QString>("stream");

        QTest::newRow("attach, 1 MB on standard error") << "mount"
                                                        << "fillErr";
        QTest::newRow("attach, 1 MB on standard output") << "mount"
                                                         << "fillOut";
        QTest::newRow("query, 1 MB on standard error") << "imageinfo"
                                                       << "fillErr";
    }

    void chattyToolDoesNotBlock()
    {
        QFETCH(QString, command);
        QFETCH(QString, stream);

        const QJsonObject chatty =
            reply(0, {QJsonObject{{stream, 1024 * 1024}}, out(PropertyList::toXml(imageInfo({})))});
        script({{"imageinfo", plistReply(imageInfo({}))}, {command, chatty}});
        AttachDiskImageController runner;
        QVERIFY(runner.realMountDiskImageAtPath(kImage, {}, QStringLiteral("pw")));
        QCOMPARE(runs().size(), 2);
        if (stream == QLatin1String("fillErr") && command == QLatin1String("mount"))
            QVERIFY(runner.isError());
    }

    void missingToolFails()
    {
        BundleLayout::setDiskImageToolPath(m_dir.filePath(QStringLiteral("no-such-tool")));
        AttachDiskImageController runner;
        QVariant plist = QVariantMap{{"stale", true}};
        QVERIFY(!runner.getDiskImagePropertyList(&plist, std::nullopt, QStringLiteral("info")));
        QVERIFY(!plist.isValid());
        QVERIFY(!runner.realMountDiskImageAtPath(kImage, {}, QStringLiteral("pw")));
        QCOMPARE(runner.getMountPointWithDiskImage(kImage), QString());
    }
};

QTEST_GUILESS_MAIN(TestAttachDiskImageRunner)
#include "TestAttachDiskImageRunner.moc"
