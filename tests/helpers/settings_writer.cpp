// Writes to a settings domain in a loop, for tests that run it beside a reader or writer.
// Usage: settings_writer DOMAIN KEY COUNT
#include "core/settings/SettingsStore.h"

#include <QCoreApplication>
#include <QStringList>
#include <QVariantMap>

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    if (args.size() != 4)
        return 2;
    SettingsStore store(args[1]);
    const QString key = args[2];
    const int count = args[3].toInt();
    for (int i = 1; i <= count; ++i) {
        // A list large enough that a torn write would be visible to a reader.
        QVariantMap list;
        for (int j = 0; j < 200; ++j)
            list.insert(QStringLiteral("item%1").arg(j),
                        QStringLiteral("value %1 of round %2").arg(j).arg(i));
        list.insert(QStringLiteral("round"), i);
        if (!store.setObject(list, key))
            return 1;
    }
    return 0;
}
