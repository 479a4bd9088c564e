// Build step: checks the plaintext catalogue and writes it enciphered with the catalogue key.
// usage: encipher_catalogue SOURCE.xml OUTPUT.xml
#include "core/catalogue/Catalogue.h"
#include "core/settings/AtomicFile.h"

#include <QFile>
#include <QSet>
#include <cstdio>

namespace {

int fail(const QString& message)
{
    std::fprintf(stderr, "encipher_catalogue: %s\n", qPrintable(message));
    return 1;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 3)
        return fail(QStringLiteral("usage: encipher_catalogue SOURCE.xml OUTPUT.xml"));
    const QString source = QString::fromLocal8Bit(argv[1]);
    QFile in(source);
    if (!in.open(QIODevice::ReadOnly))
        return fail(source + QStringLiteral(": ") + in.errorString());
    const QByteArray xml = in.readAll();

    QString error;
    const auto entries = Catalogue::entriesFromXml(xml, &error);
    if (!entries)
        return fail(source + QStringLiteral(": ") + error);
    // The reader yields a list only when "app" repeats, and every consumer reads all fields.
    if (entries->size() < 2)
        return fail(source + QStringLiteral(": the catalogue needs at least two applications"));
    QSet<QString> names;
    for (const CatalogueEntry& e : *entries) {
        if (names.contains(e.name))
            return fail(source + QStringLiteral(": \"%1\" appears twice").arg(e.name));
        names.insert(e.name);
        const QVariantMap fields = e.toAttributes();
        for (auto it = fields.cbegin(); it != fields.cend(); ++it) {
            if (it.value().toString().trimmed().isEmpty())
                return fail(source + QStringLiteral(": \"%1\" has no \"%2\"").arg(e.name, it.key()));
        }
    }

    const auto cipher = Catalogue::encipher(xml);
    if (!cipher || Catalogue::entriesFromEncrypted(*cipher) != *entries)
        return fail(QStringLiteral("the enciphered catalogue does not read back"));
    if (!AtomicFile::write(QString::fromLocal8Bit(argv[2]), *cipher, &error))
        return fail(error);
    return 0;
}
