#pragma once

#include "core/catalogue/CatalogueEntry.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <optional>

class SettingsStore;

// Loading the application catalogue: the resource's bytes, deciphered with the catalogue key,
// read into dictionaries, the "app" elements of "appcategory" in document order. Anything that
// does not decipher or parse gives no entries, silently: no application can then be matched.
class Catalogue
{
public:
    static inline const QString kKey = QStringLiteral("kelpiestrand");

    // The main application's copy: Contents/Resources/data.xml of its own folder.
    static QList<CatalogueEntry> loadBundled();
    // The helper's and the uninstaller's way: the file named by "DefaultXmlPath".
    static QList<CatalogueEntry> loadFromSettings(const SettingsStore& settings);
    static QList<CatalogueEntry> loadFromFile(const QString& path);

    static QList<CatalogueEntry> entriesFromEncrypted(const QByteArray& cipherText);
    // nullopt when the document does not parse; entries without a name are left out.
    static std::optional<QList<CatalogueEntry>> entriesFromXml(const QByteArray& xml,
                                                               QString* error = nullptr);

    static std::optional<QByteArray> encipher(const QByteArray& xml);

    static const CatalogueEntry* findByName(const QList<CatalogueEntry>& entries, const QString& name);
};
