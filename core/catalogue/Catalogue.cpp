#include "core/catalogue/Catalogue.h"

#include "core/catalogue/NSDataAES.h"
#include "core/catalogue/XMLReader.h"
#include "core/settings/SettingsKeys.h"
#include "core/settings/SettingsStore.h"
#include "core/system/BundleLayout.h"
#include "core/system/Logging.h"

#include <QFile>

QList<CatalogueEntry> Catalogue::loadBundled()
{
    return loadFromFile(BundleLayout::catalogueResourcePath());
}

QList<CatalogueEntry> Catalogue::loadFromSettings(const SettingsStore& settings)
{
    return loadFromFile(settings.stringForKey(SettingsKeys::DefaultXmlPath));
}

QList<CatalogueEntry> Catalogue::loadFromFile(const QString& path)
{
    if (path.isEmpty())
        return {};
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        qCDebug(lcCatalogue) << "no catalogue at" << path << file.errorString();
        return {};
    }
    return entriesFromEncrypted(file.readAll());
}

QList<CatalogueEntry> Catalogue::entriesFromEncrypted(const QByteArray& cipherText)
{
    const auto plain = NSDataAES::AESDecryptWithKey(cipherText, kKey);
    if (!plain) {
        qCDebug(lcCatalogue) << "the catalogue does not decipher";
        return {};
    }
    QString error;
    const auto entries = entriesFromXml(*plain, &error);
    if (!entries) {
        qCDebug(lcCatalogue) << "the catalogue does not parse:" << error;
        return {};
    }
    return *entries;
}

std::optional<QList<CatalogueEntry>> Catalogue::entriesFromXml(const QByteArray& xml, QString* error)
{
    const auto root = XMLReader::dictionaryForXMLData(xml, error);
    if (!root)
        return std::nullopt;
    const QVariant apps = root->value(QStringLiteral("appcategory")).toMap().value(QStringLiteral("app"));
    // One "app" element reads as a dictionary, several as a list; both are entries.
    const QVariantList list = apps.typeId() == QMetaType::QVariantList ? apps.toList() : QVariantList{apps};
    QList<CatalogueEntry> entries;
    for (const QVariant& item : list) {
        if (item.typeId() != QMetaType::QVariantMap)
            continue;
        CatalogueEntry entry = CatalogueEntry::fromAttributes(item.toMap());
        if (!entry.name.isEmpty())
            entries.append(std::move(entry));
    }
    return entries;
}

std::optional<QByteArray> Catalogue::encipher(const QByteArray& xml)
{
    return NSDataAES::AESEncryptWithKey(xml, kKey);
}

const CatalogueEntry* Catalogue::findByName(const QList<CatalogueEntry>& entries, const QString& name)
{
    for (const CatalogueEntry& entry : entries) {
        if (entry.name == name)
            return &entry;
    }
    return nullptr;
}
