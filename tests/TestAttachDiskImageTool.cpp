// The runner against the real disk-image tool of the build: vaults created, attached, looked up
// and detached for real. Skipped while the tool of this build cannot create images.
#include "core/system/BundleLayout.h"
#include "core/vault/AttachDiskImageController.h"
#include "core/vault/MountTable.h"
#include "tests/support/TestPaths.h"

#include <QDir>
#include <QFile>
#include <QTest>

namespace {

// The tool's switch for a cheap key derivation, so tests do not spend seconds per password.
// Must match the name and value the tool honours.
constexpr char kCheapKeyDerivationVariable[] = "ZV_HDIUTIL_SCRYPTN";
constexpr char kCheapKeyDerivationCost[] = "10";

const QString kPassword = QStringLiteral("correct horse ü");

bool isMountPoint(const QString& path)
{
    const QList<MountEntry> mounts = MountTable::read();
    return std::any_of(mounts.begin(), mounts.end(),
                       [&](const MountEntry& m) { return m.mountPoint == path; });
}

} // namespace

class TestAttachDiskImageTool : public QObject
{
    Q_OBJECT

    QString m_image;

    // Runs the tool to its end; returns the exit status and keeps standard error in *errorText.
    static int runTool(std::unique_ptr<DiskImageTask> task, QString* errorText = nullptr)
    {
        const int status = task->runToEnd();
        if (errorText)
            *errorText =
                QString::fromUtf8(task->readAllStandardError() + task->readAllStandardOutput()).trimmed();
        return status;
    }

    static bool detach(const QString& mountPoint)
    {
        return runTool(AttachDiskImageController::hdiutilTaskWithCommand(QStringLiteral("detach"),
                                                                         mountPoint)) == 0;
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(TestPaths::homeIsPrivate());
        qputenv(kCheapKeyDerivationVariable, kCheapKeyDerivationCost);
        BundleLayout::setDiskImageToolPath(TestPaths::toolPath());

        const QString folder = QDir::home().filePath(QStringLiteral("Zorvane"));
        QVERIFY(QDir().mkpath(folder));
        m_image = folder + QStringLiteral("/Mail.sparsebundle");
        // The creation row: the password as bare UTF-8 on standard input, then its end.
        auto create = AttachDiskImageController::hdiutilTaskWithCommand(
            QStringLiteral("create"), std::nullopt,
            {"-puppetstrings", "-stdinpass", "-encryption", "AES-256", "-size", "100M", "-fs", "HFS+",
             "-layout", "NONE", "-volname", "Mail", m_image});
        create->appendStandardInput(kPassword.toUtf8());
        QString output;
        if (runTool(std::move(create), &output) != 0)
            QSKIP(qPrintable(QStringLiteral("the disk-image tool of this build cannot create images: ") +
                             output));
    }

    void cleanup()
    {
        AttachDiskImageController runner;
        const QString mountPoint = runner.getMountPointWithDiskImage(m_image);
        if (!mountPoint.isEmpty())
            detach(mountPoint);
    }

    void cleanupTestCase() { BundleLayout::setDiskImageToolPath({}); }

    void encryptionStatus()
    {
        AttachDiskImageController runner;
        bool encrypted = false;
        QVERIFY(runner.getDiskImageEncryptionStatus(&encrypted, m_image));
        QVERIFY(encrypted);

        bool licence = true;
        QVERIFY(runner.getDiskImageSLAStatus(&licence, m_image, kPassword));
        QVERIFY(!runner.getDiskImageEncryptionStatus(&encrypted, m_image + QStringLiteral(".missing")));
    }

    void attachLookUpAndDetach()
    {
        AttachDiskImageController runner;
        QVERIFY(runner.realMountDiskImageAtPath(m_image, {}, kPassword));
        QVERIFY(runner.isOver());

        const QString mountPoint = runner.getMountPointWithDiskImage(m_image);
        QVERIFY2(!mountPoint.isEmpty(), "the attached image is not listed with a mount point");
        QVERIFY(isMountPoint(mountPoint));
        // The same image reached through a linked folder is found mounted too.
        const QString linkedFolder = QFileInfo(m_image).absolutePath() + QStringLiteral("-link");
        QVERIFY(QFile::link(QFileInfo(m_image).absolutePath(), linkedFolder));
        QCOMPARE(runner.getMountPointWithDiskImage(linkedFolder + QLatin1Char('/') +
                                                   QFileInfo(m_image).fileName()),
                 mountPoint);
        QFile::remove(linkedFolder);

        // Data written through the mount survives a detach and the next attach.
        QFile file(mountPoint + QStringLiteral("/note.txt"));
        QVERIFY(file.open(QIODevice::WriteOnly));
        QCOMPARE(file.write("kept"), qint64(4));
        file.close();

        QVERIFY(detach(mountPoint));
        QVERIFY(!isMountPoint(mountPoint));
        QCOMPARE(runner.getMountPointWithDiskImage(m_image), QString());

        QVERIFY(runner.realMountDiskImageAtPath(m_image, {}, kPassword));
        const QString again = runner.getMountPointWithDiskImage(m_image);
        QFile reread(again + QStringLiteral("/note.txt"));
        QVERIFY(reread.open(QIODevice::ReadOnly));
        QCOMPARE(reread.readAll(), QByteArray("kept"));
    }

    void wrongPassword_data()
    {
        QTest::addColumn<QString>("password");
        QTest::newRow("wrong") << QStringLiteral("battery staple");
        QTest::newRow("empty") << QString("");
        QTest::newRow("the right one cut short") << kPassword.chopped(1);
        QTest::newRow("the right one and more") << kPassword + QStringLiteral("x");
    }

    void wrongPassword()
    {
        QFETCH(QString, password);

        AttachDiskImageController runner;
        bool licence = false;
        QVERIFY(!runner.getDiskImageSLAStatus(&licence, m_image, password));
        QVERIFY(!runner.realMountDiskImageAtPath(m_image, {}, password));
        QCOMPARE(runner.getMountPointWithDiskImage(m_image), QString());
    }
};

QTEST_GUILESS_MAIN(TestAttachDiskImageTool)
#include "TestAttachDiskImageTool.moc"
