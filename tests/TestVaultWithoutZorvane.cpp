// A vault must stay readable with gocryptfs alone, exactly as the README tells users: the vault's
// password typed at `gocryptfs <image>/cipher <folder>`. Vaults are made, written and (re-)passworded
// through the built disk-image tool, as Zorvane does, then opened with plain gocryptfs.
#include "core/settings/Paths.h"
#include "tests/support/TestVaults.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

namespace {

const QString kFolderName = QStringLiteral("Brief\u00e9 \u6587\u4ef6");
const QString kFileName = QStringLiteral("m\u00e4rz \u2014 note.txt");

bool writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() && file.flush();
}

} // namespace

class TestVaultWithoutZorvane : public QObject
{
    Q_OBJECT

    QString m_folder;

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(TestVaults::prepare());
        m_folder = QDir::homePath() + QStringLiteral("/Zorvane");
        QVERIFY(QDir().mkpath(m_folder));
    }

    void init() { TestVaults::clearCase(m_folder); }

    void plainGocryptfsOpensTheVault_data()
    {
        QTest::addColumn<QByteArray>("password");
        QTest::addColumn<QByteArray>("changedTo"); // empty: the password it was made with
        // Umlauts, CJK, an emoji and a dollar sign: what a shell or an encoding could mangle.
        const QByteArray nonAscii = QStringLiteral("Gr\u00fc\u00dfe \u5bc6\u7801 \U0001F511 $HOME").toUtf8();
        QTest::newRow("non-ASCII password") << nonAscii << QByteArray();
        QTest::newRow("quotes and backslashes") << QByteArray("it's \"a\" \\pass\\ word") << QByteArray();
        QTest::newRow("after a password change") << QByteArray("first") << nonAscii;
    }

    void plainGocryptfsOpensTheVault()
    {
        QFETCH(QByteArray, password);
        QFETCH(QByteArray, changedTo);
        const QString name = QStringLiteral("Portable");
        const QString image = TestVaults::create(m_folder, name, password);
        QVERIFY(!image.isEmpty());

        QVERIFY(TestVaults::attach(image, password));
        const QString inVault = Paths::mountPoint(name) + QLatin1Char('/') + kFolderName;
        const QByteArray content = "only copy of " + password;
        QVERIFY(QDir().mkpath(inVault));
        QVERIFY(writeFile(inVault + QLatin1Char('/') + kFileName, content));
        QVERIFY(TestVaults::detach(name));

        QByteArray current = password;
        if (!changedTo.isEmpty()) {
            QCOMPARE(TestVaults::runTool({"chpass", image, "-oldstdinpass", "-newstdinpass"},
                                         password + '\0' + changedTo + '\0'),
                     0);
            current = changedTo;
        }

        QTemporaryDir plain(QDir::homePath() + QStringLiteral("/plain-XXXXXX"));
        QVERIFY(plain.isValid());
        // gocryptfs reads the password from standard input when it is not a terminal, the
        // same line a user types at its prompt.
        QProcess gocryptfs;
        gocryptfs.start(QStringLiteral("gocryptfs"), {image + QStringLiteral("/cipher"), plain.path()});
        QVERIFY(gocryptfs.waitForStarted());
        gocryptfs.write(current + '\n');
        gocryptfs.closeWriteChannel();
        QVERIFY(gocryptfs.waitForFinished(60000));
        QVERIFY2(gocryptfs.exitCode() == 0, gocryptfs.readAllStandardError().constData());

        QFile file(plain.path() + QLatin1Char('/') + kFolderName + QLatin1Char('/') + kFileName);
        const bool opened = file.open(QIODevice::ReadOnly);
        const QByteArray read = file.readAll();
        file.close();
        QCOMPARE(QProcess::execute(QStringLiteral("fusermount3"), {QStringLiteral("-u"), plain.path()}), 0);
        QVERIFY(opened);
        QCOMPARE(read, content);
    }
};

QTEST_GUILESS_MAIN(TestVaultWithoutZorvane)
#include "TestVaultWithoutZorvane.moc"
