#include "platform/GioServerVolumeMounter.h"
#include "platform/SecretServiceKeychain.h"
#include "tests/support/TestPaths.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

namespace {

const QString kDisk = KeychainStore::kDiskImagePassword;
const QString kShare = KeychainStore::kNetworkSharedPassword;

QString readFile(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
}

} // namespace

class TestKeychainStore : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { QVERIFY2(TestPaths::homeIsPrivate(), "run through tests/run-in-session.sh"); }

    void itemLifecycle_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("password");
        QTest::newRow("vault") << "Data.sparsebundle" << kDisk << "s3cret";
        QTest::newRow("numbered") << "Data.sparsebundle_0" << kDisk << "other";
        QTest::newRow("non-ascii") << "Fotos Müller.sparsebundle" << kDisk << "pässwörd ✓";
        QTest::newRow("share") << "smb://nas/home" << kShare << "alice|pa|ss";
        QTest::newRow("empty password") << "Empty.dmg" << kDisk << "";
    }

    void itemLifecycle()
    {
        QFETCH(QString, name);
        QFETCH(QString, kind);
        QFETCH(QString, password);
        SecretServiceKeychain keychain;
        const QString user = KeychainStore::currentUserFullName();
        QVERIFY(!keychain.checkForExistanceOfKeychainItem(name, kind, user));
        QCOMPARE(keychain.getPasswordFromKeychainItem(name, kind, user), QString());
        QVERIFY(!keychain.modifyKeychainItem(name, kind, user, QStringLiteral("x")));
        QVERIFY(!keychain.deleteKeychainItem(name, kind, user));

        QVERIFY2(keychain.addKeychainItem(name, kind, user, password), qPrintable(keychain.lastError()));
        QVERIFY(keychain.checkForExistanceOfKeychainItem(name, kind, user));
        QCOMPARE(keychain.getPasswordFromKeychainItem(name, kind, user), password);
        // The same name of the other kind, or for another account, is another item.
        QVERIFY(!keychain.checkForExistanceOfKeychainItem(name, kind == kDisk ? kShare : kDisk, user));
        QVERIFY(!keychain.checkForExistanceOfKeychainItem(name, kind, user + QStringLiteral("x")));

        QVERIFY(keychain.modifyKeychainItem(name, kind, user, password + QStringLiteral("2")));
        QCOMPARE(keychain.getPasswordFromKeychainItem(name, kind, user), password + QStringLiteral("2"));
        QVERIFY(keychain.deleteKeychainItem(name, kind, user));
        QVERIFY(!keychain.checkForExistanceOfKeychainItem(name, kind, user));
    }

    void longSecretIsCutAt1023Bytes()
    {
        SecretServiceKeychain keychain;
        const QString user = KeychainStore::currentUserFullName();
        QVERIFY(keychain.addKeychainItem(QStringLiteral("Long.dmg"), kDisk, user,
                                         QString(1500, QLatin1Char('a'))));
        QCOMPARE(keychain.getPasswordFromKeychainItem(QStringLiteral("Long.dmg"), kDisk, user).size(), 1023);
    }

    void credentialSplitsAtFirstBar_data()
    {
        QTest::addColumn<QString>("stored");
        QTest::addColumn<QString>("user");
        QTest::addColumn<QString>("password");
        QTest::newRow("plain") << "alice|secret"
                               << "alice"
                               << "secret";
        QTest::newRow("bar in password") << "alice|se|cr|et"
                                         << "alice"
                                         << "se|cr|et";
        QTest::newRow("empty password") << "alice|"
                                        << "alice"
                                        << "";
        QTest::newRow("no bar") << "alice"
                                << "alice"
                                << "";
    }

    void credentialSplitsAtFirstBar()
    {
        QFETCH(QString, stored);
        QFETCH(QString, user);
        QFETCH(QString, password);
        const KeychainStore::Credential c = KeychainStore::splitCredential(stored);
        QCOMPARE(c.user, user);
        QCOMPARE(c.password, password);
        if (stored.contains(QLatin1Char('|')))
            QCOMPARE(KeychainStore::joinCredential(c.user, c.password), stored);
    }

    void shareCredentialsGoOnStandardInput_data()
    {
        QTest::addColumn<QString>("user");
        QTest::addColumn<QString>("password");
        QTest::addColumn<QString>("reply");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<int>("expected");
        QTest::addColumn<QString>("expectedArgs");
        QTest::newRow("with credentials") << "alice"
                                          << "p|w ü"
                                          << "" << 0 << 0 << "mount smb://nas/share";
        QTest::newRow("guest") << ""
                               << ""
                               << "" << 0 << 0 << "mount --anonymous smb://nas/share";
        QTest::newRow("already mounted")
            << "alice"
            << "pw"
            << "gio: Location is already mounted" << 2 << 0 << "mount smb://nas/share";
        QTest::newRow("refused") << "alice"
                                 << "bad"
                                 << "gio: Permission denied" << 2 << 2 << "mount smb://nas/share";
    }

    void shareCredentialsGoOnStandardInput()
    {
        QFETCH(QString, user);
        QFETCH(QString, password);
        QFETCH(QString, reply);
        QFETCH(int, exitCode);
        QFETCH(int, expected);
        QFETCH(QString, expectedArgs);
        QTemporaryDir dir;
        const QString fake = dir.filePath(QStringLiteral("gio"));
        QFile script(fake);
        QVERIFY(script.open(QIODevice::WriteOnly));
        script.write(
            QStringLiteral("#!/bin/sh\necho \"$@\" > '%1/args'\ncat > '%1/stdin'\necho '%2'\nexit %3\n")
                .arg(dir.path(), reply)
                .arg(exitCode)
                .toUtf8());
        script.close();
        script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);

        GioServerVolumeMounter mounter(fake);
        QCOMPARE(mounter.mountServerVolume(QStringLiteral("smb://nas/share"), user, password), expected);
        QCOMPARE(readFile(dir.filePath(QStringLiteral("args"))).trimmed(), expectedArgs);
        const QString stdinText = readFile(dir.filePath(QStringLiteral("stdin")));
        QCOMPARE(stdinText, user.isEmpty() ? QString()
                                           : user + QStringLiteral("\n\n") + password + QStringLiteral("\n"));
        if (expected != 0)
            QVERIFY(!mounter.lastError().isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestKeychainStore)
#include "TestKeychainStore.moc"
