#include "core/catalogue/AesEncryptor.h"
#include "core/catalogue/Catalogue.h"
#include "core/catalogue/Datafile.h"
#include "core/catalogue/NSDataAES.h"
#include "core/catalogue/NSDataBase64.h"
#include "core/catalogue/XMLReader.h"
#include "core/settings/Paths.h"
#include "core/settings/SettingsKeys.h"
#include "core/settings/SettingsStore.h"
#include "tests/support/TestPaths.h"

#include <QDir>
#include <QFile>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>

namespace {

using Map = QVariantMap;
using List = QVariantList;

QByteArray readFile(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

bool writeFile(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size();
}

QByteArray appsXml(int count)
{
    QByteArray xml = "<appcategory>";
    for (int i = 0; i < count; ++i)
        xml +=
            QStringLiteral("<app name=\"A%1\" processname=\"a%1\" libpath=\"$homelib/a%1\" issymlink=\"1\"/>")
                .arg(i)
                .toUtf8();
    return xml + "</appcategory>";
}

} // namespace

class TestCatalogue : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { QVERIFY2(TestPaths::homeIsPrivate(), "run through tests/run-in-session.sh"); }

    void xmlReader_data()
    {
        QTest::addColumn<QByteArray>("xml");
        QTest::addColumn<bool>("parses");
        QTest::addColumn<QVariantMap>("expected");

        QTest::newRow("two b make a list") << QByteArray("<a x=\"1\"><b/><b/></a>") << true
                                           << Map{{"a", Map{{"x", "1"}, {"b", List{Map(), Map()}}}}};
        QTest::newRow("one b stays a dictionary")
            << QByteArray("<a x=\"1\"><b/></a>") << true << Map{{"a", Map{{"x", "1"}, {"b", Map()}}}};
        QTest::newRow("repeats keep order and attributes")
            << QByteArray("<r><i n=\"1\"/><i n=\"2\"><c/></i><i n=\"3\"/></r>") << true
            << Map{{"r", Map{{"i", List{Map{{"n", "1"}}, Map{{"n", "2"}, {"c", Map()}}, Map{{"n", "3"}}}}}}};
        QTest::newRow("text") << QByteArray("<a>hi &amp; bye</a>") << true
                              << Map{{"a", Map{{"text", "hi & bye"}}}};
        QTest::newRow("text runs across element boundaries")
            << QByteArray("<a>one<b/>two</a>") << true
            << Map{{"a", Map{{"b", Map{{"text", "one"}}}, {"text", "two"}}}};
        QTest::newRow("whitespace is kept") << QByteArray("<a>\n <b/>\n</a>") << true
                                            << Map{{"a", Map{{"b", Map{{"text", "\n "}}}, {"text", "\n"}}}};
        QTest::newRow("attribute and element of one name")
            << QByteArray("<a b=\"s\"><b/></a>") << true << Map{{"a", Map{{"b", List{"s", Map()}}}}};
        QTest::newRow("names as written") << QByteArray("<p:a xmlns:p=\"urn:x\" p:x=\"&lt;\"/>") << true
                                          << Map{{"p:a", Map{{"xmlns:p", "urn:x"}, {"p:x", "<"}}}};
        QTest::newRow("nested grandchildren written back")
            << QByteArray("<a><b><c k=\"v\"/><c/></b><b/></a>") << true
            << Map{{"a", Map{{"b", List{Map{{"c", List{Map{{"k", "v"}}, Map()}}}, Map()}}}}};
        QTest::newRow("unclosed element") << QByteArray("<a><b></a>") << false << Map();
        QTest::newRow("empty document") << QByteArray() << false << Map();
        QTest::newRow("two document elements") << QByteArray("<a/><b/>") << false << Map();
        QTest::newRow("not xml") << QByteArray("\x01\x02garbage") << false << Map();
        QTest::newRow("deep but allowed")
            << QByteArray("<d>").repeated(200) + QByteArray("</d>").repeated(200) << true << Map();
        QTest::newRow("too deep") << QByteArray("<d>").repeated(XMLReader::kMaxDepth + 1) +
                                         QByteArray("</d>").repeated(XMLReader::kMaxDepth + 1)
                                  << false << Map();
    }

    void xmlReader()
    {
        QFETCH(QByteArray, xml);
        QFETCH(bool, parses);
        QFETCH(QVariantMap, expected);
        QString error;
        const auto result = XMLReader::dictionaryForXMLData(xml, &error);
        QCOMPARE(result.has_value(), parses);
        if (!parses) {
            QVERIFY(!error.isEmpty());
            return;
        }
        QVERIFY(error.isEmpty());
        if (!expected.isEmpty())
            QCOMPARE(*result, expected);
        // The string form is the same document in UTF-8.
        QCOMPARE(XMLReader::dictionaryForXMLString(QString::fromUtf8(xml)), result);
    }

    void cipherRoundTrip_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<int>("size");
        for (int size : {0, 1, 15, 16, 17, 4099}) {
            QTest::addRow("catalogue key, %d bytes", size) << Catalogue::kKey << size;
            QTest::addRow("empty key, %d bytes", size) << QString() << size;
        }
        QTest::newRow("32-byte key") << QString(32, u'k') << 100;
        QTest::newRow("non-ASCII key") << QStringLiteral("pässwörd ✓") << 100;
    }

    void cipherRoundTrip()
    {
        QFETCH(QString, key);
        QFETCH(int, size);
        QByteArray plain(size, Qt::Uninitialized);
        for (int i = 0; i < size; ++i)
            plain[i] = char(i * 131 + 7);
        const auto cipher = NSDataAES::AESEncryptWithKey(plain, key);
        QVERIFY(cipher);
        QCOMPARE(cipher->size(), (size / 16 + 1) * 16);
        QVERIFY(size < 16 || !cipher->contains(plain));
        QCOMPARE(NSDataAES::AESDecryptWithKey(*cipher, key), plain);
    }

    void cipherKnownAnswer()
    {
        // The key text zero-padded to 32 bytes, an all-zero IV and PKCS #7 padding.
        const QByteArray expected =
            QByteArray::fromHex("79f1ac1cf4d7ba04d0d4a86ffb2814d267705bde917d1102d983b42fd4e08b75");
        QCOMPARE(NSDataAES::AESEncryptWithKey("Zorvane catalogue", Catalogue::kKey), expected);
        QCOMPARE(NSDataAES::AESEncryptWithKey({}, Catalogue::kKey),
                 QByteArray::fromHex("500257166bf1c32dc762301aa285b01c"));
    }

    void keyPadding()
    {
        const QString long40(40, u'z');
        const QString long32(32, u'z');
        const QByteArray plain = "some bytes";
        // Only the first 32 bytes of a key count.
        QCOMPARE(NSDataAES::AESEncryptWithKey(plain, long40), NSDataAES::AESEncryptWithKey(plain, long32));
        QCOMPARE(NSDataAES::keyBytes(QStringLiteral("ab")), QByteArray("ab") + QByteArray(30, '\0'));
        QVERIFY(NSDataAES::AESEncryptWithKey(plain, QStringLiteral("kelpiestran")) !=
                NSDataAES::AESEncryptWithKey(plain, Catalogue::kKey));
    }

    void badCipherText_data()
    {
        QTest::addColumn<QByteArray>("cipher");
        QTest::addColumn<QString>("key");
        const QByteArray good = *NSDataAES::AESEncryptWithKey(appsXml(3), Catalogue::kKey);
        QTest::newRow("wrong key") << good << QStringLiteral("kelpiestrane");
        QTest::newRow("empty") << QByteArray() << Catalogue::kKey;
        QTest::newRow("not whole blocks") << good.left(good.size() - 3) << Catalogue::kKey;
        QTest::newRow("last block lost") << good.left(good.size() - 16) << Catalogue::kKey;
        QByteArray flipped = good;
        flipped[flipped.size() - 1] = char(flipped.at(flipped.size() - 1) ^ 0x5a);
        QTest::newRow("padding damaged") << flipped << Catalogue::kKey;
        QTest::newRow("plain text") << appsXml(3) + QByteArray(5, ' ') << Catalogue::kKey;
    }

    void badCipherText()
    {
        QFETCH(QByteArray, cipher);
        QFETCH(QString, key);
        QVERIFY(!NSDataAES::AESDecryptWithKey(cipher, key));
        if (key == Catalogue::kKey)
            QVERIFY(Catalogue::entriesFromEncrypted(cipher).isEmpty());
    }

    void base64_data()
    {
        QTest::addColumn<int>("size");
        QTest::addColumn<bool>("separateLines");
        QTest::addColumn<int>("lineBreaks");
        QTest::newRow("47 bytes") << 47 << true << 0;
        QTest::newRow("48 bytes, one full line") << 48 << true << 1;
        QTest::newRow("49 bytes") << 49 << true << 1;
        QTest::newRow("200 bytes") << 200 << true << 4;
        QTest::newRow("200 bytes, one line") << 200 << false << 0;
        QTest::newRow("nothing") << 0 << true << 0;
    }

    void base64()
    {
        QFETCH(int, size);
        QFETCH(bool, separateLines);
        QFETCH(int, lineBreaks);
        QByteArray data(size, Qt::Uninitialized);
        for (int i = 0; i < size; ++i)
            data[i] = char(255 - i);
        const QString text = NSDataBase64::base64EncodedStringWithSeparateLines(data, separateLines);
        QCOMPARE(text.count(QStringLiteral("\r\n")), lineBreaks);
        QCOMPARE(text.count(u'\r'), lineBreaks);
        const QStringList lines = text.split(QStringLiteral("\r\n"));
        for (const QString& line : lines.mid(0, lines.size() - 1))
            QCOMPARE(line.size(), 64);
        QCOMPARE(NSDataBase64::dataFromBase64String(text), data);
        QCOMPARE(NSDataBase64::dataFromBase64String(QStringLiteral(" ") + text + QStringLiteral("\n")), data);
        QCOMPARE(NSDataBase64::base64EncodedString(data),
                 NSDataBase64::base64EncodedStringWithSeparateLines(data, true));
    }

    void keyFileStrings_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("password");
        QTest::newRow("marker") << QStringLiteral("velmarinquostaplewix") << QStringLiteral("s3cret");
        QTest::newRow("non-ASCII both") << QStringLiteral("übung ✓") << QStringLiteral("mot de passe é");
        QTest::newRow("empty text") << QString() << QStringLiteral("pw");
        QTest::newRow("long password") << QStringLiteral("marker") << QString(60, u'p');
    }

    void keyFileStrings()
    {
        QFETCH(QString, text);
        QFETCH(QString, password);
        const QString stored = AesEncryptor::encryptBase64String(text, password, false);
        QVERIFY(!stored.isEmpty());
        QVERIFY(!stored.contains(u'\n'));
        const QString back = AesEncryptor::decryptBase64String(stored, password);
        QVERIFY(!back.isNull());
        QCOMPARE(back, text);
        QVERIFY(AesEncryptor::decryptBase64String(stored, u'x' + password).isNull() ||
                AesEncryptor::decryptBase64String(stored, u'x' + password) != text);
        QVERIFY(AesEncryptor::decryptBase64String(QStringLiteral("!!!"), password).isNull());
    }

    void hex_data()
    {
        QTest::addColumn<QString>("hex");
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("pairs, any case") << QStringLiteral("0aFF10") << QByteArray("\x0a\xff\x10", 3);
        QTest::newRow("non-hex counts as 0") << QStringLiteral("0azz") << QByteArray("\x0a\x00", 2);
        QTest::newRow("odd trailing digit") << QStringLiteral("abc") << QByteArray("\xab\xc0", 2);
        QTest::newRow("empty") << QString() << QByteArray();
    }

    void hex()
    {
        QFETCH(QString, hex);
        QFETCH(QByteArray, bytes);
        QCOMPARE(AesEncryptor::dataForHexString(hex), bytes);
        QCOMPARE(AesEncryptor::dataForHexString(AesEncryptor::hexStringForData(bytes)), bytes);
        QCOMPARE(AesEncryptor::hexStringForData("\x01\xab"), QStringLiteral("01ab"));
    }

    void dealLibPath_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("expected");
        const QString home = QDir::homePath();
        QTest::newRow("leading placeholder")
            << QStringLiteral("$homelib/.thunderbird") << home + "/.thunderbird";
        QTest::newRow("two placeholders, first replaced")
            << QStringLiteral("$homelib/a/$homelib/b") << home + "/a/$homelib/b";
        QTest::newRow("placeholder inside") << QStringLiteral("/x$homelib") << "/x" + home;
        QTest::newRow("no placeholder") << QStringLiteral("/srv/data") << QStringLiteral("/srv/data");
        QTest::newRow("empty") << QString() << QString();
        QTest::newRow("photo name, no location known")
            << QStringLiteral("$homelib/Pictures/iPhoto Library") << home + "/Pictures/iPhoto Library";
    }

    void dealLibPath()
    {
        QFETCH(QString, path);
        QFETCH(QString, expected);
        QCOMPARE(Datafile::DealLibPath(path), expected);
        SettingsStore settings(SettingsStore::kZorvaneDomain);
        QCOMPARE(Datafile::DealLibPath(path, settings), expected);
    }

    void photoLibraryLocations()
    {
        QDir(Paths::settingsFolder()).removeRecursively();
        QTemporaryDir dir;
        const QString elsewhere = dir.filePath(QStringLiteral("Elsewhere/iPhoto Library"));
        const QString later = dir.filePath(QStringLiteral("Later/iPhoto Library"));
        const QString onVolume = dir.filePath(QStringLiteral("Volumes/V/Photos Library.photoslibrary"));
        for (const QString& p : {elsewhere, later, onVolume})
            QVERIFY(QDir().mkpath(p));
        SettingsStore settings(SettingsStore::kZorvaneDomain);
        const QString iphoto = QStringLiteral("$homelib/Pictures/iPhoto Library");

        QString located = elsewhere;
        const auto locator = [&located](const QString&) {
            return located;
        };
        QCOMPARE(Datafile::DealLibPath(iphoto, settings, locator), elsewhere);
        QCOMPARE(settings.dictionaryForKey(SettingsKeys::NewLibPath).value("iPhoto Library").toString(),
                 elsewhere);
        // The first resolution stays in force when the application's preference changes.
        located = later;
        QCOMPARE(Datafile::DealLibPath(iphoto, settings, locator), elsewhere);

        // A library on another volume, or one that does not exist, is not used.
        const QString photos = QStringLiteral("$homelib/Pictures/Photos Library.photoslibrary");
        located = onVolume;
        QCOMPARE(Datafile::DealLibPath(photos, settings, locator), Datafile::DealLibPath(photos));
        located = dir.filePath(QStringLiteral("missing/Aperture Library"));
        QCOMPARE(Datafile::DealLibPath(QStringLiteral("/x/Aperture Library"), settings, locator),
                 QStringLiteral("/x/Aperture Library"));
        QCOMPARE(settings.dictionaryForKey(SettingsKeys::NewLibPath).size(), 1);
    }

    void intValue_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("value");
        QTest::newRow("one") << QStringLiteral("1") << 1;
        QTest::newRow("absent") << QString() << 0;
        QTest::newRow("blanks and trailing text") << QStringLiteral("  12ab") << 12;
        QTest::newRow("negative") << QStringLiteral("-3") << -3;
        QTest::newRow("words") << QStringLiteral("yes") << 0;
        QTest::newRow("huge") << QStringLiteral("99999999999") << std::numeric_limits<int>::max();
    }

    void intValue()
    {
        QFETCH(QString, text);
        QFETCH(int, value);
        QCOMPARE(CatalogueEntry::intValue(text), value);
    }

    void entryFields()
    {
        QTemporaryDir dir;
        const QString app = dir.filePath(QStringLiteral("bin/mailer"));
        QVERIFY(QDir().mkpath(app));
        CatalogueEntry e;
        e.processname = QStringLiteral("Telegram-Desktop|telegram-deskto||Telegram");
        e.apppath = QStringLiteral("/nonexistent/a|") + app;
        QVERIFY(e.matchesProcessName(QStringLiteral("telegram-desktop")));
        QVERIFY(e.matchesProcessName(QStringLiteral("TELEGRAM")));
        QVERIFY(!e.matchesProcessName(QStringLiteral("telegram-")));
        QVERIFY(!e.matchesProcessName(QString()));
        QCOMPARE(e.existingAppPath(), app);
        e.apppath = QStringLiteral("/nonexistent/a");
        QCOMPARE(e.existingAppPath(), QString());
    }

    void loading_data()
    {
        QTest::addColumn<QByteArray>("fileContent");
        QTest::addColumn<QStringList>("names");
        QTest::newRow("three applications")
            << *Catalogue::encipher(appsXml(3)) << QStringList{"A0", "A1", "A2"};
        QTest::newRow("a single application") << *Catalogue::encipher(appsXml(1)) << QStringList{"A0"};
        QTest::newRow("no applications") << *Catalogue::encipher(appsXml(0)) << QStringList();
        QTest::newRow("wrong root") << *Catalogue::encipher("<apps><app name=\"x\"/><app name=\"y\"/></apps>")
                                    << QStringList();
        QTest::newRow("entries without a name left out")
            << *Catalogue::encipher("<appcategory app=\"s\"><app/><app name=\"y\"/></appcategory>")
            << QStringList{"y"};
        QTest::newRow("enciphered but not xml") << *Catalogue::encipher("<appcategory><app") << QStringList();
        QTest::newRow("plain text file") << appsXml(3) << QStringList();
        QTest::newRow("empty file") << QByteArray() << QStringList();
    }

    void loading()
    {
        QFETCH(QByteArray, fileContent);
        QFETCH(QStringList, names);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("data.xml"));
        QVERIFY(writeFile(path, fileContent));
        SettingsStore helper(SettingsStore::kStatusDomain);
        QVERIFY(helper.setObject(path, SettingsKeys::DefaultXmlPath));

        QStringList loaded;
        for (const CatalogueEntry& e : Catalogue::loadFromSettings(helper))
            loaded << e.name;
        QCOMPARE(loaded, names);
        QCOMPARE(Catalogue::loadFromFile(path).size(), names.size());
    }

    void missingCatalogue()
    {
        SettingsStore helper(SettingsStore::kUninstallerDomain);
        helper.removeObjectForKey(SettingsKeys::DefaultXmlPath);
        QVERIFY(Catalogue::loadFromSettings(helper).isEmpty());
        QVERIFY(Catalogue::loadFromFile(QStringLiteral("/nonexistent/data.xml")).isEmpty());
    }

    void shippedCatalogue()
    {
        const QString path = TestPaths::appDir() + QStringLiteral("/Contents/Resources/data.xml");
        const QList<CatalogueEntry> shipped = Catalogue::loadFromFile(path);
        const auto source =
            Catalogue::entriesFromXml(readFile(TestPaths::sourceDir() + "/resources/catalogue.xml"));
        QVERIFY(source);
        QCOMPARE(shipped, *source);
        QVERIFY(shipped.size() >= 10);

        QSet<QString> names;
        for (const CatalogueEntry& e : shipped) {
            QVERIFY2(!names.contains(e.name), qPrintable(e.name));
            names.insert(e.name);
            QVERIFY2(e.libpath.startsWith(QStringLiteral("$homelib/")), qPrintable(e.name));
            QVERIFY(!Datafile::DealLibPath(e.libpath).contains(QStringLiteral("$homelib")));
            QVERIFY2(!e.infor.isEmpty() && !e.infor.contains(u'\n'), qPrintable(e.name));
            QCOMPARE(e.symlinkFlag(), 1);
            QCOMPARE(e.uiFlag(), 1);
            // The kernel shows at most 15 characters of a process name: one alternative must fit.
            const QStringList processes = e.processNames();
            QVERIFY2(std::any_of(processes.cbegin(), processes.cend(),
                                 [](const QString& p) { return p.size() <= 15; }),
                     qPrintable(e.name));
            for (const QString& p : e.appPaths())
                QVERIFY2(QDir::isAbsolutePath(p), qPrintable(p));
        }
        for (const char* wanted :
             {"Thunderbird", "Evolution", "Geary", "Claws Mail", "KMail", "Signal", "Telegram Desktop",
              "Element", "Joplin", "Zim", "Shotwell", "digiKam", "darktable", "Firefox"})
            QVERIFY2(names.contains(QString::fromLatin1(wanted)), wanted);
    }
};

QTEST_GUILESS_MAIN(TestCatalogue)
#include "TestCatalogue.moc"
