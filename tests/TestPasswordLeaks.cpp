// Passwords reach child processes on standard input only. While each flow runs, a watcher
// thread reads the command line and environment of every process of this user every few
// milliseconds; afterwards the messages logged, and every file in the home (settings, job
// journals, vaults) and in the flow's own folders are searched. The password must be nowhere.
// Two decoy rows put a secret where it must not be, to show the watcher finds it there.
#include "app/vaults/Controler.h"
#include "core/settings/Paths.h"
#include "core/settings/Records.h"
#include "core/settings/SettingsKeys.h"
#include "core/settings/SettingsStore.h"
#include "core/system/BundleLayout.h"
#include "core/system/NotificationCenter.h"
#include "core/system/SecretWipe.h"
#include "core/vault/AttachDiskImageController.h"
#include "core/vault/DiskImageTask.h"
#include "core/vault/KeychainStore.h"
#include "platform/GioServerVolumeMounter.h"
#include "platform/SecretServiceKeychain.h"
#include "tests/support/CreateSheetScript.h"
#include "tests/support/ScriptedAlertPort.h"
#include "tests/support/ScriptedPasswordPanel.h"
#include "tests/support/TestPaths.h"
#include "tests/support/TestVaults.h"

#include <QCryptographicHash>
#include <QDirIterator>
#include <QLoggingCategory>
#include <QMutex>
#include <QProcess>
#include <QRandomGenerator>
#include <QSet>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <algorithm>
#include <atomic>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using Step = ScriptedPasswordPanel;

// Every message of the test process, whatever its category or level.
QMutex g_logMutex;
QStringList g_log;
QtMessageHandler g_previousHandler = nullptr;

void captureMessage(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    {
        QMutexLocker lock(&g_logMutex);
        g_log.append(QString::fromLatin1(context.category ? context.category : "") + QLatin1Char(' ') +
                     message);
    }
    if (g_previousHandler)
        g_previousHandler(type, context, message);
}

QByteArray secret(const char* prefix)
{
    return QByteArray(prefix) + "-" + QByteArray::number(QRandomGenerator::global()->generate64(), 36);
}

QByteArray readProcFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly | QIODevice::Unbuffered) ? file.read(1 << 20) : QByteArray();
}

// The start of a process in clock ticks after boot, from /proc/PID/stat.
qulonglong startTicks(const QString& pid)
{
    const QByteArray stat = readProcFile(QStringLiteral("/proc/%1/stat").arg(pid));
    const QList<QByteArray> fields = stat.mid(stat.lastIndexOf(')') + 2).split(' ');
    return fields.size() > 19 ? fields.at(19).toULongLong() : 0;
}

// Reads the command lines and environments of this user's processes in a loop: those started
// since the watch began on every round, the older ones when asked (scanAll).
class ProcessWatcher : public QThread
{
public:
    ProcessWatcher() : m_since(startTicks(QStringLiteral("self"))) {}

    void setSecrets(const QList<QByteArray>& secrets)
    {
        QMutexLocker lock(&m_mutex);
        m_secrets = secrets;
        m_hits.clear();
        m_seen.clear();
    }
    QStringList hits() const
    {
        QMutexLocker lock(&m_mutex);
        return m_hits;
    }
    // Command lines of the new processes seen since setSecrets.
    QStringList seen() const
    {
        QMutexLocker lock(&m_mutex);
        return m_seen;
    }
    void stop() { m_stop = true; }
    void scanAll() { scan(true); }

protected:
    void run() override
    {
        while (!m_stop) {
            scan(false);
            QThread::msleep(2);
        }
    }

private:
    void scan(bool all)
    {
        QMutexLocker scanning(&m_scanMutex);
        const uid_t me = ::getuid();
        QSet<QString> present;
        for (const QString& pid :
             QDir(QStringLiteral("/proc")).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
            if (pid.isEmpty() || !pid.at(0).isDigit() || pid == QString::number(::getpid()))
                continue;
            present.insert(pid);
            auto known = m_isNew.constFind(pid);
            if (known == m_isNew.constEnd()) {
                struct stat st;
                if (::stat(QFile::encodeName(QStringLiteral("/proc/") + pid).constData(), &st) != 0 ||
                    st.st_uid != me)
                    continue;
                known = m_isNew.insert(pid, startTicks(pid) >= m_since);
            }
            if (*known || all)
                inspect(pid, *known);
        }
        // A pid used again later is a new process.
        for (auto it = m_isNew.begin(); it != m_isNew.end();)
            it = present.contains(it.key()) ? std::next(it) : m_isNew.erase(it);
    }

    void inspect(const QString& pid, bool isNew)
    {
        const QByteArray cmdline = readProcFile(QStringLiteral("/proc/%1/cmdline").arg(pid));
        const QByteArray environ = readProcFile(QStringLiteral("/proc/%1/environ").arg(pid));
        QMutexLocker lock(&m_mutex);
        for (const QByteArray& s : std::as_const(m_secrets)) {
            for (const auto& [what, bytes] :
                 {std::pair{"command line", &cmdline}, {"environment", &environ}}) {
                if (bytes->contains(s))
                    m_hits.append(
                        QStringLiteral("%1 of process %2 (%3)")
                            .arg(QLatin1String(what), pid, QString::fromLocal8Bit(cmdline.left(80))));
            }
        }
        if (isNew && !cmdline.isEmpty()) {
            const QString line = QString::fromLocal8Bit(QByteArray(cmdline).replace('\0', ' ').trimmed());
            if (!m_seen.contains(line))
                m_seen.append(line);
        }
    }

    const qulonglong m_since;
    QMutex m_scanMutex;
    QHash<QString, bool> m_isNew; // pid: started since the watch began
    mutable QMutex m_mutex;
    QList<QByteArray> m_secrets;
    QStringList m_hits;
    QStringList m_seen;
    std::atomic_bool m_stop{false};
};

// Files below root (links not followed) that hold one of the secrets.
QStringList filesHolding(const QString& root, const QList<QByteArray>& secrets)
{
    QStringList found;
    QDirIterator it(root, QDir::Files | QDir::Hidden | QDir::System | QDir::NoSymLinks,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        QFile file(it.next());
        if (!file.open(QIODevice::ReadOnly))
            continue;
        const QByteArray content = file.read(64 << 20);
        for (const QByteArray& s : secrets)
            if (content.contains(s))
                found.append(file.fileName());
    }
    return found;
}

// A stand-in for gio that accepts any credentials: it keeps a digest of the password it was
// given, so the test can tell the right one arrived without the password being written anywhere.
const char kStandInGio[] = R"(#!/bin/sh
[ "$1" = mount ] || exit 2
printf 'Authentication Required\nEnter user and password for share "vaults" on "fileserver":\nUser: '
IFS= read -r user
printf 'Domain [WORKGROUP]: '
IFS= read -r domain
printf 'Password: '
IFS= read -r pass
printf '%s' "$pass" | sha256sum | cut -d' ' -f1 > "$ZV_GIO_RECEIVED"
sleep 0.2
)";

const QString kShareUrl = QStringLiteral("smb://fileserver/vaults");

enum class Flow
{
    CreateWithKeychain,
    UnlockWithStoredPassword,
    UnlockThroughPanel,
    ChangePasswordAndResize,
    NetworkShareCredentials,
    DecoyOnCommandLine,
    DecoyInEnvironment,
};

} // namespace

class TestPasswordLeaks : public QObject
{
    Q_OBJECT

private:
    ProcessWatcher m_watcher;
    QStringList m_toolOutput; // what the tool runs of a flow printed
    const QString m_account = KeychainStore::currentUserFullName();

    QString vaults() const { return Paths::home() + QStringLiteral("/Vaults"); }
    QString image(const QString& name) const { return vaults() + QLatin1Char('/') + name + ".sparsebundle"; }

    void collect(DiskImageTask& task)
    {
        m_toolOutput << QString::fromUtf8(task.readAllStandardOutput())
                     << QString::fromUtf8(task.readAllStandardError());
    }

    // The secrets of one flow, known to the watcher before the flow starts.
    struct Secrets
    {
        QByteArray password = secret("vault-pässword");
        QByteArray other = secret("other");          // a stale, mistyped or new password
        QByteArray share = secret("share|pässword"); // the credential splits at the first "|" only
        QList<QByteArray> all() const { return {password, other, share}; }
    };

    // Runs one flow; programs names what it must have been seen to run.
    void runFlow(Flow flow, const Secrets& secrets, QStringList& programs)
    {
        SettingsStore settings(SettingsStore::kZorvaneDomain);
        SecretServiceKeychain keychain;
        ScriptedAlertPort alerts;
        ScriptedPasswordPanel panel;
        const QByteArray& password = secrets.password;
        programs << QStringLiteral("hdiutil");
        const QString pw = QString::fromUtf8(password);
        const QString data = image(QStringLiteral("Data"));
        const QString dataItem = QStringLiteral("Data.sparsebundle");
        const auto storedPassword = [&](const QString& item) {
            return keychain.getPasswordFromKeychainItem(item, KeychainStore::kDiskImagePassword, m_account);
        };
        const auto storePassword = [&](const QString& item, const QString& value) {
            return keychain.addKeychainItem(item, KeychainStore::kDiskImagePassword, m_account, value);
        };
        // The unlock flow as the programs run it; true when the vault is attached afterwards.
        const auto unlock = [&](ServerVolumeMounter* shares) {
            AttachDiskImageController controller(
                UnlockServices{&settings, &keychain, shares, &panel, &alerts});
            return controller.mountDiskImageAtPath(data) == AttachDiskImageController::kUnlocked &&
                   TestVaults::isMounted(QStringLiteral("Data"));
        };

        switch (flow) {
        case Flow::CreateWithKeychain: {
            NotificationCenter local;
            CreateSheetScript sheet;
            Controler controler(ControlerServices{&settings, &alerts, &keychain, &local, &sheet});
            controler.showSheet(nullptr);
            alerts.answers = {AlertPort::kSecondButton};
            sheet.tick(CreateSheetPort::Check::Keychain, true);
            QSignalSpy ended(&controler, &Controler::creationEnded);
            sheet.fill(QStringLiteral("Data"), vaults(), pw, pw);
            sheet.clickOk();
            QVERIFY(ended.wait(60000));
            QVERIFY(ended.first().first().toBool());
            QVERIFY(TestVaults::isMounted(QStringLiteral("Data")));
            QCOMPARE(storedPassword(dataItem), pw);
            break;
        }
        case Flow::UnlockWithStoredPassword: {
            QVERIFY(!TestVaults::create(vaults(), QStringLiteral("Data"), password).isEmpty());
            // A stale stored password is tried first and fails.
            const QByteArray& stale = secrets.other;
            QVERIFY(storePassword(dataItem, QString::fromUtf8(stale)));
            QVERIFY(storePassword(dataItem + QStringLiteral("_0"), pw));
            QVERIFY(unlock(nullptr));
            QCOMPARE(panel.runs, 0);
            break;
        }
        case Flow::UnlockThroughPanel: {
            QVERIFY(!TestVaults::create(vaults(), QStringLiteral("Data"), password).isEmpty());
            const QByteArray& wrong = secrets.other;
            panel.script = {Step::type(QString::fromUtf8(wrong)), Step::ok(), Step::type(pw),
                            Step::tickRemember(), Step::ok()};
            alerts.answers = {AlertPort::kSecondButton};
            QVERIFY(unlock(nullptr));
            QCOMPARE(panel.password(), QString()); // the typed text does not stay
            QCOMPARE(storedPassword(dataItem), pw);
            break;
        }
        case Flow::ChangePasswordAndResize: {
            QVERIFY(!TestVaults::create(vaults(), QStringLiteral("Data"), password).isEmpty());
            const QByteArray& renewed = secrets.other;
            auto chpass = AttachDiskImageController::hdiutilTaskWithCommand(
                QStringLiteral("chpass"), data, {}, std::nullopt, pw, QString::fromUtf8(renewed));
            QCOMPARE(chpass->runToEnd(), 0);
            collect(*chpass);
            QVERIFY(storePassword(dataItem, QString::fromUtf8(renewed)));
            AttachDiskImageController controller(
                UnlockServices{&settings, &keychain, nullptr, &panel, &alerts});
            std::optional<QString> stored = controller.RequirePass(data);
            QCOMPARE(stored, std::optional<QString>(QString::fromUtf8(renewed)));
            auto resize = AttachDiskImageController::hdiutilTaskWithCommand(
                QStringLiteral("resize"), data, {QStringLiteral("-size"), QStringLiteral("200M")}, *stored);
            QCOMPARE(resize->runToEnd(), 0);
            collect(*resize);
            // The old password no longer opens it; the failure says so without quoting it.
            auto old = AttachDiskImageController::hdiutilTaskWithCommand(QStringLiteral("imageinfo"), data,
                                                                         {QStringLiteral("-plist")}, pw);
            QVERIFY(old->runToEnd() != 0);
            collect(*old);
            break;
        }
        case Flow::NetworkShareCredentials: {
            QVERIFY(!TestVaults::create(vaults(), QStringLiteral("Data"), password).isEmpty());
            QTemporaryDir bin;
            QFile gio(bin.filePath(QStringLiteral("gio")));
            QVERIFY(gio.open(QIODevice::WriteOnly) && gio.write(kStandInGio) > 0);
            gio.close();
            QVERIFY(
                gio.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner));
            const QByteArray path = qgetenv("PATH");
            qputenv("PATH", QFile::encodeName(bin.path()) + ':' + path);
            qputenv("ZV_GIO_RECEIVED", QFile::encodeName(bin.filePath(QStringLiteral("received"))));
            programs << QStringLiteral("gio mount");

            const QString& url = kShareUrl;
            const QByteArray& sharePassword = secrets.share;
            QVERIFY(Records(settings).setEntry(SettingsKeys::NetworkVaultItem, data, url));
            QVERIFY(keychain.addKeychainItem(
                url, KeychainStore::kNetworkSharedPassword, m_account,
                KeychainStore::joinCredential(QStringLiteral("fileuser"), QString::fromUtf8(sharePassword))));
            QVERIFY(storePassword(dataItem, pw));
            GioServerVolumeMounter shares;
            const bool unlocked = unlock(&shares);
            qputenv("PATH", path);
            QVERIFY(unlocked);
            // The whole password, "|" and all, reached the share on standard input.
            QFile received(bin.filePath(QStringLiteral("received")));
            QVERIFY(received.open(QIODevice::ReadOnly));
            QCOMPARE(received.readAll().trimmed(),
                     QCryptographicHash::hash(sharePassword, QCryptographicHash::Sha256).toHex());
            break;
        }
        case Flow::DecoyOnCommandLine:
        case Flow::DecoyInEnvironment: {
            programs = {QStringLiteral("sleep")};
            QProcess child;
            QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
            // Two commands, so the shell stays instead of becoming sleep.
            QStringList args{QStringLiteral("-c"), QStringLiteral("sleep 0.3; true")};
            if (flow == Flow::DecoyOnCommandLine)
                args << QStringLiteral("zv-decoy") << pw;
            else
                env.insert(QStringLiteral("ZV_DECOY"), pw);
            child.setProcessEnvironment(env);
            child.start(QStringLiteral("/bin/sh"), args);
            QVERIFY(child.waitForFinished());
            break;
        }
        }
        TestVaults::detach(QStringLiteral("Data"));
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(TestPaths::homeIsPrivate());
        TestVaults::useCheapKeyDerivation();
        BundleLayout::setDiskImageToolPath(TestPaths::toolPath());
        QLoggingCategory::setFilterRules(QStringLiteral("zorvane.*.debug=true"));
        g_previousHandler = qInstallMessageHandler(captureMessage);
        m_watcher.start();
    }

    void cleanupTestCase()
    {
        m_watcher.stop();
        m_watcher.wait();
        qInstallMessageHandler(g_previousHandler);
    }

    void init()
    {
        QDir(vaults()).removeRecursively();
        QVERIFY(QDir().mkpath(vaults()));
        QFile::remove(Paths::settingsFile(SettingsStore::kZorvaneDomain));
        SecretServiceKeychain keychain;
        for (const QString& item :
             {QStringLiteral("Data.sparsebundle"), QStringLiteral("Data.sparsebundle_0")})
            keychain.deleteKeychainItem(item, KeychainStore::kDiskImagePassword, m_account);
        keychain.deleteKeychainItem(kShareUrl, KeychainStore::kNetworkSharedPassword, m_account);
        QMutexLocker lock(&g_logMutex);
        g_log.clear();
        m_toolOutput.clear();
    }

    void passwordAppearsNowhere_data()
    {
        QTest::addColumn<Flow>("flow");
        QTest::addColumn<bool>("decoy");
        QTest::newRow("create through the new-vault sheet, stored in the keyring")
            << Flow::CreateWithKeychain << false;
        QTest::newRow("unlock with stored passwords, a stale one first")
            << Flow::UnlockWithStoredPassword << false;
        QTest::newRow("unlock through the panel after a mistyped password, remembered")
            << Flow::UnlockThroughPanel << false;
        QTest::newRow("change the password, then resize with the stored one")
            << Flow::ChangePasswordAndResize << false;
        QTest::newRow("network share credentials from the keyring") << Flow::NetworkShareCredentials << false;
        QTest::newRow("decoy on a command line is found") << Flow::DecoyOnCommandLine << true;
        QTest::newRow("decoy in an environment is found") << Flow::DecoyInEnvironment << true;
    }

    void passwordAppearsNowhere()
    {
        QFETCH(Flow, flow);
        QFETCH(bool, decoy);
        const Secrets flowSecrets;
        const QList<QByteArray> secrets = flowSecrets.all();
        QStringList programs;
        m_watcher.setSecrets(secrets);
        runFlow(flow, flowSecrets, programs);
        if (QTest::currentTestFailed())
            return;
        QThread::msleep(20);
        m_watcher.scanAll();

        QStringList seen = m_watcher.seen();
        for (const QString& program : std::as_const(programs))
            QVERIFY2(std::any_of(seen.cbegin(), seen.cend(),
                                 [&](const QString& l) { return l.contains(program); }),
                     qPrintable(program + QStringLiteral(" was never seen running: ") + seen.join(" | ")));
        const QStringList hits = m_watcher.hits();
        if (decoy) {
            QVERIFY(!hits.isEmpty());
            return;
        }
        QVERIFY2(hits.isEmpty(), qPrintable(hits.join(QLatin1Char('\n'))));

        QStringList logged;
        {
            QMutexLocker lock(&g_logMutex);
            logged = g_log + m_toolOutput;
        }
        QVERIFY(!logged.isEmpty()); // the flows log at debug level
        for (const QByteArray& s : std::as_const(secrets))
            for (const QString& line : std::as_const(logged))
                QVERIFY2(!line.toUtf8().contains(s), qPrintable(line));

        // Settings, job journals, vaults, keyring: everything the flows wrote under the home.
        QCOMPARE(filesHolding(Paths::home(), secrets), QStringList());
    }

    // A wipe overwrites only a buffer nobody else holds: a password field that stays open for
    // another try, or a constant, must keep its text.
    void wipeLeavesOtherHolders_data()
    {
        QTest::addColumn<int>("kind");
        QTest::newRow("a string shared with a field") << 0;
        QTest::newRow("a string constant") << 1;
        QTest::newRow("bytes over a constant buffer") << 2;
        QTest::newRow("bytes shared with another holder") << 3;
    }

    void wipeLeavesOtherHolders()
    {
        QFETCH(int, kind);
        static const char raw[] = "constant-secret";
        switch (kind) {
        case 0: {
            const QString field = QString::fromUtf8(secret("typed"));
            const QString before = QString(field.constData(), field.size());
            QString taken = field;
            SecretWipe::wipe(taken);
            QVERIFY(taken.isEmpty());
            QCOMPARE(field, before);
            break;
        }
        case 1: {
            QString constant = QStringLiteral("constant-secret");
            SecretWipe::wipe(constant);
            QVERIFY(constant.isEmpty());
            QCOMPARE(QStringLiteral("constant-secret"), QString::fromLatin1(raw));
            break;
        }
        case 2: {
            QByteArray view = QByteArray::fromRawData(raw, sizeof raw - 1);
            SecretWipe::wipe(view);
            QVERIFY(view.isEmpty());
            QCOMPARE(QByteArray(raw), QByteArray("constant-secret"));
            break;
        }
        default: {
            std::optional<QByteArray> held = secret("held");
            const QByteArray copy = *held;
            const QByteArray before(copy.constData(), copy.size());
            SecretWipe::wipe(held);
            QVERIFY(!held);
            QCOMPARE(copy, before);
            break;
        }
        }
    }
};

QTEST_GUILESS_MAIN(TestPasswordLeaks)
#include "TestPasswordLeaks.moc"
