// The new-vault controller, headless: the sheet is played by a script, alerts are answered by
// a script, vaults are made by the built disk-image tool (cheap key derivation) and passwords
// land in the session's real Secret Service. A stand-in tool that records its command line and
// input covers the exact invocations and a failing creation.
#include "app/vaults/Controler.h"
#include "core/settings/Paths.h"
#include "core/settings/PropertyList.h"
#include "core/settings/Records.h"
#include "core/settings/SettingsKeys.h"
#include "core/settings/SettingsStore.h"
#include "core/system/BundleLayout.h"
#include "core/system/GetSystemVersion.h"
#include "core/system/NotificationCenter.h"
#include "core/system/NotificationNames.h"
#include "core/vault/DiskImageMetadata.h"
#include "core/vault/KeychainStore.h"
#include "platform/SecretServiceKeychain.h"
#include "tests/support/CreateSheetScript.h"
#include "tests/support/ScriptedAlertPort.h"
#include "tests/support/TestPaths.h"
#include "tests/support/TestVaults.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

using Field = CreateSheetPort::Field;
using PopUp = CreateSheetPort::PopUp;
using Check = CreateSheetPort::Check;
using Sheet = CreateSheetPort::Sheet;

namespace {

const QString kPassword = QStringLiteral("vault pässword");
const QColor kGreen = QColor::fromRgbF(0.0, 0.6, 0.3, 1.0);
const QColor kRed = QColor::fromRgbF(1.0, 0.0, 0.0, 1.0);

struct Posted
{
    QString name;
    QVariantMap userInfo;
};

// One controller with its scripted sheet and alerts, as the vault page would own it.
struct Fixture
{
    Fixture() : controler(ControlerServices{&settings, &alerts, &keychain, &local, &sheet})
    {
        QObject::connect(&local, &NotificationCenter::notificationPosted,
                         [this](const QString& name, QObject*, const QVariantMap& info) {
                             posted.append({name, info});
                         });
        controler.showSheet(nullptr);
    }
    // Before the test's folders, and the images in them, go away.
    ~Fixture()
    {
        for (const QString& name : {QStringLiteral("Data"), QStringLiteral("Second")})
            TestVaults::detach(name);
    }

    // Fills the sheet, presses OK and waits for the creation to end; false when it did not end.
    bool create(const QString& name, const QString& folder, const QString& password = kPassword)
    {
        QSignalSpy ended(&controler, &Controler::creationEnded);
        sheet.fill(name, folder, password, password);
        sheet.clickOk();
        return controler.isCreating() ? ended.wait(60000) : !ended.isEmpty();
    }

    SettingsStore settings{SettingsStore::kZorvaneDomain};
    ScriptedAlertPort alerts;
    SecretServiceKeychain keychain;
    NotificationCenter local;
    CreateSheetScript sheet;
    Controler controler;
    QList<Posted> posted;
};

QStringList entries(const QString& folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
}

QByteArray hiddenFile()
{
    QFile file(Paths::volumesRoot() + QStringLiteral("/.hidden"));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Processes of this user whose command line mentions text.
int processesMentioning(const QString& text)
{
    int count = 0;
    for (const QString& pid : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
        QFile cmdline(QStringLiteral("/proc/%1/cmdline").arg(pid));
        if (pid.toInt() > 0 && cmdline.open(QIODevice::ReadOnly) &&
            QString::fromLocal8Bit(cmdline.readAll()).contains(text))
            ++count;
    }
    return count;
}

// Runs the recording stand-in tool with this reply script; it logs to <folder>/log.jsonl.
bool useStandInTool(const QString& folder, const QByteArray& script)
{
    QFile file(folder + QStringLiteral("/script.json"));
    if (!file.open(QIODevice::WriteOnly) || file.write(script) != script.size())
        return false;
    qputenv("ZV_FAKE_TOOL_LOG", QFile::encodeName(folder + QStringLiteral("/log.jsonl")));
    qputenv("ZV_FAKE_TOOL_SCRIPT", QFile::encodeName(file.fileName()));
    BundleLayout::setDiskImageToolPath(TestPaths::helper(QStringLiteral("runner_fake_tool")));
    return true;
}

} // namespace

class TestControler : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(TestPaths::homeIsPrivate());
        TestVaults::useCheapKeyDerivation();
        BundleLayout::setDiskImageToolPath(TestPaths::toolPath());
    }

    void init()
    {
        SettingsStore(SettingsStore::kZorvaneDomain).removeObjectForKey(SettingsKeys::VaultItem);
        QFile::remove(Paths::volumesRoot() + QStringLiteral("/.hidden"));
    }

    void cleanup()
    {
        BundleLayout::setDiskImageToolPath(TestPaths::toolPath());
        qunsetenv("ZV_FAKE_TOOL_LOG");
        qunsetenv("ZV_FAKE_TOOL_SCRIPT");
        GetSystemVersion::setSystemRoot({});
        for (const QString& name : {QStringLiteral("Data"), QStringLiteral("Second")})
            QVERIFY(TestVaults::detach(name));
    }

    void sizeArgument_data()
    {
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("argument");
        QTest::newRow("plain GB") << "20GB"
                                  << "20G";
        QTest::newRow("plain MB") << "100MB"
                                  << "100M";
        QTest::newRow("DVD") << "4.2GB(DVD)"
                             << "4.2G";
        QTest::newRow("CD") << "570MB(CD)"
                            << "570M";
        QTest::newRow("custom") << "Custom..(500MB)"
                                << "500MB";
        QTest::newRow("free space") << "35.2GB (free hard disk size)"
                                    << "35.2GB";
    }
    void sizeArgument()
    {
        QFETCH(QString, title);
        QFETCH(QString, argument);
        QCOMPARE(Controler::sizeArgument(title), argument);
    }

    void stringFromFileSize_data()
    {
        QTest::addColumn<double>("bytes");
        QTest::addColumn<QString>("text");
        QTest::newRow("bytes") << 1022.0 << "1022 bytes";
        QTest::newRow("KB at 1023") << 1023.0 << "1.0KB";
        QTest::newRow("MB") << 1.5 * 1024 * 1024 << "1.5MB";
        QTest::newRow("GB") << 35.24 * 1024 * 1024 * 1024 << "35.2GB";
        QTest::newRow("no unit above GB") << 2048.0 * 1024 * 1024 * 1024 << "2048.0GB";
    }
    void stringFromFileSize()
    {
        QFETCH(double, bytes);
        QFETCH(QString, text);
        QCOMPARE(Controler::stringFromFileSize(bytes), text);
    }

    void progressFromChunk_data()
    {
        QTest::addColumn<QString>("chunk");
        QTest::addColumn<double>("value"); // -2: nothing
        QTest::newRow("start") << "PERCENT:0.000000\n" << 0.0;
        QTest::newRow("unknown length") << "PERCENT:-1.000000\n" << -2.0;
        QTest::newRow("two lines, first counts") << "PERCENT:42.000000\nPERCENT:80.000000\n" << 42.0;
        QTest::newRow("no dot yet") << "PERCENT:4" << -2.0;
        QTest::newRow("dot before colon") << "a.b:c" << -2.0;
        QTest::newRow("not a number") << "hdiutil: create.failed" << -2.0;
    }
    void progressFromChunk()
    {
        QFETCH(QString, chunk);
        QFETCH(double, value);
        const std::optional<double> got = Controler::progressFromChunk(chunk);
        QCOMPARE(got.value_or(-2.0), value);
    }

    void sheetContents_data()
    {
        QTest::addColumn<QString>("version"); // empty: no version file
        QTest::addColumn<QStringList>("formats");
        QTest::addColumn<QString>("advice");
        QTest::newRow("current") << QString()
                                 << QStringList{"sparse bundle disk image", "sparse disk image", "dmg file"}
                                 << "sparse bundle disk image is recommended  for Mac OS X 10.5 and later";
        QTest::newRow("older than 10.5") << "10.4.11" << QStringList{"sparse disk image", "dmg file"}
                                         << "sparse disk image is recommended  for Mac OS X 10.4 and earlier";
    }
    void sheetContents()
    {
        QFETCH(QString, version);
        QFETCH(QStringList, formats);
        QFETCH(QString, advice);
        QTemporaryDir root;
        GetSystemVersion::setSystemRoot(root.path());
        if (!version.isEmpty()) {
            QVERIFY(QDir().mkpath(root.filePath(QStringLiteral("System/Library/CoreServices"))));
            QFile file(GetSystemVersion::versionFilePath());
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(PropertyList::toXml(QVariantMap{{"ProductVersion", version}}));
        }
        SettingsStore(SettingsStore::kZorvaneDomain)
            .setObject(QStringLiteral("/home/u/Zorvane"), SettingsKeys::DefaultVaultLocation);
        Fixture f;
        QCOMPARE(f.sheet.items(PopUp::Format), formats);
        QCOMPARE(f.sheet.recommendAdvice, advice);
        QCOMPARE(f.sheet.items(PopUp::Unit), (QStringList{"GB", "MB"}));
        const QStringList sizes = f.sheet.items(PopUp::Size);
        QCOMPARE(sizes.size(), 8);
        QVERIFY(sizes.first().endsWith(QStringLiteral("B (free hard disk size)")));
        QCOMPARE(sizes.mid(1), Controler::sizeItems(std::nullopt));
        QCOMPARE(Controler::sizeItems(std::nullopt).last(), QStringLiteral("Custom.."));
        QCOMPARE(f.sheet.text(Field::FilePath), QStringLiteral("/home/u/Zorvane"));
        QVERIFY(!f.sheet.isOkEnabled());
        QVERIFY(!f.sheet.advancedVisible);
        SettingsStore(SettingsStore::kZorvaneDomain).removeObjectForKey(SettingsKeys::DefaultVaultLocation);
    }

    // Each step is "name:", "pw:" or "rpw:" followed by the whole text typed into that field.
    void liveValidation_data()
    {
        QTest::addColumn<QStringList>("steps");
        QTest::addColumn<QString>("status");
        QTest::addColumn<bool>("okEnabled");
        QTest::newRow("equal with a name")
            << QStringList{"name:Data", "pw:a", "rpw:a"} << "Passwords match" << true;
        QTest::newRow("different") << QStringList{"name:Data", "pw:a", "rpw:b"} << "Passwords do not match"
                                   << false;
        QTest::newRow("both emptied with a name")
            << QStringList{"name:Data", "pw:x", "pw:"} << "Passwords match" << true;
        QTest::newRow("equal without a name") << QStringList{"pw:a", "rpw:a"} << "Passwords match" << false;
        QTest::newRow("name after equal passwords")
            << QStringList{"pw:a", "rpw:a", "name:Data"} << "Passwords match" << true;
        QTest::newRow("name cleared")
            << QStringList{"name:Data", "pw:a", "rpw:a", "name:"} << "Passwords match" << false;
        QTest::newRow("name with empty passwords keeps OK off")
            << QStringList{"pw:a", "rpw:b", "name:Data"} << "Passwords do not match" << false;
    }
    void liveValidation()
    {
        QFETCH(QStringList, steps);
        QFETCH(QString, status);
        QFETCH(bool, okEnabled);
        Fixture f;
        for (const QString& step : steps) {
            const QString text = step.section(QLatin1Char(':'), 1);
            const QString field = step.section(QLatin1Char(':'), 0, 0);
            f.sheet.type(field == QStringLiteral("name") ? Field::ValueName
                         : field == QStringLiteral("pw") ? Field::PassWord
                                                         : Field::RepeatPassWorld,
                         text);
        }
        QCOMPARE(f.sheet.passwordStatus, status);
        QCOMPARE(f.sheet.passwordStatusColor, status == QStringLiteral("Passwords match") ? kGreen : kRed);
        QCOMPARE(f.sheet.isOkEnabled(), okEnabled);
    }

    void refusals_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("password");
        QTest::addColumn<QString>("confirmation");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("text");
        const QString badName = QStringLiteral(
            "The vault name must not contain \"/\" or a null character, and must not be \".\" or \"..\"!");
        QTest::newRow("empty name") << ""
                                    << "pw"
                                    << "pw"
                                    << "Name is incorrect"
                                    << "The vault name must not be empty!";
        QTest::newRow("slash") << "../Data"
                               << "pw"
                               << "pw"
                               << "Name is incorrect" << badName;
        QTest::newRow("dot") << "."
                             << "pw"
                             << "pw"
                             << "Name is incorrect" << badName;
        QTest::newRow("dot dot") << ".."
                                 << "pw"
                                 << "pw"
                                 << "Name is incorrect" << badName;
        QTest::newRow("nul") << QStringLiteral("Da") + QChar(0) + QStringLiteral("ta") << "pw"
                             << "pw"
                             << "Name is incorrect" << badName;
        QTest::newRow("empty passwords") << "Data"
                                         << ""
                                         << ""
                                         << "Password is incorrect"
                                         << "The password must not be empty!";
        QTest::newRow("empty confirmation") << "Data"
                                            << "pw"
                                            << ""
                                            << "Password is incorrect"
                                            << "The password must not be empty!";
        QTest::newRow("different") << "Data"
                                   << "pw"
                                   << "pW"
                                   << "Password is incorrect"
                                   << "Password does not match the confirm password!";
        QTest::newRow("exists") << "Taken"
                                << "pw"
                                << "pw"
                                << "Vault already exists"
                                << "\"Taken.sparsebundle\" already exists in the destination folder you "
                                   "specified, please enter another vault name";
    }
    void refusals()
    {
        QFETCH(QString, name);
        QFETCH(QString, password);
        QFETCH(QString, confirmation);
        QFETCH(QString, title);
        QFETCH(QString, text);
        QTemporaryDir folder;
        QVERIFY(QDir().mkpath(folder.filePath(QStringLiteral("Taken.sparsebundle"))));
        Fixture f;
        f.sheet.fill(name, folder.path(), password, confirmation);
        f.sheet.clickOk();
        QCOMPARE(f.alerts.shown.size(), 1);
        QCOMPARE(f.alerts.shown.first().messageText, title);
        QCOMPARE(f.alerts.shown.first().informativeText, text);
        QCOMPARE(f.alerts.windows.first(), f.sheet.window());
        QVERIFY(!f.controler.isCreating());
        QCOMPARE(entries(folder.path()), QStringList{QStringLiteral("Taken.sparsebundle")});
        QVERIFY(Records(f.settings).list(SettingsKeys::VaultItem).isEmpty());
        QVERIFY(f.posted.isEmpty());
        QVERIFY(f.sheet.isOpen());
    }

    void emptyPasswordsReachOk()
    {
        Fixture f;
        f.sheet.type(Field::ValueName, QStringLiteral("Data"));
        f.sheet.type(Field::PassWord, QStringLiteral("x"));
        f.sheet.type(Field::PassWord, QString());
        QCOMPARE(f.sheet.passwordStatus, QStringLiteral("Passwords match"));
        QVERIFY(f.sheet.isOkEnabled());
        f.sheet.clickOk();
        QCOMPARE(f.alerts.shown.size(), 1);
        QCOMPARE(f.alerts.shown.first().informativeText, QStringLiteral("The password must not be empty!"));
    }

    void customSizeField_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("kept");
        QTest::newRow("six digits") << "123456"
                                    << "1234";
        QTest::newRow("trailing letters") << "12ab"
                                          << "12";
        QTest::newRow("leading zeros") << "0042"
                                       << "42";
        QTest::newRow("letters only") << "abc"
                                      << "";
        QTest::newRow("negative") << "-5"
                                  << "";
    }
    void customSizeField()
    {
        QFETCH(QString, typed);
        QFETCH(QString, kept);
        Fixture f;
        f.sheet.type(Field::CustomSize, typed);
        QCOMPARE(f.sheet.text(Field::CustomSize), kept);
    }

    // "free": whether the size pop-up starts with the free-space item.
    void customSizeSheet_data()
    {
        QTest::addColumn<bool>("free");
        QTest::newRow("with free space") << true;
        QTest::newRow("free space unknown") << false;
    }
    void customSizeSheet()
    {
        QFETCH(bool, free);
        Fixture f;
        if (!free)
            f.sheet.setItems(PopUp::Size, Controler::sizeItems(std::nullopt));
        const QStringList before = f.sheet.items(PopUp::Size);
        QVERIFY(f.sheet.choose(PopUp::Size, QStringLiteral("20GB")));
        QVERIFY(!f.sheet.isSheetOpen(Sheet::CustomSize));

        QVERIFY(f.sheet.choose(PopUp::Size, QStringLiteral("Custom..")));
        QVERIFY(f.sheet.isSheetOpen(Sheet::CustomSize));
        f.controler.CancelSizeWindow();
        QVERIFY(!f.sheet.isSheetOpen(Sheet::CustomSize));
        QCOMPARE(f.sheet.selectedIndex(PopUp::Size), 0);

        QVERIFY(f.sheet.choose(PopUp::Size, QStringLiteral("Custom..")));
        f.sheet.type(Field::CustomSize, QStringLiteral("0"));
        f.controler.OkSizeWindow();
        QCOMPARE(f.alerts.shown.size(), 1);
        QCOMPARE(f.alerts.shown.first().messageText, QStringLiteral("Size is incorrect"));
        QCOMPARE(f.alerts.shown.first().informativeText,
                 QStringLiteral("Disk image file size can not be zero!"));
        QCOMPARE(f.alerts.windows.first(), f.sheet.sizeWindow());
        QVERIFY(f.sheet.isSheetOpen(Sheet::CustomSize));

        f.sheet.type(Field::CustomSize, QStringLiteral("500"));
        f.sheet.selectIndex(PopUp::Unit, 1);
        f.controler.OkSizeWindow();
        QVERIFY(!f.sheet.isSheetOpen(Sheet::CustomSize));
        QStringList expected = before;
        expected.last() = QStringLiteral("Custom..(500MB)");
        QCOMPARE(f.sheet.items(PopUp::Size), expected);
        QCOMPARE(f.sheet.selectedIndex(PopUp::Size), expected.size() - 1);

        // The custom item opens the sheet again; the same value keeps the one item.
        QVERIFY(f.sheet.choose(PopUp::Size, QStringLiteral("Custom..(500MB)")));
        QVERIFY(f.sheet.isSheetOpen(Sheet::CustomSize));
        f.controler.OkSizeWindow();
        QCOMPARE(f.sheet.items(PopUp::Size), expected);
        f.sheet.type(Field::CustomSize, QStringLiteral("2"));
        f.sheet.selectIndex(PopUp::Unit, 0);
        f.controler.OkSizeWindow();
        expected.last() = QStringLiteral("Custom..(2GB)");
        QCOMPARE(f.sheet.items(PopUp::Size), expected);
        QCOMPARE(f.sheet.selectedIndex(PopUp::Size), expected.size() - 1);
    }

    void keychainConfirmation_data()
    {
        QTest::addColumn<int>("answer");
        QTest::addColumn<bool>("checked");
        QTest::newRow("NO") << 1000 << false;
        QTest::newRow("Yes") << 1001 << true;
    }
    void keychainConfirmation()
    {
        QFETCH(int, answer);
        QFETCH(bool, checked);
        Fixture f;
        f.alerts.answers = {answer};
        f.sheet.tick(Check::Keychain, true);
        QCOMPARE(f.sheet.isChecked(Check::Keychain), checked);
        QCOMPARE(f.alerts.shown.size(), 1);
        const Alert& alert = f.alerts.shown.first();
        QCOMPARE(alert.messageText, QStringLiteral("Store the password?"));
        QCOMPARE(alert.buttons, (QStringList{"NO", "Yes"}));
        QVERIFY(alert.informativeText.startsWith(
            QStringLiteral("If you select “Store password in your keychain”,Zorvane will remember")));
        QVERIFY(alert.informativeText.endsWith(
            QStringLiteral("vault.\r\n\r\nAre you sure you want to store the password to your keychain?")));
        f.sheet.tick(Check::Keychain, false);
        QCOMPARE(f.alerts.shown.size(), 1);
    }

    void hideVolume_data()
    {
        QTest::addColumn<QByteArray>("before"); // null: no file
        QTest::addColumn<QByteArray>("after");
        QTest::newRow("no file") << QByteArray() << QByteArray("Data\n");
        QTest::newRow("other name without line end") << QByteArray("Other") << QByteArray("Other\nData\n");
        QTest::newRow("listed already") << QByteArray("Data\nOther\n") << QByteArray("Data\nOther\n");
        QTest::newRow("longer name listed") << QByteArray("Data2\n") << QByteArray("Data2\nData\n");
    }
    void hideVolume()
    {
        QFETCH(QByteArray, before);
        QFETCH(QByteArray, after);
        QVERIFY(Paths::ensureVolumesRoot());
        if (!before.isNull()) {
            QFile file(Paths::volumesRoot() + QStringLiteral("/.hidden"));
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(before);
        }
        QVERIFY(Controler::hideVolume(QStringLiteral("Data")));
        QCOMPARE(hiddenFile(), after);
    }

    // The same name in two folders: two images, records Data and Data_0, each announced under
    // its record name; the second vault is Data_0 in its file name and volume too, so both can
    // be mounted side by side.
    void createTwiceInTwoFolders()
    {
        QTemporaryDir first;
        QTemporaryDir second;
        Fixture f;
        QVERIFY(f.create(QStringLiteral("Data"), first.path()));
        QVERIFY2(f.alerts.shown.isEmpty(), qPrintable(f.alerts.shown.value(0).accessoryText));
        const QString firstImage = first.filePath(QStringLiteral("Data.sparsebundle"));
        QVERIFY(DiskImageMetadata::isImage(firstImage));
        QVERIFY(TestVaults::isMounted(QStringLiteral("Data")));
        QCOMPARE(f.sheet.progressStatuses, (QStringList{"Create vault..", "Mount...", "Mount successed.",
                                                        "Enable Spotlight..", "Relaunch finder.."}));
        QCOMPARE(f.sheet.progressValues.last(), 100.0);
        QVERIFY(!f.sheet.isSheetOpen(Sheet::Progress));
        QVERIFY(!f.sheet.isOpen());
        QVERIFY(f.sheet.text(Field::ValueName).isEmpty());
        QVERIFY(f.sheet.text(Field::PassWord).isEmpty());
        QVERIFY(f.sheet.text(Field::RepeatPassWorld).isEmpty());
        QVERIFY(f.sheet.passwordStatus.isEmpty());
        QCOMPARE(hiddenFile(), QByteArray("Data\n"));

        f.controler.showSheet(nullptr);
        f.sheet.setChecked(Check::HideMountPoint, false);
        QVERIFY(f.create(QStringLiteral("Data"), second.path() + QStringLiteral("/")));
        QVERIFY(f.sheet.isChecked(Check::HideMountPoint)); // set back on when cleared
        const QString secondImage = second.filePath(QStringLiteral("Data_0.sparsebundle"));
        QVERIFY(DiskImageMetadata::isImage(secondImage));
        QVERIFY(TestVaults::isMounted(QStringLiteral("Data")));
        QVERIFY(TestVaults::isMounted(QStringLiteral("Data_0")));
        QCOMPARE(Records(f.settings).list(SettingsKeys::VaultItem),
                 (QVariantMap{{"Data", firstImage}, {"Data_0", secondImage}}));
        QCOMPARE(f.posted.size(), 2);
        QCOMPARE(f.posted[0].name, NotificationNames::AddHardDisk);
        QCOMPARE(f.posted[0].userInfo, (QVariantMap{{NotificationNames::DiskName, "Data"},
                                                    {NotificationNames::DiskPath, firstImage}}));
        QCOMPARE(f.posted[1].userInfo, (QVariantMap{{NotificationNames::DiskName, "Data_0"},
                                                    {NotificationNames::DiskPath, secondImage}}));
        QCOMPARE(hiddenFile(), QByteArray("Data\n"));
    }

    // Pop-up choices reach the tool: the image records the capacity and cipher label asked for.
    void sizeAndStrengthReachTool_data()
    {
        QTest::addColumn<QString>("size"); // a size item, or "500 MB" through the custom sheet
        QTest::addColumn<QString>("strength");
        QTest::addColumn<QString>("format");
        QTest::addColumn<qint64>("capacity");
        QTest::addColumn<QString>("encryption");
        QTest::addColumn<QString>("image");
        const qint64 mb = 1024 * 1024;
        QTest::newRow("20GB") << "20GB"
                              << "256-bit"
                              << "sparse bundle disk image" << 20 * 1024 * mb << "AES-256"
                              << "Second.sparsebundle";
        QTest::newRow("custom 500 MB") << "500 MB"
                                       << "128-bit"
                                       << "sparse disk image" << 500 * mb << "AES-128"
                                       << "Second.sparseimage";
        QTest::newRow("CD") << "570MB(CD)"
                            << "256-bit"
                            << "dmg file" << 570 * mb << "AES-256"
                            << "Second.dmg";
    }
    void sizeAndStrengthReachTool()
    {
        QFETCH(QString, size);
        QFETCH(QString, strength);
        QFETCH(QString, format);
        QFETCH(qint64, capacity);
        QFETCH(QString, encryption);
        QFETCH(QString, image);
        QTemporaryDir folder;
        Fixture f;
        if (size.endsWith(QStringLiteral(" MB"))) {
            QVERIFY(f.sheet.choose(PopUp::Size, QStringLiteral("Custom..")));
            f.sheet.type(Field::CustomSize, size.section(QLatin1Char(' '), 0, 0));
            f.sheet.selectIndex(PopUp::Unit, 1);
            f.controler.OkSizeWindow();
        } else {
            QVERIFY(f.sheet.choose(PopUp::Size, size));
        }
        QVERIFY(f.sheet.choose(PopUp::Format, format));
        f.sheet.chooseStrength(strength);
        QVERIFY(f.create(QStringLiteral("Second"), folder.path()));
        QVERIFY2(f.alerts.shown.isEmpty(), qPrintable(f.alerts.shown.value(0).accessoryText));
        const std::optional<DiskImageMetadata> meta = DiskImageMetadata::read(folder.filePath(image));
        QVERIFY(meta);
        QCOMPARE(meta->capacity, capacity);
        QCOMPARE(meta->encryption, encryption);
        QCOMPARE(meta->volumeName, QStringLiteral("Second"));
    }

    // The exact command lines, with the password on standard input only and without a
    // terminator, through a stand-in tool that records them; its progress reaches the bar.
    void commandLines()
    {
        QTemporaryDir work;
        const QString log = work.filePath(QStringLiteral("log.jsonl"));
        QVERIFY(
            useStandInTool(work.path(), R"({"create": {"exit": 0, "steps": [{"out": "PERCENT:-1.000000\n"},
            {"sleepMs": 200}, {"out": "PERCENT:42.000000\n"}, {"sleepMs": 200}]}, "*": {"exit": 0}})"));
        Fixture f;
        QVERIFY(f.sheet.choose(PopUp::Size, QStringLiteral("20GB")));
        f.sheet.setChecked(Check::HideMountPoint, false);
        QVERIFY(f.create(QStringLiteral("Data"), work.path()));

        QFile records(log);
        QVERIFY(records.open(QIODevice::ReadOnly));
        const QList<QByteArray> lines = records.readAll().trimmed().split('\n');
        QCOMPARE(lines.size(), 2);
        const QString image = work.filePath(QStringLiteral("Data.sparsebundle"));
        const QJsonObject create = QJsonDocument::fromJson(lines[0]).object();
        const QJsonObject mount = QJsonDocument::fromJson(lines[1]).object();
        QCOMPARE(create.value("args").toVariant().toStringList(),
                 (QStringList{"create", "-puppetstrings", "-stdinpass", "-encryption", "AES-256", "-size",
                              "20G", "-fs", "HFS+", "-layout", "NONE", "-volname", "Data", image}));
        QCOMPARE(mount.value("args").toVariant().toStringList(), (QStringList{"mount", "-stdinpass", image}));
        for (const QJsonObject& run : {create, mount})
            QCOMPARE(QByteArray::fromBase64(run.value("stdin").toString().toLatin1()), kPassword.toUtf8());
        QVERIFY(f.sheet.progressValues.contains(42.0));
        QVERIFY(!f.sheet.progressValues.contains(-1.0));
        QCOMPARE(hiddenFile(), QByteArray());
    }

    // A failing tool: the alert with the tool's reason beside the fixed text, nothing recorded,
    // the filled sheet stays for another try.
    void failedCreationKeepsSheet()
    {
        QTemporaryDir work;
        QVERIFY(useStandInTool(
            work.path(),
            R"({"create": {"exit": 1, "steps": [{"err": "hdiutil: create: no space left\n"}]}})"));
        Fixture f;
        QVERIFY(f.create(QStringLiteral("Data"), work.path()));
        QCOMPARE(f.alerts.shown.size(), 1);
        QCOMPARE(f.alerts.shown.first().messageText, QStringLiteral("Failed to create vault"));
        QVERIFY(f.alerts.shown.first().informativeText.startsWith(
            QStringLiteral("Create vault failed, if you want to create a vault in an external drive")));
        QCOMPARE(f.alerts.shown.first().accessoryText, QStringLiteral("hdiutil: create: no space left"));
        QVERIFY(Records(f.settings).list(SettingsKeys::VaultItem).isEmpty());
        QVERIFY(f.posted.isEmpty());
        QVERIFY(f.sheet.isOpen());
        QVERIFY(!f.sheet.isSheetOpen(Sheet::Progress));
        QCOMPARE(f.sheet.text(Field::ValueName), QStringLiteral("Data"));
        QCOMPARE(f.sheet.text(Field::PassWord), kPassword);
    }

    // Cancel while the engine derives the key: no alert, no image, no work folder, no engine
    // left running; the same sheet then creates the vault normally.
    void cancelDuringCreation()
    {
        QTemporaryDir folder;
        Fixture f;
        const QByteArray cheap = qgetenv("ZV_HDIUTIL_SCRYPTN");
        qputenv("ZV_HDIUTIL_SCRYPTN", "18"); // slow enough to be caught running
        // Cancel once the tool has started its work folder and runs the engine in it.
        QTimer poll;
        poll.setInterval(2);
        QObject::connect(&poll, &QTimer::timeout, [&] {
            const QStringList work = entries(folder.path());
            if (!work.isEmpty() &&
                QFileInfo::exists(folder.filePath(work.first() + QStringLiteral("/cipher")))) {
                poll.stop();
                f.controler.ClickCancelVault();
            }
        });
        poll.start();
        QSignalSpy ended(&f.controler, &Controler::creationEnded);
        QVERIFY(f.create(QStringLiteral("Data"), folder.path()));
        qputenv("ZV_HDIUTIL_SCRYPTN", cheap);
        f.sheet.onProgress = nullptr;
        QVERIFY(!poll.isActive()); // cancelled while the tool ran
        QCOMPARE(ended.size(), 1);
        QCOMPARE(ended.first().first().toBool(), false);
        QVERIFY(f.controler.canceled());
        QVERIFY(f.alerts.shown.isEmpty());
        QCOMPARE(entries(folder.path()), QStringList());
        QCOMPARE(processesMentioning(folder.path()), 0);
        QVERIFY(Records(f.settings).list(SettingsKeys::VaultItem).isEmpty());
        QVERIFY(f.posted.isEmpty());
        QVERIFY(f.sheet.isOpen());
        QVERIFY(!f.sheet.isSheetOpen(Sheet::Progress));

        f.sheet.progressStatuses.clear();
        QVERIFY(f.create(QStringLiteral("Data"), folder.path()));
        QVERIFY(!f.controler.canceled());
        QVERIFY(f.alerts.shown.isEmpty());
        QCOMPARE(entries(folder.path()), QStringList{QStringLiteral("Data.sparsebundle")});
        QCOMPARE(f.posted.size(), 1);
        QCOMPARE(f.sheet.progressStatuses.last(), QStringLiteral("Relaunch finder.."));
    }

    // "Store password in your keychain": the real Secret Service gets the item under the image's
    // file name, or the first free numbered name.
    void rememberedPassword_data()
    {
        QTest::addColumn<bool>("nameTaken");
        QTest::addColumn<QString>("itemName");
        QTest::newRow("free") << false << "Second.sparsebundle";
        QTest::newRow("taken") << true << "Second.sparsebundle_0";
    }
    void rememberedPassword()
    {
        QFETCH(bool, nameTaken);
        QFETCH(QString, itemName);
        const QString kind = KeychainStore::kDiskImagePassword;
        const QString account = KeychainStore::currentUserFullName();
        QTemporaryDir folder;
        Fixture f;
        for (const QString& name :
             {QStringLiteral("Second.sparsebundle"), QStringLiteral("Second.sparsebundle_0")})
            f.keychain.deleteKeychainItem(name, kind, account);
        if (nameTaken)
            QVERIFY(f.keychain.addKeychainItem(QStringLiteral("Second.sparsebundle"), kind, account,
                                               QStringLiteral("older")));
        f.alerts.answers = {AlertPort::kSecondButton};
        f.sheet.tick(Check::Keychain, true);
        QVERIFY(f.create(QStringLiteral("Second"), folder.path()));
        QCOMPARE(f.alerts.shown.size(), 1); // only the confirmation
        QCOMPARE(f.keychain.getPasswordFromKeychainItem(itemName, kind, account), kPassword);
        if (nameTaken)
            QCOMPARE(
                f.keychain.getPasswordFromKeychainItem(QStringLiteral("Second.sparsebundle"), kind, account),
                QStringLiteral("older"));
    }
};

QTEST_GUILESS_MAIN(TestControler)
#include "TestControler.moc"
